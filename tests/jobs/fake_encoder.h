#pragma once
// An encoder stand-in that delivers scripted notifications the way the engine
// does: progress through the dispatcher on the user-interface thread, each
// task's end on a short-lived notification thread, and the final notification
// on another one once the last task's notification has returned.
#include "dispatcher.h"
#include "ff_decoder.h"
#include "job_encoder.h"

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

struct TFakeTask {
    std::vector<std::string> Inputs;
    std::string Output;
    TOutputOptions OutputOptions;
    std::vector<TProgressInfo> Progress;  // sent before the end
    bool Finished = true;
    bool Failed = false;
    std::string ErrorMessage;
};

class TFakeEncoder final : public IJobEncoder {
public:
    explicit TFakeEncoder(IMainDispatcher* dispatcher) : dispatcher_(dispatcher) {}
    ~TFakeEncoder() override { JoinThreads(); }

    // Files whose name contains this text are refused as inputs or outputs.
    std::string RefuseInput = "refused";
    std::string RefuseOutput = "refused";
    // The tasks as built, and what task i of the next run reports (Progress,
    // Finished, Failed, ErrorMessage of Script[i]; a task without a script
    // finishes at once).
    std::vector<TFakeTask> Tasks;
    std::vector<TFakeTask> Script;
    std::atomic<int> StartCalls{0}, StopCalls{0}, ClearCalls{0}, RemoveCalls{0};
    std::atomic<bool> Preview{false};
    std::vector<std::string> OutputsGiven;  // every accepted output, across runs
    // Set: the worker waits for Stop before ending the first task.
    bool HoldUntilStop = false;
    // Set: a task starts only once the previous task's notification has
    // returned (the engine does not wait for it).
    bool WaitForEachEnd = false;

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

    void Start(int) override {
        ++StartCalls;
        working_ = true;
        allFinished_ = false;
        stop_ = false;
        std::vector<TFakeTask> tasks = Tasks;
        for (size_t i = 0; i < tasks.size() && i < Script.size(); ++i) {
            tasks[i].Progress = Script[i].Progress;
            tasks[i].Finished = Script[i].Finished;
            tasks[i].Failed = Script[i].Failed;
            tasks[i].ErrorMessage = Script[i].ErrorMessage;
        }
        Spawn([this, tasks] { RunAll(tasks); });
    }
    void Stop(bool wait) override {
        ++StopCalls;
        stop_ = true;
        if (wait) WaitPumping(dispatcher_, [this] { return allFinished_.load(); }, std::chrono::milliseconds(20));
    }

    void JoinThreads() {
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            threads.swap(threads_);
        }
        for (auto& t : threads) t.join();
    }

private:
    void Spawn(std::function<void()> fn) {
        std::lock_guard<std::mutex> lock(mutex_);
        threads_.emplace_back(std::move(fn));
    }

    void RunAll(std::vector<TFakeTask> tasks) {
        std::atomic<bool>* notifyDone = &notifyDone_;
        for (size_t i = 0; i < tasks.size(); ++i) {
            TFakeTask& task = tasks[i];
            bool stopped = stop_;
            if (!stopped && i == 0 && HoldUntilStop)
                while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            stopped = stop_;
            if (!stopped) {
                for (TProgressInfo p : task.Progress) {
                    p.TaskIndex = static_cast<int>(i);
                    if (onProgress_) dispatcher_->invoke([&] { onProgress_(p); });
                }
            }
            TTerminateInfo info;
            info.TaskIndex = static_cast<int>(i);
            info.Finished = !stopped && task.Finished && !task.Failed;
            info.Failed = !stopped && task.Failed;
            info.ErrorMessage = info.Failed ? task.ErrorMessage : std::string();
            info.Outcome = info.Failed ? toFailed : info.Finished ? toFinished : toCancelled;
            // The next task starts while this notification is still under way.
            while (!notifyDone->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            notifyDone->store(false);
            Spawn([this, info, notifyDone] {
                if (onTerminate_) onTerminate_(info);
                notifyDone->store(true);
            });
            if (WaitForEachEnd)
                while (!notifyDone->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        Spawn([this, notifyDone] {
            while (!notifyDone->load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            TTerminateInfo final;
            final.TaskIndex = -1;
            final.Finished = true;
            if (onTerminate_) onTerminate_(final);
        });
        // As the engine: the run counts as finished just after the final
        // notification went out, which a handler may observe first.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        allFinished_ = true;
    }

    IMainDispatcher* dispatcher_;
    TFFDecoder decoder_;
    std::string last_;
    TJobProgressHandler onProgress_;
    TJobTerminateHandler onTerminate_;
    std::atomic<bool> working_{false}, allFinished_{false}, stop_{false}, notifyDone_{true};
    std::mutex mutex_;  // guards threads_
    std::vector<std::thread> threads_;
};
