#include "ff_output_sequence.h"

#include "ff_logger.h"
#include "ff_options.h"

#include <algorithm>

namespace {
void SetValue(TStreamOptionList& list, const std::string& name, const std::string& value) {
    for (auto& [n, v] : list)
        if (n == name) {
            v = value;
            return;
        }
    list.emplace_back(name, value);
}

std::string FloatText(double v) { return FormatText("%g", v); }

TOutputStep Option(const std::string& name, const std::string& value) {
    return {TOutputStep::osSetOption, name, value, {}, 0};
}

TOutputStep Number(TOutputStep::TKind kind, int64_t value) { return {kind, {}, {}, {}, value}; }

// The fields of the record that are options, in the order of the record.
void AddRecordFields(const TOutputOptions& o, std::vector<TOutputStep>& steps) {
    const auto add = [&](bool when, const char* name, const std::string& value) {
        if (when) steps.push_back(Option(name, value));
    };
    const auto num = [](int64_t v) { return std::to_string(v); };
    add(!o.FileFormat.empty(), "f", o.FileFormat);
    add(o.PacketSize > 0, "packetsize", num(o.PacketSize));
    add(o.MuxRate > 0, "muxrate", num(o.MuxRate));
    add(o.MuxDelay > 0, "muxdelay", FloatText(o.MuxDelay));
    add(o.MuxPreload > 0, "muxpreload", FloatText(o.MuxPreload));
    add(o.DisableAudio, "an", "1");
    add(o.AudioVolume >= 0, "vol", num(o.AudioVolume));
    add(o.AudioChannels > 0, "ac", num(o.AudioChannels));
    add(o.AudioSampleRate > 0, "ar", num(o.AudioSampleRate));
    add(o.AudioBitrate > 0 && o.Target == 0, "ab", num(o.AudioBitrate));
    add(o.AudioBitrateTolerance > 0, "abt", num(o.AudioBitrateTolerance));
    add(true, "alang", o.AudioLanguage);
    add(true, "async", num(o.AudioSyncMethod));
    add(!o.AudioTag.empty(), "atag", o.AudioTag);
    add(o.DisableVideo, "vn", "1");
    add(!o.FrameRate.empty(), "r", o.FrameRate);
    add(!o.FrameAspectRatio.empty(), "aspect", o.FrameAspectRatio);
    add(o.GOPSize > 0, "g", num(o.GOPSize));
    add(o.VideoBitrate > 0 && o.Target == 0, "vb", num(o.VideoBitrate));
    add(o.VideoMaxRate > 0, "maxrate", num(o.VideoMaxRate));
    add(o.VideoMinRate > 0, "minrate", num(o.VideoMinRate));
    add(o.VideoBitrateTolerance > 0, "bt", num(o.VideoBitrateTolerance));
    add(o.VideoBufferSize > 0, "bufsize", num(o.VideoBufferSize));
    add(true, "vsync", num(o.VideoSyncMethod));
    add(!o.VideoTag.empty(), "vtag", o.VideoTag);
    add(true, "vlang", o.VideoLanguage);
    add(o.DisableSubtitle, "sn", "1");
    add(true, "slang", o.SubtitleLanguage);
    add(true, "isync", o.InputSync ? "1" : "0");
    add(o.CopyTimestamps, "copyts", "1");
    if (o.StartTime != NoTimestamp) steps.push_back(Number(TOutputStep::osStartTime, o.StartTime));
    if (o.RecordingTime != NoTimestamp) steps.push_back(Number(TOutputStep::osRecordingTime, o.RecordingTime));
}

void AddMetadata(const TStreamInfo& m, int64_t nowUnix, std::vector<TOutputStep>& steps) {
    if (m.TimeStamp == 0)
        steps.push_back(Number(TOutputStep::osRecordingTimestamp, nowUnix));
    else if (m.TimeStamp > 0)
        steps.push_back(Number(TOutputStep::osRecordingTimestamp, DateTimeToUnix(m.TimeStamp)));
    if (m.Year > 0) steps.push_back(Option("metadata", "year=" + std::to_string(m.Year)));
    if (m.Track > 0) steps.push_back(Option("metadata", "track=" + std::to_string(m.Track)));
    const std::pair<const char*, const std::string*> texts[] = {
        {"title", &m.Title},     {"author", &m.Author}, {"copyright", &m.Copyright},
        {"comment", &m.Comment}, {"album", &m.Album},   {"genre", &m.Genre}};
    for (const auto& [key, value] : texts)
        if (!value->empty()) steps.push_back(Option("metadata", std::string(key) + "=" + *value));
}
}  // namespace

std::string StreamOptionValue(const TStreamOptionList& list, const std::string& name) {
    for (const auto& [n, v] : list)
        if (n == name) return v;
    return {};
}

TStreamOptionList StreamOptionList(const TOutputOptions& o) {
    TStreamOptionList list = {{"def_acodec", o.AudioCodec}, {"def_vcodec", o.VideoCodec},
                              {"def_scodec", o.SubtitleCodec}, {"def_apre", o.AudioPreset},
                              {"def_vpre", o.VideoPreset},   {"def_spre", o.SubtitlePreset},
                              {"def_s", o.FrameSize},        {"def_vf", o.VideoFilters}};
    static const char* const taken[] = {"acodec", "vcodec", "scodec", "apre", "vpre", "spre", "s", "vfilters", "vf"};
    for (TOptionLine line : SplitOptionText(o.ExtOptions)) {
        const bool isTaken = std::any_of(std::begin(taken), std::end(taken), [&](const char* n) { return line.Name == n; });
        if (!isTaken || line.Value.empty()) continue;
        if (line.Name == "vfilters") line.Name = "vf";
        if (StreamOptionValue(list, "def_" + line.Name).empty()) SetValue(list, "def_" + line.Name, line.Value);
        list.emplace_back(line.Name, line.Value);
    }
    return list;
}

std::vector<TOutputStep> OutputOptionSteps(const TOutputOptions& o, const TStreamOptionList& list, int64_t nowUnix) {
    std::vector<TOutputStep> steps;
    if (o.Target >= 1 && o.Target <= 3) {
        static const char* const kinds[] = {"vcd", "svcd", "dvd"};
        const char* norm = o.TargetNorm == 1 ? "pal" : o.TargetNorm == 2 ? "ntsc" : "auto";
        steps.push_back({TOutputStep::osTarget, kinds[o.Target - 1], norm, o.TargetNormDefault == 1 ? "pal" : "ntsc", 0});
    }
    for (const char* name : {"acodec", "vcodec", "scodec", "apre", "vpre", "spre"}) {
        const std::string value = StreamOptionValue(list, std::string("def_") + name);
        if (!value.empty()) steps.push_back(Option(name, value));
    }
    steps.push_back({TOutputStep::osOptionText, {}, o.ExtOptions, {}, 0});
    AddRecordFields(o, steps);
    AddMetadata(o.Metadata, nowUnix, steps);
    steps.push_back(Option("s", StreamOptionValue(list, "def_s")));
    steps.push_back(Option("vf", StreamOptionValue(list, "def_vf")));
    return steps;
}

std::vector<std::pair<std::string, std::string>> NewStreamSteps(const std::string& optionText,
                                                                TStreamOptionList& list) {
    static const std::vector<std::string> audio = {"acodec", "apre"};
    static const std::vector<std::string> video = {"vcodec", "vpre", "s", "vf"};
    static const std::vector<std::string> subtitle = {"scodec", "spre"};
    std::vector<std::pair<std::string, std::string>> steps;
    for (const TOptionLine& line : SplitOptionText(optionText)) {
        const std::vector<std::string>* names = line.Name == "newaudio"      ? &audio
                                                : line.Name == "newvideo"    ? &video
                                                : line.Name == "newsubtitle" ? &subtitle
                                                                             : nullptr;
        if (!names) continue;
        for (const std::string& name : *names) {
            auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.first == name; });
            if (it != list.end()) {
                steps.emplace_back(name, it->second);
                list.erase(it);
            } else {
                steps.emplace_back(name, StreamOptionValue(list, "def_" + name));
            }
        }
        steps.emplace_back(line.Name, line.Value);
    }
    return steps;
}
