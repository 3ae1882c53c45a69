// How the encoder's events reach their handlers: progress and preview on the
// user-interface thread through the dispatcher, hooks on the worker thread,
// the end of each task and of the run on notification threads (or on the
// caller's thread in an inline run), the run's final notification last.
#include "dispatcher.h"
#include "ff_encoder.h"
#include "ff_encoder_task.h"

#include <thread>

bool TCustomEncoder::OnMainThread() const { return dispatcher_ && dispatcher_->isMainThread(); }

void TCustomEncoder::DeliverOnMainThread(const std::function<void()>& call) {
    IDispatcher* dispatcher = TriggerEventInMainThread ? dispatcher_ : nullptr;
    if (dispatcher && !dispatcher->isMainThread())
        dispatcher->invoke(call);
    else
        call();
}

void TCustomEncoder::CallOnMainThread(const std::function<void()>& handler) {
    DeliverOnMainThread([&] {
        // A Stop from the handler must not wait for the worker, which waits
        // for the handler.
        struct TCounted {
            std::atomic<int>& count;
            const int by;
            ~TCounted() { count -= by; }
        } counted{inMainThreadHandler_, OnMainThread() ? 1 : 0};
        inMainThreadHandler_ += counted.by;
        handler();
    });
}

void TCustomEncoder::DoProgress(TFFmpeg* task, int fileIndex, int64_t totalDuration, int64_t currentDuration,
                                int64_t currentSize, float bitRate, float quality, int fps, int frameNumber) {
    std::lock_guard lock(progressLock_);
    if (!OnProgress) return;
    progressInfo_.TaskIndex = IndexOf(task);
    progressInfo_.FileIndex = fileIndex;
    progressInfo_.FrameNumber = frameNumber;
    progressInfo_.FPS = fps;
    progressInfo_.Quality = quality;
    progressInfo_.BitRate = bitRate;
    progressInfo_.CurrentSize = currentSize;
    progressInfo_.CurrentDuration = currentDuration;
    progressInfo_.TotalDuration = totalDuration;
    const TProgressEvent handler = OnProgress;
    CallOnMainThread([&] { handler(this, &progressInfo_); });
}

void TCustomEncoder::DoPreviewBitmap(TFFmpeg* task, TFFBitmap* bitmap, int frameNumber, int64_t pts) {
    std::lock_guard lock(previewLock_);
    if (!OnPreviewBitmap) return;
    previewInfo_ = TPreviewInfo{IndexOf(task), bitmap, frameNumber, pts};
    const TPreviewBitmapEvent handler = OnPreviewBitmap;
    CallOnMainThread([&] { handler(this, previewInfo_); });
}

void TCustomEncoder::DeliverVideoHook(const TVideoHookEvent& handler, TFFmpeg* task, TFFBitmap* bitmap,
                                      int frameNumber, int64_t pts, bool& update, bool& stopHook) {
    std::lock_guard lock(videoHookLock_);
    if (!handler) return;
    hookInfo_ = THookInfo{IndexOf(task), bitmap, frameNumber, pts, update, stopHook};
    handler(this, &hookInfo_);
    update = hookInfo_.Update;
    stopHook = hookInfo_.StopHook;
}

void TCustomEncoder::DoVideoInputHook(TFFmpeg* task, TFFBitmap* bitmap, int frameNumber, int64_t pts, bool& update,
                                      bool& stopHook) {
    DeliverVideoHook(OnVideoInputHook, task, bitmap, frameNumber, pts, update, stopHook);
}

void TCustomEncoder::DoVideoOutputHook(TFFmpeg* task, TFFBitmap* bitmap, int frameNumber, int64_t pts, bool& update,
                                       bool& stopHook) {
    DeliverVideoHook(OnVideoOutputHook, task, bitmap, frameNumber, pts, update, stopHook);
}

void TCustomEncoder::DoAudioHook(TFFmpeg* task, int64_t pts, uint8_t* samples, int size, int sampleRate, int channels,
                                 int sampleFormat) {
    std::lock_guard lock(audioHookLock_);
    if (OnAudioHook) OnAudioHook(this, IndexOf(task), pts, samples, size, sampleRate, channels, sampleFormat);
}

void TCustomEncoder::DoBeforeFindStreamInfo(TFFmpeg* /*task*/, void* formatContext) {
    if (OnBeforeFindStreamInfo) OnBeforeFindStreamInfo(this, formatContext);
}

void TCustomEncoder::NotifyOnThread(const TTerminateInfo& info) {
    std::shared_ptr<NotifyState> state = notify_;
    const TTerminateEvent handler = OnTerminate;
    uint64_t ticket = 0;
    {
        std::lock_guard lock(state->Mutex);
        ticket = state->Issued++;
    }
    state->Threads.Add();
    std::thread([state, handler, info, ticket, self = this] {
        {
            std::unique_lock lock(state->Mutex);
            state->Turn.wait(lock, [&] { return state->Delivered == ticket; });
        }
        try {
            handler(self, info);
        } catch (...) {
            // Nothing to report to from here.
        }
        {
            std::lock_guard lock(state->Mutex);
            ++state->Delivered;
        }
        state->Turn.notify_all();
        state->Threads.Done();
    }).detach();
}

void TCustomEncoder::DoTerminate(TFFmpeg* task) {
    std::lock_guard lock(terminateLock_);
    if (OnTerminate) {
        const int code = task->Error() ? task->Error()->Code() : 0;
        terminateInfo_ =
            TTerminateInfo{IndexOf(task), task->ErrorMessage(), task->Outcome(), code, task->FailedInput(),
                           task->WrittenOutput(), task->Warnings()};
        DeliverTerminate();
    }
    ++finishedTasks_;
    if (tasksToStart_ < 1) {
        if (finishedTasks_ >= TaskCount()) FinalNotification();
    } else if (threaded_) {
        StartNextTask();
    }
}

void TCustomEncoder::FinalNotification() {
    // Set before the delivery: a handler (or what it posts) may clear the
    // tasks as soon as it sees the final notification.
    allFinished_ = true;
    if (!OnTerminate) return;
    terminateInfo_ = TTerminateInfo{-1, {}, toFinished, 0, -1, {}};
    DeliverTerminate();
}

void TCustomEncoder::DeliverTerminate() {
    if (threaded_ || !working_) {
        NotifyOnThread(terminateInfo_);
        return;
    }
    ++inlineDelivery_;
    OnTerminate(this, terminateInfo_);
    --inlineDelivery_;
}
