#include "ff_task_media.h"

#include "ff_exception.h"
#include "ff_join_timeline.h"
#include "ff_output_track.h"

void TTaskMedia::OpenInput(const std::string& fileName) {
    const TInputOpening how{Io, owner_, owner_, static_cast<int>(Inputs.size()), BeforeFindStreamInfo, lastPixelFormat_};
    std::unique_ptr<TInputFile> in = OpenInputFile(Options, fileName, how);
    if (in->Duration > TotalDuration) TotalDuration = in->Duration;
    // What the probe read ahead would wait in memory until the input's turn.
    if (!Inputs.empty()) in->DropProbedPackets();
    Inputs.push_back(std::move(in));
}

int TTaskMedia::OpenOutput(const std::string& fileName, bool joinRequest) {
    if (Join) throw FFmpegException("Cannot join more than one output file.");
    std::vector<TStreamKinds> inputKinds;
    for (const auto& in : Inputs) inputKinds.push_back(in->Kinds());
    const TOutputCreation how{Io, owner_, owner_, inputKinds, lastPixelFormat_, &Plan};
    Outputs.push_back(CreateOutputFile(Options, fileName, how));
    SlotFiles.push_back(Outputs.back().get());
    if (joinRequest && Inputs.size() > 1) Join = true;
    return OutputCount() - 1;
}

void TTaskMedia::PrepareJoin() {
    if (!Join || SlotFiles.empty()) return;
    TotalDuration = TJoinTimeline::JoinedDuration(Inputs);
    while (SlotFiles.size() < Inputs.size()) SlotFiles.push_back(SlotFiles.front());
}

int64_t TTaskMedia::ProgressTotalDuration() const {
    if (Join) return TotalDuration;
    if (Options.RecordingTime != INT64_MAX) return Options.RecordingTime;
    return TotalDuration > 0 ? TotalDuration : 0;
}

void TTaskMedia::CommitOutputs() {
    for (const auto& out : Outputs) out->Commit();
}

void TTaskMedia::Release() {
    SlotFiles.clear();
    Outputs.clear();
    Inputs.clear();
}

void TTaskMedia::NewStream(AVMediaType kind) {
    if (Outputs.empty()) throw FFmpegException("At least one output file must be specified");
    Outputs.back()->AddStream(kind, Options, lastPixelFormat_, owner_);
}

std::vector<AVRational> TTaskMedia::InputVideoFrameRates() const {
    std::vector<AVRational> rates;
    for (const auto& in : Inputs)
        for (AVRational r : in->VideoFrameRates()) rates.push_back(r);
    return rates;
}

bool TTaskMedia::AddVideoHook(const std::string& /*argument*/) {
    // Frame-hook plug-in libraries belong to the old generation of the codec
    // libraries; today's libraries have filters instead ("vf").
    return false;
}
