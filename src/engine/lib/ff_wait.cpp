#include "ff_wait.h"

void TPendingWork::Add() {
    std::lock_guard lock(mutex_);
    ++count_;
}

void TPendingWork::Done() {
    std::lock_guard lock(mutex_);
    if (--count_ > 0) return;
    // Under the lock: a waiter that sees the work finished may free this
    // object, and the dispatcher, right after.
    idle_.Notify();
}

bool TPendingWork::Idle() const {
    std::lock_guard lock(mutex_);
    return count_ <= 0;
}

void TPendingWork::WaitIdle() {
    idle_.WaitUntil(dispatcher_, [this] { return Idle(); });
}
