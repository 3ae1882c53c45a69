#pragma once
// Adding a batch of files to the input list: the files are probed on worker
// threads, several at once, and become rows in the order given as their
// probes finish; a file the probe cannot open is logged and reported after
// the batch.
#include "input_probe.h"

#include "dispatcher.h"

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ILogSink;
class TFFDecoder;

// The list that receives the rows (the Step1 page, or orvane probe).
class IInputListTarget {
public:
    virtual ~IInputListTarget() = default;
    // A probed file becomes the list's last row.
    virtual void AppendInputRow(const TProbedFile& file) = 0;
    // A file the probe could not open, in its place among the rows.
    virtual void InputFailed(const std::string& /*path*/, const std::string& /*error*/) {}
    // After a batch with failures: the failed-files dialog, modal.
    virtual void ShowFailedFiles(const std::vector<std::string>& errors) = 0;
};

// Files probed at once by default: one per core.
int ProbeWorkers();

class TAddFilesBatch {
public:
    // workers: files probed at once (at least one). dispatcher: the thread
    // that adds the files keeps running its queued work while it waits for
    // a probe (null: it only sleeps).
    TAddFilesBatch(TFFDecoder& probe, IInputListTarget& target, ILogSink* log, IDispatcher* dispatcher = nullptr,
                   int workers = 1);
    ~TAddFilesBatch();
    TAddFilesBatch(const TAddFilesBatch&) = delete;
    TAddFilesBatch& operator=(const TAddFilesBatch&) = delete;

    // Empties the failed-files list and adds the paths. between() runs once
    // before the first file and after every file but the last, so the caller
    // can show how far it is. Paths handed in while a batch runs (from
    // between, or from work the dispatcher runs) are appended to it. Nothing
    // happens for an empty list.
    void AddFiles(const std::vector<std::string>& paths, const std::function<void()>& between = {});
    // The running batch drops the files it has not added yet and shows no
    // dialog (Cancel, the list is being emptied or the window closes).
    void Abort();
    bool Busy() const { return busy_; }
    // The errors of the latest batch.
    const std::vector<std::string>& FailedFiles() const { return failed_; }
    // Files of the running batch: added (or failed) so far, and in all.
    int Done() const { return done_; }
    int Total() const;
    // The caller's thread runs queued work while it waits for probes.
    bool Threaded() const { return dispatcher_ != nullptr; }
    // Thumbnails are made (the window's list shows them).
    bool WithThumbnails = true;

private:
    struct TJob {
        std::string Path;
        bool Finished = false;
        bool Opened = false;
        TProbedFile Probed;
        std::string Error;
    };
    // A worker: probes the files no worker took yet until none is left or
    // the batch stops.
    void Work();
    // Starts workers for the files not taken, up to workers_ at once.
    void StartWorkers();
    // Waits until job i is probed (or the batch aborted); false when aborted.
    bool WaitFor(size_t i);
    void Deliver(TJob& job);
    void StopWorkers();

    IInputListTarget& target_;
    ILogSink* log_;
    IDispatcher* dispatcher_;
    const int workers_;
    mutable std::mutex mutex_;  // guards jobs_, next_, delivered_, running_ and stop_
    std::deque<TJob> jobs_;
    size_t next_ = 0;  // the first job no worker took
    size_t delivered_ = 0;  // jobs before this one have their rows
    int running_ = 0;  // workers started and not ended
    bool stop_ = false;
    std::vector<std::thread> threads_;
    TWaitable probed_;  // notified when a job finished, a row was added or the batch stops
    std::vector<std::string> failed_;
    int done_ = 0;
    bool busy_ = false;
    std::atomic<bool> aborted_{false};
};
