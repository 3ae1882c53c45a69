#pragma once
// Work under way that a thread waits to see finished: a task's worker thread,
// the end notifications still being delivered.
//
// The wait is the dispatcher's (TWaitable): on the user-interface thread it
// keeps running queued work meanwhile, since the work waited for may itself be
// waiting for that thread (a progress event delivered there); any other
// thread sleeps until the last piece of work is done.
#include <mutex>

#include "dispatcher.h"

class TPendingWork {
public:
    explicit TPendingWork(IDispatcher* dispatcher) : dispatcher_(dispatcher) {}
    TPendingWork(const TPendingWork&) = delete;
    TPendingWork& operator=(const TPendingWork&) = delete;

    void Add();
    void Done();
    bool Idle() const;
    // Returns once no work is under way.
    void WaitIdle();

private:
    IDispatcher* dispatcher_;
    mutable std::mutex mutex_;  // guards count_
    TWaitable idle_;
    int count_ = 0;
};
