// The option texts and built-in preset of the output presets through the
// encoder: each joins two short clips into a playable file with the encoders
// the options were meant for.
#include "ff_encoder.h"
#include "media_fixtures.h"
#include "options_fixture.h"

#include "../common/temp_dir.h"

#include <functional>

namespace {
struct PresetCase {
    const char* name;
    const char* extension;
    std::function<void(TOutputOptions&)> fill;
    const char* video;  // expected codec; null: no video stream
    const char* audio;
    int sampleRate;
    const char* x264;  // a setting x264 must report; null: none
};

void Av(TOutputOptions& o, const char* vcodec, int vbitrate, const char* size, const char* rate, const char* acodec,
        int abitrate, int sampleRate, int channels) {
    o.VideoCodec = vcodec;
    o.VideoBitrate = vbitrate;
    o.FrameSize = size;
    o.FrameRate = rate;
    o.AudioCodec = acodec;
    o.AudioBitrate = abitrate;
    o.AudioSampleRate = sampleRate;
    o.AudioChannels = channels;
}

const PresetCase Cases[] = {
    {"iPod 3", ".mp4",
     [](TOutputOptions& o) {
         Av(o, "libx264", 500000, "320x240", "15", "libfaac", 128000, 44100, 2);
         o.ExtOptions = DeviceOptions;
     },
     "h264", "aac", 44100, "crf=24.0"},
    {"PSP 0", ".mp4",
     [](TOutputOptions& o) {
         Av(o, "libx264", 1500000, "480x272", "30", "libfaac", 160000, 48000, 2);
         o.FileFormat = "psp";
         o.ExtOptions = PspOptions;
     },
     "h264", "aac", 48000, "me=umh"},
    {"AVI 8", ".avi",
     [](TOutputOptions& o) {
         Av(o, "libx264", 1200000, "", "", "libmp3lame", 192000, 44100, 2);
         o.VideoPreset = "libx264-default";
     },
     "h264", "mp3", 44100, "direct=1"},
    {"OGG 0", ".ogg",
     [](TOutputOptions& o) {
         o.DisableVideo = true;
         o.VideoCodec = "libtheora";
         o.AudioCodec = "libvorbis";
         o.AudioSampleRate = 11025;
         o.ExtOptions = "aq=4.97";
     },
     nullptr, "vorbis", 11025, nullptr},
    {"FLAC 5", ".flac",
     [](TOutputOptions& o) {
         o.DisableVideo = true;
         o.AudioCodec = "flac";
         o.ExtOptions = "compression_level=5";
     },
     nullptr, "flac", 48000, nullptr},  // no rate of its own: the last input's
    {"AAC 1", ".aac",
     [](TOutputOptions& o) {
         o.DisableVideo = true;
         o.AudioCodec = "libfaac";
         o.AudioSampleRate = 22500;
         o.AudioChannels = 1;
         o.AudioBitrate = 112000;
     },
     nullptr, "aac", 22050, nullptr},
    {"3GP 0", ".3gp", [](TOutputOptions& o) { Av(o, "h263", 240000, "176x144", "12", "", 12200, 8000, 1); }, "h263",
     "aac", 8000, nullptr},
    {"MPEG 2", ".mpg",
     [](TOutputOptions& o) {
         Av(o, "", 4000000, "", "30000/1001", "mp2", 224000, 48000, 2);
         o.FrameAspectRatio = "4:3";
         o.Target = 3;
         o.TargetNorm = 2;
     },
     "mpeg2video", "mp2", 48000, nullptr},
};

std::string StreamCodec(const nlohmann::json& probe, const char* kind) {
    if (!probe.contains("streams")) return {};
    for (const auto& s : probe["streams"])
        if (s.value("codec_type", "") == kind) return s.value("codec_name", "");
    return {};
}

int StreamSampleRate(const nlohmann::json& probe) {
    if (!probe.contains("streams")) return 0;
    for (const auto& s : probe["streams"])
        if (s.value("codec_type", "") == "audio") return static_cast<int>(JsonNumber(s, "sample_rate"));
    return 0;
}
}  // namespace

class OptionsEncoderTest : public OptionsTest {};

TEST_F(OptionsEncoderTest, PresetOptionTextsJoinIntoPlayableFiles) {
    TempDir dir;
    const std::string first = dir.file("a.avi"), second = dir.file("b.avi");
    ASSERT_TRUE(MakeClip(first, 0.6, 320, 240, 25, 44100, 2));
    ASSERT_TRUE(MakeClip(second, 0.6, 352, 288, 30, 48000, 1));
    int n = 0;
    for (const PresetCase& c : Cases) {
        SCOPED_TRACE(c.name);
        ++n;
        TFFEncoder encoder(nullptr);
        TTerminateInfo end;
        encoder.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& info) {
            if (info.TaskIndex >= 0) end = info;
        };
        TOutputOptions options;
        InitOutputOptions(options);
        c.fill(options);
        options.Join = true;
        // An output never replaces a file: each case writes its own.
        const std::string output = dir.file("out" + std::to_string(n) + c.extension);
        const int task = encoder.AddTask(first);
        ASSERT_GE(task, 0) << encoder.LastErrorMessage();
        ASSERT_TRUE(encoder.AddInputFile(task, second)) << encoder.LastErrorMessage();
        ASSERT_TRUE(encoder.SetOutputFile(task, output, &options)) << encoder.LastErrorMessage();
        encoder.Start(0);
        EXPECT_EQ(end.Outcome, toFinished) << end.ErrorMessage;

        const nlohmann::json probe = ProbeJson(output);
        EXPECT_EQ(StreamCodec(probe, "video"), c.video ? c.video : "");
        EXPECT_EQ(StreamCodec(probe, "audio"), c.audio);
        EXPECT_EQ(StreamSampleRate(probe), c.sampleRate);
        if (c.x264) {
            const std::string bytes = ReadWholeFile(output);
            const size_t at = bytes.find("x264 - core");
            ASSERT_NE(at, std::string::npos);
            EXPECT_NE(bytes.substr(at, 1500).find(c.x264), std::string::npos);
        }
    }
}
