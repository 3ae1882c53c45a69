#pragma once
// What a task is made of before it runs: its option state, its opened inputs,
// its outputs with their streams, and the output slot of each input of a
// join. Built on the caller's thread while the task is built; the run reads
// it, the cleanup after the run empties it.
#include "ff_input_file.h"
#include "ff_io_watch.h"
#include "ff_join_plan.h"
#include "ff_options.h"
#include "ff_output_file.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TTaskMedia : public IOptionHost {
public:
    // owner: the task (the logger's sender and the interrupt registry's owner).
    explicit TTaskMedia(void* owner) : Io(owner), owner_(owner) {}
    TTaskMedia(const TTaskMedia&) = delete;
    TTaskMedia& operator=(const TTaskMedia&) = delete;

    TOptionState Options;
    TIoWatch Io;
    std::vector<std::unique_ptr<TInputFile>> Inputs;
    std::vector<std::unique_ptr<TOutputFile>> Outputs;
    // The output each slot writes into: one slot per output, and in a join
    // one per input, all writing into the one output.
    std::vector<TOutputFile*> SlotFiles;
    bool Join = false;
    // A join that follows a plan (TOutputOptions::Plan); no steps: none.
    TJoinPlan Plan;
    bool Verify = false;  // TOutputOptions::Verify
    int64_t TotalDuration = -1;  // microseconds; -1 until known
    std::function<void(AVFormatContext*)> BeforeFindStreamInfo;

    // Opens an input with the pending settings; raises FFmpegException with
    // the reason when it cannot.
    void OpenInput(const std::string& fileName);
    // Creates an output with the pending settings and returns its index;
    // raises FFmpegException with the reason when it cannot. A join asks for
    // it (joinRequest) and happens with more than one input.
    int OpenOutput(const std::string& fileName, bool joinRequest);
    // A join: its length is its inputs' together, each input gets its slot.
    void PrepareJoin();
    // The total the progress reports carry.
    int64_t ProgressTotalDuration() const;
    // The run ended well: every output takes its final name.
    void CommitOutputs();
    // Frees the outputs (deleting what was not committed), then the inputs.
    void Release();

    // ---- IOptionHost ----
    int OutputCount() const override { return static_cast<int>(Outputs.size()); }
    void NewStream(AVMediaType kind) override;
    std::vector<AVRational> InputVideoFrameRates() const override;
    bool AddVideoHook(const std::string& argument) override;

private:
    void* owner_;
    // The picture format of the last input's video: what an output takes when
    // no option asks for one.
    AVPixelFormat lastPixelFormat_ = AV_PIX_FMT_NONE;
};
