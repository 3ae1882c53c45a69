#include "dispatcher.h"

#include <algorithm>
#include <exception>
#include <memory>

namespace {
using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(std::chrono::milliseconds timeout) {
    if (timeout == TWaitable::Forever) return Clock::time_point::max();
    return Clock::now() + timeout;
}
}  // namespace

// ------------------------------------------------------------------ wait

void TWaitable::Notify() {
    std::lock_guard lock(mutex_);
    ++generation_;
    // Under the lock: a pumping waiter leaves the list under it too, so its
    // dispatcher is still there.
    for (IDispatcher* dispatcher : pumping_) dispatcher->post([] {});
    changed_.notify_all();
}

bool TWaitable::WaitUntil(IDispatcher* dispatcher, const std::function<bool()>& pred,
                          std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = DeadlineAfter(timeout);
    if (dispatcher && dispatcher->isMainThread()) return PumpUntil(*dispatcher, pred, deadline);
    return SleepUntil(pred, deadline);
}

bool TWaitable::PumpUntil(IDispatcher& dispatcher, const std::function<bool()>& pred,
                          Clock::time_point deadline) {
    {
        std::lock_guard lock(mutex_);
        pumping_.push_back(&dispatcher);
    }
    struct Leave {
        TWaitable& self;
        IDispatcher* dispatcher;
        ~Leave() {
            std::lock_guard lock(self.mutex_);
            self.pumping_.erase(std::find(self.pumping_.begin(), self.pumping_.end(), dispatcher));
        }
    } leave{*this, &dispatcher};
    // A Notify between the look at pred() and the pump has queued its empty
    // call already, so the pump does not sleep through it.
    while (!pred()) {
        if (Clock::now() >= deadline) return false;
        dispatcher.pump(deadline);
    }
    return true;
}

bool TWaitable::SleepUntil(const std::function<bool()>& pred, Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    for (;;) {
        // The generation is taken before pred() looks: a change after the
        // look has moved it on, so the sleep below ends at once.
        const uint64_t seen = generation_;
        lock.unlock();
        if (pred()) return true;
        lock.lock();
        const auto changed = [&] { return generation_ != seen; };
        if (deadline == Clock::time_point::max()) {
            changed_.wait(lock, changed);
        } else if (!changed_.wait_until(lock, deadline, changed)) {
            lock.unlock();
            return pred();
        }
    }
}

// ------------------------------------------------------------------ plain dispatcher

PlainDispatcher::PlainDispatcher() : mainId_(std::this_thread::get_id()) {}

void PlainDispatcher::post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(fn));
    }
    cv_.notify_all();
}

void PlainDispatcher::invoke(std::function<void()> fn) {
    if (isMainThread()) {
        fn();
        return;
    }
    struct Call {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        std::exception_ptr error;
    };
    auto call = std::make_shared<Call>();
    post([call, fn = std::move(fn)] {
        std::exception_ptr error;
        try {
            fn();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(call->m);
        call->error = std::move(error);
        call->done = true;
        call->cv.notify_all();
    });
    // The error leaves the shared record under the lock, so the caller owns
    // the exception's last reference and frees it after its own handler ran.
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(call->m);
        call->cv.wait(lock, [&] { return call->done; });
        error = std::move(call->error);
    }
    if (error) std::rethrow_exception(error);
}

bool PlainDispatcher::isMainThread() const { return std::this_thread::get_id() == mainId_; }

int PlainDispatcher::runPending() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batch.swap(queue_);
    }
    for (auto& fn : batch) fn();
    return static_cast<int>(batch.size());
}

void PlainDispatcher::pump(Clock::time_point deadline) {
    if (runPending() > 0) return;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto queued = [&] { return !queue_.empty(); };
        if (deadline == Clock::time_point::max())
            cv_.wait(lock, queued);
        else
            cv_.wait_until(lock, deadline, queued);
    }
    runPending();
}

bool PlainDispatcher::runUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    // Nobody notifies this one: pred() is looked at after each piece of work.
    TWaitable queueOnly;
    return queueOnly.WaitUntil(this, pred, timeout);
}
