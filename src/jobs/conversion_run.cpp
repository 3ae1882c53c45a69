#include "conversion_run.h"

#include "completion.h"
#include "dispatcher.h"
#include "failure_text.h"
#include "product_config.h"
#include "user_settings.h"
#include "job_encoder.h"
#include "log_sink.h"
#include "run_times.h"
#include "util_funcs.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace {
const char* const NoValue = "...";
}

const char* TaskStatusText(TTaskOutcome outcome) { return outcome == toFinished ? "Finish." : "Failed."; }

int ParallelTasks(int jobs, bool threadedEncoder, unsigned cores) {
    if (jobs > 0) return jobs;
    if (threadedEncoder) return 1;
    return cores > 0 ? static_cast<int>(cores) : 1;
}

std::string FormatLogLine(uint32_t threadId, TLogLevel level, const std::string& message) {
    // The engine's messages end with their own line break (CR LF after a
    // statistics line); the log adds its own, so theirs would leave empty lines.
    const size_t end = message.find_last_not_of("\r\n");
    return "#" + std::to_string(threadId) + "." + std::to_string(static_cast<int>(level)) + ": " +
           (end == std::string::npos ? std::string() : message.substr(0, end + 1));
}

TConversionRun::TConversionRun(const TProductConfig& config, const TUserSettings& settings, IJobEncoder& encoder,
                               TConvertList& list, IConversionPage& page, IConversionFinish& finish, ILogSink* log,
                               IDispatcher* dispatcher)
    : ExeFolder(ExecutableFolder()),
      config_(config),
      settings_(settings),
      encoder_(encoder),
      list_(list),
      page_(page),
      finish_(finish),
      log_(log),
      dispatcher_(dispatcher),
      builder_(settings, encoder, list, log) {
    builder_.OnRefusal = [this](const TJobRefusal& refusal) { page_.InputRefused(refusal); };
    encoder_.SetHandlers([this](const TProgressInfo& info) { FFEncoderProgress(info); },
                         [this](const TTerminateInfo& info) { FFEncoderTerminate(info); });
}

TConversionRun::~TConversionRun() { encoder_.SetHandlers({}, {}); }

int32_t TConversionRun::HandledTasks() const {
    std::lock_guard lock(tasksMutex_);
    return handledTasks_;
}

void TConversionRun::OnMainThread(const std::function<void()>& call) {
    if (dispatcher_)
        dispatcher_->invoke(call);
    else
        call();
}

void TConversionRun::StartConversion(const std::vector<TJobInput>& inputs, const std::vector<TJobRefusal>& leftOut) {
    if (state_ != TRunState::Idle) return;
    state_ = TRunState::Building;
    // Let the page draw itself before the probing and opening of the files.
    if (dispatcher_ && dispatcher_->isMainThread()) dispatcher_->pump(std::chrono::steady_clock::now());

    joinMode_ = settings_.JoinFiles;
    result_ = {};
    written_.clear();
    builder_.OutputName = OutputName.empty() ? std::string(JoinOutputName) : OutputName;
    if (joinMode_ && !plannedJoin_) {
        plannedJoin_ = PlanJoin(settings_, inputs);
    }
    builder_.UsePlannedJoin(plannedJoin_ ? *plannedJoin_ : TPlannedJoin{});
    plannedJoin_.reset();
    if (joinMode_) {
        builder_.BuildJoinJob(inputs);
        list_.SetColumnTitles("Width x Height", "Aspect Ratio");
        page_.SetCurrentFileTitle("Output file:");
    } else {
        builder_.BuildFileJobs(inputs);
        list_.SetColumnTitles("Status", "Progress");
        page_.SetCurrentFileTitle("Current file:");
    }
    CountFiles(leftOut);
    result_.JobDuration = builder_.JobDuration();
    result_.StartTime = Clock();
    running_.clear();
    doneBytes_ = 0;
    page_.SetOutputSize(NoValue);
    const int started = encoder_.TaskCount();
    {
        std::lock_guard lock(tasksMutex_);
        handledTasks_ = 0;
        startedTasks_ = started;
    }
    state_ = TRunState::Running;
    if (started == 0) {
        // Nothing to run, so no notification will come: end in order.
        if (dispatcher_)
            dispatcher_->post([this] { HandleRunEnd(); });
        else
            HandleRunEnd();
        return;
    }
    tasksAtOnce_ = joinMode_ ? 1
                             : std::min(started, ParallelTasks(Jobs, builder_.ThreadedEncoder(),
                                                               std::thread::hardware_concurrency()));
    encoder_.Start(tasksAtOnce_);
}

void TConversionRun::CountFiles(const std::vector<TJobRefusal>& leftOut) {
    std::vector<const TJobRefusal*> refused;
    for (const TJobRefusal& r : leftOut) refused.push_back(&r);
    for (const TJobRefusal& r : builder_.Refusals()) refused.push_back(&r);
    // In the order of the user's list, the join's output first.
    std::stable_sort(refused.begin(), refused.end(),
                     [](const TJobRefusal* a, const TJobRefusal* b) { return a->Input < b->Input; });
    const int refusedInputs = static_cast<int>(
        std::count_if(refused.begin(), refused.end(), [](const TJobRefusal* r) { return r->LeavesOutInput(); }));
    // A join's one file is its output, there when it has a task or was refused.
    const bool output = encoder_.TaskCount() > 0 || builder_.OutputRefused();
    result_.TotalFiles = (joinMode_ ? (output ? 1 : 0) : list_.Count()) + refusedInputs;
    result_.ErrorList.clear();
    for (const TJobRefusal* r : refused) {
        result_.ErrorList.push_back(r->FailureLine());
        if (r->LeavesOutInput()) result_.FailedInputs.push_back({r->Input, r->ShownReason()});
    }
}

void TConversionRun::FFEncoderProgress(const TProgressInfo& info) {
    if (dispatcher_ && !dispatcher_->isMainThread()) {
        const TProgressInfo copy = info;
        dispatcher_->invoke([this, &copy] { FFEncoderProgress(copy); });
        return;
    }
    const int row = info.TaskIndex;
    // A task's report after its end (or after the run's) changes nothing.
    if (state_ != TRunState::Running && state_ != TRunState::Stopping) return;
    TTaskProgress& progress = running_[row];
    progress.Duration = std::max<int64_t>(info.CurrentDuration, 0);
    progress.Size = std::max<int64_t>(info.CurrentSize, 0);
    // With several files at once the label follows the first running one.
    if (list_.Has(row) && running_.begin()->first == row) {
        const TConvertRow& r = list_.Row(row);
        page_.SetCurrentFile(joinMode_ ? r[ccPath] : IncludeTrailingSeparator(r[ccPath]) + r[ccName]);
    }
    if (info.TotalDuration > 0) {
        // A join that copies some clips and re-encodes others counts each by its cost.
        const std::vector<TWorkSpan>& work = builder_.JoinWork();
        const int position =
            work.empty() ? ProgressBarPosition(ProgressPercent(info.CurrentDuration, info.TotalDuration))
                         : ProgressBarPosition(ProgressPercent(WorkDone(work, info.CurrentDuration), WorkTotal(work)));
        const std::string text = std::to_string(position) + "%";
        if (tasksAtOnce_ == 1) page_.SetProgress(position, text);
        if (!joinMode_) {
            list_.SetCell(row, ccProgress, text);
            list_.SetCell(row, ccStatus, "Converting...");
        }
    } else if (!joinMode_) {
        list_.SetCell(row, ccProgress, "N/A");
    }
    ShowOverall();
}

void TConversionRun::ShowOverall() {
    int64_t current = 0, bytes = doneBytes_;
    for (const auto& [task, p] : running_) {
        current += p.Duration;
        bytes += p.Size;
    }
    // Several files at once: the bar is the whole job's.
    const int64_t job = result_.JobDuration, done = result_.DoneDuration;
    if (tasksAtOnce_ > 1 && job > 0) {
        const int position = ProgressBarPosition(ProgressPercent(done + current, job));
        page_.SetProgress(position, std::to_string(position) + "%");
    }
    page_.SetOutputSize(EstimateOutputSize(bytes, done + current, job));
    const double elapsed = std::chrono::duration<double>(Clock() - result_.StartTime).count();
    const std::vector<TWorkSpan>& work = builder_.JoinWork();
    const TRunTimes t = work.empty() || done > 0 ? ComputeRunTimes(job, done, current, elapsed)
                                                 : ComputeRunTimes(WorkTotal(work), 0, WorkDone(work, current), elapsed);
    page_.SetTimes(t.Estimated, t.Elapsed, t.Left);
}

void TConversionRun::FFEncoderTerminate(const TTerminateInfo& info) {
    if (info.TaskIndex >= 0) {
        OnMainThread([this, &info] { HandleTaskEnd(info); });
        return;
    }
    // The run's final notification. The engine sends it once every task's
    // notification has returned, and each of those returned only after its
    // end was handled on the user-interface thread; the wait holds that order
    // for any encoder, and it never blocks that thread, which handles the ends.
    if (!dispatcher_ || !dispatcher_->isMainThread()) {
        std::unique_lock lock(tasksMutex_);
        tasksHandled_.wait(lock, [this] { return handledTasks_ >= startedTasks_; });
    }
    OnMainThread([this] { HandleRunEnd(); });
}

void TConversionRun::HandleTaskEnd(const TTerminateInfo& info) {
    const int index = info.TaskIndex;
    const auto it = running_.find(index);
    const int64_t lastSize = it != running_.end() ? it->second.Size : 0;
    if (it != running_.end()) running_.erase(it);
    if (info.Outcome == toFinished) {
        ++result_.SucceededFiles;
        const auto& durations = builder_.TaskDurations();
        if (index < static_cast<int>(durations.size())) result_.DoneDuration += durations[index];
        // The file as written counts towards the size estimate of the rest.
        const auto& outputs = builder_.TaskOutputs();
        std::string written = info.OutputFile;
        if (written.empty() && index < static_cast<int>(outputs.size())) written = outputs[index];
        if (!written.empty()) written_[index] = written;
        std::error_code ec;
        const auto size = written.empty() ? std::uintmax_t{0} : std::filesystem::file_size(written, ec);
        doneBytes_ += !ec && size > 0 ? static_cast<int64_t>(size) : lastSize;
        if (tasksAtOnce_ == 1) page_.SetProgress(100, "100%");
        if (!joinMode_) list_.SetCell(index, ccProgress, "100%");
    }
    if (!joinMode_) list_.SetCell(index, ccStatus, TaskStatusText(info.Outcome));
    {
        std::lock_guard lock(tasksMutex_);
        ++handledTasks_;
    }
    tasksHandled_.notify_all();
    if (info.Outcome == toFailed) NoteFailure(info);
    for (const TInputWarning& warning : info.Warnings) {
        const auto [place, name] = NamedInput(index, warning.FileIndex);
        const std::string line = TaskFailureLine(place >= 0 ? place + 1 : index + 1, name, warning.Message);
        result_.Warnings.push_back(line);
        if (log_) log_->AppendLine(line);
    }
    page_.TaskEnded(index, info.Outcome);
}

void TConversionRun::NoteFailure(const TTerminateInfo& info) {
    const int task = info.TaskIndex;
    // What building knew says it better than the engine's words; those come
    // with the library's text for their error code.
    const auto& problems = builder_.TaskProblems();
    const std::string reason = task < static_cast<int>(problems.size()) && !problems[task].empty()
                                   ? problems[task]
                                   : PlainReason(info.ErrorMessage, info.ErrorCode);
    const auto [place, name] = NamedInput(task, info.FileIndex);
    const std::string line = TaskFailureLine(place >= 0 ? place + 1 : task + 1, name, reason);
    result_.ErrorList.push_back(line);
    if (place >= 0) result_.FailedInputs.push_back({place, reason});
    if (log_) log_->AppendLine(line);
}

std::pair<int, std::string> TConversionRun::NamedInput(int task, int fileIndex) const {
    // A join names the input the engine says. Else a join's one task is its
    // output; a file's task is its input's, counted as the input list counts.
    const auto& joined = builder_.JoinFiles();
    const auto& inputs = builder_.TaskInputs();
    int place = -1;
    std::string name;
    if (joinMode_ && fileIndex >= 0 && fileIndex < static_cast<int>(joined.size())) {
        place = joined[fileIndex].Input;
        name = ExtractFileName(joined[fileIndex].FileName);
    } else if (joinMode_) {
        const auto& outputs = builder_.TaskOutputs();
        if (task < static_cast<int>(outputs.size())) name = ExtractFileName(outputs[task]);
    } else {
        if (task < static_cast<int>(inputs.size())) place = inputs[task];
        if (list_.Has(task)) name = list_.Row(task)[ccName];
    }
    return {place, name};
}

void TConversionRun::HandleRunEnd() {
    const bool cancelStopping = state_ == TRunState::Stopping;
    state_ = TRunState::Finished;
    // A Cancel still inside its blocking stop ends the run once the stop
    // returns: the tasks may not be cleared under the engine's stop.
    if (!cancelStopping) EndRun();
}

void TConversionRun::EndRun() {
    // The engine lets the tasks be cleared once it has sent the final notification.
    try {
        encoder_.ClearTasks();
    } catch (const std::exception& e) {
        if (log_) log_->AppendLine(e.what());
    }
    page_.SetCurrentFile(NoValue);
    page_.SetProgress(0, "0%");
    ConversionFinished();
}

void TConversionRun::ConversionFinished() {
    result_.EndTime = Clock();
    for (const auto& [task, file] : written_) result_.Outputs.push_back(file);
    std::stable_sort(result_.FailedInputs.begin(), result_.FailedInputs.end(),
                     [](const TFailedInput& a, const TFailedInput& b) { return a.Place < b.Place; });
    finish_.RunEnded();
    CompletionActions(settings_, result_.SucceededFiles, result_.TotalFiles, ExeFolder, finish_);
    finish_.ShowConversionSummary(result_);
    state_ = TRunState::Idle;
}

void TConversionRun::FFLoggerLog(void*, uint32_t threadId, TLogLevel level, const std::string& message) {
    if (log_) log_->AppendLine(FormatLogLine(threadId, level, message));
}

void TConversionRun::SetPreview(bool preview) { encoder_.SetPreview(preview); }

void TConversionRun::Cancel() {
    if (state_ != TRunState::Running) return;
    state_ = TRunState::Stopping;
    result_.Cancelled = true;
    encoder_.Stop(true);
    if (state_ == TRunState::Finished)
        EndRun();  // the final notification came during the stop
    else
        state_ = TRunState::Running;  // it is still on its way and ends the run
}
