#pragma once
// Turns the input rows into encoder tasks: one joining task (join mode) or
// one task per file (per-file mode), with a conversion-list row per accepted
// file and a log line per outcome.
#include "convert_list.h"
#include "ff_records.h"
#include "planned_join.h"
#include "run_times.h"

#include <cstdint>
#include <optional>
#include <functional>
#include <set>
#include <string>
#include <vector>

struct TUserSettings;
class IJobEncoder;
class ILogSink;
class TCustomDecoder;

inline constexpr char JoinOutputName[] = "Output_Merge";

// Why a file was left out of the job.
enum TRefusalKind {
    rkAddInput,    // the engine refused the input ("Adding file error: ")
    rkOutput,      // the engine refused the output ("Cannot do convert, error: ")
    rkUnreadable,  // the probe could not open the input ("File load error: ")
};

// An input of a join: its place in the input list and its file.
struct TTaskFile {
    int Input = -1;
    std::string FileName;
};

// A file that building left out: which input, which file, why. The text of
// the log line and of Step4 is LogLine(); the observers decide from the rest.
struct TJobRefusal {
    int Input = -1;        // index in the input list; -1: the join's output
    std::string FileName;  // the input, or the refused output
    TRefusalKind Kind = rkAddInput;
    std::string Reason;    // the engine's or the probe's message
    TTaskOutcome Outcome = toRefused;
    int ErrorCode = 0;      // the library's code when the engine knew it, else 0
    std::string InputFile;  // the input left out; empty for the join's output

    // An input file is missing from the run (a refused join output is not one).
    bool LeavesOutInput() const { return Input >= 0; }
    std::string LogLine() const;
    // The reason in plain words, as the summary's line gives it.
    std::string ShownReason() const;
    // The summary's line: "File (N) name: reason", N counting from 1 as the
    // input list does (a join's output counts as file 1).
    std::string FailureLine() const;
};

class TJobBuilder {
public:
    TJobBuilder(const TUserSettings& settings, IJobEncoder& encoder, TConvertList& list, ILogSink* log);

    // Join mode: every accepted input goes into task 0, which gets one output.
    // An input's refusal counts it by its TJobInput::Place when that is set.
    void BuildJoinJob(const std::vector<TJobInput>& inputs);
    // Per-file mode: AddFileJob for each input, in order.
    void BuildFileJobs(const std::vector<TJobInput>& inputs);

    // inputIndex: the file's place in the input list, for its refusal.
    void AddFileJob(const std::string& fileName, int inputIndex);
    void AddFileJob(const TJobInput& input, int inputIndex);
    TOutputOptions MakeOutputOptions(TCustomDecoder& decoder);
    TInputOptions MakeInputOptions(TCustomDecoder& decoder);
    void AddFileTask(TInputOptions& input, TOutputOptions& output, int inputIndex);

    // The join's output name without its extension.
    std::string OutputName = JoinOutputName;

    // Called with each refusal right after its log line.
    std::function<void(const TJobRefusal&)> OnRefusal;

    // The input duration recorded for each task (index = task index), in
    // microseconds; what the run adds to DoneDuration when a task finishes.
    const std::vector<int64_t>& TaskDurations() const { return taskDurations_; }
    // Their sum: the microseconds of input the job has to do.
    int64_t JobDuration() const { return jobDuration_; }
    // For each task, its input's place in the input list (-1: a join) and
    // its output file.
    const std::vector<int>& TaskInputs() const { return taskInputs_; }
    const std::vector<std::string>& TaskOutputs() const { return taskOutputs_; }
    // A task's video encoder spreads one file over every core itself.
    bool ThreadedEncoder() const { return threadedEncoder_; }
    // The plan the next join follows (a join with a copying preset); its
    // files are the inputs the join is given, in order.
    void UsePlannedJoin(const TPlannedJoin& planned) { planned_ = planned; }

    // For each task, why it cannot make an output when building knew it
    // already (a file without sound for a format of sound; the task then
    // fails as any failing task does), else empty.
    const std::vector<std::string>& TaskProblems() const { return taskProblems_; }
    // What each stretch of a join following a plan costs (empty: every
    // second alike).
    const std::vector<TWorkSpan>& JoinWork() const { return joinWork_; }
    // The accepted inputs of the join, in its order.
    const std::vector<TTaskFile>& JoinFiles() const { return joinFiles_; }
    // Inputs building refused or could not read.
    int RefusedFiles() const;
    // The join's output was refused.
    bool OutputRefused() const;
    // Those refusals (and a refused join output), in order.
    const std::vector<TJobRefusal>& Refusals() const { return refusals_; }

private:
    void Begin();
    void Log(const std::string& line);
    // Logs, lists and reports a refusal.
    void Refuse(TJobRefusal refusal);
    // The format holds only sound: its name, else empty.
    std::string SoundOnlyFormat() const;
    // A format that holds only sound needs an input with sound: the reason
    // when none of the files has any, else empty.
    std::string SoundProblem(const std::vector<TJobInput>& inputs, const std::vector<int>& accepted);
    // A free name in the output folder that this job has not given out yet.
    std::string UniqueOutputName(const std::string& name);

    const TUserSettings& settings_;
    IJobEncoder& encoder_;
    TConvertList& list_;
    ILogSink* log_;
    std::vector<int64_t> taskDurations_;
    int64_t jobDuration_ = 0;
    std::vector<int> taskInputs_;
    std::vector<std::string> taskOutputs_;
    bool threadedEncoder_ = false;
    std::vector<std::string> taskProblems_;
    std::vector<TTaskFile> joinFiles_;
    std::set<std::string> givenOut_;  // output names of this job
    std::vector<TJobRefusal> refusals_;
    TPlannedJoin planned_;
    int64_t trimmedLength_ = -1;  // the file job being added: its trimmed length
    // A trimmed input reads only its range.
    static void ApplyTrim(const TJobInput& in, TInputOptions& options);
    std::vector<TWorkSpan> joinWork_;
    static std::vector<TWorkSpan> PlanWork(const TJoinPlan& plan, const std::vector<TJobInput>& inputs,
                                           const std::vector<int>& accepted);
};

// The texts of the conversion list.
std::string AspectRatioText(float ratio);
std::string FrameSizeText(int32_t width, int32_t height);
