#pragma once
// Hands frames to a thread of their own, so that decoding and converting the
// next picture overlaps with encoding the last one. The queue is short: the
// pictures waiting in it are the only memory this costs.
#include "ff_owned.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class TFramePipe {
public:
    // The consumer runs on the pipe's thread: a frame to encode, or null once
    // at the end to drain.
    using Consumer = std::function<void(AVFrame* frame)>;
    TFramePipe(Consumer consumer, size_t capacity);
    ~TFramePipe();
    TFramePipe(const TFramePipe&) = delete;
    TFramePipe& operator=(const TFramePipe&) = delete;

    // Queues a new reference to the frame; waits while the queue is full.
    // Rethrows what the consumer raised.
    void Push(const AVFrame* frame);
    // The queued frames, then the drain; returns when the consumer is done.
    // Rethrows what the consumer raised.
    void Finish();
    // Drops what is queued and ends the thread (after a failure elsewhere).
    void Abort();

private:
    void Run();
    void Join();

    Consumer consumer_;
    size_t capacity_;
    std::mutex mutex_;  // guards everything below
    std::condition_variable cv_;
    std::deque<TFramePtr> queue_;
    bool finishing_ = false;
    bool aborting_ = false;
    bool exited_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};
