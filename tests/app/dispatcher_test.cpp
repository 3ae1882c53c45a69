#include "dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <stdexcept>

TEST(Dispatcher, PostRunsOnTheOwnerThreadInOrder) {
    PlainDispatcher d;
    std::vector<int> order;
    std::thread worker([&] {
        d.post([&] { order.push_back(1); });
        d.post([&] { order.push_back(2); });
    });
    worker.join();
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(d.runPending(), 2);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(Dispatcher, InvokeBlocksTheWorkerUntilRunAndCarriesExceptions) {
    PlainDispatcher d;
    int ran = 0;
    std::thread::id ranOn;
    bool caught = false;
    std::thread worker([&] {
        d.invoke([&] {
            ranOn = std::this_thread::get_id();
            ++ran;
        });
        try {
            d.invoke([&] {
                ++ran;
                throw std::runtime_error("boom");
            });
        } catch (const std::runtime_error&) {
            caught = true;
        }
    });
    EXPECT_TRUE(d.runUntil([&] { return ran == 2; }, std::chrono::seconds(10)));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(caught);
    // On the owner thread invoke runs inline.
    int x = 0;
    d.invoke([&] { x = 5; });
    EXPECT_EQ(x, 5);
}

TEST(Waitable, AWaitOnTheMainThreadKeepsQueuedWorkRunning) {
    PlainDispatcher d;
    std::atomic<bool> flag{false};
    // The worker's call can only run if the wait runs the queue.
    std::thread worker([&] { d.invoke([&] { flag = true; }); });
    TWaitable w;
    EXPECT_TRUE(w.WaitUntil(&d, [&] { return flag.load(); }, std::chrono::seconds(30)))
        << "the wait did not run the queued call";
    // Release a worker that a faulty wait left blocked before joining it.
    d.runUntil([&] { return flag.load(); }, std::chrono::seconds(5));
    worker.join();
}

TEST(Waitable, AWaitEndsAtTheNotificationOfAnotherThread) {
    // The state changes on another thread with nothing queued: the waiter must
    // be woken by Notify, on the dispatcher's own thread and elsewhere. A wait
    // that only woke at its bound sees the state too late and returns false.
    using Clock = std::chrono::steady_clock;
    const auto bound = std::chrono::seconds(20);
    PlainDispatcher d;
    const auto waitFor = [&](bool onMainThread) {
        TWaitable w;
        std::atomic<bool> state{false};
        std::latch looked(1);
        bool lookedOnce = false;
        const auto deadline = Clock::now() + bound;
        const auto pred = [&] {
            if (!lookedOnce) {
                lookedOnce = true;
                looked.count_down();
            }
            return state.load() && Clock::now() < deadline;
        };
        // Changes the state once the waiter has looked at it and found it unchanged.
        std::thread changer([&] {
            looked.wait();
            state = true;
            w.Notify();
        });
        bool ended = false;
        if (onMainThread) {
            ended = w.WaitUntil(&d, pred, bound);
        } else {
            std::thread waiter([&] { ended = w.WaitUntil(&d, pred, bound); });
            waiter.join();
        }
        changer.join();
        return ended;
    };
    EXPECT_TRUE(waitFor(true)) << "on the dispatcher's thread";
    EXPECT_TRUE(waitFor(false)) << "on another thread";
}
