#include "ff_task.h"

#include "ff_task_run.h"

#include <mutex>

namespace {
// Guards the preview flags of all tasks.
std::mutex previewMutex;
}  // namespace

TCustomFFmpeg::TCustomFFmpeg(int maxFiles, IDispatcher* dispatcher)
    : maxFiles_(maxFiles < 1 ? 1 : maxFiles),
      dispatcher_(dispatcher),
      media_(this),
      threadWork_(dispatcher) {
    media_.BeforeFindStreamInfo = [this](AVFormatContext* ic) {
        if (BeforeFindStreamInfoCallback) BeforeFindStreamInfoCallback(this, ic);
    };
}

TCustomFFmpeg::~TCustomFFmpeg() {
    DropCallbacks();
    Stop(true);
    if (thread_.joinable()) thread_.join();
    TerminateCallback = nullptr;
    try {
        Cleanup();
    } catch (...) {
        // Nothing is left to report to.
    }
}

void TCustomFFmpeg::SetOption(const std::string& name, const std::string& value) {
    ::SetOption(media_.Options, media_, name, value);
}

void TCustomFFmpeg::ApplyOptionText(const std::string& text, bool codecOptionsAllowed) {
    ::ApplyOptionText(media_.Options, media_, text, codecOptionsAllowed);
}

void TCustomFFmpeg::OpenInput(const std::string& fileName) { media_.OpenInput(fileName); }

int TCustomFFmpeg::OpenOutput(const std::string& fileName, bool joinRequest) {
    return media_.OpenOutput(fileName, joinRequest);
}

AVFormatContext* TCustomFFmpeg::InputContext(int index) const {
    return index >= 0 && index < InputCount() ? media_.Inputs[static_cast<size_t>(index)]->Context.get() : nullptr;
}

void TCustomFFmpeg::SetPreviewFlags(int flags) {
    std::lock_guard lock(previewMutex);
    previewFlags_ = flags;
}

int TCustomFFmpeg::PreviewFlags() const {
    std::lock_guard lock(previewMutex);
    return previewFlags_;
}

void TCustomFFmpeg::SetHookBitsPixel(int bitsPixel) {
    hookConverter_.SetBitsPixel(bitsPixel);
    previewConverter_.SetBitsPixel(bitsPixel);
}

void TCustomFFmpeg::DropCallbacks() {
    ProgressCallback = nullptr;
    PreviewBitmapCallback = nullptr;
    VideoInputHookCallback = nullptr;
    VideoOutputHookCallback = nullptr;
    AudioHookCallback = nullptr;
    BeforeFindStreamInfoCallback = nullptr;
}

bool TCustomFFmpeg::CheckStop(void* argument, void* owner) {
    const auto* task = static_cast<TCustomFFmpeg*>(owner);
    return argument == owner && task->stopRequested_;
}

TTaskOutcome TCustomFFmpeg::Outcome() const {
    if (error_) return toFailed;
    return completed_ ? toFinished : toCancelled;
}

void TCustomFFmpeg::Fail(const FFmpegException& error) {
    FFLogger().Log(this, llQuiet, error.what());
    error_ = error;
    if (run_) failedInput_ = run_->ReadingInput();
}

bool TCustomFFmpeg::Start(bool threaded, TThreadPriority priority) {
    if (running_ || ended_) return false;
    if (media_.Outputs.empty() || media_.Inputs.empty()) {
        const char* message =
            media_.Outputs.empty() ? "At least one output file must be specified" : "At least one input file must be specified";
        Cleanup();
        Fail(FFmpegException(message, AVERROR(EINVAL)));
        EndNotification();
        return false;
    }
    running_ = true;
    stopRequested_ = false;
    completed_ = false;
    writtenOutput_.clear();
    warnings_.clear();
    ended_ = false;
    threaded_ = threaded;
    if (!threaded) {
        Execute();
        return false;
    }
    RunOnThread(priority, [this] { Execute(); });
    return true;
}

void TCustomFFmpeg::RunOnThread(TThreadPriority priority, std::function<void()> body) {
    if (thread_.joinable()) thread_.join();
    threadWork_.Add();
    thread_ = std::thread([this, priority, body = std::move(body)] {
        if (priority != tpNormal) SetCurrentThreadPriority(priority);
        body();
        threadWork_.Done();
    });
}

void TCustomFFmpeg::Transcode() {
    run_ = std::make_unique<TTaskRun>(*this);
    run_->Setup();
    run_->Loop();
    run_->End();
    completed_ = !stopRequested_;
    run_.reset();
    // A cancelled run's outputs go with the cleanup; only a whole one stays.
    if (!completed_) return;
    media_.CommitOutputs();
    if (!media_.Outputs.empty()) writtenOutput_ = media_.Outputs.front()->FileName;
}

void TCustomFFmpeg::CloseCodecs() {
    if (run_) run_->CloseCodecs();
}

void TCustomFFmpeg::Cleanup() {
    run_.reset();
    media_.Release();
}

void TCustomFFmpeg::Execute() {
    completed_ = false;
    const auto guarded = [this](void (TCustomFFmpeg::*step)()) {
        try {
            (this->*step)();
        } catch (const FFmpegException& e) {
            Fail(e);
        } catch (const std::exception& e) {
            Fail(FFmpegException(e.what()));
        } catch (...) {
            Fail(FFmpegException("Unknown error"));
        }
    };
    guarded(&TCustomFFmpeg::Transcode);
    guarded(&TCustomFFmpeg::CloseCodecs);
    guarded(&TCustomFFmpeg::Cleanup);
    guarded(&TCustomFFmpeg::EndNotification);
}

void TCustomFFmpeg::EndNotification() {
    running_ = false;
    ended_ = true;
    if (TerminateCallback) TerminateCallback(this);
}

void TCustomFFmpeg::Stop(bool wait) {
    if (running_) {
        stopRequested_ = true;
        if (!threaded_) {
            // An inline run: the interrupt check ends a blocking read or write.
            media_.Io.Cancel();
            return;
        }
    } else if (!ended_) {
        // Never started: the end notification comes from a thread of its own.
        RunOnThread(tpNormal, [this] { EndNotification(); });
    } else {
        return;
    }
    if (!wait || !thread_.joinable()) return;
    threadWork_.WaitIdle();
    thread_.join();
}
