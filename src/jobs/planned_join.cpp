#include "planned_join.h"

#include "catalogue.h"
#include "ff_records.h"
#include "job_builder.h"
#include "preset_params.h"
#include "trims.h"
#include "user_settings.h"

#include <algorithm>
#include <utility>

namespace {
// Lossy codecs get a bit rate close to the reference's; the others need none.
bool TakesBitRate(const std::string& codec) {
    return codec == "aac" || codec == "mp3" || codec == "mp2" || codec == "opus" || codec == "vorbis" ||
           codec == "ac3" || codec == "eac3" || codec == "wmav2";
}
}  // namespace

std::vector<std::string> TPlannedJoin::Lines() const {
    std::vector<std::string> lines = PlanLines(Plan, FallbackCaption);
    lines.insert(lines.end(), Unreadable.begin(), Unreadable.end());
    return lines;
}

std::vector<std::string> TPlannedJoin::ReencodeLines() const {
    std::vector<std::string> lines = ::ReencodeLines(Plan, FallbackCaption);
    lines.insert(lines.end(), Unreadable.begin(), Unreadable.end());
    return lines;
}

TPlannedJoin PlanJoin(const TUserSettings& settings, const std::vector<TJobInput>& files) {
    TPlannedJoin planned;
    const TPresetRef preset = CurrentPreset(settings);
    if (!settings.JoinFiles || !IsSameAsSource(preset) || files.empty()) return planned;
    planned.Active = true;
    planned.Fallback = HighQualityPreset(preset.Format);
    if (planned.Fallback >= 0) planned.FallbackCaption = std::string(PresetCaption({preset.Format, planned.Fallback}));
    // An audio format takes the sound only.
    const bool soundOnly = preset.Format.Class == fcAudio;
    std::vector<TFileDesc> described;
    for (size_t i = 0; i < files.size(); ++i) {
        TFileDesc desc;
        std::string error;
        const int number = (files[i].Place >= 0 ? files[i].Place : static_cast<int>(i)) + 1;
        if (files[i].Described) {
            desc = *files[i].Described;
        } else if (!DescribeFile(files[i].FullName, desc, error)) {
            planned.Unreadable.push_back("File (" + std::to_string(number) + ") " + desc.Name + ": cannot be read (" +
                                         error + ")");
            continue;
        }
        desc.Number = number;
        desc.TrimStartUs = files[i].TrimStartUs;
        desc.TrimEndUs = files[i].TrimEndUs;
        desc.Range = TrimRangeText(files[i]);
        if (soundOnly) std::erase_if(desc.Streams, [](const TStreamDesc& s) { return s.Kind != skAudio; });
        described.push_back(std::move(desc));
        planned.PlanFiles.push_back(static_cast<int>(i));
    }
    const TPresetParams* params = FindPresetParams(preset.Format.Class, preset.Format.Code, preset.Index);
    const std::string formatFile = std::string(JoinOutputName) + OutputExtension(settings);
    const std::string formatName = params && params->FileFormat ? params->FileFormat : "";
    const std::string shownName = std::string(FindCatalogueFormat(preset.Format.Class, preset.Format.Code)->Format->Name);
    planned.Plan = MakeJoinPlan(described, PlanFormatFor(formatFile, formatName, shownName, soundOnly));
    return planned;
}

std::string PlanQuestion(const TPlannedJoin& planned) {
    std::string text = "These files are joined by copying, except:\r\n";
    for (const std::string& line : planned.ReencodeLines()) text += "\r\n" + line;
    text += "\r\n\r\nJoin them so, or go back?";
    return text;
}

void ApplyPlannedJoin(const TPlannedJoin& planned, const TUserSettings& settings, const std::vector<int>& accepted,
                      TOutputOptions& options) {
    if (!planned.Active) return;
    TOutputOptions fallback;
    InitOutputOptions(fallback);
    if (planned.Fallback >= 0) ApplyPreset(settings, fallback, std::nullopt, planned.Fallback);
    TJoinPlan plan = planned.Plan;
    bool firstSound = true;
    for (TPlanStream& s : plan.Streams) {
        if (s.Kind == skVideo && !s.Fallback.empty()) {
            options.VideoCodec = fallback.VideoCodec;
            options.VideoTag = fallback.VideoTag;
            options.VideoBitrate = fallback.VideoBitrate;
            options.ExtOptions = fallback.ExtOptions;
        }
        if (s.Kind != skAudio) continue;
        // The output's own settings make its first sound track; the plan
        // carries how each further one is made.
        const bool first = std::exchange(firstSound, false);
        if (!s.Encoded) continue;
        if (!s.Fallback.empty()) {
            s.SoundCodec = fallback.AudioCodec;
            s.SoundRate = std::max(fallback.AudioSampleRate, 0);
            s.SoundChannels = std::max(fallback.AudioChannels, 0);
            if (!first) continue;
            options.AudioCodec = fallback.AudioCodec;
            options.AudioBitrate = fallback.AudioBitrate;
            options.AudioSampleRate = fallback.AudioSampleRate;
            options.AudioChannels = fallback.AudioChannels;
            continue;
        }
        // Every clip's sound into one encoder with the reference's codec, rate and layout.
        const TStreamDesc& r = s.Reference;
        s.SoundCodec = s.Encoder;
        s.SoundRate = r.SampleRate;
        s.SoundChannels = r.Channels;
        if (!first) continue;
        options.AudioCodec = s.Encoder;
        options.AudioSampleRate = r.SampleRate;
        options.AudioChannels = r.Channels;
        if (TakesBitRate(r.Codec))
            options.AudioBitrate = static_cast<int32_t>(std::clamp<int64_t>(r.BitRate, 96000, 320000));
    }
    // The steps of the accepted files only, in their order.
    options.Plan = plan;
    options.Plan.Steps.clear();
    options.Plan.Files.clear();
    options.Plan.Numbers.clear();
    options.Plan.Ranges.clear();
    for (int file : accepted) {
        const auto at = std::find(planned.PlanFiles.begin(), planned.PlanFiles.end(), file);
        if (at == planned.PlanFiles.end()) continue;
        const size_t index = static_cast<size_t>(at - planned.PlanFiles.begin());
        options.Plan.Steps.push_back(plan.Steps[index]);
        options.Plan.Files.push_back(plan.Files[index]);
        options.Plan.Numbers.push_back(plan.Numbers[index]);
        options.Plan.Ranges.push_back(plan.Ranges[index]);
    }
    // A reference left out of the run: the first accepted file stands in.
    for (TPlanStream& s : options.Plan.Streams) {
        const auto at = std::find(accepted.begin(), accepted.end(),
                                  s.ReferenceFile >= 0 ? planned.PlanFiles[static_cast<size_t>(s.ReferenceFile)] : -1);
        s.ReferenceFile = at == accepted.end() ? 0 : static_cast<int>(at - accepted.begin());
    }
}

void ApplyCopyOrConvert(const TUserSettings& settings, const std::string& fileName, TOutputOptions& options) {
    const TPresetRef preset = CurrentPreset(settings);
    if (!IsSameAsSource(preset)) return;
    TFileDesc desc;
    std::string error;
    if (!DescribeFile(fileName, desc, error)) return;
    const TPresetParams* params = FindPresetParams(preset.Format.Class, preset.Format.Code, preset.Index);
    const TPlanFormat format =
        PlanFormatFor(std::string(JoinOutputName) + OutputExtension(settings),
                      params && params->FileFormat ? params->FileFormat : "", "", preset.Format.Class == fcAudio);
    // The first picture stream, every sound track (they share one setting).
    const auto heldOrNone = [&](TStreamKind kind, bool every) {
        for (const TStreamDesc& s : desc.Streams)
            if (s.Kind == kind && (!format.Holds(s.Codec) || !every)) return format.Holds(s.Codec);
        return true;
    };
    const bool video = heldOrNone(skVideo, false), audio = heldOrNone(skAudio, format.EveryTrack);
    if (video && audio) return;
    TOutputOptions fallback;
    InitOutputOptions(fallback);
    ApplyPreset(settings, fallback, std::nullopt, HighQualityPreset(preset.Format));
    if (!video) {
        options.VideoCodec = fallback.VideoCodec;
        options.VideoTag = fallback.VideoTag;
        options.VideoBitrate = fallback.VideoBitrate;
        options.ExtOptions = fallback.ExtOptions;
    }
    if (!audio) {
        options.AudioCodec = fallback.AudioCodec;
        options.AudioBitrate = fallback.AudioBitrate;
        options.AudioSampleRate = fallback.AudioSampleRate;
        options.AudioChannels = fallback.AudioChannels;
    }
}
