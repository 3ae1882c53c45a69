#pragma once
// Work under way that a thread waits to see finished: a task's worker thread,
// the end notifications still being delivered.
//
// A wait on the user-interface thread keeps running the dispatcher's queued
// work meanwhile, since the work waited for may itself be waiting for the
// user-interface thread (a progress event delivered there); the last piece of
// work to finish posts an empty call, which ends the dispatcher's wait at once.
// Any other thread waits on a condition variable.
#include <condition_variable>
#include <mutex>

class IMainDispatcher;

class TPendingWork {
public:
    explicit TPendingWork(IMainDispatcher* dispatcher = nullptr) : dispatcher_(dispatcher) {}
    TPendingWork(const TPendingWork&) = delete;
    TPendingWork& operator=(const TPendingWork&) = delete;

    void Add();
    void Done();
    bool Idle() const;
    // Returns once no work is under way.
    void WaitIdle();

private:
    IMainDispatcher* dispatcher_;
    mutable std::mutex mutex_;  // guards count_
    std::condition_variable idle_;
    int count_ = 0;
};
