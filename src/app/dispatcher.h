#pragma once
// Hands work to the user-interface thread.
//
// post() queues a call and returns at once; invoke() blocks the calling worker
// until the call has run on the user-interface thread (it runs inline when the
// caller already is that thread). pumpFor() lets a waiting user-interface thread
// keep running queued work, which is how blocking waits stay deadlock-free.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class IMainDispatcher {
public:
    virtual ~IMainDispatcher() = default;
    virtual void post(std::function<void()> fn) = 0;
    virtual void invoke(std::function<void()> fn) = 0;
    virtual bool isMainThread() const = 0;
    // Runs queued work for at most the given time; returns early once the
    // queue is empty and something ran. Only call on the user-interface thread.
    virtual void pumpFor(std::chrono::milliseconds slice) = 0;
};

// The process-wide dispatcher the components use unless given another one.
// The application installs its Qt dispatcher at start-up; tools and tests
// install a PlainDispatcher.
IMainDispatcher* MainDispatcher();
void SetMainDispatcher(IMainDispatcher* dispatcher);

// Waits until pred() is true, pumping the dispatcher when called on the
// user-interface thread and sleeping in slices elsewhere.
void WaitPumping(IMainDispatcher* dispatcher, const std::function<bool()>& pred,
                 std::chrono::milliseconds slice = std::chrono::milliseconds(10));

// A queue that the thread which created it runs (command line and tests).
class PlainDispatcher final : public IMainDispatcher {
public:
    PlainDispatcher();
    void post(std::function<void()> fn) override;
    void invoke(std::function<void()> fn) override;
    bool isMainThread() const override;
    void pumpFor(std::chrono::milliseconds slice) override;

    // Runs everything queued so far; returns how many calls ran.
    int runPending();
    // Runs queued work until pred() is true or the timeout passes; returns pred().
    bool runUntil(const std::function<bool()>& pred,
                  std::chrono::milliseconds timeout = std::chrono::hours(24));

private:
    std::thread::id mainId_;
    std::mutex mutex_;  // guards queue_
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
};
