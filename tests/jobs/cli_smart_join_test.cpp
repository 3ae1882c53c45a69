// Joins that follow the join plan, as 'orvane join' runs them with a "Same as
// source" preset: what matches is copied packet for packet, what differs is
// re-encoded, every output decodes whole and keeps its sound with its
// pictures; --verify refuses an output that does not decode.
#include "cli_runner.h"
#include "dispatcher.h"
#include "ff_encoder.h"
#include "ff_libraries.h"
#include "media_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {
constexpr char kMp4SameAsSource[] = "21";

// Where the sound is louder than silence, as (from, to) in seconds.
std::vector<std::pair<double, double>> Sounding(const std::string& file) {
    const std::string raw = Capture("ffmpeg -nostdin -v error -i " + Quoted(file) + " -f s16le -ac 1 -ar 8000 -");
    std::vector<std::pair<double, double>> spans;
    const size_t window = 80, count = raw.size() / 2;
    bool on = false;
    for (size_t i = 0; i < count; i += window) {
        int peak = 0;
        for (size_t j = i; j < std::min(count, i + window); ++j)
            peak = std::max(peak, std::abs(static_cast<int>(reinterpret_cast<const int16_t*>(raw.data())[j])));
        const double at = static_cast<double>(i) / 8000;
        if (peak > 500 && !on) spans.push_back({at, at});
        if (peak > 500) spans.back().second = at + window / 8000.0;
        on = peak > 500;
    }
    return spans;
}

class SmartJoin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        media_ = new TempDir;
        const auto make = [](const std::string& args, const std::string& name) {
            ASSERT_TRUE(RunShell("ffmpeg -v error -nostdin -y " + args + " " + Quoted(media_->file(name)))) << name;
        };
        const std::string x264 = " -c:v libx264 -preset veryfast -g 15 -c:a aac ";
        for (int i = 1; i <= 4; ++i)
            make("-f lavfi -i testsrc2=size=1920x1080:rate=30:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1" +
                     x264,
                 "hd" + std::to_string(i) + ".mp4");
        make("-f lavfi -i testsrc2=size=1280x720:rate=25:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1" +
                 x264,
             "beach.mp4");
        // One marked corner, and the same clip shown turned.
        make("-f lavfi -i color=c=black:size=640x360:rate=30:duration=1,drawbox=x=0:y=0:w=80:h=80:c=white:t=fill "
             "-f lavfi -i sine=sample_rate=48000:duration=1" + x264,
             "marked.mp4");
        make("-i " + Quoted(media_->file("marked.mp4")) + " -c copy -metadata:s:v:0 rotate=90", "turned.mp4");
        // Other encoder settings, the same pictures' size and rate.
        make("-f lavfi -i testsrc2=size=640x360:rate=30:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 "
             "-profile:v high" + x264,
             "high.mp4");
        make("-f lavfi -i testsrc2=size=640x360:rate=30:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 "
             "-profile:v main -refs 1 -bf 0" + x264,
             "main.mp4");
        // Sound shorter and longer than the pictures, at two rates.
        for (const char* rate : {"48000", "44100"}) {
            make(std::string("-f lavfi -i testsrc2=size=320x240:rate=25:duration=1.2 -f lavfi -i "
                             "sine=frequency=600:sample_rate=") + rate + ":duration=0.77" + x264,
                 std::string("short") + rate + ".mp4");
            make(std::string("-f lavfi -i testsrc2=size=320x240:rate=25:duration=1.2 -f lavfi -i "
                             "sine=frequency=600:sample_rate=") + rate + ":duration=1.6" + x264,
                 std::string("long") + rate + ".mp4");
        }
        make("-f lavfi -i sine=sample_rate=44100:duration=1.5 -c:a libmp3lame", "song.mp3");
        make("-f lavfi -i sine=sample_rate=48000:duration=2 -c:a aac", "song.m4a");
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }
    std::string M(const std::string& name) const { return media_->file(name); }
    // orvane join with the format's "Same as source" preset.
    CliResult Join(const std::string& format, const std::string& preset, std::vector<std::string> files,
                   std::vector<std::string> extra = {"--reencode-if-needed"}) {
        std::vector<std::string> args = {"join", "-f", format, "-p", preset, "-o", out.path()};
        args.insert(args.end(), extra.begin(), extra.end());
        for (const std::string& f : files) args.push_back(M(f));
        return RunOrvane(args, home.path());
    }
    static TempDir* media_;
    TempDir home, out;
};
TempDir* SmartJoin::media_ = nullptr;

TEST_F(SmartJoin, OnlyTheClipThatDiffersIsReencoded) {
    const std::vector<std::string> files = {"hd1.mp4", "hd2.mp4", "beach.mp4", "hd3.mp4", "hd4.mp4"};
    CliResult r = Join("MP4", kMp4SameAsSource, files, {"--plan"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out,
              "File (1) hd1.mp4: copy\nFile (2) hd2.mp4: copy\nFile (3) beach.mp4: picture re-encoded to 1920x1080 "
              "H.264 30 fps (it is 1280x720 at 25 fps)\nFile (4) hd3.mp4: copy\nFile (5) hd4.mp4: copy\n");
    EXPECT_FALSE(std::filesystem::exists(out.file("Output_Merge.mp4")));
    // Without leave to re-encode: the plan on standard error, nothing written.
    r = Join("MP4", kMp4SameAsSource, files, {});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("File (3) beach.mp4: picture re-encoded"), std::string::npos) << r.Err;
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));

    r = Join("MP4", kMp4SameAsSource, files, {"--reencode-if-needed", "--verify"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string joined = out.file("Output_Merge.mp4");
    EXPECT_EQ(DecoderMessages(joined), "");
    const auto probe = Probe(joined);
    EXPECT_NEAR(StreamLength(probe, "video"), 5.0, 1 / 30.0);
    EXPECT_NEAR(StreamLength(probe, "audio"), 5.0, 1 / 30.0);
    EXPECT_EQ(StreamOf(probe, "video").value("nb_frames", ""), "150");
    // The copied clips' packets are the sources' own, byte for byte.
    const auto sums = PacketSums(joined, "v");
    ASSERT_EQ(sums.size(), 150u);
    for (const auto& [name, at] : {std::pair{"hd1.mp4", 0}, std::pair{"hd2.mp4", 30}, std::pair{"hd3.mp4", 90},
                                   std::pair{"hd4.mp4", 120}})
        EXPECT_EQ(std::vector<std::string>(sums.begin() + at, sums.begin() + at + 30), PacketSums(M(name), "v")) << name;
}

TEST_F(SmartJoin, TurnsParameterSetsAndSoundEachJoinWhole) {
    // A clip shown turned comes out upright inside the reference's frame:
    // the corner marked top left lands bottom left of the standing picture.
    ASSERT_EQ(Join("MP4", kMp4SameAsSource, {"marked.mp4", "turned.mp4"}).Status, 0);
    std::string joined = out.file("Output_Merge.mp4");
    EXPECT_EQ(DecoderMessages(joined), "");
    const std::string gray = Capture("ffmpeg -nostdin -v error -ss 1.5 -i " + Quoted(joined) +
                                     " -frames:v 1 -f rawvideo -pix_fmt gray -");
    ASSERT_EQ(gray.size(), 640u * 360u);
    const auto at = [&](int x, int y) { return static_cast<uint8_t>(gray[static_cast<size_t>(y) * 640 + x]); };
    EXPECT_GT(at(232, 350), 200);  // the standing picture is 202 wide, from x 219
    EXPECT_LT(at(408, 350), 50);
    EXPECT_LT(at(232, 10), 50);
    EXPECT_LT(at(100, 350), 50);  // the bar beside it

    // Other encoder settings: copied, each clip with its own parameter sets.
    CliResult r = Join("MP4", kMp4SameAsSource, {"high.mp4", "main.mp4"}, {"--plan"});
    EXPECT_EQ(r.Out, "File (1) high.mp4: copy, parameter sets in-band\nFile (2) main.mp4: copy, parameter sets in-band\n");
    ASSERT_EQ(Join("MP4", kMp4SameAsSource, {"high.mp4", "main.mp4"}).Status, 0);
    joined = out.file("Output_Merge(1).mp4");
    EXPECT_EQ(DecoderMessages(joined), "");
    EXPECT_EQ(StreamOf(Probe(joined), "video").value("codec_tag_string", ""), "avc3");
    EXPECT_EQ(Capture("ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of "
                      "csv=p=0 " + Quoted(joined)),
              "60\n");

    // Sound of another rate: one encoder for all, each clip's sound padded
    // to its pictures' length, or cut to it; the pictures copied.
    r = Join("MP4", kMp4SameAsSource, {"short48000.mp4", "short44100.mp4", "short48000.mp4"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Err.find("All files: sound re-encoded to AAC 48000 Hz mono (File (2) is 44100 Hz)"), std::string::npos);
    joined = out.file("Output_Merge(2).mp4");
    EXPECT_EQ(DecoderMessages(joined), "");
    const auto spans = Sounding(joined);
    ASSERT_EQ(spans.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(spans[i].first, 1.2 * static_cast<double>(i), 0.04) << i;
        EXPECT_NEAR(spans[i].second, 1.2 * static_cast<double>(i) + 0.77, 0.04) << i;
    }
    EXPECT_EQ(PacketSums(joined, "v").size(), 90u);
    ASSERT_EQ(Join("MP4", kMp4SameAsSource, {"long48000.mp4", "long44100.mp4", "long48000.mp4"}).Status, 0);
    const auto probe = Probe(out.file("Output_Merge(3).mp4"));
    EXPECT_NEAR(StreamLength(probe, "audio"), StreamLength(probe, "video"), 0.04);

    // Sound alone: an MP3 and an AAC file, re-encoded to the longer one's.
    r = Join("M4A", "2", {"song.mp3", "song.m4a"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Err.find("All files: sound re-encoded to AAC 48000 Hz mono (File (1) is MP3)"), std::string::npos)
        << r.Err;
    joined = out.file("Output_Merge.m4a");
    EXPECT_EQ(DecoderMessages(joined), "");
    EXPECT_NEAR(DurationOf(Probe(joined)), 3.5, 0.05);
}

TEST_F(SmartJoin, AVerifiedJoinThatDoesNotDecodeIsNotKept) {
    // Copied without their own parameter sets, the second clip's pictures
    // cannot be read: the check names where, and nothing stays.
    std::string error;
    ASSERT_TRUE(LoadCodecLibraries("", error)) << error;
    TFFEncoder encoder(nullptr);
    TTerminateInfo end;
    encoder.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& info) {
        if (info.TaskIndex >= 0) end = info;
    };
    const int task = encoder.AddTask(M("high.mp4"));
    ASSERT_GE(task, 0);
    ASSERT_TRUE(encoder.AddInputFile(task, M("main.mp4")));
    TOutputOptions options;
    InitOutputOptions(options);
    options.VideoCodec = options.AudioCodec = "copy";
    options.Join = options.Verify = true;
    ASSERT_TRUE(encoder.SetOutputFile(task, out.file("broken.mp4"), &options)) << encoder.LastErrorMessage();
    encoder.Start(0);
    EXPECT_EQ(end.Outcome, toFailed);
    EXPECT_EQ(end.ErrorMessage, "the output cannot be decoded at 0:00:01.0 (File (2) main.mp4)");
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}
}  // namespace
