#pragma once
// A conversion run from its start to its summary: builds the job, starts the
// encoder, turns its progress and end notifications into the page's texts,
// counts the outcomes and carries out the completion actions. The Step3 page
// and the command line observe it through the interfaces below; both drive it
// on their user-interface thread.
#include "completion.h"
#include "convert_list.h"
#include "ff_logger.h"
#include "failure_text.h"
#include "ff_records.h"
#include "job_builder.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

struct TProductConfig;
struct TUserSettings;
class IJobEncoder;
class ILogSink;
class IDispatcher;

// The Step3 labels and bar.
class IConversionPage {
public:
    virtual ~IConversionPage() = default;
    virtual void SetCurrentFileTitle(const std::string& title) = 0;  // "Output file:" / "Current file:"
    virtual void SetCurrentFile(const std::string& text) = 0;
    // Bar position (0..100) and the percentage label.
    virtual void SetProgress(int position, const std::string& text) = 0;
    virtual void SetTimes(const std::string& estimated, const std::string& elapsed, const std::string& left) = 0;
    // The estimated size of the run's output(s), "..." until it is known;
    // given right before the times.
    virtual void SetOutputSize(const std::string& /*text*/) {}

    // A task's end as the run counted it, once its row shows it.
    virtual void TaskEnded(int /*taskIndex*/, TTaskOutcome /*outcome*/) {}
    // A file building left out, once its log line is written.
    virtual void InputRefused(const TJobRefusal& /*refusal*/) {}
};

// The Status cell of a task that has ended: "Finish." or "Failed.".
const char* TaskStatusText(TTaskOutcome outcome);

// A file of the user's list that failed or was left out of the run.
struct TFailedInput {
    int Place = -1;      // its place in the input list, from 0
    std::string Reason;  // in plain words
};

// What a conversion run came to: what Step4 and the command line show, and
// what the command line's exit status says.
struct TConversionResult {
    // Every file of the run: the tasks' files and every file left out of them.
    int32_t TotalFiles = 0;
    int32_t SucceededFiles = 0;
    // "File (N) name: reason" for each file that failed or was left out.
    std::vector<std::string> ErrorList;
    // The input files behind those lines, in list order (a failed join
    // output that no input caused has none).
    std::vector<TFailedInput> FailedInputs;
    // "File (N) name: what" for each file used with a fault (it ended early).
    std::vector<std::string> Warnings;
    // Every output written, by its full path as written, in task order.
    std::vector<std::string> Outputs;
    bool Cancelled = false;  // the user cancelled the run
    std::chrono::system_clock::time_point StartTime{}, EndTime{};
    int64_t JobDuration = 0;   // microseconds of input the run had to do
    int64_t DoneDuration = 0;  // microseconds of it in finished files

    int32_t FailedFiles() const { return TotalFiles - SucceededFiles; }
    // Every file was written and nobody cancelled.
    bool AllWritten() const { return TotalFiles > 0 && SucceededFiles == TotalFiles && !Cancelled; }
};

// What happens once a run has ended. The run carries out the completion
// actions (completion.h) on these devices, then asks for the summary.
class IConversionFinish : public ICompletionDevices {
public:
    // The run's tasks are gone (before the completion actions).
    virtual void RunEnded() {}
    // Step4: the totals, the failed count, the error lines, cancelled.
    virtual void ShowConversionSummary(const TConversionResult& result) = 0;
};

// How many files a per-file run converts at once: jobs when above 0, else 1
// for an encoder that spreads one file over every core itself, else cores.
int ParallelTasks(int jobs, bool threadedEncoder, unsigned cores);

// "#" + thread id + "." + level number + ": " + message.
std::string FormatLogLine(uint32_t threadId, TLogLevel level, const std::string& message);

// Where a run is. Every change happens on the user-interface thread.
enum class TRunState {
    Idle,      // no run, or the last one has ended
    Building,  // StartConversion is building the job
    Running,   // the tasks run (or, without any, the end is on its way)
    Stopping,  // Cancel waits for the engine to stop the tasks
    Finished,  // the tasks have ended: clearing, completion actions, summary
};

class TConversionRun {
public:
    using TClock = std::function<std::chrono::system_clock::time_point()>;

    // The encoder's handlers are bound for the life of the run object. The
    // run reads the settings' mode (JoinFiles), output choice and completion
    // actions when it starts.
    TConversionRun(const TProductConfig& config, const TUserSettings& settings, IJobEncoder& encoder,
                   TConvertList& list, IConversionPage& page, IConversionFinish& finish, ILogSink* log,
                   IDispatcher* dispatcher);
    ~TConversionRun();
    TConversionRun(const TConversionRun&) = delete;
    TConversionRun& operator=(const TConversionRun&) = delete;

    // Builds the job (join mode when JoinFiles) and starts it. A build that
    // left no task ends the run at once through the usual end (posted).
    // leftOut: files of the user's list that never reached the job (the probe
    // could not read them); they, and every file building refuses, count as
    // failed files with a line of their own.
    void StartConversion(const std::vector<TJobInput>& inputs, const std::vector<TJobRefusal>& leftOut = {});
    // The plan the next StartConversion's join follows (made before the run,
    // for the question or the command line); without one a join with a
    // copying preset makes its own.
    void UsePlannedJoin(const TPlannedJoin& planned) { plannedJoin_ = planned; }

    // On the user-interface thread (the encoder delivers progress there).
    void FFEncoderProgress(const TProgressInfo& info);
    // On the encoder's notification threads (or any thread): a task's end is
    // handed to the user-interface thread; the run's final notification
    // (TaskIndex -1) ends the run there once every task's end is handled.
    void FFEncoderTerminate(const TTerminateInfo& info);
    // The engine logger's handler: appends the formatted line to the log.
    void FFLoggerLog(void* sender, uint32_t threadId, TLogLevel level, const std::string& message);
    // The Preview check box; works at any time.
    void SetPreview(bool preview);

    // Cancel on Step3 and closing the window: stops every task and waits for
    // the workers; the run then ends through its usual notifications.
    void Cancel();

    TRunState State() const { return state_; }
    // From StartConversion until the end (completion actions and summary) is over.
    bool Running() const { return state_ != TRunState::Idle; }
    int32_t HandledTasks() const;
    const TJobBuilder& Builder() const { return builder_; }
    // What the current run has come to, or the last one came to.
    const TConversionResult& Result() const { return result_; }

    // The clock behind the start and end times and the elapsed time.
    TClock Clock = [] { return std::chrono::system_clock::now(); };
    // The folder of "sounds/" for the completion sound; ends with a separator.
    std::string ExeFolder;
    // The join's output name without its extension; empty: "Output_Merge".
    std::string OutputName;
    // Files a per-file run converts at once; 0 chooses (ParallelTasks).
    int Jobs = 0;
    // The number the last run started with.
    int TasksAtOnce() const { return tasksAtOnce_; }

private:
    // On the user-interface thread: now, or handed over and waited for.
    void OnMainThread(const std::function<void()>& call);
    void HandleTaskEnd(const TTerminateInfo& info);
    // Notes a failed task: its summary line and the input it blames.
    void NoteFailure(const TTerminateInfo& info);
    // A task's input by its place in the list (-1 when unknown) and its name;
    // fileIndex -1: the task's own file.
    std::pair<int, std::string> NamedInput(int task, int fileIndex) const;
    // The final notification: the end now, or once Cancel's stop has returned.
    void HandleRunEnd();
    // ClearTasks, label reset and ConversionFinished.
    void EndRun();
    // The end of the run: completion actions, then the summary.
    void ConversionFinished();
    // TotalFiles and the first lines of ErrorList: the tasks and every file
    // left out of them.
    void CountFiles(const std::vector<TJobRefusal>& leftOut);

    const TProductConfig& config_;
    const TUserSettings& settings_;
    IJobEncoder& encoder_;
    TConvertList& list_;
    IConversionPage& page_;
    IConversionFinish& finish_;
    ILogSink* log_;
    IDispatcher* dispatcher_;
    TJobBuilder builder_;
    std::optional<TPlannedJoin> plannedJoin_;
    TConversionResult result_;

    // The shares of the job and the bytes the running tasks reported last.
    struct TTaskProgress {
        int64_t Duration = 0;  // microseconds
        int64_t Size = 0;      // bytes
    };
    // The bar (several files at once), the size estimate and the times.
    void ShowOverall();

    TRunState state_ = TRunState::Idle;
    bool joinMode_ = false;  // the mode the run was built in
    int tasksAtOnce_ = 1;
    std::map<int, TTaskProgress> running_;
    std::map<int, std::string> written_;  // by task: the output as written
    int64_t doneBytes_ = 0;  // the outputs of the finished tasks
    // Tasks started and task ends handled: set on the user-interface thread,
    // waited for by the final notification's thread.
    mutable std::mutex tasksMutex_;
    std::condition_variable tasksHandled_;
    int32_t startedTasks_ = 0;
    int32_t handledTasks_ = 0;
};
