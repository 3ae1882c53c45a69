// MKV, WebM and AV1 through 'orvane join': every new encoding preset writes
// whole, frame-exact pictures, and MKV's copying preset joins clips that MP4
// cannot hold without touching a byte of them; a file converted alone with a
// copying preset keeps what the format holds; joins into MKV and MP4 keep
// every sound track with its language and the subtitles at their times.
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

TEST(ModernFormats, WebmJoinReencodesOnlyTheClipsThatDiffer) {
    const struct {
        const char* Encoder;
        const char* Title;
    } codecs[] = {{"libvpx -b:v 300k", "VP8"},
                  {"libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 300k", "VP9"},
                  {"libsvtav1 -preset 10", "AV1"}};
    for (const auto& codec : codecs) {
        SCOPED_TRACE(codec.Title);
        TempDir home, out;
        // Opus sound: the pictures start 7 ms in, between two picture times of the output.
        const std::string a = home.file("a.webm"), b = home.file("b.webm");
        for (const auto& [file, size] : {std::pair{a, "320x180"}, std::pair{b, "160x120"}})
            ASSERT_TRUE(RunShell("SVT_LOG=1 ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=" + std::string(size) +
                                 ":rate=25:duration=1 -f lavfi -i sine=duration=1 -pix_fmt yuv420p -c:v " +
                                 codec.Encoder + " -c:a libopus " + Quoted(file)));
        CliResult r = RunOrvane({"join", "-f", "WebM", "-p", "0", "-o", out.path(), "--plan", a, b, a, b}, home.path());
        const std::string encoded = ": picture re-encoded to 320x180 " + std::string(codec.Title) + " 25 fps (it is 160x120)\n";
        EXPECT_EQ(r.Out, "File (1) a.webm: copy\nFile (2) b.webm" + encoded + "File (3) a.webm: copy\nFile (4) b.webm" + encoded)
            << r.Err;
        r = RunOrvane({"join", "-f", "WebM", "-p", "0", "--reencode-if-needed", "--verify", "-o", out.path(), a, b, a, b},
                      home.path());
        ASSERT_EQ(r.Status, 0) << r.Err;
        const std::string joined = out.file("Output_Merge.webm");
        EXPECT_EQ(DecoderMessages(joined), "");
        // Each clip its 25 pictures: a re-encoded one neither overlaps the copied one before it nor grows.
        EXPECT_EQ(FramesRead(joined), 100);
        // The first clip's packets byte for byte.
        const std::vector<std::string> own = PacketSums(a, "v"), all = PacketSums(joined, "v");
        ASSERT_GT(all.size(), own.size());
        EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + static_cast<long>(own.size())), own);
    }
}

namespace {
// The times a stream's packets start at, in seconds; packets of `minSize`
// bytes or less (MP4's empty timed-text samples between cues) left out.
std::vector<double> PacketTimes(const std::string& file, const std::string& stream, int minSize = 0) {
    std::vector<double> times;
    const auto json = FFprobeJson("-select_streams " + stream + " -show_entries packet=pts_time,size", file);
    if (json.is_object())
        for (const auto& p : json["packets"])
            if (std::stoi(p.value("size", "0")) > minSize) times.push_back(std::stod(p.value("pts_time", "0")));
    return times;
}
}  // namespace

TEST(ModernFormats, EverySoundTrackAndSubtitleIsKept) {
    TempDir home, out;
    const std::string a = home.file("a.mkv"), b = home.file("b.mp4"), cues = home.file("cues.srt");
    ASSERT_TRUE(RunShell("printf '1\\n00:00:00,200 --> 00:00:00,600\\nHello there\\n\\n' > " + Quoted(cues)));
    // Two languages and subtitles, and a plain clip coded alike. H.264 with
    // B-frames: Matroska stores no decoding times for the first pictures.
    const std::string coded = " -ac 2 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac ";
    ASSERT_TRUE(RunShell("ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=320x240:rate=25:duration=1 "
                         "-f lavfi -i sine=frequency=440:duration=1 -f lavfi -i sine=frequency=880:duration=1 -i " +
                         Quoted(cues) + " -map 0 -map 1 -map 2 -map 3" + coded + "-c:s copy "
                         "-metadata:s:a:0 language=eng -metadata:s:a:1 language=fre -metadata:s:a:1 title=French " +
                         Quoted(a)));
    ASSERT_TRUE(RunShell("ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=320x240:rate=25:duration=1 "
                         "-f lavfi -i sine=frequency=440:duration=1" + coded + Quoted(b)));
    CliResult r = RunOrvane({"join", "-f", "MKV", "-p", "0", "-o", out.path(), "--plan", a, b, a}, home.path());
    EXPECT_NE(r.Out.find("File (2) b.mp4: picture copied, silence on sound track 2 (fre) for its length"),
              std::string::npos)
        << r.Out;

    const struct {
        const char *Format, *Preset, *Extension, *Subtitles;
    } outputs[] = {{"MKV", "0", ".mkv", "subrip"}, {"MP4", "21", ".mp4", "mov_text"}};
    for (const auto& o : outputs) {
        const std::string folder = out.file(o.Format);
        r = RunOrvane(
            {"join", "-f", o.Format, "-p", o.Preset, "-o", folder, "--reencode-if-needed", "--verify", a, b, a},
            home.path());
        ASSERT_EQ(r.Status, 0) << o.Format << "\n" << r.Err;
        const std::string file = folder + "/Output_Merge" + o.Extension;
        std::vector<std::string> languages;
        std::string subtitles, title;
        const auto probe = Probe(file);
        ASSERT_TRUE(probe.is_object()) << o.Format;
        for (const auto& s : probe["streams"]) {
            const auto tags = s.value("tags", nlohmann::json::object());
            if (s.value("codec_type", "") == "audio") languages.push_back(tags.value("language", ""));
            if (s.value("codec_type", "") == "audio" && tags.contains("title")) title = tags.value("title", "");
            if (s.value("codec_type", "") == "subtitle") subtitles += s.value("codec_name", "") + " ";
        }
        EXPECT_EQ(languages, (std::vector<std::string>{"eng", "fre"})) << o.Format;
        if (o.Extension == std::string(".mkv")) {
            EXPECT_EQ(title, "French");
        }
        EXPECT_EQ(subtitles, std::string(o.Subtitles) + " ") << o.Format;
        // Both sound tracks run the whole join: the plain clip's part of the
        // second is silence.
        for (const char* track : {"a:0", "a:1"}) {
            const std::vector<double> sound = PacketTimes(file, track);
            ASSERT_FALSE(sound.empty()) << o.Format << " " << track;
            EXPECT_NEAR(sound.back(), 3.0, 0.1) << o.Format << " " << track;
        }
        // The cue of the third clip is shifted by the two clips before it.
        const std::vector<double> shown = PacketTimes(file, "s:0", 2);
        ASSERT_EQ(shown.size(), 2u) << o.Format;
        EXPECT_NEAR(shown[0], 0.2, 0.05) << o.Format;
        EXPECT_NEAR(shown[1] - shown[0], 2.0, 0.04) << o.Format;
        const std::string text = Capture("ffmpeg -nostdin -v error -i " + ShellWord(file) + " -map 0:s:0 -f srt - 2>&1");
        const size_t first = text.find("Hello there");
        EXPECT_TRUE(first != std::string::npos && text.find("Hello there", first + 1) != std::string::npos) << text;
        EXPECT_EQ(Capture("ffmpeg -nostdin -v error -i " + ShellWord(file) + " -map 0:v -map 0:a -f null - 2>&1"), "")
            << o.Format;
    }
}
