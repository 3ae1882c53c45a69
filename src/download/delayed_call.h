#pragma once
// One pending call that reaches the user-interface thread after a pause,
// through the dispatcher, without blocking anything meanwhile.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "dispatcher.h"

class TDelayedCall {
public:
    // The call is posted to dispatcher.
    explicit TDelayedCall(IDispatcher& dispatcher) : dispatcher_(dispatcher) {}
    ~TDelayedCall() { Cancel(); }
    TDelayedCall(const TDelayedCall&) = delete;
    TDelayedCall& operator=(const TDelayedCall&) = delete;

    // Posts fn after the pause; replaces a call still pending.
    void Schedule(std::chrono::milliseconds pause, std::function<void()> fn);
    // Drops the pending call; one already posted is the caller's to ignore.
    void Cancel();

private:
    IDispatcher& dispatcher_;
    std::mutex mutex_;  // guards cancelled_ of the running waiter
    std::condition_variable cv_;
    bool cancelled_ = false;
    std::thread waiter_;
};
