// MKV, WebM and AV1 through 'orvane join': every new encoding preset writes
// whole, frame-exact pictures, and MKV's copying preset joins clips that MP4
// cannot hold without touching a byte of them; a file converted alone with a
// copying preset keeps what the format holds.
#include "cli_runner.h"
#include "media_fixtures.h"

#include <gtest/gtest.h>

namespace {

struct ModernPreset {
    const char* Format;
    const char* Preset;
    const char* Extension;
    const char* Video;
    const char* Audio;
    const char* Size;  // nullptr: the clips' own
};

int FramesRead(const std::string& file) {
    const auto json = FFprobeJson("-count_frames -select_streams v:0 -show_entries stream=nb_read_frames", file);
    if (!json.is_object() || json["streams"].empty()) return -1;
    return std::stoi(json["streams"][0].value("nb_read_frames", "-1"));
}

// The length of the first stream of a kind, from its packets' times: Matroska
// states no stream durations.
double PacketSpan(const std::string& file, const std::string& kind) {
    const auto json = FFprobeJson("-select_streams " + kind + ":0 -show_entries packet=pts_time,duration_time", file);
    if (!json.is_object() || json["packets"].empty()) return -1;
    double end = 0;
    for (const auto& p : json["packets"])
        end = std::max(end, std::stod(p.value("pts_time", "0")) + std::stod(p.value("duration_time", "0")));
    return end;
}

}  // namespace

TEST(ModernFormats, EveryNewPresetWritesWholeFrameExactPictures) {
    TempDir home, out;
    const std::string a = home.file("a.mp4"), b = home.file("b.mp4");
    ASSERT_TRUE(MakeClip(a, 1, 320, 240, 48000, 2));
    // Sound as long as the pictures: a clip whose sound runs on past its
    // last picture has that picture held for it.
    ASSERT_TRUE(MakeClip(b, 1, 320, 240, 48000, 2));
    const ModernPreset presets[] = {
        {"MP4", "22", ".mp4", "av1", "aac", nullptr},     {"MKV", "1", ".mkv", "h264", "aac", nullptr},
        {"MKV", "2", ".mkv", "hevc", "opus", nullptr},    {"MKV", "3", ".mkv", "av1", "opus", nullptr},
        {"WebM", "1", ".webm", "vp9", "opus", nullptr},   {"WebM", "2", ".webm", "av1", "opus", nullptr},
        {"WebM", "3", ".webm", "av1", "opus", "1280x720"},
    };
    for (const ModernPreset& p : presets) {
        const std::string name = std::string(p.Format) + " " + p.Preset;
        const std::string folder = out.file(std::string(p.Format) + p.Preset);
        const CliResult r = RunOrvane({"join", "-f", p.Format, "-p", p.Preset, "-o", folder, a, b}, home.path());
        ASSERT_EQ(r.Status, 0) << name << "\n" << r.Err;
        EXPECT_EQ(r.Err.find("Svt["), std::string::npos) << name << ": the encoder's chatter on the terminal";
        const std::string file = folder + "/Output_Merge" + p.Extension;
        const auto probe = Probe(file);
        const auto video = StreamOf(probe, "video"), audio = StreamOf(probe, "audio");
        ASSERT_FALSE(video.is_null() || audio.is_null()) << name;
        EXPECT_EQ(video.value("codec_name", ""), p.Video) << name;
        EXPECT_EQ(audio.value("codec_name", ""), p.Audio) << name;
        EXPECT_EQ(std::to_string(video.value("width", 0)) + "x" + std::to_string(video.value("height", 0)),
                  p.Size ? p.Size : "320x240")
            << name;
        EXPECT_EQ(video.value("r_frame_rate", ""), "25/1") << name;
        // Two 1-second clips at 25 fps: 50 pictures, 2 seconds within one frame.
        EXPECT_EQ(FramesRead(file), 50) << name;
        EXPECT_NEAR(PacketSpan(file, "v"), 2.0, 0.04) << name;
        EXPECT_NEAR(PacketSpan(file, "a"), 2.0, 0.04) << name;
        EXPECT_EQ(DecoderMessages(file), "") << name;
    }
}

TEST(ModernFormats, MkvCopiesClipsThatMp4CannotHold) {
    TempDir home, out;
    const std::string a = home.file("a.mkv"), b = home.file("b.mkv");
    for (const auto& [file, tone] : {std::pair{a, "440"}, std::pair{b, "660"}})
        ASSERT_TRUE(RunShell("ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi "
                             "-i sine=frequency=" + std::string(tone) + ":sample_rate=48000:duration=1 -ac 2 "
                             "-c:v libvpx -b:v 300k -c:a pcm_s16le " + Quoted(file)));
    CliResult r = RunOrvane({"join", "-f", "MKV", "-p", "0", "-o", out.path(), "--plan", a, b}, home.path());
    EXPECT_EQ(r.Out, "File (1) a.mkv: copy\nFile (2) b.mkv: copy\n") << r.Err;
    // MP4 would make both streams anew.
    r = RunOrvane({"join", "-f", "MP4", "-p", "21", "-o", out.path(), "--plan", a, b}, home.path());
    EXPECT_NE(r.Out.find("File (1) a.mkv: picture re-encoded"), std::string::npos) << r.Out;

    r = RunOrvane({"join", "-f", "MKV", "-p", "0", "-o", out.path(), a, b}, home.path());
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string joined = out.file("Output_Merge.mkv");
    EXPECT_EQ(DecoderMessages(joined), "");
    const auto probe = Probe(joined);
    EXPECT_EQ(StreamOf(probe, "video").value("codec_name", ""), "vp8");
    EXPECT_EQ(StreamOf(probe, "audio").value("codec_name", ""), "pcm_s16le");
    // Byte for byte the clips' own packets, one after the other.
    for (const char* kind : {"v", "a"}) {
        std::vector<std::string> both = PacketSums(a, kind);
        const std::vector<std::string> second = PacketSums(b, kind);
        both.insert(both.end(), second.begin(), second.end());
        EXPECT_EQ(PacketSums(joined, kind), both) << kind;
    }

    // One file alone into WebM: VP8 copied, PCM (which WebM cannot hold)
    // made as the format's high-quality preset makes sound.
    r = RunOrvane({"convert", "-f", "webm", "-p", "0", "-o", out.path(), a}, home.path());
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string remuxed = out.file("a.webm");
    EXPECT_EQ(PacketSums(remuxed, "v"), PacketSums(a, "v"));
    EXPECT_EQ(StreamOf(Probe(remuxed), "audio").value("codec_name", ""), "opus");
    EXPECT_EQ(DecoderMessages(remuxed), "");
}
