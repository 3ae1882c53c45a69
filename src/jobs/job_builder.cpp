#include "job_builder.h"

#include "catalogue.h"
#include "failure_text.h"
#include "ff_decoder.h"
#include "user_settings.h"
#include "job_encoder.h"
#include "log_sink.h"
#include "preset_params.h"
#include "util_funcs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
const char* const DurationUnknown = "Duration is not preseted";
const char* const Waiting = "Waiting...";
}  // namespace

std::string AspectRatioText(float ratio) {
    if (!(ratio > 0)) return "-1";  // unknown
    // The shapes people name by their sides; others to two places.
    static constexpr int kShapes[][2] = {{16, 9}, {4, 3}, {16, 10}, {21, 9}, {3, 2}, {1, 1}, {9, 16}, {3, 4}};
    for (const auto& [w, h] : kShapes)
        if (std::fabs(static_cast<double>(ratio) - static_cast<double>(w) / h) < 0.005)
            return std::to_string(w) + ":" + std::to_string(h);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(ratio));
    return buf;
}

std::string FrameSizeText(int32_t width, int32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

namespace {
// Video encoders that keep every core busy on one file: running several files
// at once only makes them compete.
bool IsThreadedEncoder(const std::string& codec) {
    for (const char* name : {"libx264", "libx265", "libvpx-vp9", "libaom-av1", "libsvtav1"})
        if (codec == name) return true;
    return false;
}
}  // namespace

std::string TJobRefusal::LogLine() const {
    switch (Kind) {
        case rkAddInput: return "Adding file error: " + Reason;
        case rkOutput: return "Cannot do convert, error: " + Reason;
        case rkUnreadable: return "File load error: " + Reason;
    }
    return Reason;
}

std::string TJobRefusal::ShownReason() const { return RefusalReason(Reason, ErrorCode, FileName, Kind == rkOutput); }

std::string TJobRefusal::FailureLine() const {
    const std::string& name = Input >= 0 ? InputFile : FileName;
    return TaskFailureLine(Input >= 0 ? Input + 1 : 1, ExtractFileName(name), ShownReason());
}

namespace {
// An input's number in the user's list, from 0.
int PlaceOf(const TJobInput& input, size_t index) { return input.Place >= 0 ? input.Place : static_cast<int>(index); }
}  // namespace

TJobBuilder::TJobBuilder(const TUserSettings& settings, IJobEncoder& encoder, TConvertList& list, ILogSink* log)
    : settings_(settings), encoder_(encoder), list_(list), log_(log) {}

void TJobBuilder::Log(const std::string& line) {
    if (log_) log_->AppendLine(line);
}

void TJobBuilder::Refuse(TJobRefusal refusal) {
    Log(refusal.LogLine());
    refusals_.push_back(std::move(refusal));
    if (OnRefusal) OnRefusal(refusals_.back());
}

bool TJobBuilder::OutputRefused() const {
    return std::any_of(refusals_.begin(), refusals_.end(), [](const TJobRefusal& r) { return !r.LeavesOutInput(); });
}

int TJobBuilder::RefusedFiles() const {
    return static_cast<int>(
        std::count_if(refusals_.begin(), refusals_.end(), [](const TJobRefusal& r) { return r.LeavesOutInput(); }));
}

void TJobBuilder::Begin() {
    list_.Clear();
    jobDuration_ = 0;
    taskDurations_.clear();
    taskInputs_.clear();
    taskOutputs_.clear();
    threadedEncoder_ = false;
    taskProblems_.clear();
    joinFiles_.clear();
    givenOut_.clear();
    joinWork_.clear();
    refusals_.clear();
}

std::string TJobBuilder::UniqueOutputName(const std::string& name) {
    const std::string dir = IncludeTrailingSeparator(settings_.OutputFileDir);
    const std::string ext = ExtractFileExt(name);
    const auto taken = [&](const std::string& candidate) {
        return givenOut_.count(candidate) || PathTaken(dir + candidate);
    };
    std::string result = FreeFileName(std::string_view(name).substr(0, name.size() - ext.size()), ext, taken, SIZE_MAX);
    // Every name taken: the output's own commit fails rather than replace one.
    if (result.empty()) result = name;
    givenOut_.insert(result);
    return result;
}

std::vector<TWorkSpan> TJobBuilder::PlanWork(const TJoinPlan& plan, const std::vector<TJobInput>& inputs,
                                             const std::vector<int>& accepted) {
    std::vector<TWorkSpan> spans;
    if (plan.Steps.size() != accepted.size()) return spans;
    const int video = plan.StreamOf(skVideo);
    // Each sound track re-encoded costs its share.
    int soundWeight = 0;
    for (const TPlanStream& s : plan.Streams)
        if (s.Kind == skAudio && s.Encoded) soundWeight += SoundWeight;
    for (size_t k = 0; k < accepted.size(); ++k) {
        int weight = CopiedWeight;
        if (video >= 0) {
            const TPlanAction a = plan.Steps[k][static_cast<size_t>(video)].Action;
            if (a == paEncode || a == paFill) weight = PictureWeight;
        }
        weight += soundWeight;
        spans.push_back({std::max<int64_t>(inputs[static_cast<size_t>(accepted[k])].Length(), 0), weight});
    }
    return spans;
}

void TJobBuilder::ApplyTrim(const TJobInput& in, TInputOptions& options) {
    if (in.TrimStartUs > 0) options.StartTime = in.TrimStartUs;
    if (in.TrimEndUs >= 0) options.EndTime = in.TrimEndUs;
}

void TJobBuilder::BuildJoinJob(const std::vector<TJobInput>& inputs) {
    Begin();
    const std::string outputPath = IncludeTrailingSeparator(settings_.OutputFileDir) +
                                   UniqueOutputName(OutputName + OutputExtension(settings_));
    int64_t taskDuration = 0;
    std::vector<int> acceptedFiles;  // places in inputs
    for (size_t i = 0; i < inputs.size(); ++i) {
        const TJobInput& in = inputs[i];
        TInputOptions options;
        InitInputOptions(options);
        ApplyTrim(in, options);
        bool accepted;
        if (encoder_.TaskCount() == 0)
            accepted = encoder_.AddTask(in.FullName, options) >= 0;
        else
            accepted = encoder_.AddInputFile(0, in.FullName, options);
        if (!accepted) {
            Refuse({PlaceOf(in, i), in.FullName, rkAddInput, encoder_.LastErrorMessage(), toRefused,
                    encoder_.LastErrorCode(), in.FullName});
            continue;
        }
        TConvertRow row;
        row.Cells[ccName] = ExtractFileName(in.FullName);
        row.Cells[ccDuration] = FormatMicroseconds(in.Length());
        row.Cells[ccStatus] = FrameSizeText(in.Width, in.Height);
        row.Cells[ccProgress] = AspectRatioText(in.AspectRatio);
        row.Cells[ccPath] = outputPath;
        list_.Add(std::move(row));
        joinFiles_.push_back({PlaceOf(in, i), in.FullName});
        acceptedFiles.push_back(static_cast<int>(i));
        if (in.Length() > 0) {
            jobDuration_ += in.Length();
            taskDuration += in.Length();
        }
        Log("File has been added to convert list.");
    }
    // With no accepted input there is no task to give an output to.
    if (encoder_.TaskCount() == 0) return;
    TOutputOptions options;
    InitOutputOptions(options);
    ApplyPreset(settings_, options);
    ApplyPlannedJoin(planned_, settings_, acceptedFiles, options);
    joinWork_ = PlanWork(options.Plan, inputs, acceptedFiles);
    options.Join = true;
    options.Verify = settings_.VerifyOutput;
    if (!encoder_.SetOutputFile(0, outputPath, options)) {
        encoder_.RemoveTask(0);
        // The output, not an input, was refused: listed, not counted.
        Refuse({-1, outputPath, rkOutput, encoder_.LastErrorMessage(), toRefused, encoder_.LastErrorCode(), {}});
        return;
    }
    taskDurations_.push_back(taskDuration);
    taskInputs_.push_back(-1);
    taskOutputs_.push_back(outputPath);
    taskProblems_.push_back(SoundProblem(inputs, acceptedFiles));
}

std::string TJobBuilder::SoundOnlyFormat() const {
    if (settings_.OutputFormatClass != fcAudio) return {};
    const TFormatId* format = FindFormat(settings_.OutputFormatClass, settings_.CurrentFormatCode());
    return format ? std::string(format->Name) : std::string();
}

std::string TJobBuilder::SoundProblem(const std::vector<TJobInput>& inputs, const std::vector<int>& accepted) {
    const std::string format = SoundOnlyFormat();
    if (format.empty()) return {};
    TCustomDecoder& decoder = encoder_.Decoder();
    for (const int i : accepted) {
        const TJobInput& in = inputs[static_cast<size_t>(i)];
        // Only a file the probe reads and finds silent counts as silent; the
        // list's probe already said so for the files it added.
        bool silent = false;
        if (const std::optional<bool> sound = in.HasSound()) {
            silent = !*sound;
        } else {
            try {
                silent = decoder.LoadFile(in.FullName) && decoder.FirstAudioStream() < 0;
            } catch (const std::exception&) {
            }
            decoder.CloseFile();
        }
        if (!silent) return {};  // the others get silence
    }
    return NoSoundReason(format);
}

void TJobBuilder::BuildFileJobs(const std::vector<TJobInput>& inputs) {
    Begin();
    for (size_t i = 0; i < inputs.size(); ++i) AddFileJob(inputs[i], PlaceOf(inputs[i], i));
}

void TJobBuilder::AddFileJob(const std::string& fileName, int inputIndex) {
    TJobInput input;
    input.FullName = fileName;
    AddFileJob(input, inputIndex);
}

void TJobBuilder::AddFileJob(const TJobInput& in, int inputIndex) {
    const std::string& fileName = in.FullName;
    TCustomDecoder& decoder = encoder_.Decoder();
    if (!decoder.LoadFile(fileName)) {
        Refuse({inputIndex, fileName, rkUnreadable, decoder.LastErrorMessage(), toRefused, 0, fileName});
        return;
    }
    TOutputOptions output = MakeOutputOptions(decoder);
    TInputOptions input = MakeInputOptions(decoder);
    ApplyTrim(in, input);
    if (in.Trimmed() && IsSameAsSource(CurrentPreset(settings_))) {
        // Copied as a join of it alone would be: cut at key frames, the
        // pictures at the cuts re-encoded.
        TUserSettings alone = settings_;
        alone.JoinFiles = true;
        ApplyPlannedJoin(PlanJoin(alone, {in}), alone, {0}, output);
    }
    trimmedLength_ = in.Trimmed() ? in.Length() : -1;
    AddFileTask(input, output, inputIndex);
    decoder.CloseFile();
}

TOutputOptions TJobBuilder::MakeOutputOptions(TCustomDecoder& decoder) {
    TOutputOptions options;
    InitOutputOptions(options);
    options.FileExt = OutputExtension(settings_);
    const std::string name = ExtractFileName(decoder.FileName());
    const std::string ext = ExtractFileExt(name);
    const std::string outName = name.substr(0, name.size() - ext.size()) + options.FileExt;
    options.FileName = IncludeTrailingSeparator(settings_.OutputFileDir) + UniqueOutputName(outName);
    // Asking a file without sound for its audio stream would log an error.
    const int32_t audioBitrate =
        decoder.FirstAudioStream() >= 0 ? decoder.GetAudioStreamInfo(decoder.FirstAudioStream()).BitRate : -1;
    ApplyPreset(settings_, options, audioBitrate);
    ApplyCopyOrConvert(settings_, decoder.FileName(), options);
    return options;
}

TInputOptions TJobBuilder::MakeInputOptions(TCustomDecoder& decoder) {
    TInputOptions options;
    InitInputOptions(options);
    options.FileName = decoder.FileName();
    // AddFileJob forces no input format.
    return options;
}

void TJobBuilder::AddFileTask(TInputOptions& input, TOutputOptions& output, int inputIndex) {
    const int index = encoder_.AddTask(input.FileName, input);
    if (index < 0) {
        Refuse({inputIndex, input.FileName, rkAddInput, encoder_.LastErrorMessage(), toRefused,
                encoder_.LastErrorCode(), input.FileName});
        return;
    }
    if (!encoder_.SetOutputFile(index, output.FileName, output)) {
        // Removing the last task keeps task indexes equal to row indexes.
        encoder_.RemoveTask(index);
        // Its input file is left out with it.
        Refuse({inputIndex, output.FileName, rkOutput, encoder_.LastErrorMessage(), toRefused,
                encoder_.LastErrorCode(), input.FileName});
        return;
    }
    TCustomDecoder& decoder = encoder_.Decoder();
    const std::string probed = decoder.FileName();
    const int64_t duration = trimmedLength_ >= 0 ? trimmedLength_ : decoder.GetFileStreamInfo().Duration;
    TConvertRow row;
    row.Cells[ccName] = ExtractFileName(probed);
    row.Cells[ccDuration] = duration >= 0 ? FormatMicroseconds(duration) : DurationUnknown;
    row.Cells[ccStatus] = Waiting;
    row.Cells[ccPath] = ExtractFilePath(probed);
    list_.Add(std::move(row));
    const int64_t recorded = duration > 0 ? duration : 0;
    jobDuration_ += recorded;
    taskDurations_.push_back(recorded);
    taskInputs_.push_back(inputIndex);
    taskOutputs_.push_back(output.FileName);
    const std::string format = SoundOnlyFormat();
    const bool silent = !format.empty() && decoder.FirstAudioStream() < 0;
    taskProblems_.push_back(silent ? NoSoundReason(format) : std::string());
    if (IsThreadedEncoder(output.VideoCodec)) threadedEncoder_ = true;
    Log("File has been added to convert list.");
}
