#pragma once
// An encoder stand-in that delivers scripted notifications the way the engine
// does: progress through the dispatcher on the user-interface thread, each
// task's end on a short-lived notification thread, and the final notification
// on another one once the last task's notification has returned. Start(n)
// keeps up to n tasks running: they start in order, each reports its progress
// when it starts, the oldest running one ends first and the next one starts in
// its place, so the order of the reports is fixed.
#include "dispatcher.h"
#include "ff_decoder.h"
#include "job_encoder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

struct TFakeTask {
    std::vector<std::string> Inputs;
    std::string Output;
    TOutputOptions OutputOptions;
    std::vector<TProgressInfo> Progress;  // sent when the task starts
    TTaskOutcome Outcome = toFinished;    // unless a stop came first
    std::string ErrorMessage;
};

// A gate threads wait at until the test opens it.
class TLatch {
public:
    void Open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        cv_.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

class TFakeEncoder final : public IJobEncoder {
public:
    explicit TFakeEncoder(IDispatcher* dispatcher) : dispatcher_(dispatcher) {}
    ~TFakeEncoder() override {
        ReleaseFinal.Open();
        ReleaseTaskEnds.Open();
        JoinThreads();
    }

    // Files whose name contains this text are refused as inputs or outputs.
    std::string RefuseInput = "refused";
    std::string RefuseOutput = "refused";
    // The tasks as built, and what task i of the next run reports (Progress,
    // Outcome, ErrorMessage of Script[i]; a task without a script finishes at
    // once).
    std::vector<TFakeTask> Tasks;
    std::vector<TFakeTask> Script;
    std::atomic<int> StartCalls{0}, StopCalls{0}, ClearCalls{0}, RemoveCalls{0};
    std::atomic<bool> Preview{false};
    // The most tasks that ran at once in the last run.
    std::atomic<int> MostAtOnce{0};
    std::vector<std::string> OutputsGiven;  // every accepted output, across runs
    // Set: the worker waits for Stop before ending the first task.
    bool HoldUntilStop = false;
    // Set: a task starts only once the previous task's notification has
    // returned (the engine does not wait for it).
    bool WaitForEachEnd = false;
    // Set: Stop(true) returns only once the final notification has been
    // handled; unset, once the tasks' notifications have (as the engine's
    // stop, after which the final notification may still be on its way).
    bool StopWaitsForFinal = false;
    // Set: the final notification waits until ReleaseFinal is opened.
    bool HoldFinal = false;
    TLatch ReleaseFinal;
    // Set: each task's notification waits until ReleaseTaskEnds is opened, and
    // the final one goes out without waiting for them (an encoder that breaks
    // the engine's order).
    bool HoldTaskEnds = false;
    TLatch ReleaseTaskEnds;
    // Runs on the stopping thread right before Stop returns.
    std::function<void()> OnStopReturning;

    int AddTask(const std::string& fileName, TInputOptions&) override {
        if (fileName.find(RefuseInput) != std::string::npos) {
            last_ = "refused input " + fileName;
            return -1;
        }
        Tasks.push_back({});
        Tasks.back().Inputs.push_back(fileName);
        return static_cast<int>(Tasks.size()) - 1;
    }
    bool AddInputFile(int task, const std::string& fileName, TInputOptions&) override {
        if (fileName.find(RefuseInput) != std::string::npos) {
            last_ = "refused input " + fileName;
            return false;
        }
        Tasks.at(task).Inputs.push_back(fileName);
        return true;
    }
    bool SetOutputFile(int task, const std::string& fileName, TOutputOptions& options) override {
        if (fileName.find(RefuseOutput) != std::string::npos) {
            last_ = "refused output " + fileName;
            return false;
        }
        Tasks.at(task).Output = fileName;
        OutputsGiven.push_back(fileName);
        Tasks.at(task).OutputOptions = options;
        return true;
    }
    void RemoveTask(int task) override {
        ++RemoveCalls;
        Tasks.erase(Tasks.begin() + task);
    }
    // As the engine: refused until the final notification is on its way.
    void ClearTasks() override {
        if (working_ && !allFinished_) throw std::runtime_error("Cannot ClearTasks while working.");
        ++ClearCalls;
        Tasks.clear();
        working_ = false;
    }
    int TaskCount() const override { return static_cast<int>(Tasks.size()); }
    std::string LastErrorMessage() const override { return last_; }
    void SetPreview(bool preview) override { Preview = preview; }
    TCustomDecoder& Decoder() override { return decoder_; }
    void SetHandlers(TJobProgressHandler p, TJobTerminateHandler t) override {
        onProgress_ = std::move(p);
        onTerminate_ = std::move(t);
    }

    void Start(int tasksAtOnce) override {
        ++StartCalls;
        MostAtOnce = 0;
        working_ = true;
        allFinished_ = false;
        tasksEnded_ = false;
        finalHandled_ = false;
        stop_ = false;
        std::vector<TFakeTask> tasks = Tasks;
        for (size_t i = 0; i < tasks.size() && i < Script.size(); ++i) {
            tasks[i].Progress = Script[i].Progress;
            tasks[i].Outcome = Script[i].Outcome;
            tasks[i].ErrorMessage = Script[i].ErrorMessage;
        }
        const size_t atOnce = static_cast<size_t>(std::max(tasksAtOnce, 1));
        Spawn([this, tasks, atOnce] { RunAll(tasks, atOnce); });
    }
    void Stop(bool wait) override {
        ++StopCalls;
        stop_ = true;
        if (wait)
            ended_.WaitUntil(dispatcher_, [this] { return StopWaitsForFinal ? finalHandled_.load() : tasksEnded_.load(); });
        if (OnStopReturning) OnStopReturning();
    }

    void JoinThreads() {
        for (;;) {
            std::vector<std::thread> threads;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                threads.swap(threads_);
            }
            if (threads.empty()) return;
            for (auto& t : threads) t.join();
        }
    }

private:
    void Spawn(std::function<void()> fn) {
        std::lock_guard<std::mutex> lock(mutex_);
        threads_.emplace_back(std::move(fn));
    }

    // One notification thread at a time, as the engine: the next waits until
    // the previous one's handler has returned.
    void WaitForNotification() {
        std::unique_lock<std::mutex> lock(notifyMutex_);
        notifyCv_.wait(lock, [this] { return notifyDone_; });
    }
    void SetNotificationDone(bool done) {
        {
            std::lock_guard<std::mutex> lock(notifyMutex_);
            notifyDone_ = done;
        }
        notifyCv_.notify_all();
    }

    // A task starts: its progress, unless a stop came first. True: it runs.
    bool Begin(size_t i, const TFakeTask& task) {
        if (!stop_ && i == 0 && HoldUntilStop)
            while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (stop_) return false;
        for (TProgressInfo p : task.Progress) {
            p.TaskIndex = static_cast<int>(i);
            if (onProgress_) dispatcher_->invoke([&] { onProgress_(p); });
        }
        return true;
    }
    void End(size_t i, const TFakeTask& task, bool ran) {
        TTerminateInfo info;
        info.TaskIndex = static_cast<int>(i);
        info.Outcome = ran ? task.Outcome : toCancelled;
        info.ErrorMessage = info.Outcome == toFailed ? task.ErrorMessage : std::string();
        // The next task starts while this notification is still under way.
        if (!HoldTaskEnds) WaitForNotification();
        SetNotificationDone(false);
        Spawn([this, info] {
            if (HoldTaskEnds) ReleaseTaskEnds.Wait();
            if (onTerminate_) onTerminate_(info);
            SetNotificationDone(true);
        });
        if (WaitForEachEnd) WaitForNotification();
    }

    void RunAll(std::vector<TFakeTask> tasks, size_t atOnce) {
        std::deque<std::pair<size_t, bool>> running;  // task, and whether it ran
        for (size_t next = 0; next < tasks.size() || !running.empty();) {
            while (running.size() < atOnce && next < tasks.size()) {
                running.emplace_back(next, Begin(next, tasks[next]));
                ++next;
                MostAtOnce = std::max<int>(MostAtOnce, static_cast<int>(running.size()));
            }
            const auto [task, ran] = running.front();
            running.pop_front();
            End(task, tasks[task], ran);
        }
        Spawn([this] {
            if (!HoldTaskEnds) WaitForNotification();
            tasksEnded_ = true;
            ended_.Notify();
            if (HoldFinal) ReleaseFinal.Wait();
            // As the engine: the tasks may be cleared as soon as the final
            // notification goes out.
            allFinished_ = true;
            TTerminateInfo final;
            final.TaskIndex = -1;
            if (onTerminate_) onTerminate_(final);
            finalHandled_ = true;
            ended_.Notify();
        });
    }

    IDispatcher* dispatcher_;
    TFFDecoder decoder_;
    std::string last_;
    TJobProgressHandler onProgress_;
    TJobTerminateHandler onTerminate_;
    std::atomic<bool> working_{false}, allFinished_{false}, stop_{false}, tasksEnded_{false}, finalHandled_{false};
    TWaitable ended_;  // notified when tasksEnded_ or finalHandled_ turns true
    std::mutex notifyMutex_;  // guards notifyDone_
    std::condition_variable notifyCv_;
    bool notifyDone_ = true;
    std::mutex mutex_;  // guards threads_
    std::vector<std::thread> threads_;
};
