#pragma once
// The encoder component: the one face of the transcoding engine the rest of the
// program sees. A caller builds tasks (up to MaxFilesPerTask inputs and
// outputs each), starts them, and hears about them through the events.
//
// Threads: OnProgress and OnPreviewBitmap run on the user-interface thread (the
// worker waits meanwhile) when TriggerEventInMainThread is set; OnTerminate
// runs on a short-lived notification thread in threaded runs and on the
// caller's thread in runs with ThreadCount <= 0; the hook events and
// OnBeforeFindStreamInfo run on the worker thread.
#include "ff_component.h"
#include "ff_decoder.h"
#include "ff_records.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TCustomEncoder;
class TFFmpeg;

#include "thread_priority.h"

using TProgressEvent = std::function<void(TCustomEncoder* Sender, PProgressInfo AProgressInfo)>;
using TTerminateEvent = std::function<void(TCustomEncoder* Sender, const TTerminateInfo& ATerminateInfo)>;
using TPreviewBitmapEvent = std::function<void(TCustomEncoder* Sender, const TPreviewInfo& APreviewInfo)>;
using TVideoHookEvent = std::function<void(TCustomEncoder* Sender, PHookInfo AHookInfo)>;
// ASampleFormat follows the library's sample-format numbers (AVSampleFormat).
using TAudioHookEvent = std::function<void(TCustomEncoder* Sender, int ATaskIndex, int64_t APTS, uint8_t* ASample,
                                           int ASize, int ASampleRate, int AChannels, int ASampleFormat)>;
using TBeforeFindStreamInfoEvent = std::function<void(TCustomEncoder* Sender, void* AFormatContext)>;

class TCustomEncoder : public TFFBaseComponent {
public:
    TCustomEncoder();
    ~TCustomEncoder() override;
    TCustomEncoder(const TCustomEncoder&) = delete;
    TCustomEncoder& operator=(const TCustomEncoder&) = delete;

    // All libraries of the engine's set are loaded.
    bool LibrariesLoaded();
    // Loads the engine's libraries, from the folder first; on false
    // LastErrorMessage holds the loader's error.
    bool LoadLibraries(const std::string& folder);

    // A task with its first input; its index, or -1 with LastErrorMessage.
    // An options record with an empty FileName receives the file name.
    int AddTask(const std::string& fileName, TInputOptions* options = nullptr);
    bool AddInputFile(int taskIndex, const std::string& fileName, TInputOptions* options = nullptr);
    bool SetOutputFile(int taskIndex, const std::string& fileName, TOutputOptions* options = nullptr);
    void RemoveTask(int taskIndex);
    void ClearTasks();
    // ThreadCount > 0: that many tasks at once, each on a worker thread;
    // otherwise every task runs to its end inside Start.
    void Start(int threadCount);
    // Stops the run; with wait, returns once the tasks have ended (the
    // user-interface thread's queued work keeps running meanwhile).
    void Stop(bool wait);
    int TaskCount() const;
    const std::string& LastErrorMessage() const { return lastError_; }
    TFFDecoder& Decoder() { return decoder_; }

    // Settings copied into the tasks.
    int MaxFilesPerTask = 20;
    bool StrictOptions = true;
    int IOTimeout = 10000;  // ms
    int Verbosity = 1;
    TThreadPriority ThreadPriority = tpNormal;
    bool TriggerEventInMainThread = true;

    bool Preview() const { return preview_; }
    void SetPreview(bool value);
    bool PreviewBitmap() const { return previewBitmap_; }
    void SetPreviewBitmap(bool value);
    int ProgressInterval() const { return progressInterval_; }
    // Values at or below 100 ms store 100.
    void SetProgressInterval(int milliseconds);

    // Events; set them before Start.
    TAudioHookEvent OnAudioHook;
    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
    TPreviewBitmapEvent OnPreviewBitmap;
    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;
    TVideoHookEvent OnVideoInputHook;
    TVideoHookEvent OnVideoOutputHook;

    // Run state, for observers and tests.
    bool Working() const { return working_; }
    bool AllFinished() const { return allFinished_; }

protected:
    virtual void DoVideoInputHook(TFFmpeg* task, TFFBitmap* bitmap, int frameNumber, int64_t pts, bool& update,
                                  bool& stopHook);
    virtual void DoVideoOutputHook(TFFmpeg* task, TFFBitmap* bitmap, int frameNumber, int64_t pts, bool& update,
                                   bool& stopHook);
    virtual void DoPreviewBitmap(TFFmpeg* task, TFFBitmap* bitmap, int frameNumber, int64_t pts);
    virtual void DoProgress(TFFmpeg* task, int fileIndex, int64_t totalDuration, int64_t currentDuration,
                            int64_t currentSize, float bitRate, float quality, int fps, int frameNumber);
    virtual void DoTerminate(TFFmpeg* task);
    void DoAudioHook(TFFmpeg* task, int64_t pts, uint8_t* samples, int size, int sampleRate, int channels,
                     int sampleFormat);
    void DoBeforeFindStreamInfo(TFFmpeg* task, void* formatContext);

private:
    friend class TFFmpeg;
    void CheckWorking(const char* word);
    TFFmpeg& TaskAt(int index) const;
    int IndexOf(const TFFmpeg* task) const;
    void BindCallbacks(TFFmpeg& task);
    // The input steps AddTask and AddInputFile share; false with LastErrorMessage.
    bool OpenTaskInput(TFFmpeg& task, const std::string& fileName, TInputOptions* options);
    void StartNextTask();
    void FinalNotification();
    // Runs OnTerminate with a copy of the record on a notification thread.
    void NotifyOnThread(const TTerminateInfo& info, bool waitForPrevious);
    void DeliverVideoHook(const TVideoHookEvent& handler, TFFmpeg* task, TFFBitmap* bitmap, int frameNumber,
                          int64_t pts, bool& update, bool& stopHook);
    static bool OnMainThread();
    // Delivers on the user-interface thread when asked to.
    void DeliverOnMainThread(const std::function<void()>& call);

    std::string lastError_;
    bool preview_ = false;
    bool previewBitmap_ = false;
    int progressInterval_ = 500;
    TFFDecoder decoder_;
    std::vector<std::unique_ptr<TFFmpeg>> tasks_;

    // Run state. The counters change under terminateLock_ (notifications of
    // tasks on their own threads); Working/AllFinished are read by observers.
    int finishedTasks_ = 0;
    int nextTaskIndex_ = -1;
    int tasksToStart_ = 0;
    std::atomic<bool> allFinished_{false};
    bool threaded_ = false;
    std::atomic<bool> working_{false};
    int inlineDelivery_ = 0;  // OnTerminate calls of an inline run in progress
    // OnProgress/OnPreviewBitmap handlers running on the user-interface thread.
    std::atomic<int> inMainThreadHandler_{0};

    // The five delivery locks: one delivery of each kind at a time.
    std::recursive_mutex audioHookLock_;
    std::recursive_mutex previewLock_;
    std::mutex progressLock_;
    std::recursive_mutex terminateLock_;
    std::mutex videoHookLock_;

    TTerminateInfo terminateInfo_;
    TProgressInfo progressInfo_;
    TPreviewInfo previewInfo_;
    THookInfo hookInfo_;

    // Shared with the notification threads, which may outlive a delivery:
    // NotifyDone and the count of live notification threads.
    struct NotifyState;
    std::shared_ptr<NotifyState> notify_;
};

class TFFEncoder : public TCustomEncoder {
public:
    TFFEncoder() = default;
};
