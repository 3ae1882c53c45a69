// Joins that copy every stream: parts of one recording give the recording
// back; files are described as the join plan compares them; chapters mark
// the joints.
#include "../common/temp_dir.h"
#include "encoder_harness.h"
#include "ff_join_plan.h"
#include "ff_join_timeline.h"

#include <cmath>
#include <map>
#include <sstream>

namespace {
class CopyJoinTest : public MediaSuite<CopyJoinTest> {
public:
    static void MakeSuiteMedia() {
        // A camera-like recording: H.264 with B-frames, a key frame every
        // second, AAC; cut at key frames into three parts by stream copy.
        ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc2=size=320x240:rate=30:duration=6 -f lavfi -i "
                              "sine=frequency=440:sample_rate=48000:duration=6 -c:v libx264 -preset ultrafast -bf 2 "
                              "-g 30 -pix_fmt yuv420p -c:a aac -shortest",
                              File("rec.mp4")));
        ASSERT_TRUE(MakeMedia("-i " + ShellQuote(File("rec.mp4")) +
                                  " -map 0 -c copy -f segment -segment_times 2,4 -reset_timestamps 1",
                              File("rec_part%d.mp4")));
        ASSERT_TRUE(MakeMedia("-f lavfi -i sine=frequency=300:sample_rate=44100:duration=9 -c:a libmp3lame -b:a 128k",
                              File("song.mp3")));
        ASSERT_TRUE(MakeMedia("-i " + ShellQuote(File("song.mp3")) + " -c copy -f segment -segment_times 3,6",
                              File("song_part%d.mp3")));
        ASSERT_TRUE(MakeClip(File("wide.mp4"), 1, 320, 240, 25, 48000, 2, "-c:v libx264 -preset ultrafast -c:a aac"));
        ASSERT_TRUE(MakeClip(File("narrow.mp4"), 1, 176, 144, 25, 48000, 2, "-c:v libx264 -preset ultrafast -c:a aac"));
        // A phone's portrait clip: pictures stored sideways with the turn to show them.
        ASSERT_TRUE(MakeMedia("-i " + ShellQuote(File("rec_part1.mp4")) + " -c copy -metadata:s:v:0 rotate=90",
                              File("portrait.mp4")));
        ASSERT_TRUE(MakeMedia("-i " + ShellQuote(File("wide.mp4")) + " -an -c copy", File("raw.264")));
        ASSERT_TRUE(MakeClip(File("c1.avi"), 2, 160, 120, 25));
        ASSERT_TRUE(MakeClip(File("c2.avi"), 3, 160, 120, 25));
        ASSERT_TRUE(MakeClip(File("c3.avi"), 2, 160, 120, 25));
    }
    static std::vector<std::string> Parts(const std::string& stem, const std::string& ext) {
        return {File(stem + "0" + ext), File(stem + "1" + ext), File(stem + "2" + ext)};
    }
};

// Runs a join and expects it to finish.
void Join(const std::vector<std::string>& inputs, const std::string& out, const std::string& ext) {
    EncoderHarness h;
    ASSERT_GE(h.JoinTask(inputs, out, ext), 0) << h.encoder->LastErrorMessage();
    h.encoder->Start(1);
    ASSERT_TRUE(h.WaitFinal());
    const auto t = h.Terminates();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t[0].info.Outcome, toFinished) << t[0].info.ErrorMessage;
}

// The checksum column of ffmpeg's framemd5 for one kind of stream; copy
// hashes the packets, otherwise the decoded frames are hashed.
std::vector<std::string> Checksums(const std::string& file, const std::string& kind, bool packets) {
    const std::string out = RunCapture("ffmpeg -v error -i " + ShellQuote(file) + " -map 0:" + kind +
                                       (packets ? " -c copy" : "") + " -f framemd5 -");
    std::vector<std::string> sums;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        // stream, dts, pts, duration, size, hash[, side data]
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < 6 && std::getline(fields, field, ','); ++i) {
        }
        sums.push_back(field);
    }
    return sums;
}

struct TPacket {
    double Pts, Dts;
};
std::map<std::string, std::vector<TPacket>> Packets(const std::string& file) {
    std::map<std::string, std::vector<TPacket>> packets;
    const auto probe = ProbeJson(file, "-show_packets");
    for (const auto& p : probe["packets"])
        packets[p["codec_type"]].push_back({JsonNumber(p, "pts_time"), JsonNumber(p, "dts_time")});
    return packets;
}
}  // namespace

TEST_F(CopyJoinTest, PartsCutAtKeyFramesGiveTheRecordingBack) {
    const std::string out = File("rec_joined.mp4");
    Join(Parts("rec_part", ".mp4"), out, "vcodec=copy\nacodec=copy");
    // The same pictures, untouched, and the same sound packets.
    const auto pictures = Checksums(out, "v", false);
    EXPECT_EQ(pictures.size(), 180u);
    EXPECT_EQ(pictures, Checksums(File("rec.mp4"), "v", false));
    EXPECT_EQ(Checksums(out, "v", true), Checksums(File("rec.mp4"), "v", true));
    EXPECT_EQ(Checksums(out, "a", true), Checksums(File("rec.mp4"), "a", true));
    EXPECT_NEAR(JsonNumber(ProbeJson(out)["format"], "duration"),
                JsonNumber(ProbeJson(File("rec.mp4"))["format"], "duration"), 0.034);
    // Decoding times rise in every stream, and sound stays with its
    // picture: every packet sits where it sat in the recording, give or
    // take one frame.
    const auto joined = Packets(out), original = Packets(File("rec.mp4"));
    for (const auto& [kind, list] : joined) {
        ASSERT_EQ(list.size(), original.at(kind).size()) << kind;
        for (size_t i = 1; i < list.size(); ++i) ASSERT_GT(list[i].Dts, list[i - 1].Dts) << kind << " packet " << i;
    }
    const double shift = joined.at("video")[0].Pts - original.at("video")[0].Pts;
    for (const auto& [kind, list] : joined)
        for (size_t i = 0; i < list.size(); ++i)
            ASSERT_NEAR(list[i].Pts - original.at(kind)[i].Pts, shift, 0.034) << kind << " packet " << i;
    // One chapter per part, where its first picture was written.
    const auto chapters = ProbeJson(out, "-show_chapters")["chapters"];
    ASSERT_EQ(chapters.size(), 3u);
    const double starts[] = {0, 2, 4};
    for (size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(chapters[c]["tags"]["title"], "rec_part" + std::to_string(c));
        EXPECT_NEAR(JsonNumber(chapters[c], "start_time"), starts[c], 0.034) << c;
    }
}

TEST_F(CopyJoinTest, AnMp3InPartsGivesTheSameAudioFrames) {
    const std::string out = File("song_joined.mp3");
    Join(Parts("song_part", ".mp3"), out, "vn=1\nacodec=copy");
    const auto frames = Checksums(out, "a", true);
    EXPECT_GT(frames.size(), 300u);
    EXPECT_EQ(frames, Checksums(File("song.mp3"), "a", true));
    const auto packets = Packets(out).at("audio");
    for (size_t i = 1; i < packets.size(); ++i) ASSERT_GT(packets[i].Dts, packets[i - 1].Dts) << i;
    EXPECT_NEAR(JsonNumber(ProbeJson(out)["format"], "duration"), 9.0, 0.05);
}

TEST_F(CopyJoinTest, ACopiedJoinKeepsTheFirstInputsRotation) {
    const std::string out = File("portrait_joined.mp4");
    Join({File("portrait.mp4"), File("portrait.mp4")}, out, "vcodec=copy\nacodec=copy");
    const auto probe = ProbeJson(out);
    const auto* video = &probe["streams"][0];
    ASSERT_EQ((*video)["codec_type"], "video");
    ASSERT_TRUE(video->contains("side_data_list")) << probe.dump();
    EXPECT_EQ(JsonNumber((*video)["side_data_list"][0], "rotation", 0), 90);
}

TEST_F(CopyJoinTest, AReencodedJoinGetsChaptersAtItsJoints) {
    const std::string out = File("chapters.mp4");
    Join({File("c1.avi"), File("c2.avi"), File("c3.avi")}, out, "vcodec=mpeg4\nacodec=aac");
    const auto chapters = ProbeJson(out, "-show_chapters")["chapters"];
    ASSERT_EQ(chapters.size(), 3u);
    const double starts[] = {0, 2, 5};
    const char* titles[] = {"c1", "c2", "c3"};
    for (size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(chapters[c]["tags"]["title"], titles[c]);
        EXPECT_NEAR(JsonNumber(chapters[c], "start_time"), starts[c], 0.04) << c;
    }
    EXPECT_NEAR(JsonNumber(chapters[2], "end_time"), 7, 0.1);
    // Formats without chapters of this kind get none.
    const std::string avi = File("chapters.avi");
    Join({File("c1.avi"), File("c2.avi")}, avi, "vcodec=copy\nacodec=copy");
    EXPECT_TRUE(ProbeJson(avi, "-show_chapters")["chapters"].empty());
}

TEST_F(CopyJoinTest, FilesAreDescribedAsThePlanComparesThem) {
    TFileDesc wide, part, turned;
    std::string error;
    ASSERT_TRUE(DescribeFile(File("wide.mp4"), wide, error)) << error;
    ASSERT_TRUE(DescribeFile(File("rec_part1.mp4"), part, error)) << error;
    ASSERT_TRUE(DescribeFile(File("portrait.mp4"), turned, error)) << error;
    EXPECT_EQ(wide.Name, "wide.mp4");
    EXPECT_NEAR(wide.DurationUs / 1e6, 1.0, 0.1);
    ASSERT_EQ(wide.Streams.size(), 2u);
    const TStreamDesc& v = wide.Streams[0];
    EXPECT_EQ(v.Kind, skVideo);
    EXPECT_EQ(v.Codec, "h264");
    EXPECT_EQ(v.Width, 320);
    EXPECT_EQ(v.PixelFormat, "yuv420p");
    EXPECT_NEAR(v.FrameRate, 25, 0.01);
    EXPECT_FALSE(v.PrivateData.empty());
    EXPECT_TRUE(v.Shown == TShownAs{});
    EXPECT_FALSE(v.NoTimestamps);
    TFileDesc raw;
    ASSERT_TRUE(DescribeFile(File("raw.264"), raw, error)) << error;
    EXPECT_TRUE(raw.Streams.at(0).NoTimestamps);
    EXPECT_EQ(wide.Streams[1].Kind, skAudio);
    EXPECT_EQ(wide.Streams[1].SampleRate, 48000);
    EXPECT_EQ(wide.Streams[1].Layout, "stereo");
    // A phone's turn is read as players show it: a quarter turn to the left.
    EXPECT_EQ(turned.Streams[0].Shown.QuarterTurns, 3);
    EXPECT_FALSE(turned.Streams[0].Shown.Mirrored);
    // What the formats hold and what can re-encode a clip to match.
    const TPlanFormat mp4 = PlanFormatFor("Output_Merge.mp4", "", "MP4", false);
    EXPECT_TRUE(mp4.Holds("h264"));
    EXPECT_FALSE(mp4.Holds("pcm_s16le"));
    // Listed by the MP4 family yet refused when its header is written.
    EXPECT_FALSE(mp4.Holds("flac"));
    EXPECT_FALSE(PlanFormatFor("Output_Merge.mov", "", "MOV", false).Holds("flac"));
    EXPECT_TRUE(PlanFormatFor("Output_Merge.mkv", "", "MKV", false).Holds("flac"));
    EXPECT_FALSE(PlanFormatFor("Output_Merge.mp3", "", "MP3", true).Holds("aac"));
    EXPECT_FALSE(PlanFormatFor("Output_Merge.mpg", "", "MPEG", false).Holds("aac"));
    EXPECT_EQ(mp4.EncoderFor(v), "libx264");
    EXPECT_EQ(mp4.EncoderFor(wide.Streams[1]), "aac");
    TStreamDesc other = v;
    other.Codec = "vp9";
    EXPECT_EQ(mp4.EncoderFor(other), "libvpx-vp9");
    other.Codec = "theora";
    EXPECT_EQ(mp4.EncoderFor(other), "");
    // The parts of one recording copy as they are.
    TFileDesc first;
    ASSERT_TRUE(DescribeFile(File("rec_part0.mp4"), first, error)) << error;
    EXPECT_EQ(PlanLines(MakeJoinPlan({first, part}, mp4)),
              (std::vector<std::string>{"File (1) rec_part0.mp4: copy", "File (2) rec_part1.mp4: copy"}));
    EXPECT_FALSE(DescribeFile(File("missing.mp4"), first, error));
    EXPECT_FALSE(error.empty());
}
