#pragma once
// An encoder with a main-thread dispatcher and recorders for its events.
#include "dispatcher.h"
#include "ff_encoder.h"
#include "ff_logger.h"

#include "media_fixtures.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

struct TerminateRecord {
    TTerminateInfo info;
    std::thread::id thread;
};

class EncoderHarness {
public:
    EncoderHarness() {
        FFLogger().SetDispatcher(&dispatcher);
        encoder = std::make_unique<TFFEncoder>(&dispatcher);
        encoder->OnTerminate = [this](TCustomEncoder*, const TTerminateInfo& info) {
            std::lock_guard lock(mutex);
            terminates.push_back({info, std::this_thread::get_id()});
            if (info.TaskIndex < 0) {
                finalSeen = true;
                finalChanged.Notify();
            }
        };
        encoder->OnProgress = [this](TCustomEncoder*, PProgressInfo info) {
            std::lock_guard lock(mutex);
            progress.push_back(*info);
            progressThreads.push_back(std::this_thread::get_id());
        };
    }
    ~EncoderHarness() {
        encoder.reset();
        FFLogger().SetOnLog(nullptr);
        FFLogger().SetDispatcher(nullptr);
    }
    // Collects the log lines (delivered on this thread).
    void CaptureLog(TLogLevel level = llInfo) {
        FFLogger().SetLogLevel(level);
        FFLogger().SetTriggerEventInMainThread(true);
        FFLogger().SetOnLog([this](void*, uint32_t, TLogLevel, const std::string& text) {
            std::lock_guard lock(mutex);
            log.push_back(text);
        });
    }
    bool LogContains(const std::string& text) {
        std::lock_guard lock(mutex);
        return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
    // Runs the user-interface queue until the final notification came.
    bool WaitFinal(std::chrono::milliseconds timeout = std::chrono::minutes(5)) {
        return finalChanged.WaitUntil(&dispatcher, [this] { return finalSeen.load(); }, timeout);
    }
    std::vector<TerminateRecord> Terminates() {
        std::lock_guard lock(mutex);
        return terminates;
    }
    // Adds the inputs as one task joined into the output; the task index.
    int JoinTask(const std::vector<std::string>& inputs, const std::string& output, const std::string& ext,
                 bool join = true) {
        int task = -1;
        for (const std::string& in : inputs) {
            if (task < 0) {
                task = encoder->AddTask(in);
                if (task < 0) return -1;
            } else if (!encoder->AddInputFile(task, in)) {
                return -1;
            }
        }
        TOutputOptions options;
        InitOutputOptions(options);
        options.Join = join;
        options.ExtOptions = ext;
        if (!encoder->SetOutputFile(task, output, &options)) return -1;
        return task;
    }

    PlainDispatcher dispatcher;
    std::unique_ptr<TFFEncoder> encoder;
    std::mutex mutex;  // guards the records below
    std::vector<TerminateRecord> terminates;
    std::vector<TProgressInfo> progress;
    std::vector<std::thread::id> progressThreads;
    std::vector<std::string> log;
    std::atomic<bool> finalSeen{false};
    TWaitable finalChanged;  // notified when finalSeen turns true
};
