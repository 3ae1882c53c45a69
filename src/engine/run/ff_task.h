#pragma once
// One task of the encoder: its thread and its lifecycle. What the task is
// made of (options, inputs, outputs) is its TTaskMedia, built on the caller's
// thread; the transcoding itself is a TTaskRun on the worker thread; the
// join's rules are the run's TJoinTimeline.
//
// Lifecycle: created -> inputs and outputs added -> Start -> running ->
// ended (finished, failed with its error, or cancelled). A task stopped before
// it started ends without running; one without inputs or outputs ends at once
// as failed. An ended task never runs again.
#include "ff_bitmap.h"
#include "ff_converter.h"
#include "ff_exception.h"
#include "ff_logger.h"
#include "ff_records.h"
#include "ff_task_media.h"
#include "ff_wait.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "thread_priority.h"

class IDispatcher;
class TTaskRun;

class TCustomFFmpeg {
public:
    // dispatcher: the user-interface thread's, which a blocking Stop keeps
    // running there; null when there is none.
    TCustomFFmpeg(int maxFiles, IDispatcher* dispatcher);
    virtual ~TCustomFFmpeg();
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    // ---- building (caller's thread) ----
    void SetOption(const std::string& name, const std::string& value);
    void ApplyOptionText(const std::string& text, bool codecOptionsAllowed);
    TOptionState& Options() { return media_.Options; }
    TTaskMedia& Media() { return media_; }
    // Raises FFmpegException with the reason when the input cannot be opened.
    void OpenInput(const std::string& fileName);
    // The index of the new output; raises FFmpegException with the reason.
    int OpenOutput(const std::string& fileName, bool joinRequest);
    // One output slot per input, all writing into the joining output.
    void PrepareJoin() { media_.PrepareJoin(); }

    int InputCount() const { return static_cast<int>(media_.Inputs.size()); }
    int OutputCount() const { return media_.OutputCount(); }
    int MaxFiles() const { return maxFiles_; }
    AVFormatContext* InputContext(int index) const;
    int64_t TotalDuration() const { return media_.TotalDuration; }
    bool Joining() const { return media_.Join; }

    // ---- running ----
    // Threaded: starts the run on a worker thread and returns true. Not
    // threaded: runs it now and returns false. Does nothing (false) for a task
    // that runs or has ended; a task without inputs or outputs ends at once.
    bool Start(bool threaded, TThreadPriority priority);
    // Asks the run to stop; with wait, returns once it has ended.
    void Stop(bool wait);

    bool Running() const { return running_; }
    bool StopRequested() const { return stopRequested_; }
    bool Threaded() const { return threaded_; }
    bool Completed() const { return completed_; }
    bool Ended() const { return ended_; }
    bool Failed() const { return error_.has_value(); }
    // The error that ended the task (the last one when several steps failed).
    const std::optional<FFmpegException>& Error() const { return error_; }
    std::string ErrorMessage() const { return error_ ? error_->what() : std::string(); }
    // The input the run was reading when it failed; -1 when it read none.
    int FailedInput() const { return failedInput_; }
    // What the run met in its inputs that did not stop it; the run adds them.
    const std::vector<TInputWarning>& Warnings() const { return warnings_; }
    void AddWarning(TInputWarning warning) { warnings_.push_back(std::move(warning)); }
    // The first output's name as committed (it may have taken a free "(n)"
    // name); empty until the task wrote it.
    const std::string& WrittenOutput() const { return writtenOutput_; }
    // How the task ended; meaningful once it has.
    TTaskOutcome Outcome() const;

    // Settings the encoder copies in.
    bool StrictOptions() const { return media_.Options.StrictOptions; }
    void SetStrictOptions(bool value) { media_.Options.StrictOptions = value; }
    void SetVerbosity(int value) { media_.Options.Verbosity = value; }
    void SetIOTimeout(int milliseconds) { media_.Io.TimeoutMs = milliseconds; }
    int64_t ReportInterval = 500000;   // microseconds
    int64_t PreviewInterval = 100000;  // microseconds
    // Bit 0 preview window, bit 1 preview bitmap; changed under the preview lock.
    void SetPreviewFlags(int flags);
    int PreviewFlags() const;
    // Bit depth of both frame converters (hooks and preview).
    void SetHookBitsPixel(int bitsPixel);
    TFormatConverter& HookConverter() { return hookConverter_; }
    TFormatConverter& PreviewConverter() { return previewConverter_; }

    // Callbacks into the owner, called from the worker thread.
    std::function<void(TCustomFFmpeg*, int fileIndex, int64_t totalDuration, int64_t currentDuration,
                       int64_t currentSize, float bitRate, float quality, int fps, int frameNumber)>
        ProgressCallback;
    std::function<void(TCustomFFmpeg*)> TerminateCallback;
    std::function<void(TCustomFFmpeg*, TFFBitmap*, int frameNumber, int64_t pts)> PreviewBitmapCallback;
    std::function<void(TCustomFFmpeg*, TFFBitmap*, int frameNumber, int64_t pts, bool& update, bool& stopHook)>
        VideoInputHookCallback;
    std::function<void(TCustomFFmpeg*, TFFBitmap*, int frameNumber, int64_t pts, bool& update, bool& stopHook)>
        VideoOutputHookCallback;
    std::function<void(TCustomFFmpeg*, int64_t pts, uint8_t* samples, int size, int sampleRate, int channels,
                       int sampleFormat)>
        AudioHookCallback;
    std::function<void(TCustomFFmpeg*, void* formatContext)> BeforeFindStreamInfoCallback;

    // The interrupt check of a run on a worker thread: true once a stop was
    // requested (argument and owner are the task).
    static bool CheckStop(void* argument, void* owner);

protected:
    // Clears every callback but the end notification's.
    void DropCallbacks();
    // The whole run as the worker executes it: the transcoding, the codecs
    // closed, the files released, the end notification; each step's error is
    // logged and kept.
    void Execute();
    // Issues the end notification: not running, ended, then the callback.
    void EndNotification();

private:
    void Transcode();
    void CloseCodecs();
    void Cleanup();
    void Fail(const FFmpegException& error);
    // Runs the body on a new thread of the task's; done tells when it ended.
    void RunOnThread(TThreadPriority priority, std::function<void()> body);

    int maxFiles_;
    IDispatcher* dispatcher_;
    TTaskMedia media_;
    std::unique_ptr<TTaskRun> run_;

    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    bool completed_ = false;
    std::string writtenOutput_;
    std::atomic<bool> ended_{false};
    std::optional<FFmpegException> error_;
    int failedInput_ = -1;
    std::vector<TInputWarning> warnings_;
    int previewFlags_ = 0;

    std::thread thread_;
    TPendingWork threadWork_;  // the task's thread while it runs
    bool threaded_ = false;

    TFormatConverter hookConverter_;
    TFormatConverter previewConverter_;
};
