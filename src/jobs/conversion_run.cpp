#include "conversion_run.h"

#include "completion.h"
#include "dispatcher.h"
#include "global_vars.h"
#include "job_encoder.h"
#include "log_sink.h"
#include "run_times.h"
#include "util_funcs.h"

#include <stdexcept>
#include <thread>

namespace {
const char* const NoValue = "...";
}

const char* TaskStatusText(TTaskOutcome outcome) { return outcome == toFinished ? "Finish." : "Failed."; }

std::string FormatLogLine(uint32_t threadId, TLogLevel level, const std::string& message) {
    return "#" + std::to_string(threadId) + "." + std::to_string(static_cast<int>(level)) + ": " + message;
}

TConversionRun::TConversionRun(TGlobalVars& g, IJobEncoder& encoder, TConvertList& list, IConversionPage& page,
                               IConversionFinish& finish, ILogSink* log, IMainDispatcher* dispatcher)
    : g_(g),
      encoder_(encoder),
      list_(list),
      page_(page),
      finish_(finish),
      log_(log),
      dispatcher_(dispatcher),
      builder_(g, encoder, list, log) {
    builder_.OnRefusal = [this](const TJobRefusal& refusal) { page_.InputRefused(refusal); };
    encoder_.SetHandlers([this](const TProgressInfo& info) { FFEncoderProgress(info); },
                         [this](const TTerminateInfo& info) { FFEncoderTerminate(info); });
}

TConversionRun::~TConversionRun() { encoder_.SetHandlers({}, {}); }

void TConversionRun::StartConversion(const std::vector<TJobInput>& inputs) {
    if (running_) return;
    running_ = true;
    endDeferred_ = false;
    // Let the page draw itself before the probing and opening of the files.
    if (dispatcher_ && dispatcher_->isMainThread()) dispatcher_->pumpFor(std::chrono::milliseconds(0));

    joinMode_ = g_.MergeMode;
    if (joinMode_) {
        builder_.BuildJoinJob(inputs);
        g_.TotalFiles = 1;
        list_.SetColumnTitles("Width x Height", "Aspect Ratio");
        page_.SetCurrentFileTitle("Output file:");
    } else {
        builder_.BuildFileJobs(inputs);
        g_.TotalFiles = list_.Count();
        list_.SetColumnTitles("Status", "Progress");
        page_.SetCurrentFileTitle("Current file:");
    }
    g_.ErrorList.clear();
    g_.SucceededFiles = 0;
    g_.RunStartTime = Clock();
    g_.DoneDuration = 0;
    handledTasks_ = 0;
    startedTasks_ = encoder_.TaskCount();
    if (startedTasks_ == 0) {
        // Nothing to run, so no notification will come: end in order.
        if (dispatcher_)
            dispatcher_->post([this] { EndRun(); });
        else
            EndRun();
        return;
    }
    encoder_.Start(1);
}

void TConversionRun::FFEncoderProgress(const TProgressInfo& info) {
    if (dispatcher_ && !dispatcher_->isMainThread()) {
        const TProgressInfo copy = info;
        dispatcher_->invoke([this, &copy] { FFEncoderProgress(copy); });
        return;
    }
    const int row = info.TaskIndex;
    if (list_.Has(row)) {
        const TConvertRow& r = list_.Row(row);
        page_.SetCurrentFile(joinMode_ ? r[ccPath] : IncludeTrailingSeparator(r[ccPath]) + r[ccName]);
    }
    if (info.TotalDuration > 0) {
        const int position = ProgressBarPosition(ProgressPercent(info.CurrentDuration, info.TotalDuration));
        const std::string text = std::to_string(position) + "%";
        page_.SetProgress(position, text);
        if (!joinMode_) {
            list_.SetCell(row, ccProgress, text);
            list_.SetCell(row, ccStatus, "Converting...");
        }
    } else if (!joinMode_) {
        list_.SetCell(row, ccProgress, "N/A");
    }
    const double elapsed = std::chrono::duration<double>(Clock() - g_.RunStartTime).count();
    const TRunTimes t = ComputeRunTimes(g_.JobDuration, g_.DoneDuration, info.CurrentDuration, elapsed);
    page_.SetTimes(t.Estimated, t.Elapsed, t.Left);
}

void TConversionRun::FFEncoderTerminate(const TTerminateInfo& info) {
    if (info.TaskIndex >= 0) {
        const TTerminateInfo copy = info;
        if (dispatcher_)
            dispatcher_->invoke([this, &copy] { HandleTaskEnd(copy); });
        else
            HandleTaskEnd(copy);
        return;
    }
    // The run's final notification: every task's own notification must have
    // been handled first. The handling runs on the user-interface thread, so
    // this thread only waits and must not block that one.
    WaitPumping(dispatcher_, [this] { return handledTasks_.load() >= startedTasks_.load(); },
                std::chrono::milliseconds(10));
    auto end = [this] {
        // A Cancel still inside its blocking stop ends the run once the stop returns.
        if (stopping_)
            endDeferred_ = true;
        else
            EndRun();
    };
    if (dispatcher_)
        dispatcher_->invoke(end);
    else
        end();
}

void TConversionRun::HandleTaskEnd(const TTerminateInfo& info) {
    const int index = info.TaskIndex;
    if (info.Outcome == toFinished) {
        ++g_.SucceededFiles;
        const auto& durations = builder_.TaskDurations();
        if (index < static_cast<int>(durations.size())) g_.DoneDuration += durations[index];
        page_.SetProgress(100, "100%");
        if (!joinMode_) list_.SetCell(index, ccProgress, "100%");
    }
    if (!joinMode_) list_.SetCell(index, ccStatus, TaskStatusText(info.Outcome));
    ++handledTasks_;
    if (info.Outcome == toFailed) g_.ErrorList.push_back("File (" + std::to_string(index) + "): " + info.ErrorMessage);
    page_.TaskEnded(index, info.Outcome);
}

void TConversionRun::EndRun() {
    // The engine marks its run finished just after it has sent the final
    // notification; until then it refuses to clear, so look again shortly.
    for (int attempt = 0;; ++attempt) {
        try {
            encoder_.ClearTasks();
            break;
        } catch (const std::exception& e) {
            if (attempt >= 500) {
                if (log_) log_->AppendLine(e.what());
                break;
            }
            if (dispatcher_ && dispatcher_->isMainThread())
                dispatcher_->pumpFor(std::chrono::milliseconds(10));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    page_.SetCurrentFile(NoValue);
    page_.SetProgress(0, "0%");
    ConversionFinished();
}

void TConversionRun::ConversionFinished() {
    if (g_.PlayASoundWhenFinished)
        finish_.PlaySoundFile(CompletionSoundFile(ExecutableFolder(), g_.SucceededFiles, g_.TotalFiles));
    if (g_.ShutDownWhenFinished && finish_.ShowShutdownCountdown()) finish_.ShutdownComputer();
    finish_.ShowConversionSummary();
    running_ = false;
}

void TConversionRun::FFLoggerLog(void*, uint32_t threadId, TLogLevel level, const std::string& message) {
    if (log_) log_->AppendLine(FormatLogLine(threadId, level, message));
}

void TConversionRun::SetPreview(bool preview) { encoder_.SetPreview(preview); }

void TConversionRun::Cancel() {
    if (!running_ || stopping_) return;
    stopping_ = true;
    encoder_.Stop(true);
    stopping_ = false;
    if (endDeferred_) {
        endDeferred_ = false;
        EndRun();
    }
}
