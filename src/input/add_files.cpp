#include "add_files.h"

#include "ff_decoder.h"
#include "log_sink.h"

#include <algorithm>

int ProbeWorkers() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

TAddFilesBatch::TAddFilesBatch(TFFDecoder&, IInputListTarget& target, ILogSink* log, IDispatcher* dispatcher,
                               int workers)
    : target_(target), log_(log), dispatcher_(dispatcher), workers_(std::max(workers, 1)) {}

TAddFilesBatch::~TAddFilesBatch() {
    aborted_ = true;
    StopWorkers();
}

int TAddFilesBatch::Total() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(jobs_.size());
}

void TAddFilesBatch::Abort() {
    aborted_ = true;
    probed_.Notify();
}

void TAddFilesBatch::AddFiles(const std::vector<std::string>& paths, const std::function<void()>& between) {
    if (paths.empty()) return;
    {
        std::lock_guard lock(mutex_);
        if (!busy_) {
            jobs_.clear();
            next_ = 0;
            delivered_ = 0;
            stop_ = false;
        }
        for (const std::string& path : paths) jobs_.push_back({path});
    }
    if (busy_) {
        StartWorkers();
        return;
    }
    {
        struct Busy {
            TAddFilesBatch& b;
            ~Busy() {
                b.StopWorkers();
                std::lock_guard lock(b.mutex_);
                b.jobs_.clear();
                b.busy_ = false;
            }
        } busy{*this};
        busy_ = true;
        aborted_ = false;
        done_ = 0;
        failed_.clear();
        StartWorkers();
        if (between) between();
        for (size_t i = 0; WaitFor(i); ++i) {
            TJob job;
            {
                std::lock_guard lock(mutex_);
                job = std::move(jobs_[i]);
            }
            Deliver(job);
            ++done_;
            {
                std::lock_guard lock(mutex_);
                delivered_ = i + 1;
            }
            probed_.Notify();
            if (between && static_cast<int>(i) + 1 < Total() && !aborted_) between();
        }
    }
    // The batch is over: files dropped while the dialog is open start a new one.
    if (failed_.empty() || aborted_) return;
    const std::vector<std::string> failed = failed_;
    target_.ShowFailedFiles(failed);
}

bool TAddFilesBatch::WaitFor(size_t i) {
    const auto ready = [&] {
        std::lock_guard lock(mutex_);
        return aborted_ || i >= jobs_.size() || jobs_[i].Finished;
    };
    probed_.WaitUntil(dispatcher_, ready);
    std::lock_guard lock(mutex_);
    return !aborted_ && i < jobs_.size();
}

void TAddFilesBatch::Deliver(TJob& job) {
    if (job.Opened) {
        target_.AppendInputRow(job.Probed);
        return;
    }
    if (log_) log_->AppendLine("File load error: " + job.Error);
    failed_.push_back(job.Error);
    target_.InputFailed(job.Path, job.Error);
}

void TAddFilesBatch::StartWorkers() {
    std::lock_guard lock(mutex_);
    if (stop_) return;  // the batch is ending
    const size_t waiting = jobs_.size() - next_;
    while (running_ < workers_ && static_cast<size_t>(running_) < waiting) {
        ++running_;
        threads_.emplace_back([this] { Work(); });
    }
}

void TAddFilesBatch::Work() {
    // One probe per thread: a decoder is used by one thread at a time.
    TFFDecoder decoder;
    for (;;) {
        size_t i;
        std::string path;
        // Probes run at most a few files ahead of the rows: each holds its
        // thumbnail until its row takes it.
        probed_.WaitUntil(nullptr, [this] {
            std::lock_guard lock(mutex_);
            return stop_ || aborted_ || next_ < delivered_ + 2 * static_cast<size_t>(workers_);
        });
        {
            std::lock_guard lock(mutex_);
            if (stop_ || aborted_ || next_ >= jobs_.size()) {
                --running_;
                probed_.Notify();
                return;
            }
            i = next_++;
            path = jobs_[i].Path;
        }
        TProbedFile probed;
        const bool opened = ProbeInputFile(decoder, path, probed, WithThumbnails);
        const std::string error = opened ? std::string() : decoder.LastErrorMessage();
        std::lock_guard lock(mutex_);
        TJob& job = jobs_[i];
        job.Probed = std::move(probed);
        job.Opened = opened;
        job.Error = error;
        job.Finished = true;
        probed_.Notify();
    }
}

void TAddFilesBatch::StopWorkers() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        threads.swap(threads_);
    }
    if (threads.empty()) return;
    probed_.Notify();
    // A probe's log line may wait for this thread: keep its work running
    // until every worker has ended.
    probed_.WaitUntil(dispatcher_, [this] {
        std::lock_guard lock(mutex_);
        return running_ == 0;
    });
    for (std::thread& t : threads) t.join();
    // What the probes queued (their log lines) is handled before the batch returns.
    if (dispatcher_ && dispatcher_->isMainThread()) dispatcher_->pump(std::chrono::steady_clock::now());
}
