// Every preset of the catalogue run by 'orvane join' on two short clips of
// different sizes (one stereo 44.1 kHz, one mono 48 kHz), judged by ffprobe.
#include "../cli_runner.h"
#include "../media_fixtures.h"
#include "catalogue.h"
#include "preset_params.h"
#include "util_funcs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

struct PresetCase {
    const TCatalogueFormat* Format;
    int Index;
};

std::string CaseName(const PresetCase& c) {
    const std::string name(c.Format->Format->Name);
    return (name == "3GP" ? "ThreeGP" : name) + "_" + std::to_string(c.Index);
}

void PrintTo(const PresetCase& c, std::ostream* os) { *os << CaseName(c); }

std::vector<PresetCase> AllPresets() {
    std::vector<PresetCase> cases;
    for (const auto& f : Catalogue())
        for (int i = 0; i < static_cast<int>(f.Presets.size()); ++i) cases.push_back({&f, i});
    return cases;
}

constexpr double FirstSeconds = 1.0, SecondSeconds = 1.2;

// The two clips, made once for all the test processes that ctest starts.
std::pair<std::string, std::string> Inputs() {
    const std::string folder = std::string(OV_BIN_DIR) + "/../tests/jobs_preset_clips";
    std::filesystem::create_directories(folder);
    auto make = [&](const std::string& name, double seconds, int w, int h, int rate, int channels) {
        const std::string path = folder + "/" + name;
        if (!FileExists(path)) {
            const std::string part = path + "." + std::to_string(::getpid()) + ".mp4";
            EXPECT_TRUE(MakeClip(part, seconds, w, h, rate, channels));
            std::filesystem::rename(part, path);
        }
        return path;
    };
    return {make("first.mp4", FirstSeconds, 320, 240, 44100, 2), make("second.mp4", SecondSeconds, 176, 144, 48000, 1)};
}

// What ffprobe calls the container of each format.
const std::map<std::string, std::string> Containers = {
    {"AVI", "avi"},  {"FLV", "flv"},   {"SWF", "swf"},   {"MPEG", "mpeg"}, {"RM", "rm"},   {"WMV", "asf"},
    {"WAV", "wav"},  {"MP3", "mp3"},   {"WMA", "asf"},   {"OGG", "ogg"},   {"AAC", "aac"}, {"FLAC", "flac"},
    {"MP2", "mp3"},  // layer 2 files are read by the MPEG audio demuxer
};

// The codec ffprobe reports for an encoder of the presets.
std::string CodecOf(const std::string& encoder) {
    if (encoder == "libx264") return "h264";
    if (encoder == "libtheora") return "theora";
    return encoder;
}

// A preset without a video codec gets its container's (or its target's).
std::string DefaultVideoCodec(const std::string& format, const TPresetParams& p) {
    if (format == "FLV" || format == "SWF") return "flv1";
    if (format == "RM") return "rv10";
    if (p.Target == 1) return "mpeg1video";
    if (p.Target == 2 || p.Target == 3) return "mpeg2video";
    return "?";
}

// The picture size of the DVD, SVCD and VCD targets by norm (1 PAL, 2 NTSC).
std::string TargetSize(const TPresetParams& p) {
    const bool pal = p.TargetNorm == 1;
    switch (p.Target) {
        case 1: return pal ? "352x288" : "352x240";
        case 2: return pal ? "480x576" : "480x480";
        case 3: return pal ? "720x576" : "720x480";
        default: return {};
    }
}

// The length of a file that states none: its pictures over their rate.
double CountedVideoSeconds(const std::string& file) {
    const auto json = FFprobeJson("-count_frames -select_streams v:0 -show_entries stream=nb_read_frames,r_frame_rate", file);
    if (!json.is_object() || json["streams"].empty()) return -1;
    const auto& s = json["streams"][0];
    const double frames = std::stod(s.value("nb_read_frames", "0"));
    const std::string rate = s.value("r_frame_rate", "0/1");
    const double num = std::stod(rate.substr(0, rate.find('/'))), den = std::stod(rate.substr(rate.find('/') + 1));
    return num > 0 && den > 0 ? frames * den / num : -1;
}

class PresetJoin : public ::testing::TestWithParam<PresetCase> {};

}  // namespace

TEST_P(PresetJoin, WritesTheFormatsFileWithThePresetsStreams) {
    const auto [format, index] = GetParam();
    const std::string name(format->Format->Name);
    const TPresetParams& p = *FindPresetParams(format->Format->Id.Class, format->Format->Id.Code, index);
    const auto [first, second] = Inputs();
    TempDir home;
    const std::string out = home.file("out");
    const CliResult r =
        RunOrvane({"join", "--format", name, "--preset", std::to_string(index), "-o", out, first, second}, home.path());
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string file = out + "/Output_Merge" + std::string(format->Extension);
    const auto probe = Probe(file);
    ASSERT_TRUE(probe.is_object()) << file << " cannot be read";

    const std::string container = probe["format"].value("format_name", "");
    const auto known = Containers.find(name);
    const std::string expected = known != Containers.end() ? known->second : "mp4";  // MP4, MOV, 3GP, devices, M4A
    EXPECT_NE(("," + container + ",").find("," + expected + ","), std::string::npos) << container;

    const auto video = StreamOf(probe, "video");
    if (format->Format->Id.Class == fcAudio) {
        EXPECT_TRUE(video.is_null()) << "audio formats write no picture";
    } else {
        ASSERT_FALSE(video.is_null());
        const std::string codec = p.VideoCodec ? CodecOf(p.VideoCodec) : DefaultVideoCodec(name, p);
        EXPECT_EQ(video.value("codec_name", ""), codec);
        const std::string size = p.FrameSize ? p.FrameSize : TargetSize(p);
        if (!size.empty()) {
            EXPECT_EQ(std::to_string(video.value("width", 0)) + "x" + std::to_string(video.value("height", 0)), size);
        }
    }
    EXPECT_FALSE(StreamOf(probe, "audio").is_null()) << "no audio stream";
    double seconds = DurationOf(probe);
    if (seconds < 0 && !video.is_null()) seconds = CountedVideoSeconds(file);  // SWF stores no duration
    EXPECT_NEAR(seconds, FirstSeconds + SecondSeconds, 0.5);
}

INSTANTIATE_TEST_SUITE_P(All, PresetJoin, ::testing::ValuesIn(AllPresets()),
                         [](const ::testing::TestParamInfo<PresetCase>& param) { return CaseName(param.param); });
