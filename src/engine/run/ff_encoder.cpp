#include "ff_encoder.h"

#include "dispatcher.h"
#include "ff_loader.h"
#include "ff_output_sequence.h"
#include "ff_targets.h"
#include "ff_decoder_state.h"
#include "ff_encoder_task.h"

#include <ctime>

namespace {
// The input options of a record, in the order the task takes them.
void ApplyInputRecord(TFFmpeg& task, const TInputOptions& options) {
    task.ApplyOptionText(options.ExtOptions, true);
    if (!options.FileFormat.empty()) task.SetOption("f", options.FileFormat);
    if (options.StartTime != NoTimestamp) task.Options().StartTime = options.StartTime;
    if (options.EndTime != NoTimestamp) task.Options().InputEndTime = options.EndTime;
    if (options.ProgramID >= 0) task.SetOption("programid", std::to_string(options.ProgramID));
}

void ApplyOutputStep(TFFmpeg& task, const TOutputStep& step) {
    switch (step.Kind) {
        case TOutputStep::osSetOption: task.SetOption(step.Name, step.Value); break;
        case TOutputStep::osOptionText: task.ApplyOptionText(step.Value, false); break;
        case TOutputStep::osTarget: ApplyTarget(task.Options(), task.Media(), step.Name, step.Value, step.Fallback); break;
        case TOutputStep::osStartTime: task.Options().StartTime = step.Number; break;
        case TOutputStep::osRecordingTime: task.Options().RecordingTime = step.Number; break;
        case TOutputStep::osRecordingTimestamp: task.Options().RecordingTimestamp = step.Number; break;
    }
}
}  // namespace

TCustomEncoder::TCustomEncoder(IDispatcher* dispatcher)
    : dispatcher_(dispatcher), notify_(std::make_shared<NotifyState>(dispatcher)) {
    version_ = "3.9";
}

TCustomEncoder::~TCustomEncoder() {
    // Running tasks end first; deliveries in progress finish meanwhile.
    if (working_) {
        tasksToStart_ = 0;
        for (auto& task : tasks_) task->Stop(true);
    }
    {
        std::scoped_lock lock(audioHookLock_, previewLock_, progressLock_, terminateLock_, videoHookLock_);
        OnAudioHook = nullptr;
        OnBeforeFindStreamInfo = nullptr;
        OnPreviewBitmap = nullptr;
        OnProgress = nullptr;
        OnTerminate = nullptr;
        OnVideoInputHook = nullptr;
        OnVideoOutputHook = nullptr;
    }
    tasks_.clear();
    // Notification threads still delivering hold the encoder as Sender.
    notify_->Threads.WaitIdle();
}

bool TCustomEncoder::LibrariesLoaded() { return FFLoader().SetLoaded(EngineLibrarySet); }

bool TCustomEncoder::LoadLibraries(const std::string& folder) {
    TFFLoader& loader = FFLoader();
    loader.SetSearchFolder(folder);
    if (!loader.LoadSet(EngineLibrarySet)) {
        lastError_ = FFmpegException(loader.LastError());
        return false;
    }
    return true;
}

void TCustomEncoder::CheckWorking(const char* word) {
    if (working_) throw FFmpegException(FormatText("Cannot %s while working.", word));
}

TFFmpeg& TCustomEncoder::TaskAt(int index) const {
    if (index < 0 || index >= static_cast<int>(tasks_.size()))
        throw FFmpegException(FormatText("List index out of bounds (%d)", index));
    return *tasks_[static_cast<size_t>(index)];
}

int TCustomEncoder::IndexOf(const TFFmpeg* task) const {
    for (size_t i = 0; i < tasks_.size(); ++i)
        if (tasks_[i].get() == task) return static_cast<int>(i);
    return -1;
}

int TCustomEncoder::TaskCount() const { return static_cast<int>(tasks_.size()); }

void TCustomEncoder::BindCallbacks(TFFmpeg& task) {
    TFFmpeg* t = &task;
    task.ProgressCallback = [this, t](TCustomFFmpeg*, int fileIndex, int64_t total, int64_t current, int64_t size,
                                      float bitRate, float quality, int fps, int frameNumber) {
        DoProgress(t, fileIndex, total, current, size, bitRate, quality, fps, frameNumber);
    };
    task.TerminateCallback = [this, t](TCustomFFmpeg*) { DoTerminate(t); };
}

bool TCustomEncoder::Attempt(const std::function<void()>& operation) {
    try {
        operation();
        return true;
    } catch (const FFmpegException& e) {
        lastError_ = e;
    } catch (const std::exception& e) {
        lastError_ = FFmpegException(e.what());
    }
    return false;
}

int TCustomEncoder::AddTask(const std::string& fileName, TInputOptions* options) {
    CheckWorking("AddTask");
    auto task = std::make_unique<TFFmpeg>(this, MaxFilesPerTask);
    task->SetStrictOptions(StrictOptions);
    const bool added = Attempt([&] {
        task->SetVerbosity(Verbosity);
        task->SetPreviewFlags((preview_ ? 1 : 0) | (previewBitmap_ ? 2 : 0));
        TFFmpeg* t = task.get();
        task->BeforeFindStreamInfoCallback = [this, t](TCustomFFmpeg*, void* ctx) { DoBeforeFindStreamInfo(t, ctx); };
        task->PreviewBitmapCallback = [this, t](TCustomFFmpeg*, TFFBitmap* bitmap, int frame, int64_t pts) {
            DoPreviewBitmap(t, bitmap, frame, pts);
        };
        OpenTaskInput(*task, fileName, options);
        BindCallbacks(*task);
    });
    if (!added) return -1;
    tasks_.push_back(std::move(task));
    return TaskCount() - 1;
}

bool TCustomEncoder::AddInputFile(int taskIndex, const std::string& fileName, TInputOptions* options) {
    CheckWorking("AddInputFile");
    TFFmpeg& task = TaskAt(taskIndex);
    if (task.InputCount() >= task.MaxFiles()) {
        lastError_ = FFmpegException(FormatText("max input files %d reached", task.MaxFiles()));
        return false;
    }
    task.SetStrictOptions(StrictOptions);
    return Attempt([&] { OpenTaskInput(task, fileName, options); });
}

void TCustomEncoder::OpenTaskInput(TFFmpeg& task, const std::string& fileName, TInputOptions* options) {
    const size_t slot = static_cast<size_t>(task.InputCount());
    task.InputOptions.resize(slot + 1);
    task.InputDecoders.resize(slot + 1);
    // A failed input keeps no copy of its record.
    task.InputOptions[slot].reset();
    std::unique_ptr<TInputOptions> copy;
    if (options) {
        if (options->FileName.empty()) options->FileName = fileName;
        copy = std::make_unique<TInputOptions>(*options);
        ApplyInputRecord(task, *options);
    }
    task.SetIOTimeout(IOTimeout);
    task.OpenInput(fileName);
    task.InputOptions[slot] = std::move(copy);
    // A decoder for callers that ask about the input; the task keeps the container.
    task.InputDecoders[slot] = std::make_unique<TFFDecoder>();
    TDecoderAccess::AttachContainer(*task.InputDecoders[slot], task.InputContext(static_cast<int>(slot)));
}

bool TCustomEncoder::SetOutputFile(int taskIndex, const std::string& fileName, TOutputOptions* options) {
    CheckWorking("SetOutputFile");
    TFFmpeg& task = TaskAt(taskIndex);
    if (task.OutputCount() >= task.MaxFiles()) {
        lastError_ = FFmpegException(FormatText("max output files %d reached", task.MaxFiles()));
        return false;
    }
    task.SetStrictOptions(StrictOptions);
    const size_t slot = static_cast<size_t>(task.OutputCount());
    task.OutputOptions.resize(slot + 1);
    // A failed output keeps no copy of its record.
    task.OutputOptions[slot].reset();
    return Attempt([&] {
        TStreamOptionList list;
        std::unique_ptr<TOutputOptions> copy;
        if (options) {
            if (options->FileName.empty()) options->FileName = fileName;
            copy = std::make_unique<TOutputOptions>(*options);
            list = StreamOptionList(*options);
            for (const TOutputStep& step : OutputOptionSteps(*options, list, static_cast<int64_t>(std::time(nullptr))))
                ApplyOutputStep(task, step);
            BindOutputHooks(task, *options);
        }
        const bool join = options && options->Join;
        // The plan says how the output's further sound tracks are made.
        if (options && !options->Plan.Steps.empty()) task.Media().Plan = options->Plan;
        task.SetIOTimeout(IOTimeout);
        task.OpenOutput(fileName, join);
        task.OutputOptions[slot] = std::move(copy);
        if (!options) return;
        task.Media().Verify = task.Media().Verify || options->Verify;
        // Streams the option text adds, each with its own pending settings.
        for (const auto& [name, value] : NewStreamSteps(options->ExtOptions, list)) task.SetOption(name, value);
        if (join && task.Joining()) task.PrepareJoin();
    });
}

void TCustomEncoder::BindOutputHooks(TFFmpeg& task, const TOutputOptions& o) {
    TFFmpeg* t = &task;
    if (o.AudioHook)
        task.AudioHookCallback = [this, t](TCustomFFmpeg*, int64_t pts, uint8_t* samples, int size, int rate,
                                           int channels, int format) {
            DoAudioHook(t, pts, samples, size, rate, channels, format);
        };
    if (o.VideoInputHook)
        task.VideoInputHookCallback = [this, t](TCustomFFmpeg*, TFFBitmap* b, int frame, int64_t pts, bool& u,
                                                bool& s) { DoVideoInputHook(t, b, frame, pts, u, s); };
    if (o.VideoOutputHook)
        task.VideoOutputHookCallback = [this, t](TCustomFFmpeg*, TFFBitmap* b, int frame, int64_t pts, bool& u,
                                                 bool& s) { DoVideoOutputHook(t, b, frame, pts, u, s); };
    task.SetHookBitsPixel(o.VideoHookBitsPixel);
}

void TCustomEncoder::RemoveTask(int taskIndex) {
    CheckWorking("RemoveTask");
    TaskAt(taskIndex);
    tasks_.erase(tasks_.begin() + taskIndex);
}

void TCustomEncoder::ClearTasks() {
    // Also refused from inside an inline run's own notification: the task
    // that delivers it is still on the stack.
    if ((working_ && !allFinished_) || inlineDelivery_ > 0) throw FFmpegException("Cannot ClearTasks while working.");
    tasks_.clear();
    lastError_ = FFmpegException("");
    std::lock_guard lock(terminateLock_);
    finishedTasks_ = 0;
    nextTaskIndex_ = -1;
    tasksToStart_ = 0;
    allFinished_ = false;
    threaded_ = false;
    working_ = false;
}

void TCustomEncoder::Start(int threadCount) {
    CheckWorking("StartTask");
    std::unique_lock lock(terminateLock_);
    finishedTasks_ = 0;
    nextTaskIndex_ = 0;
    tasksToStart_ = TaskCount();
    allFinished_ = false;
    threaded_ = threadCount > 0;
    working_ = true;
    if (!threaded_) lock.unlock();  // an inline run reports on this thread
    while (tasksToStart_ > 0) {
        StartNextTask();
        if (threaded_ && --threadCount == 0) break;
    }
}

void TCustomEncoder::StartNextTask() {
    std::lock_guard lock(terminateLock_);
    if (tasksToStart_ <= 0) return;
    --tasksToStart_;
    TFFmpeg& task = *tasks_[static_cast<size_t>(nextTaskIndex_)];
    ++nextTaskIndex_;
    task.ReportInterval = static_cast<int64_t>(progressInterval_) * 1000;
    task.Start(threaded_, ThreadPriority);
}

void TCustomEncoder::Stop(bool wait) {
    // Called from an OnProgress or OnPreviewBitmap handler: the worker waits
    // for that handler to return, so waiting for the worker here would never end.
    if (inMainThreadHandler_ > 0 && OnMainThread()) wait = false;
    {
        std::lock_guard lock(terminateLock_);
        tasksToStart_ = 0;
    }
    if (!working_) return;
    for (size_t i = 0; i < tasks_.size(); ++i) tasks_[i]->Stop(wait);
}

void TCustomEncoder::SetPreview(bool value) {
    preview_ = value;
    for (auto& task : tasks_) task->SetPreviewFlags((task->PreviewFlags() & ~1) | (value ? 1 : 0));
}

void TCustomEncoder::SetPreviewBitmap(bool value) {
    previewBitmap_ = value;
    for (auto& task : tasks_) task->SetPreviewFlags((task->PreviewFlags() & ~2) | (value ? 2 : 0));
}

void TCustomEncoder::SetProgressInterval(int milliseconds) { progressInterval_ = milliseconds <= 100 ? 100 : milliseconds; }
