#include "win_thread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

class WinThreadTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(TCustomWinThread::WaitForAllThreads(dispatcher, 10s)); }
    PlainDispatcher dispatcher;
};

// A work that reports through Synchronize until told to stop.
struct Ticker {
    std::atomic<int> synced{0};
    std::atomic<bool> release{false};
    std::vector<int> seen;  // user-interface thread only
};

}  // namespace

TEST_F(WinThreadTest, RunsTheWorkOnAFreshThreadAndHandsCallsToTheUiThread) {
    TCustomWinThread thread(dispatcher);
    const auto uiId = std::this_thread::get_id();
    std::thread::id workId, syncId, terminateId;
    std::vector<std::string> order;
    std::atomic<bool> sawRunning{false};
    thread.OnExecute = [&](TEventWinThread& t) {
        workId = std::this_thread::get_id();
        sawRunning = t.Running();
        t.Synchronize([&] {
            syncId = std::this_thread::get_id();
            order.push_back("sync");
        });
        // The synchronized call has run by the time Synchronize returns.
        EXPECT_EQ(order.size(), 1u);
    };
    bool terminated = false;
    thread.OnTerminate = [&](TCustomWinThread* sender) {
        EXPECT_EQ(sender, &thread);
        terminateId = std::this_thread::get_id();
        order.push_back("terminate");
        terminated = true;
    };
    EXPECT_TRUE(thread.Suspended());
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.Running());
    EXPECT_FALSE(thread.Suspended());
    ASSERT_TRUE(dispatcher.runUntil([&] { return terminated; }, 10s));
    ASSERT_TRUE(TCustomWinThread::WorkerEvents().WaitUntil(&dispatcher, [&] { return !thread.Running(); }, 10s));
    EXPECT_NE(workId, uiId);
    EXPECT_EQ(syncId, uiId);
    EXPECT_EQ(terminateId, uiId);
    EXPECT_TRUE(sawRunning);
    EXPECT_EQ(order, (std::vector<std::string>{"sync", "terminate"}));
}

TEST_F(WinThreadTest, ASecondStartEndsTheFirstWorkWhichDeliversNothingMore) {
    TCustomWinThread thread(dispatcher);
    Ticker first, second;
    std::atomic<int> runs{0};
    thread.OnExecute = [&](TEventWinThread& t) {
        Ticker& me = runs.fetch_add(1) == 0 ? first : second;
        for (int i = 0; i < 1000 && !t.Terminated(); ++i) {
            t.Synchronize([&me, i] { me.seen.push_back(i); });
            std::this_thread::sleep_for(1ms);
        }
        me.release = true;
    };
    int terminates = 0;
    thread.OnTerminate = [&](TCustomWinThread*) { ++terminates; };
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(dispatcher.runUntil([&] { return first.seen.size() >= 3; }, 10s));
    ASSERT_TRUE(thread.Start());
    const size_t firstSeen = first.seen.size();
    // The second work starts from the beginning and ends normally.
    ASSERT_TRUE(dispatcher.runUntil([&] { return second.seen.size() >= 3; }, 10s));
    EXPECT_EQ(second.seen.front(), 0);
    // The first work, abandoned, runs to its end; its thread's end wakes the wait.
    ASSERT_TRUE(TCustomWinThread::WorkerEvents().WaitUntil(&dispatcher, [&] { return first.release.load(); }, 10s));
    thread.Stop(false);
    ASSERT_TRUE(dispatcher.runUntil([&] { return terminates == 1; }, 10s));
    ASSERT_TRUE(TCustomWinThread::WaitForAllThreads(dispatcher, 10s));
    dispatcher.runPending();
    EXPECT_EQ(first.seen.size(), firstSeen);
    EXPECT_EQ(terminates, 1);
}

TEST_F(WinThreadTest, StopWithoutKillOnlySetsTerminated) {
    TCustomWinThread thread(dispatcher);
    std::atomic<bool> go{false};
    std::atomic<bool> sawTerminated{false}, started{false};
    std::atomic<int> polls{0};
    TWaitable progress;  // started or polls changed
    bool terminated = false;
    // A work that never polls runs to its end and still terminates normally.
    thread.OnExecute = [&](TEventWinThread& t) {
        started = true;
        progress.Notify();
        while (!go) std::this_thread::sleep_for(1ms);
        sawTerminated = t.Terminated();
    };
    thread.OnTerminate = [&](TCustomWinThread*) { terminated = true; };
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(progress.WaitUntil(&dispatcher, [&] { return started.load(); }, 10s));
    thread.Stop(false);
    EXPECT_TRUE(thread.Terminated());
    EXPECT_TRUE(thread.Running());
    go = true;
    ASSERT_TRUE(dispatcher.runUntil([&] { return terminated; }, 10s));
    EXPECT_TRUE(sawTerminated);

    // A polling work ends early.
    terminated = false;
    thread.OnExecute = [&](TEventWinThread& t) {
        while (!t.Terminated()) {
            ++polls;
            progress.Notify();
            std::this_thread::sleep_for(1ms);
        }
    };
    ASSERT_TRUE(thread.Start());
    EXPECT_FALSE(thread.Terminated());
    ASSERT_TRUE(progress.WaitUntil(&dispatcher, [&] { return polls > 2; }, 10s));
    thread.Stop(false);
    ASSERT_TRUE(dispatcher.runUntil([&] { return terminated; }, 10s));
}

TEST_F(WinThreadTest, ExceptionsInSynchronizedCallsAndInTheWork) {
    TCustomWinThread thread(dispatcher);
    std::atomic<bool> afterThrow{false};
    std::atomic<bool> rethrown{false};
    std::vector<std::string> events;
    thread.OnExecute = [&](TEventWinThread& t) {
        // Dropped with HandleExceptions: the work goes on.
        t.Synchronize([] { throw std::runtime_error("in a handler"); });
        afterThrow = true;
        throw std::runtime_error("in the work");
    };
    thread.OnException = [&](TCustomWinThread*, std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::runtime_error& err) {
            events.push_back(std::string("exception: ") + err.what());
        }
    };
    thread.OnTerminate = [&](TCustomWinThread*) { events.push_back("terminate"); };
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(dispatcher.runUntil([&] { return events.size() == 2; }, 10s));
    EXPECT_TRUE(afterThrow);
    EXPECT_EQ(events, (std::vector<std::string>{"exception: in the work", "terminate"}));

    // Without HandleExceptions a synchronized call's exception reaches the work.
    thread.SetHandleExceptions(false);
    events.clear();
    thread.OnExecute = [&](TEventWinThread& t) {
        try {
            t.Synchronize([] { throw std::runtime_error("again"); });
        } catch (const std::runtime_error&) {
            rethrown = true;
        }
    };
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(dispatcher.runUntil([&] { return events.size() == 1; }, 10s));
    EXPECT_TRUE(rethrown);
}

TEST_F(WinThreadTest, WaitingStartAndItsTimeout) {
    TCustomWinThread thread(dispatcher);
    std::atomic<bool> release{false}, workEnded{false};
    bool terminated = false;
    int timeouts = 0;
    thread.WaitThread = true;
    thread.WaitTimeout = 100;
    // The work runs until released (a minute at most), far past the time-out.
    thread.OnExecute = [&](TEventWinThread& t) {
        const auto end = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < end && !release) std::this_thread::sleep_for(2ms);
        workEnded = true;
        t.Synchronize([] {});
    };
    thread.OnTerminate = [&](TCustomWinThread*) { terminated = true; };

    // The handler keeps the worker: Start returns true and the work goes on.
    thread.OnWaitTimeoutExpired = [&](TCustomWinThread* sender, bool& terminateThread) {
        EXPECT_EQ(sender, &thread);
        ++timeouts;
        terminateThread = false;
    };
    EXPECT_TRUE(thread.Start());
    // Start came back on the time-out, not at the end of the work.
    EXPECT_FALSE(workEnded);
    EXPECT_EQ(timeouts, 1);
    EXPECT_TRUE(thread.Running());
    release = true;
    ASSERT_TRUE(dispatcher.runUntil([&] { return terminated; }, 10s));
    EXPECT_EQ(timeouts, 1);
    release = false;
    workEnded = false;

    // Left at true, the worker is abandoned and Start returns false.
    terminated = false;
    timeouts = 0;
    thread.OnWaitTimeoutExpired = [&](TCustomWinThread*, bool&) { ++timeouts; };
    EXPECT_FALSE(thread.Start());
    EXPECT_EQ(timeouts, 1);
    EXPECT_FALSE(workEnded);
    EXPECT_FALSE(thread.Running());
    release = true;
    ASSERT_TRUE(TCustomWinThread::WaitForAllThreads(dispatcher, 10s));
    dispatcher.runPending();
    EXPECT_FALSE(terminated);

    // A short work ends the wait without a timeout.
    thread.WaitTimeout = 0;
    thread.OnExecute = [](TEventWinThread& t) { t.Synchronize([] {}); };
    EXPECT_TRUE(thread.Start());
    EXPECT_TRUE(terminated);
}

TEST_F(WinThreadTest, KilledAndDestroyedWorkersDeliverNothing) {
    std::atomic<int> delivered{0};
    std::atomic<bool> ended{false};
    auto work = [&](TEventWinThread& t) {
        while (!t.Terminated()) {
            t.Synchronize([&] { ++delivered; });
            std::this_thread::sleep_for(1ms);
        }
        t.Synchronize([&] { ++delivered; });
        ended = true;
    };
    {
        TCustomWinThread thread(dispatcher);
        thread.OnExecute = work;
        thread.OnTerminate = [&](TCustomWinThread*) { ++delivered; };
        ASSERT_TRUE(thread.Start());
        ASSERT_TRUE(dispatcher.runUntil([&] { return delivered > 2; }, 10s));
        thread.Stop(true);
        EXPECT_FALSE(thread.Running());
        const int atKill = delivered;
        ASSERT_TRUE(TCustomWinThread::WorkerEvents().WaitUntil(&dispatcher, [&] { return ended.load(); }, 10s));
        ASSERT_TRUE(TCustomWinThread::WaitForAllThreads(dispatcher, 10s));
        dispatcher.runPending();
        EXPECT_EQ(delivered, atKill);
    }
    delivered = 0;
    ended = false;
    int atDestroy = 0;
    {
        auto thread = std::make_unique<TCustomWinThread>(dispatcher);
        thread->OnExecute = work;
        thread->OnTerminate = [&](TCustomWinThread*) { ++delivered; };
        ASSERT_TRUE(thread->Start());
        ASSERT_TRUE(dispatcher.runUntil([&] { return delivered > 2; }, 10s));
        atDestroy = delivered;
        thread.reset();
    }
    ASSERT_TRUE(TCustomWinThread::WaitForAllThreads(dispatcher, 10s));
    dispatcher.runPending();
    EXPECT_TRUE(ended);
    EXPECT_EQ(delivered, atDestroy);
}

namespace {
// The nice value the system gives a thread of this process that asks for
// the given one: a process started with a higher nice value (nice(1), a
// loaded CI runner) cannot go below it without the right to.
int NiceGranted(int nice) {
    int granted = 0;
    std::thread([&] {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
        errno = 0;
        granted = ::getpriority(PRIO_PROCESS, 0);
    }).join();
    return granted;
}
}  // namespace

TEST_F(WinThreadTest, PriorityMapsToTheOsAndReadsBack) {
    EXPECT_EQ(ThreadPriorityValue(tpIdle), -15);
    EXPECT_EQ(ThreadPriorityValue(tpTimeCritical), 15);
    EXPECT_EQ(ThreadPriorityFromNice(ThreadPriorityToNice(tpLowest)), tpLowest);
    EXPECT_EQ(ThreadPriorityFromNice(3), tpNormal);

    TCustomWinThread thread(dispatcher);
    EXPECT_EQ(thread.Priority(), tpNormal);
    thread.SetPriority(tpLower);
    std::atomic<bool> release{false}, started{false};
    TWaitable startedChanged;
    std::atomic<int> workerNice{0};
    thread.OnExecute = [&](TEventWinThread&) {
        errno = 0;
        workerNice = ::getpriority(PRIO_PROCESS, 0);
        started = true;
        startedChanged.Notify();
        while (!release) std::this_thread::sleep_for(1ms);
    };
    // The new thread object keeps the priority.
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(startedChanged.WaitUntil(&dispatcher, [&] { return started.load(); }, 10s));
    EXPECT_EQ(workerNice, NiceGranted(ThreadPriorityToNice(tpLower)));
    EXPECT_EQ(thread.Priority(), ThreadPriorityFromNice(NiceGranted(ThreadPriorityToNice(tpLower))));
    // Lowering a priority is always allowed.
    thread.SetPriority(tpIdle);
    EXPECT_EQ(thread.Priority(), tpIdle);
    release = true;
    EXPECT_TRUE(TCustomWinThread::WaitForAllThreads(dispatcher, 10s));
}
