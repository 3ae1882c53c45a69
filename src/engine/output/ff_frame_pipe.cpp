#include "ff_frame_pipe.h"

#include "ff_exception.h"


TFramePipe::TFramePipe(Consumer consumer, size_t capacity)
    : consumer_(std::move(consumer)), capacity_(capacity < 1 ? 1 : capacity) {
    thread_ = std::thread([this] { Run(); });
}

TFramePipe::~TFramePipe() { Abort(); }

void TFramePipe::Run() {
    for (;;) {
        TFramePtr frame;
        bool drain = false;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [this] { return aborting_ || finishing_ || !queue_.empty(); });
            if (aborting_) break;
            if (!queue_.empty()) {
                frame = std::move(queue_.front());
                queue_.pop_front();
            } else {
                drain = true;  // finishing with nothing left
            }
        }
        cv_.notify_all();  // room in the queue
        try {
            consumer_(frame.get());
        } catch (...) {
            std::lock_guard lock(mutex_);
            error_ = std::current_exception();
            break;
        }
        if (drain) break;
    }
    std::lock_guard lock(mutex_);
    exited_ = true;
    queue_.clear();
    cv_.notify_all();
}

void TFramePipe::Push(const AVFrame* frame) {
    TFramePtr ref = NewFrame();
    if (!ref || FF.av_frame_ref(ref.get(), frame) < 0) throw FFmpegException("Out of memory");
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return exited_ || queue_.size() < capacity_; });
    if (exited_) {
        if (error_) std::rethrow_exception(error_);
        throw FFmpegException("Video encoding failed");
    }
    queue_.push_back(std::move(ref));
    lock.unlock();
    cv_.notify_all();
}

void TFramePipe::Join() {
    if (thread_.joinable()) thread_.join();
}

void TFramePipe::Finish() {
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    cv_.notify_all();
    Join();
    std::lock_guard lock(mutex_);
    if (error_) std::rethrow_exception(error_);
}

void TFramePipe::Abort() {
    {
        std::lock_guard lock(mutex_);
        aborting_ = true;
    }
    cv_.notify_all();
    Join();
}
