#include "ff_task.h"

#include "dispatcher.h"
#include "ff_encoder.h"
#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_task_tables.h"

#include <unistd.h>

#include <chrono>
#include <cstdarg>

namespace {
// Guards the preview flags of all tasks.
std::mutex previewMutex;
}  // namespace

TCustomFFmpeg::TCustomFFmpeg(int maxFiles) : maxFiles_(maxFiles < 1 ? 1 : maxFiles > 512 ? 512 : maxFiles) {}

TCustomFFmpeg::~TCustomFFmpeg() {
    ProgressCallback = nullptr;
    PreviewBitmapCallback = nullptr;
    VideoInputHookCallback = nullptr;
    VideoOutputHookCallback = nullptr;
    AudioHookCallback = nullptr;
    BeforeFindStreamInfoCallback = nullptr;
    Stop(true);
    if (thread_.joinable()) thread_.join();
    TerminateCallback = nullptr;
    try {
        Cleanup();
    } catch (...) {
        // Nothing is left to report to.
    }
}

void TCustomFFmpeg::Log(TLogLevel level, const std::string& message) { FFLogger().Log(this, level, message); }

void TCustomFFmpeg::LogFmt(TLogLevel level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatTextV(format, args);
    va_end(args);
    FFLogger().Log(this, level, text);
}

void TCustomFFmpeg::SetOption(const std::string& name, const std::string& value) {
    ::SetOption(options_, *this, name, value);
}

void TCustomFFmpeg::ApplyOptionText(const std::string& text, bool codecOptionsAllowed) {
    ::ApplyOptionText(options_, *this, text, codecOptionsAllowed);
}

AVFormatContext* TCustomFFmpeg::InputContext(int index) const {
    return index >= 0 && index < InputCount() ? inputs_[static_cast<size_t>(index)].ctx.get() : nullptr;
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

bool TCustomFFmpeg::AddVideoHook(const std::string& /*argument*/) {
    // Frame-hook plug-in libraries belong to the old generation of the codec
    // libraries; today's libraries have filters instead ("vf").
    return false;
}

bool TCustomFFmpeg::CheckStop(void* argument, void* owner) {
    const auto* task = static_cast<TCustomFFmpeg*>(owner);
    return argument == owner && task->stopRequested_;
}

bool TCustomFFmpeg::CheckTimeout(void* argument, void* owner) {
    auto* task = static_cast<TCustomFFmpeg*>(owner);
    if (argument != owner || task->IOTimeout <= 0) return false;
    const int64_t start = task->ioStartTime_;
    if (start == INT64_MAX) return false;
    if (FF.av_gettime_relative() - start <= static_cast<int64_t>(task->IOTimeout) * 1000) return false;
    task->interruptReason_ = start == 0 ? "connecting/reading/writing canceled" : "connecting/reading/writing timeout";
    task->Log(llInfo, task->interruptReason_);
    return true;
}

std::string TCustomFFmpeg::OpenFailure(const std::string& fileName, int code) const {
    if (!interruptReason_.empty()) return fileName + ": " + interruptReason_;
    return ErrorText(fileName, code);
}

void TCustomFFmpeg::CloseCodecs() {
    for (auto& out : outputs_)
        for (auto& t : out->tracks) {
            t->pipe.reset();  // its thread uses the encoder
            t->enc.reset();
        }
    for (auto& ist : inputStreams_) ist->dec.reset();
}

bool TCustomFFmpeg::Start(bool threaded, TThreadPriority priority) {
    if (running_ || ended_) return false;
    if (outputs_.empty() || inputs_.empty()) {
        const std::string message =
            outputs_.empty() ? "At least one output file must be specified" : "At least one input file must be specified";
        Cleanup();
        Log(llQuiet, message);
        failed_ = true;
        errorMessage_ = message;
        EndNotification();
        return false;
    }
    running_ = true;
    stopRequested_ = false;
    completed_ = false;
    ended_ = false;
    threaded_ = threaded;
    if (!threaded) {
        Execute();
        return false;
    }
    if (thread_.joinable()) thread_.join();
    threadDone_ = false;
    thread_ = std::thread([this, priority] {
        if (priority != tpNormal) SetCurrentThreadPriority(priority);
        Execute();
        threadDone_ = true;
    });
    return true;
}

void TCustomFFmpeg::Execute() {
    completed_ = false;
    const auto guarded = [this](const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& e) {
            Log(llQuiet, e.what());
            failed_ = true;
            errorMessage_ = e.what();
        } catch (...) {
            Log(llQuiet, "Unknown error");
            failed_ = true;
            errorMessage_ = "Unknown error";
        }
    };
    guarded([this] { Transcode(); });
    guarded([this] { CloseCodecs(); });
    guarded([this] { Cleanup(); });
    guarded([this] { EndNotification(); });
}

void TCustomFFmpeg::EndNotification() {
    running_ = false;
    ended_ = true;
    if (TerminateCallback) TerminateCallback(this);
}

void TCustomFFmpeg::Stop(bool wait) {
    if (running_) {
        stopRequested_ = true;
        if (threaded_) {
            if (wait && thread_.joinable()) {
                WaitPumping(MainDispatcher(), [this] { return threadDone_.load(); }, std::chrono::milliseconds(20));
                thread_.join();
            }
        } else {
            // An inline run: the interrupt check ends a blocking read or write.
            ioStartTime_ = 0;
        }
    } else if (!ended_) {
        // Never started: the end notification comes from a thread of its own.
        if (thread_.joinable()) thread_.join();
        threadDone_ = false;
        thread_ = std::thread([this] {
            EndNotification();
            threadDone_ = true;
        });
        if (wait) {
            WaitPumping(MainDispatcher(), [this] { return threadDone_.load(); }, std::chrono::milliseconds(20));
            thread_.join();
        }
    }
}
