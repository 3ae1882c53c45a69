#pragma once
// Turns the input rows into encoder tasks: one joining task (join mode) or
// one task per file (per-file mode), with a conversion-list row per accepted
// file and a log line per outcome.
#include "convert_list.h"
#include "ff_records.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct TGlobalVars;
class IJobEncoder;
class ILogSink;
class TCustomDecoder;

inline constexpr char JoinOutputName[] = "Output_Merge";

class TJobBuilder {
public:
    TJobBuilder(TGlobalVars& g, IJobEncoder& encoder, TConvertList& list, ILogSink* log);

    // Join mode: every accepted input goes into task 0, which gets one output.
    void BuildJoinJob(const std::vector<TJobInput>& inputs);
    // Per-file mode: AddFileJob for each input, in order.
    void BuildFileJobs(const std::vector<TJobInput>& inputs);

    void AddFileJob(const std::string& fileName);
    TOutputOptions MakeOutputOptions(TCustomDecoder& decoder);
    TInputOptions MakeInputOptions(TCustomDecoder& decoder);
    void AddFileTask(TInputOptions& input, TOutputOptions& output);

    // The input duration recorded for each task (index = task index), in
    // microseconds; what the run adds to DoneDuration when a task finishes.
    const std::vector<int64_t>& TaskDurations() const { return taskDurations_; }
    // Inputs building refused or could not read.
    int RefusedFiles() const { return refused_; }
    // The log lines of those refusals (and of a refused join output), in order.
    const std::vector<std::string>& Refusals() const { return refusals_; }

private:
    void Begin();
    void Log(const std::string& line);
    // Logs and lists a refusal; countAsFile: an input file was left out.
    void Refuse(const std::string& line, bool countAsFile = true);
    // A free name in the output folder that this job has not given out yet.
    std::string UniqueOutputName(const std::string& name);

    TGlobalVars& g_;
    IJobEncoder& encoder_;
    TConvertList& list_;
    ILogSink* log_;
    std::vector<int64_t> taskDurations_;
    std::set<std::string> givenOut_;  // output names of this job
    int refused_ = 0;
    std::vector<std::string> refusals_;
};

// The texts of the conversion list.
std::string AspectRatioText(float ratio);
std::string FrameSizeText(int32_t width, int32_t height);
