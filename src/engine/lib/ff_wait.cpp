#include "ff_wait.h"

#include "dispatcher.h"

#include <chrono>

void TPendingWork::Add() {
    std::lock_guard lock(mutex_);
    ++count_;
}

void TPendingWork::Done() {
    std::lock_guard lock(mutex_);
    if (--count_ > 0) return;
    // Posted under the lock: a waiter that sees the work finished may free
    // the dispatcher right after.
    if (dispatcher_) dispatcher_->post([] {});
    idle_.notify_all();
}

bool TPendingWork::Idle() const {
    std::lock_guard lock(mutex_);
    return count_ <= 0;
}

void TPendingWork::WaitIdle() {
    if (dispatcher_ && dispatcher_->isMainThread()) {
        while (!Idle()) dispatcher_->pumpFor(std::chrono::seconds(1));
        return;
    }
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return count_ <= 0; });
}
