#include "dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
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
    std::atomic<bool> done{false};
    std::thread::id ranOn;
    bool caught = false;
    std::thread worker([&] {
        d.invoke([&] { ranOn = std::this_thread::get_id(); });
        try {
            d.invoke([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
        done = true;
    });
    EXPECT_TRUE(d.runUntil([&] { return done.load(); }, std::chrono::seconds(10)));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(caught);
    // On the owner thread invoke runs inline.
    int x = 0;
    d.invoke([&] { x = 5; });
    EXPECT_EQ(x, 5);
}

TEST(Dispatcher, WaitPumpingKeepsQueuedWorkRunning) {
    PlainDispatcher d;
    SetMainDispatcher(&d);
    std::atomic<bool> flag{false};
    // The worker's call can only run if the wait runs the queue.
    std::thread worker([&] { d.invoke([&] { flag = true; }); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    WaitPumping(MainDispatcher(), [&] { return flag.load() || std::chrono::steady_clock::now() > deadline; });
    EXPECT_TRUE(flag) << "the wait did not run the queued call";
    // Release a worker that a faulty wait left blocked before joining it.
    d.runUntil([&] { return flag.load(); }, std::chrono::seconds(5));
    worker.join();
    SetMainDispatcher(nullptr);
}
