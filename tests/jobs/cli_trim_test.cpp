// Trimmed joins as 'orvane join --trim' runs them: the output holds exactly
// the frames from each trim's start to the frame before its end, in
// re-encoding and copying joins alike, with the sound cut to the same times.
#include "cli_runner.h"
#include "media_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {
constexpr char kMp4SameAsSource[] = "21";
constexpr char kMp4HighQuality[] = "19";

// The number each frame shows: the clips are drawn with a brightness of
// 20 + 4 × the frame's number.
std::vector<int> FrameNumbers(const std::string& file) {
    const std::string raw = Capture("ffmpeg -nostdin -v error -i " + Quoted(file) +
                                    " -map 0:v -vf scale=16:16:flags=area -pix_fmt yuv420p -f rawvideo - 2>/dev/null");
    std::vector<int> numbers;
    for (size_t at = 0; at + 384 <= raw.size(); at += 384) {  // 256 bytes of brightness, 128 of colour
        double sum = 0;
        for (size_t i = 0; i < 256; ++i) sum += static_cast<unsigned char>(raw[at + i]);
        numbers.push_back(static_cast<int>(std::lround((sum / 256 - 20) / 4)));
    }
    return numbers;
}

std::vector<int> Range(int from, int to) {  // from..to inclusive
    std::vector<int> r;
    for (int i = from; i <= to; ++i) r.push_back(i);
    return r;
}

// The length of the sound as a player decodes it (an encoder's padding left out).
double DecodedSeconds(const std::string& file) {
    return static_cast<double>(
               Capture("ffmpeg -nostdin -v error -i " + Quoted(file) + " -f s16le -ac 1 -ar 48000 - 2>/dev/null").size()) /
           96000;
}

class Trim : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        media_ = new TempDir;
        // 50 numbered frames at 25 fps, a key frame every 12, with B-frames.
        ASSERT_TRUE(RunShell("ffmpeg -v error -nostdin -y -f lavfi -i color=gray:size=320x240:rate=25:duration=2 "
                             "-f lavfi -i sine=sample_rate=48000:duration=2 -vf \"geq=lum='20+4*N':cb=128:cr=128\" "
                             "-c:v libx264 -preset veryfast -crf 8 -g 12 -bf 2 -c:a aac " +
                             Quoted(media_->file("count.mp4"))));
        ASSERT_TRUE(RunShell("ffmpeg -v error -nostdin -y -f lavfi -i sine=sample_rate=44100:duration=2 " +
                             Quoted(media_->file("tone.wav"))));
    }
    static void TearDownTestSuite() { delete media_; }
    static std::string Media(const std::string& name) { return media_->file(name); }
    static TempDir* media_;
};
TempDir* Trim::media_ = nullptr;

TEST_F(Trim, BothEndsAreFrameExactInReencodingAndCopyingJoins) {
    const std::string clip = Media("count.mp4");
    ASSERT_EQ(FrameNumbers(clip), Range(0, 49));
    TempDir home;
    // Frame 8 is the first at or after 0.3 s, 42 the last before 1.7 s; the
    // second trim of the same file takes 40 to the end. Key frames are 0, 12,
    // 24, 36 and 48: a copying join copies 12 to 35 and 48 to 49 as they are.
    for (const char* preset : {kMp4HighQuality, kMp4SameAsSource}) {
        const std::string out = home.file(std::string("out") + preset);
        const CliResult r = RunOrvane({"join", "--format", "MP4", "--preset", preset, "--reencode-if-needed", "--trim",
                                       "1=0.3-1.7", "--trim", "2=0:01.6-", "-o", out, clip, clip},
                                      home.path());
        ASSERT_EQ(r.Status, 0) << r.Err;
        const std::string file = out + "/Output_Merge.mp4";
        std::vector<int> expected = Range(8, 42);
        for (int n : Range(40, 49)) expected.push_back(n);
        EXPECT_EQ(FrameNumbers(file), expected) << preset;
        const auto probe = Probe(file);
        EXPECT_NEAR(StreamLength(probe, "video"), 45 / 25.0, 0.041) << preset;
        EXPECT_NEAR(StreamLength(probe, "audio"), 45 / 25.0, 0.045) << preset;
        EXPECT_EQ(DecoderMessages(file), "") << preset;
        if (preset == kMp4SameAsSource) {
            const std::vector<std::string> source = PacketSums(clip, "v");
            int copied = 0;
            for (const std::string& sum : PacketSums(file, "v"))
                copied += std::find(source.begin(), source.end(), sum) != source.end();
            EXPECT_EQ(copied, 26);
        }
        const auto chapters = FFprobeJson("-show_chapters", file)["chapters"];
        ASSERT_EQ(chapters.size(), 2u) << preset;
        EXPECT_NEAR(std::stod(chapters[1].value("start_time", "0")), 35 / 25.0, 0.041) << preset;
    }
    // One trimmed file alone, joined or converted, is cut the same way.
    const CliResult one = RunOrvane({"join", "--format", "MP4", "--preset", kMp4SameAsSource, "--trim", "1=0.3-1.7",
                                     "--name", "one", "-o", home.path(), clip},
                                    home.path());
    ASSERT_EQ(one.Status, 0) << one.Err;
    EXPECT_EQ(FrameNumbers(home.file("one.mp4")), Range(8, 42));
    const CliResult converted = RunOrvane({"convert", "--format", "MP4", "--preset", kMp4SameAsSource, "--trim",
                                           "1=0.3-1.7", "-o", home.file("conv"), clip},
                                          home.path());
    ASSERT_EQ(converted.Status, 0) << converted.Err;
    EXPECT_EQ(FrameNumbers(home.file("conv/count.mp4")), Range(8, 42));
    // The plan shows each trim; a trimmed clip is still copied.
    const CliResult plan = RunOrvane({"join", "--format", "MP4", "--preset", kMp4SameAsSource, "--plan", "--trim",
                                      "2=0:01.6-", clip, clip},
                                     home.path());
    EXPECT_EQ(plan.Status, 0) << plan.Err;
    EXPECT_NE(plan.Out.find("File (1) count.mp4: copy\n"), std::string::npos) << plan.Out;
    EXPECT_NE(plan.Out.find("File (2) count.mp4 (00:01.600 to 00:02.000): copy, pictures at the cuts re-encoded\n"),
              std::string::npos)
        << plan.Out;
}

TEST_F(Trim, SoundOnlyTrimsAreCutWithinOneFrameOfSound) {
    TempDir home;
    const std::string wav = Media("tone.wav");
    for (const std::string format : {"WAV", "MP3"}) {
        const std::string out = home.file("out" + format);
        const CliResult r = RunOrvane({"join", "--format", format, "--trim", "1=0.25-1.0", "--trim", "2=1.5-", "-o",
                                       out, wav, wav},
                                      home.path());
        ASSERT_EQ(r.Status, 0) << r.Err;
        const std::string ext = format == "WAV" ? ".wav" : ".mp3";
        EXPECT_NEAR(DecodedSeconds(out + "/Output_Merge" + ext), 1.25, 0.03) << format;
    }
}

TEST_F(Trim, WrongTrimsAreWrongUsage) {
    TempDir home;
    const std::string clip = Media("count.mp4");
    const std::pair<const char*, const char*> cases[] = {
        {"1=2-1", "the start is not before the end"},
        {"3=1-2", "there is no file 3 (2 given)"},
        {"x=1-2", "give the file's number"},
        {"1=1:75-", "is no time"},
        {"1=5-", "its trim starts after its end"},
    };
    for (const auto& [trim, reason] : cases) {
        const CliResult r = RunOrvane({"join", "--trim", trim, "-o", home.file("out"), clip, clip}, home.path());
        EXPECT_EQ(r.Status, 2) << trim;
        EXPECT_NE(r.Err.find(reason), std::string::npos) << trim << ": " << r.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(home.file("out/Output_Merge.mp4")));
}

}  // namespace
