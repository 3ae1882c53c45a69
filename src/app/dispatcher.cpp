#include "dispatcher.h"

#include <atomic>
#include <exception>
#include <memory>

namespace {
std::atomic<IMainDispatcher*> gDispatcher{nullptr};
}

IMainDispatcher* MainDispatcher() { return gDispatcher.load(std::memory_order_acquire); }

void SetMainDispatcher(IMainDispatcher* dispatcher) { gDispatcher.store(dispatcher, std::memory_order_release); }

void WaitPumping(IMainDispatcher* dispatcher, const std::function<bool()>& pred, std::chrono::milliseconds slice) {
    while (!pred()) {
        if (dispatcher && dispatcher->isMainThread())
            dispatcher->pumpFor(slice);
        else
            std::this_thread::sleep_for(slice);
    }
}

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
        try {
            fn();
        } catch (...) {
            call->error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(call->m);
        call->done = true;
        call->cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(call->m);
    call->cv.wait(lock, [&] { return call->done; });
    if (call->error) std::rethrow_exception(call->error);
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

void PlainDispatcher::pumpFor(std::chrono::milliseconds slice) {
    if (runPending() > 0) return;
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, slice, [&] { return !queue_.empty(); });
    lock.unlock();
    runPending();
}

bool PlainDispatcher::runUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return pred();
        pumpFor(std::min<std::chrono::milliseconds>(
            std::chrono::milliseconds(10), std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)));
    }
    return true;
}
