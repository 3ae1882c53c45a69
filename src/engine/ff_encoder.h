#pragma once
// The encoder component: the one face of the transcoding engine the rest of the
// program sees. A caller builds tasks (up to MaxFilesPerTask inputs and
// outputs each), starts them, and hears about them through the events.
//
// Threads: OnProgress and OnPreviewBitmap run on the user-interface thread (the
// worker waits meanwhile) when TriggerEventInMainThread is set; OnTerminate
// runs on a short-lived notification thread in threaded runs and on the
// caller's thread in runs with ThreadCount <= 0; the run's final notification
// comes after every task's notification has returned (they are delivered one
// at a time, in the order the tasks ended). The hook events and
// OnBeforeFindStreamInfo run on the worker thread.
#include "ff_component.h"
#include "ff_decoder.h"
#include "ff_exception.h"
#include "ff_records.h"
#include "ff_wait.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class IDispatcher;
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
    // dispatcher: the user-interface thread's, which OnProgress and
    // OnPreviewBitmap are delivered on and which blocking waits keep running;
    // null delivers every event on the thread that raises it.
    explicit TCustomEncoder(IDispatcher* dispatcher);
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
    // Frees the tasks; allowed from the moment the run's final notification
    // has been issued (not inside an inline run's own notification).
    void ClearTasks();
    // ThreadCount > 0: that many tasks at once, each on a worker thread;
    // otherwise every task runs to its end inside Start.
    void Start(int threadCount);
    // Stops the run; with wait, returns once the tasks have ended (the
    // user-interface thread's queued work keeps running meanwhile).
    void Stop(bool wait);
    int TaskCount() const;
    // The last failed operation's error: its text, the library's error code
    // and what was being done.
    const FFmpegException& LastError() const { return lastError_; }
    std::string LastErrorMessage() const { return lastError_.what(); }
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
    // Runs an operation; its error becomes LastError and the result false.
    bool Attempt(const std::function<void()>& operation);
    TFFmpeg& TaskAt(int index) const;
    int IndexOf(const TFFmpeg* task) const;
    void BindCallbacks(TFFmpeg& task);
    void BindOutputHooks(TFFmpeg& task, const TOutputOptions& options);
    // The input steps AddTask and AddInputFile share; raises on failure.
    void OpenTaskInput(TFFmpeg& task, const std::string& fileName, TInputOptions* options);
    // The output record's options applied to the task; true when it asks to join.
    bool ApplyOutputRecord(TFFmpeg& task, const TOutputOptions& options);
    void StartNextTask();
    void FinalNotification();
    // OnTerminate with the record: on a notification thread in threaded runs,
    // else here.
    void DeliverTerminate();
    // Runs OnTerminate with a copy of the record on a notification thread,
    // after the notifications issued before it.
    void NotifyOnThread(const TTerminateInfo& info);
    void DeliverVideoHook(const TVideoHookEvent& handler, TFFmpeg* task, TFFBitmap* bitmap, int frameNumber,
                          int64_t pts, bool& update, bool& stopHook);
    bool OnMainThread() const;
    // Delivers on the user-interface thread when asked to.
    void DeliverOnMainThread(const std::function<void()>& call);
    // A handler of an event delivered on the user-interface thread.
    void CallOnMainThread(const std::function<void()>& handler);

    IDispatcher* dispatcher_;
    FFmpegException lastError_{""};
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

    // Shared with the notification threads, which may outlive a delivery.
    // The notifications are delivered one at a time in the order they were
    // issued, so the run's final one (issued last) comes after every task's
    // has returned.
    struct NotifyState {
        explicit NotifyState(IDispatcher* dispatcher) : Threads(dispatcher) {}
        std::mutex Mutex;  // guards Issued and Delivered
        std::condition_variable Turn;
        uint64_t Issued = 0;     // tickets handed out
        uint64_t Delivered = 0;  // notifications whose handler has returned
        // The notification threads still running: they use the encoder as Sender.
        TPendingWork Threads;
    };
    std::shared_ptr<NotifyState> notify_;
};

class TFFEncoder : public TCustomEncoder {
public:
    explicit TFFEncoder(IDispatcher* dispatcher) : TCustomEncoder(dispatcher) {}
};
