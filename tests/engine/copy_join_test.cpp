// Joins that copy every stream: parts of one recording give the recording
// back; the copy check names what differs; chapters mark the joints.
#include "../common/temp_dir.h"
#include "encoder_harness.h"
#include "ff_copy_check.h"
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

TEST_F(CopyJoinTest, TheCheckNamesTheFileAndWhatDiffers) {
    TCopyFileDesc wide, narrow, part;
    std::string error;
    ASSERT_TRUE(DescribeCopyStreams(File("wide.mp4"), wide, error)) << error;
    ASSERT_TRUE(DescribeCopyStreams(File("narrow.mp4"), narrow, error)) << error;
    ASSERT_TRUE(DescribeCopyStreams(File("rec_part1.mp4"), part, error)) << error;
    const auto holdsAll = [](const std::string&) { return true; };
    const auto lines = CheckCopyJoin({wide, narrow}, holdsAll, "MP4");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "narrow.mp4: frame size 176x144, first file 320x240");
    // The parts of one recording match; a copy into a format that cannot
    // hold the codec does not.
    TCopyFileDesc first;
    ASSERT_TRUE(DescribeCopyStreams(File("rec_part0.mp4"), first, error)) << error;
    EXPECT_TRUE(CheckCopyJoin({first, part}, holdsAll, "MP4").empty());
    EXPECT_TRUE(OutputFormatHolds("Output_Merge.mp4", "", "h264"));
    EXPECT_FALSE(OutputFormatHolds("Output_Merge.mp3", "", "aac"));
    EXPECT_FALSE(OutputFormatHolds("Output_Merge.mpg", "", "aac"));
    const auto refused = CheckCopyJoin(
        {first, part}, [](const std::string& c) { return c != "aac"; }, "MPEG");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0], "rec_part0.mp4: audio codec aac cannot be copied into MPEG");
    EXPECT_FALSE(DescribeCopyStreams(File("missing.mp4"), first, error));
    EXPECT_FALSE(error.empty());
}

TEST(CopyCheck, EveryDifferenceGetsItsLine) {
    TCopyStreamDesc video;
    video.Kind = skVideo;
    video.Codec = "h264";
    video.Profile = 100;
    video.ProfileName = "High";
    video.Width = 1920;
    video.Height = 1080;
    video.PixelFormat = "yuv420p";
    video.FrameRate = 30;
    video.PrivateData = {1, 2, 3};
    TCopyStreamDesc audio;
    audio.Kind = skAudio;
    audio.Codec = "aac";
    audio.SampleRate = 48000;
    audio.Channels = 2;
    audio.Layout = "stereo";
    audio.SampleFormat = "fltp";
    const TCopyFileDesc first{"a.mp4", {video, audio}};
    const auto holds = [](const std::string&) { return true; };

    // A phone's variable rate measured a little differently is the same
    // rate; an unknown sample aspect is a square one.
    TCopyFileDesc same = first;
    same.Name = "b.mp4";
    same.Streams[0].FrameRate = 29.97;
    same.Streams[0].SampleAspect = {1, 1};
    EXPECT_TRUE(CheckCopyJoin({first, same}, holds, "MP4").empty());

    TCopyFileDesc other = first;
    other.Name = "c.mp4";
    TCopyStreamDesc& v = other.Streams[0];
    v.Profile = 77;
    v.ProfileName = "Main";
    v.PixelFormat = "yuv420p10le";
    v.SampleAspect = {4, 3};
    v.FieldOrder = AV_FIELD_TT;
    v.FrameRate = 25;
    v.PrivateData = {1, 2, 4};
    v.Tag = MKTAG('a', 'v', 'c', '1');
    TCopyStreamDesc& a = other.Streams[1];
    a.SampleRate = 44100;
    a.Layout = "downmix";
    a.SampleFormat = "s16";
    const std::vector<std::string> expected = {
        "c.mp4: pixel format yuv420p10le, first file yuv420p",
        "c.mp4: sample aspect 4:3, first file 1:1",
        "c.mp4: field order top field first, first file unknown",
        "c.mp4: frame rate 25 fps, first file 30 fps",
        "c.mp4: video codec tag avc1, first file none",
        "c.mp4: video profile Main, first file High",
        "c.mp4: sample rate 44100 Hz, first file 48000 Hz",
        "c.mp4: channel layout downmix, first file stereo",
        "c.mp4: sample format s16, first file fltp",
    };
    EXPECT_EQ(CheckCopyJoin({first, other}, holds, "MP4"), expected);
    // Private data alone: another encoder's settings.
    TCopyFileDesc encoder = first;
    encoder.Name = "f.mp4";
    encoder.Streams[0].PrivateData = {9};
    EXPECT_EQ(CheckCopyJoin({first, encoder}, holds, "MP4"),
              (std::vector<std::string>{"f.mp4: video codec private data differs from the first file's"}));

    // Another codec says so and nothing more; other streams say so too.
    TCopyFileDesc hevc = first;
    hevc.Name = "d.mp4";
    hevc.Streams[0].Codec = "hevc";
    hevc.Streams[1].Channels = 6;
    EXPECT_EQ(CheckCopyJoin({first, hevc}, holds, "MP4"),
              (std::vector<std::string>{"d.mp4: video codec hevc, first file h264",
                                        "d.mp4: channels 6, first file 2"}));
    TCopyFileDesc mute{"e.mp4", {video}};
    EXPECT_EQ(CheckCopyJoin({first, mute}, holds, "MP4"),
              (std::vector<std::string>{"e.mp4: streams video, first file video, audio"}));
    EXPECT_TRUE(CheckCopyJoin({}, holds, "MP4").empty());
}

TEST(CopyPlacement, SoundBeforeTheJointGoesAndDecodingTimesAlwaysRise) {
    const int64_t none = AV_NOPTS_VALUE;
    // The first packet goes where it is.
    TCopyPlace p = PlaceCopiedPacket(-1024, -1024, 1024, none, none, true);
    EXPECT_FALSE(p.Drop);
    EXPECT_EQ(p.Dts, -1024);
    // A later input's priming, wholly before where the previous input ended.
    EXPECT_TRUE(PlaceCopiedPacket(8976, 8976, 1024, 9800, 10000, true).Drop);
    // Sound that reaches past the joint stays; pictures are never dropped.
    p = PlaceCopiedPacket(9500, 9500, 1024, 9400, 10000, true);
    EXPECT_FALSE(p.Drop);
    EXPECT_EQ(p.Dts, 9500);
    EXPECT_FALSE(PlaceCopiedPacket(8000, 8000, 1000, 7000, 10000, false).Drop);
    // A decoding time that would not advance moves just past the last one.
    p = PlaceCopiedPacket(9000, 9000, 1000, 9000, none, false);
    EXPECT_EQ(p.Dts, 9001);
    EXPECT_EQ(p.Pts, 9001);
    p = PlaceCopiedPacket(none, 12000, 1000, 9000, none, false);
    EXPECT_EQ(p.Dts, 9001);
    EXPECT_EQ(p.Pts, 12000);
}
