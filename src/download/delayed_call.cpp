#include "delayed_call.h"

void TDelayedCall::Schedule(std::chrono::milliseconds pause, std::function<void()> fn) {
    Cancel();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = false;
    }
    waiter_ = std::thread([this, pause, fn = std::move(fn)]() mutable {
        std::unique_lock<std::mutex> lock(mutex_);
        if (cv_.wait_for(lock, pause, [&] { return cancelled_; })) return;
        lock.unlock();
        dispatcher_.post(std::move(fn));
    });
}

void TDelayedCall::Cancel() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
    }
    cv_.notify_all();
    if (waiter_.joinable()) waiter_.join();
}
