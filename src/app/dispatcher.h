#pragma once
// Hands work to the user-interface thread, and the one way any thread waits
// for a state another thread changes.
//
// post() queues a call and returns at once; invoke() blocks the calling worker
// until the call has run on the user-interface thread (it runs inline when the
// caller already is that thread). Every component that calls back is given
// its dispatcher when it is made; there is no process-wide one.
//
// TWaitable is the wait: whoever changes the state calls Notify(), and a wait
// on the user-interface thread keeps running the queued work meanwhile, which
// is how blocking waits stay deadlock-free (what it waits for may itself be
// waiting for that thread). Nothing sleeps in slices or polls.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class IDispatcher {
public:
    virtual ~IDispatcher() = default;
    // Any thread.
    virtual void post(std::function<void()> fn) = 0;
    // Any thread; an exception of fn is raised again in the caller.
    virtual void invoke(std::function<void()> fn) = 0;
    // Any thread.
    virtual bool isMainThread() const = 0;
    // User-interface thread only. Runs the work queued so far; when there was
    // none, sleeps until work is queued or the deadline passes, and runs what
    // came. A deadline already past only runs what is queued.
    virtual void pump(std::chrono::steady_clock::time_point deadline) = 0;
};

// A state that threads wait for.
class TWaitable {
public:
    static constexpr std::chrono::milliseconds Forever = std::chrono::milliseconds::max();

    TWaitable() = default;
    TWaitable(const TWaitable&) = delete;
    TWaitable& operator=(const TWaitable&) = delete;

    // Any thread, after the state changed: every wait looks at its condition
    // again. Notify while holding the state's own lock when a waiter that
    // sees the change may free this object right away.
    void Notify();
    // Any thread. Returns true once pred() holds, or false when the timeout
    // passed first. On the user-interface thread of dispatcher (which may be
    // null elsewhere) it runs the queued work meanwhile and looks at pred()
    // after each piece; elsewhere it sleeps until Notify(). pred() runs with
    // no lock of this object held.
    bool WaitUntil(IDispatcher* dispatcher, const std::function<bool()>& pred,
                   std::chrono::milliseconds timeout = Forever);

private:
    bool PumpUntil(IDispatcher& dispatcher, const std::function<bool()>& pred,
                   std::chrono::steady_clock::time_point deadline);
    bool SleepUntil(const std::function<bool()>& pred, std::chrono::steady_clock::time_point deadline);

    std::mutex mutex_;  // guards generation_ and pumping_
    std::condition_variable changed_;
    uint64_t generation_ = 0;
    // Dispatchers whose user-interface thread waits here now: Notify wakes
    // them by queueing an empty call.
    std::vector<IDispatcher*> pumping_;
};

// A queue that the thread which created it runs (command line and tests).
class PlainDispatcher final : public IDispatcher {
public:
    PlainDispatcher();
    void post(std::function<void()> fn) override;
    void invoke(std::function<void()> fn) override;
    bool isMainThread() const override;
    void pump(std::chrono::steady_clock::time_point deadline) override;

    // Runs everything queued so far; returns how many calls ran.
    int runPending();
    // Runs queued work until pred() is true or the timeout passes; returns
    // pred(). pred() is looked at after each piece of work, so it should turn
    // true through work queued here.
    bool runUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = TWaitable::Forever);

private:
    std::thread::id mainId_;
    std::mutex mutex_;  // guards queue_
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
};
