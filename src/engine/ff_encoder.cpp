#include "ff_encoder.h"

#include "dispatcher.h"
#include "ff_exception.h"
#include "ff_loader.h"
#include "ff_targets.h"
#include "ff_task.h"
#include "util_funcs.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <thread>

// A task as the encoder keeps it: the task plus the decoders bound to its
// inputs and the caller's option records.
class TFFmpeg : public TCustomFFmpeg {
public:
    TFFmpeg(TCustomEncoder* owner, int maxFiles)
        : TCustomFFmpeg(maxFiles),
          Encoder(owner),
          InputDecoders(static_cast<size_t>(MaxFiles())),
          InputOptions(static_cast<size_t>(MaxFiles())),
          OutputOptions(static_cast<size_t>(MaxFiles())) {}
    ~TFFmpeg() override {
        ProgressCallback = nullptr;
        TerminateCallback = nullptr;
        PreviewBitmapCallback = nullptr;
        VideoInputHookCallback = nullptr;
        VideoOutputHookCallback = nullptr;
        AudioHookCallback = nullptr;
        BeforeFindStreamInfoCallback = nullptr;
        InputDecoders.clear();
        InputOptions.clear();
        OutputOptions.clear();
        Stop(true);
    }

    TCustomEncoder* Encoder;
    std::vector<std::unique_ptr<TFFDecoder>> InputDecoders;
    std::vector<std::unique_ptr<TInputOptions>> InputOptions;
    std::vector<std::unique_ptr<TOutputOptions>> OutputOptions;
};

struct TCustomEncoder::NotifyState {
    // Task notifications whose handler has not returned yet. The final
    // notification waits for none to be left: a single "done" flag would let
    // the first of several overlapping notifications release it too early.
    std::atomic<int> pending{0};
    std::mutex mutex;  // guards live
    std::condition_variable cv;
    int live = 0;  // notification threads still running
};

namespace {
using OptionList = std::vector<std::pair<std::string, std::string>>;

std::string ListValue(const OptionList& list, const std::string& name) {
    for (const auto& [n, v] : list)
        if (n == name) return v;
    return {};
}

void SetListValue(OptionList& list, const std::string& name, const std::string& value) {
    for (auto& [n, v] : list)
        if (n == name) {
            v = value;
            return;
        }
    list.emplace_back(name, value);
}

std::string FloatText(double v) { return FormatText("%g", v); }

// The input options of a record, in the order the task takes them.
void ApplyInputRecord(TFFmpeg& task, const TInputOptions& options) {
    task.ApplyOptionText(options.ExtOptions, true);
    if (!options.FileFormat.empty()) task.SetOption("f", options.FileFormat);
    if (options.StartTime != NoTimestamp) task.Options().StartTime = options.StartTime;
    if (options.ProgramID >= 0) task.SetOption("programid", std::to_string(options.ProgramID));
}
}  // namespace

TCustomEncoder::TCustomEncoder() : notify_(std::make_shared<NotifyState>()) { version_ = "3.9"; }

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
    std::shared_ptr<NotifyState> state = notify_;
    WaitPumping(MainDispatcher(), [state] {
        std::lock_guard lock(state->mutex);
        return state->live == 0;
    });
}

bool TCustomEncoder::LibrariesLoaded() { return FFLoader().SetLoaded(EngineLibrarySet); }

bool TCustomEncoder::LoadLibraries(const std::string& folder) {
    TFFLoader& loader = FFLoader();
    loader.SetSearchFolder(folder);
    if (!loader.LoadSet(EngineLibrarySet)) {
        lastError_ = loader.LastError();
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

int TCustomEncoder::AddTask(const std::string& fileName, TInputOptions* options) {
    CheckWorking("AddTask");
    auto task = std::make_unique<TFFmpeg>(this, MaxFilesPerTask);
    task->SetStrictOptions(StrictOptions);
    try {
        task->SetVerbosity(Verbosity);
        task->SetPreviewFlags((preview_ ? 1 : 0) | (previewBitmap_ ? 2 : 0));
        TFFmpeg* t = task.get();
        task->BeforeFindStreamInfoCallback = [this, t](TCustomFFmpeg*, void* ctx) { DoBeforeFindStreamInfo(t, ctx); };
        task->PreviewBitmapCallback = [this, t](TCustomFFmpeg*, TFFBitmap* bitmap, int frame, int64_t pts) {
            DoPreviewBitmap(t, bitmap, frame, pts);
        };
        if (!OpenTaskInput(*task, fileName, options)) return -1;
        BindCallbacks(*task);
        tasks_.push_back(std::move(task));
        return TaskCount() - 1;
    } catch (const std::exception& e) {
        lastError_ = e.what();
        return -1;
    }
}

bool TCustomEncoder::AddInputFile(int taskIndex, const std::string& fileName, TInputOptions* options) {
    CheckWorking("AddInputFile");
    TFFmpeg& task = TaskAt(taskIndex);
    if (task.InputCount() >= task.MaxFiles()) {
        lastError_ = FormatText("max input files %d reached", task.MaxFiles());
        return false;
    }
    task.SetStrictOptions(StrictOptions);
    try {
        return OpenTaskInput(task, fileName, options);
    } catch (const std::exception& e) {
        lastError_ = e.what();
        return false;
    }
}

bool TCustomEncoder::OpenTaskInput(TFFmpeg& task, const std::string& fileName, TInputOptions* options) {
    const size_t slot = static_cast<size_t>(task.InputCount());
    if (options) {
        if (options->FileName.empty()) options->FileName = fileName;
        task.InputOptions[slot] = std::make_unique<TInputOptions>(*options);
        ApplyInputRecord(task, *options);
    } else {
        task.InputOptions[slot].reset();
    }
    task.IOTimeout = IOTimeout;
    if (!task.OpenInput(fileName)) {
        task.InputOptions[slot].reset();
        lastError_ = task.OpenErrorMessage();
        return false;
    }
    // A decoder for callers that ask about the input; the task keeps the container.
    task.InputDecoders[slot] = std::make_unique<TFFDecoder>();
    task.InputDecoders[slot]->AttachContainer(task.InputContext(static_cast<int>(slot)));
    return true;
}

bool TCustomEncoder::SetOutputFile(int taskIndex, const std::string& fileName, TOutputOptions* options) {
    CheckWorking("SetOutputFile");
    TFFmpeg& task = TaskAt(taskIndex);
    if (task.OutputCount() >= task.MaxFiles()) {
        lastError_ = FormatText("max output files %d reached", task.MaxFiles());
        return false;
    }
    task.SetStrictOptions(StrictOptions);
    const size_t slot = static_cast<size_t>(task.OutputCount());
    OptionList list;
    bool join = false;
    try {
        if (options) {
            TOutputOptions& o = *options;
            if (o.FileName.empty()) o.FileName = fileName;
            task.OutputOptions[slot] = std::make_unique<TOutputOptions>(o);

            // The stream defaults, overridden by the first non-empty line of
            // the same name in ExtOptions.
            list = {{"def_acodec", o.AudioCodec}, {"def_vcodec", o.VideoCodec}, {"def_scodec", o.SubtitleCodec},
                    {"def_apre", o.AudioPreset},  {"def_vpre", o.VideoPreset},  {"def_spre", o.SubtitlePreset},
                    {"def_s", o.FrameSize},       {"def_vf", o.VideoFilters}};
            for (TOptionLine line : SplitOptionText(o.ExtOptions)) {
                static const char* taken[] = {"acodec", "vcodec", "scodec", "apre", "vpre", "spre", "s", "vfilters", "vf"};
                bool isTaken = false;
                for (const char* n : taken) isTaken = isTaken || line.Name == n;
                if (!isTaken || line.Value.empty()) continue;
                if (line.Name == "vfilters") line.Name = "vf";
                if (ListValue(list, "def_" + line.Name).empty()) SetListValue(list, "def_" + line.Name, line.Value);
                list.emplace_back(line.Name, line.Value);
            }
            if (o.Target >= 1 && o.Target <= 3) {
                static const char* kinds[] = {"vcd", "svcd", "dvd"};
                const std::string norm = o.TargetNorm == 1 ? "pal" : o.TargetNorm == 2 ? "ntsc" : "auto";
                ApplyTarget(task.Options(), task, kinds[o.Target - 1], norm, o.TargetNormDefault == 1 ? "pal" : "ntsc");
            }
            for (const char* name : {"acodec", "vcodec", "scodec", "apre", "vpre", "spre"}) {
                const std::string value = ListValue(list, std::string("def_") + name);
                if (!value.empty()) task.SetOption(name, value);
            }
            task.ApplyOptionText(o.ExtOptions, false);

            // The record's fields, in the order of the record.
            if (!o.FileFormat.empty()) task.SetOption("f", o.FileFormat);
            if (o.PacketSize > 0) task.SetOption("packetsize", std::to_string(o.PacketSize));
            if (o.MuxRate > 0) task.SetOption("muxrate", std::to_string(o.MuxRate));
            if (o.MuxDelay > 0) task.SetOption("muxdelay", FloatText(o.MuxDelay));
            if (o.MuxPreload > 0) task.SetOption("muxpreload", FloatText(o.MuxPreload));
            if (o.DisableAudio) task.SetOption("an", "1");
            if (o.AudioVolume >= 0) task.SetOption("vol", std::to_string(o.AudioVolume));
            if (o.AudioChannels > 0) task.SetOption("ac", std::to_string(o.AudioChannels));
            if (o.AudioSampleRate > 0) task.SetOption("ar", std::to_string(o.AudioSampleRate));
            if (o.AudioBitrate > 0 && o.Target == 0) task.SetOption("ab", std::to_string(o.AudioBitrate));
            if (o.AudioBitrateTolerance > 0) task.SetOption("abt", std::to_string(o.AudioBitrateTolerance));
            task.SetOption("alang", o.AudioLanguage);
            task.SetOption("async", std::to_string(o.AudioSyncMethod));
            if (!o.AudioTag.empty()) task.SetOption("atag", o.AudioTag);
            if (o.DisableVideo) task.SetOption("vn", "1");
            if (!o.FrameRate.empty()) task.SetOption("r", o.FrameRate);
            if (!o.FrameAspectRatio.empty()) task.SetOption("aspect", o.FrameAspectRatio);
            if (o.GOPSize > 0) task.SetOption("g", std::to_string(o.GOPSize));
            if (o.VideoBitrate > 0 && o.Target == 0) task.SetOption("vb", std::to_string(o.VideoBitrate));
            if (o.VideoMaxRate > 0) task.SetOption("maxrate", std::to_string(o.VideoMaxRate));
            if (o.VideoMinRate > 0) task.SetOption("minrate", std::to_string(o.VideoMinRate));
            if (o.VideoBitrateTolerance > 0) task.SetOption("bt", std::to_string(o.VideoBitrateTolerance));
            if (o.VideoBufferSize > 0) task.SetOption("bufsize", std::to_string(o.VideoBufferSize));
            task.SetOption("vsync", std::to_string(o.VideoSyncMethod));
            if (!o.VideoTag.empty()) task.SetOption("vtag", o.VideoTag);
            task.SetOption("vlang", o.VideoLanguage);
            if (o.DisableSubtitle) task.SetOption("sn", "1");
            task.SetOption("slang", o.SubtitleLanguage);
            task.SetOption("isync", o.InputSync ? "1" : "0");
            if (o.CopyTimestamps) task.SetOption("copyts", "1");
            if (o.StartTime != NoTimestamp) task.Options().StartTime = o.StartTime;
            if (o.RecordingTime != NoTimestamp) task.Options().RecordingTime = o.RecordingTime;

            const TStreamInfo& m = o.Metadata;
            if (m.TimeStamp == 0)
                task.Options().RecordingTimestamp = static_cast<int64_t>(std::time(nullptr));
            else if (m.TimeStamp > 0)
                task.Options().RecordingTimestamp = DateTimeToUnix(m.TimeStamp);
            if (m.Year > 0) task.SetOption("metadata", "year=" + std::to_string(m.Year));
            if (m.Track > 0) task.SetOption("metadata", "track=" + std::to_string(m.Track));
            const std::pair<const char*, const std::string*> texts[] = {
                {"title", &m.Title},     {"author", &m.Author}, {"copyright", &m.Copyright},
                {"comment", &m.Comment}, {"album", &m.Album},   {"genre", &m.Genre}};
            for (const auto& [key, value] : texts)
                if (!value->empty()) task.SetOption("metadata", std::string(key) + "=" + *value);

            task.SetOption("s", ListValue(list, "def_s"));
            task.SetOption("vf", ListValue(list, "def_vf"));
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
            join = o.Join;
        } else {
            task.OutputOptions[slot].reset();
        }
        task.IOTimeout = IOTimeout;
        if (task.OpenOutput(fileName, join) < 0) {
            lastError_ = task.OpenErrorMessage();
            task.OutputOptions[slot].reset();
            return false;
        }
        if (options) {
            // Streams the option text adds, each with its own pending settings.
            for (const TOptionLine& line : SplitOptionText(options->ExtOptions)) {
                const char* const* names = nullptr;
                static const char* audioNames[] = {"acodec", "apre", nullptr};
                static const char* videoNames[] = {"vcodec", "vpre", "s", "vf", nullptr};
                static const char* subtitleNames[] = {"scodec", "spre", nullptr};
                if (line.Name == "newaudio")
                    names = audioNames;
                else if (line.Name == "newvideo")
                    names = videoNames;
                else if (line.Name == "newsubtitle")
                    names = subtitleNames;
                else
                    continue;
                for (; *names; ++names) {
                    const std::string name = *names;
                    auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.first == name; });
                    if (it != list.end()) {
                        const std::string value = it->second;
                        list.erase(it);
                        task.SetOption(name, value);
                    } else {
                        task.SetOption(name, ListValue(list, "def_" + name));
                    }
                }
                task.SetOption(line.Name, line.Value);
            }
            if (join && task.Joining()) task.PrepareJoin();
        }
        return true;
    } catch (const std::exception& e) {
        lastError_ = e.what();
        return false;
    }
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
    lastError_.clear();
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

// ---------------------------------------------------------------------------
// Event delivery

bool TCustomEncoder::OnMainThread() {
    IMainDispatcher* dispatcher = MainDispatcher();
    return dispatcher && dispatcher->isMainThread();
}

void TCustomEncoder::DeliverOnMainThread(const std::function<void()>& call) {
    IMainDispatcher* dispatcher = TriggerEventInMainThread ? MainDispatcher() : nullptr;
    if (dispatcher && !dispatcher->isMainThread())
        dispatcher->invoke(call);
    else
        call();
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
    DeliverOnMainThread([&] {
        const int counted = OnMainThread() ? 1 : 0;
        inMainThreadHandler_ += counted;
        try {
            handler(this, &progressInfo_);
        } catch (...) {
            inMainThreadHandler_ -= counted;
            throw;
        }
        inMainThreadHandler_ -= counted;
    });
}

void TCustomEncoder::DoPreviewBitmap(TFFmpeg* task, TFFBitmap* bitmap, int frameNumber, int64_t pts) {
    std::lock_guard lock(previewLock_);
    if (!OnPreviewBitmap) return;
    previewInfo_ = TPreviewInfo{IndexOf(task), bitmap, frameNumber, pts};
    const TPreviewBitmapEvent handler = OnPreviewBitmap;
    DeliverOnMainThread([&] {
        const int counted = OnMainThread() ? 1 : 0;
        inMainThreadHandler_ += counted;
        try {
            handler(this, previewInfo_);
        } catch (...) {
            inMainThreadHandler_ -= counted;
            throw;
        }
        inMainThreadHandler_ -= counted;
    });
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

void TCustomEncoder::NotifyOnThread(const TTerminateInfo& info, bool waitForPrevious) {
    std::shared_ptr<NotifyState> state = notify_;
    const TTerminateEvent handler = OnTerminate;
    {
        std::lock_guard lock(state->mutex);
        ++state->live;
    }
    if (!waitForPrevious) ++state->pending;
    std::thread([state, handler, info, waitForPrevious, self = this] {
        // The final notification waits until the tasks' ones have returned.
        if (waitForPrevious)
            while (state->pending > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        try {
            handler(self, info);
        } catch (...) {
            // Nothing to report to from here.
        }
        if (!waitForPrevious) --state->pending;
        std::lock_guard lock(state->mutex);
        --state->live;
        state->cv.notify_all();
    }).detach();
}

void TCustomEncoder::DoTerminate(TFFmpeg* task) {
    std::lock_guard lock(terminateLock_);
    if (OnTerminate) {
        const TTaskOutcome outcome = task->Failed() ? toFailed : task->Completed() ? toFinished : toCancelled;
        terminateInfo_ = TTerminateInfo{IndexOf(task), task->Completed(), task->Failed(), task->ErrorMessage(), outcome};
        if (threaded_ || !working_) {
            NotifyOnThread(terminateInfo_, false);
        } else {
            ++inlineDelivery_;
            OnTerminate(this, terminateInfo_);
            --inlineDelivery_;
        }
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
    if (OnTerminate) {
        terminateInfo_ = TTerminateInfo{-1, true, false, {}, toFinished};
        if (threaded_ || !working_) {
            NotifyOnThread(terminateInfo_, true);
        } else {
            ++inlineDelivery_;
            OnTerminate(this, terminateInfo_);
            --inlineDelivery_;
        }
    }
}
