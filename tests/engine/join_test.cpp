// Joining real files: timing, sizes, rates, channel layouts, sync at the joints.
#include "../common/temp_dir.h"
#include "encoder_harness.h"

#include <cmath>
#include <cstdlib>

namespace {
class JoinTest : public MediaSuite<JoinTest> {
public:
    static void MakeSuiteMedia() {
        ASSERT_TRUE(MakeClip(File("v10.avi"), 10, 160, 120, 25));
        ASSERT_TRUE(MakeClip(File("v20.avi"), 20, 160, 120, 25));
        ASSERT_TRUE(MakeClip(File("v3.avi"), 3, 160, 120, 25));
        ASSERT_TRUE(MakeClip(File("mute3.avi"), 3, 160, 120, 25, 0));
        ASSERT_TRUE(MakeClip(File("big.mp4"), 3, 320, 240, 25, 44100, 2, "-c:v libx264 -preset ultrafast -c:a aac"));
        ASSERT_TRUE(MakeClip(File("small.mp4"), 3, 176, 144, 30, 48000, 1, "-c:v libx264 -preset ultrafast -c:a aac"));
        // An odd size in a format few players decode (4:4:4, 10 bits).
        ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=161x121:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                              "-c:v libx264 -preset ultrafast -pix_fmt yuv444p10le -c:a aac",
                              File("odd444.mkv")));
        // A song with its cover picture, as taggers store it.
        ASSERT_TRUE(MakeMedia("-f lavfi -i sine=duration=2 -f lavfi -i testsrc=size=64x64:rate=1:duration=1 "
                              "-map 0:a -map 1:v -frames:v 1 -c:a libmp3lame -c:v png -disposition:v attached_pic",
                              File("song.mp3")));
        // Bare streams without any timestamps.
        ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -c:v libx264 -preset ultrafast "
                              "-f h264",
                              File("bare.h264")));
        ASSERT_TRUE(MakeMedia("-f lavfi -i sine=frequency=300:duration=2 -c:a aac -f adts", File("bare.aac")));
        // Camera-like clips: 2 s of picture, 1.8 s of sound.
        ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "
                              "sine=frequency=440:sample_rate=44100:duration=1.8 -c:v mpeg4 -c:a aac",
                              File("cam.mp4")));
    }
};

double StreamDuration(const nlohmann::json& probe, const std::string& kind) {
    for (const auto& s : probe["streams"])
        if (s["codec_type"] == kind) return JsonNumber(s, "duration");
    return -1;
}

const nlohmann::json* Stream(const nlohmann::json& probe, const std::string& kind) {
    for (const auto& s : probe["streams"])
        if (s["codec_type"] == kind) return &s;
    return nullptr;
}

// Joins the inputs into the output, expects the run to finish and returns
// ffprobe's report of the output.
nlohmann::json JoinedProbe(const std::vector<std::string>& inputs, const std::string& out, const std::string& ext) {
    EncoderHarness h;
    if (h.JoinTask(inputs, out, ext) != 0) {
        ADD_FAILURE() << h.encoder->LastErrorMessage();
        return {{"streams", nlohmann::json::array()}, {"format", nlohmann::json::object()}};
    }
    h.encoder->Start(1);
    EXPECT_TRUE(h.WaitFinal());
    const auto t = h.Terminates();
    EXPECT_TRUE(!t.empty() && t[0].info.Outcome == toFinished) << (t.empty() ? "" : t[0].info.ErrorMessage);
    return ProbeJson(out);
}

// The decoded sound of a file as 8 kHz mono samples.
std::vector<int16_t> DecodeAudio(const std::string& file) {
    const std::string raw = RunCapture("ffmpeg -v error -i " + ShellQuote(file) + " -f s16le -ac 1 -ar 8000 -");
    std::vector<int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), samples.size() * 2);
    return samples;
}
}  // namespace

TEST_F(JoinTest, TenAndTwentySecondsMakeThirty) {
    EncoderHarness h;
    const std::string out = File("joined.avi");
    ASSERT_EQ(h.JoinTask({File("v10.avi"), File("v20.avi")}, out, "vcodec=mpeg4\nacodec=mp2\nr=25"), 0)
        << h.encoder->LastErrorMessage();
    h.encoder->Start(1);
    ASSERT_TRUE(h.WaitFinal());
    const auto t = h.Terminates();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].info.Outcome, toFinished) << t[0].info.ErrorMessage;
    EXPECT_EQ(t[1].info.TaskIndex, -1);

    // Progress on the user-interface thread, with the joined total.
    ASSERT_FALSE(h.progress.empty());
    for (const auto& id : h.progressThreads) EXPECT_EQ(id, std::this_thread::get_id());
    // The containers' own durations: 10 s and 20 s within their sound's last frame.
    for (const auto& p : h.progress) {
        EXPECT_NEAR(p.TotalDuration, 30000000, 50000);
        EXPECT_EQ(p.TotalDuration, h.progress.front().TotalDuration);
    }
    const TProgressInfo& last = h.progress.back();
    EXPECT_EQ(last.FileIndex, -1);
    EXPECT_NEAR(last.CurrentDuration, 30000000, 50000);
    EXPECT_EQ(last.FrameNumber, 750);

    const nlohmann::json probe = ProbeJson(out, "-show_packets");
    EXPECT_NEAR(JsonNumber(probe["format"], "duration"), 30.0, 0.041);
    const auto* video = Stream(probe, "video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(JsonNumber(*video, "nb_frames"), 750);  // frame numbers go on across the joint
    EXPECT_NEAR(StreamDuration(probe, "video"), StreamDuration(probe, "audio"), 0.1);
    // Timestamps never go backwards; the second input starts at 10 s.
    double lastDts[8];
    std::fill(std::begin(lastDts), std::end(lastDts), -1e9);
    bool videoAtTen = false;
    for (const auto& p : probe["packets"]) {
        const int index = static_cast<int>(JsonNumber(p, "stream_index"));
        const double dts = JsonNumber(p, "dts_time");
        EXPECT_GE(dts, lastDts[index]) << "stream " << index;
        lastDts[index] = dts;
        if (p["codec_type"] == "video" && std::fabs(JsonNumber(p, "pts_time") - 10.0) < 0.001) videoAtTen = true;
    }
    EXPECT_TRUE(videoAtTen);
}

TEST_F(JoinTest, SizesRatesAndChannelLayoutsMeetInTheRequestedOutput) {
    EncoderHarness h;
    h.CaptureLog();
    const std::string out = File("mixed.mp4");
    ASSERT_EQ(h.JoinTask({File("big.mp4"), File("small.mp4"), File("big.mp4")}, out,
                         "vcodec=libx264\npreset=ultrafast\nacodec=aac\ns=320x240\nr=25\nar=44100\nac=2"),
              0)
        << h.encoder->LastErrorMessage();
    h.encoder->Start(1);
    ASSERT_TRUE(h.WaitFinal());
    const auto t = h.Terminates();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t[0].info.Outcome, toFinished) << t[0].info.ErrorMessage;
    EXPECT_TRUE(h.LogContains("Input Stream #1.0 frame size changed to 176x144, yuv420p"));

    const nlohmann::json probe = ProbeJson(out);
    const auto* video = Stream(probe, "video");
    const auto* audio = Stream(probe, "audio");
    ASSERT_TRUE(video && audio);
    EXPECT_EQ(JsonNumber(*video, "width"), 320);
    EXPECT_EQ(JsonNumber(*video, "height"), 240);
    EXPECT_EQ((*video)["avg_frame_rate"], "25/1");
    EXPECT_EQ(JsonNumber(*audio, "sample_rate"), 44100);
    EXPECT_EQ(JsonNumber(*audio, "channels"), 2);
    EXPECT_NEAR(JsonNumber(probe["format"], "duration"), 9.0, 0.1);
    EXPECT_NEAR(StreamDuration(probe, "video"), StreamDuration(probe, "audio"), 0.1);
}

TEST_F(JoinTest, AnOriginalSizeOutputGetsAPictureFormatPlayersDecode) {
    for (const std::string pixFmt : {"", "yuv444p"}) {
        std::string ext = "vcodec=libx264\npreset=ultrafast\nacodec=aac";
        if (!pixFmt.empty()) ext += "\npix_fmt=" + pixFmt;
        const nlohmann::json probe =
            JoinedProbe({File("big.mp4"), File("odd444.mkv")}, File("original" + pixFmt + ".mp4"), ext);
        const auto* video = Stream(probe, "video");
        ASSERT_NE(video, nullptr);
        // The last input's size, made whole for 4:2:0; a format asked for is kept.
        EXPECT_EQ((*video)["pix_fmt"], pixFmt.empty() ? "yuv420p" : pixFmt);
        EXPECT_EQ(JsonNumber(*video, "width"), pixFmt.empty() ? 162 : 161);
        EXPECT_EQ(JsonNumber(*video, "height"), pixFmt.empty() ? 122 : 121);
        EXPECT_NEAR(JsonNumber(probe["format"], "duration"), 5.0, 0.1);
    }
}

TEST_F(JoinTest, EveryInputBringsItsKindsOfStreams) {
    {
        // A first input without sound: the second one's sound is kept, after silence.
        EncoderHarness h;
        const std::string out = File("mute_first.avi");
        ASSERT_EQ(h.JoinTask({File("mute3.avi"), File("v3.avi")}, out, "r=25"), 0) << h.encoder->LastErrorMessage();
        h.encoder->Start(1);
        ASSERT_TRUE(h.WaitFinal());
        EXPECT_EQ(h.Terminates()[0].info.Outcome, toFinished) << h.Terminates()[0].info.ErrorMessage;
        const nlohmann::json probe = ProbeJson(out);
        ASSERT_NE(Stream(probe, "audio"), nullptr);
        EXPECT_NEAR(StreamDuration(probe, "video"), 6.0, 0.05);
        EXPECT_NEAR(StreamDuration(probe, "audio"), 6.0, 0.06);
        const std::vector<int16_t> pcm = DecodeAudio(out);
        size_t onset = 0;
        while (onset < pcm.size() && std::abs(pcm[onset]) <= 1000) ++onset;
        EXPECT_NEAR(onset / 8000.0, 3.0, 0.06);
    }
    {
        // An input without sound in the middle gets silence: the sound stays in sync.
        EncoderHarness h;
        const std::string out = File("mute_middle.avi");
        ASSERT_EQ(h.JoinTask({File("v3.avi"), File("mute3.avi"), File("v3.avi")}, out, "r=25"), 0)
            << h.encoder->LastErrorMessage();
        h.encoder->Start(1);
        ASSERT_TRUE(h.WaitFinal());
        EXPECT_EQ(h.Terminates()[0].info.Outcome, toFinished) << h.Terminates()[0].info.ErrorMessage;
        const nlohmann::json probe = ProbeJson(out);
        EXPECT_NEAR(StreamDuration(probe, "video"), 9.0, 0.05);
        EXPECT_NEAR(StreamDuration(probe, "audio"), 9.0, 0.06);
        // The third input's tone starts 6 s after the first one's (the MP3
        // encoder's delay shifts both alike).
        const std::vector<int16_t> pcm = DecodeAudio(out);
        const auto onsetAfter = [&](size_t from) {
            for (size_t i = from; i < pcm.size(); ++i)
                if (std::abs(pcm[i]) > 1000) return i;
            return pcm.size();
        };
        const size_t first = onsetAfter(0);
        const size_t third = onsetAfter(3 * 8000 + 800);
        EXPECT_NEAR((static_cast<double>(third) - static_cast<double>(first)) / 8000.0, 6.0, 0.04);
    }
}

TEST_F(JoinTest, ASongsCoverPictureIsNoVideo) {
    // Last: the clip's size and rate, the song's length.
    nlohmann::json probe =
        JoinedProbe({File("v3.avi"), File("song.mp3")}, File("with_song.avi"), "vcodec=mpeg4\nacodec=mp2");
    const auto* video = Stream(probe, "video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(JsonNumber(*video, "width"), 160);
    EXPECT_EQ(JsonNumber(*video, "height"), 120);
    EXPECT_EQ((*video)["avg_frame_rate"], "25/1");
    EXPECT_NEAR(StreamDuration(probe, "audio"), 5.0, 0.1);
    // First: the clip still has its pictures; the song's span is black.
    probe = JoinedProbe({File("song.mp3"), File("v3.avi")}, File("song_first.avi"), "vcodec=mpeg4\nacodec=mp2");
    video = Stream(probe, "video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(JsonNumber(*video, "width"), 160);
    EXPECT_NEAR(StreamDuration(probe, "video"), 5.0, 0.1);
    EXPECT_NEAR(StreamDuration(probe, "audio"), 5.0, 0.1);
}

TEST_F(JoinTest, BareStreamsAfterTheFirstInputAreNotLost) {
    // Their frames count from where they begin in the output, not from 0,
    // which would drop every one of them as late.
    nlohmann::json probe = JoinedProbe({File("v3.avi"), File("bare.h264")}, File("bare_video.avi"), "r=25");
    const auto* video = Stream(probe, "video");
    ASSERT_NE(video, nullptr);
    EXPECT_NEAR(StreamDuration(probe, "video"), 5.0, 0.05);
    EXPECT_NEAR(JsonNumber(*video, "nb_frames"), 125, 1);
    probe = JoinedProbe({File("v3.avi"), File("bare.aac"), File("v3.avi")}, File("bare_audio.avi"), "r=25");
    EXPECT_NEAR(StreamDuration(probe, "video"), 8.0, 0.1);
    EXPECT_NEAR(StreamDuration(probe, "audio"), 8.0, 0.1);
}

TEST_F(JoinTest, ShortAudioTracksStayInSyncAtEveryJoint) {
    EncoderHarness h;
    const std::string out = File("cams.mp4");
    std::vector<std::string> inputs(10, File("cam.mp4"));
    ASSERT_EQ(h.JoinTask(inputs, out, "vcodec=mpeg4\nacodec=aac\nr=25"), 0) << h.encoder->LastErrorMessage();
    h.encoder->Start(1);
    ASSERT_TRUE(h.WaitFinal());
    EXPECT_EQ(h.Terminates()[0].info.Outcome, toFinished) << h.Terminates()[0].info.ErrorMessage;

    const nlohmann::json probe = ProbeJson(out);
    const double video = StreamDuration(probe, "video");
    EXPECT_NEAR(video, 20.0, 0.041);
    EXPECT_NEAR(StreamDuration(probe, "audio"), video, 0.05);
    // Each input's tone starts with its picture, every 2 s.
    const std::vector<int16_t> pcm = DecodeAudio(out);
    ASSERT_GT(pcm.size(), 19u * 8000);
    std::vector<double> onsets;
    size_t quiet = 8000;  // a start counts after 100 ms of silence
    for (size_t i = 0; i < pcm.size(); ++i) {
        if (std::abs(pcm[i]) > 1000) {
            if (quiet >= 800) onsets.push_back(i / 8000.0);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    ASSERT_EQ(onsets.size(), 10u);
    for (size_t k = 0; k < onsets.size(); ++k) EXPECT_NEAR(onsets[k], 2.0 * k, 0.04) << "joint " << k;
}

TEST_F(JoinTest, OneInputWithJoinTranscodesNormally) {
    EncoderHarness h;
    const std::string out = File("single.avi");
    ASSERT_EQ(h.JoinTask({File("v3.avi")}, out, "r=25"), 0) << h.encoder->LastErrorMessage();
    h.encoder->Start(1);
    ASSERT_TRUE(h.WaitFinal());
    EXPECT_EQ(h.Terminates()[0].info.Outcome, toFinished) << h.Terminates()[0].info.ErrorMessage;
    // Without a join the total is the input's own length.
    ASSERT_FALSE(h.progress.empty());
    EXPECT_NEAR(h.progress.back().TotalDuration, 3000000, 10000);
    EXPECT_NEAR(JsonNumber(ProbeJson(out)["format"], "duration"), 3.0, 0.05);
}

TEST_F(JoinTest, StreamCopyAndSubtitlesPassThrough) {
    {
        EncoderHarness h;
        const std::string out = File("copied.avi");
        ASSERT_EQ(h.JoinTask({File("v3.avi"), File("v3.avi")}, out, "vcodec=copy\nacodec=copy"), 0)
            << h.encoder->LastErrorMessage();
        h.encoder->Start(1);
        ASSERT_TRUE(h.WaitFinal());
        EXPECT_EQ(h.Terminates()[0].info.Outcome, toFinished) << h.Terminates()[0].info.ErrorMessage;
        const nlohmann::json probe = ProbeJson(out, "-show_packets");
        const auto* video = Stream(probe, "video");
        ASSERT_NE(video, nullptr);
        EXPECT_EQ((*video)["codec_name"], "mpeg4");
        EXPECT_EQ(JsonNumber(*video, "nb_frames"), 150);
        double last = -1;
        for (const auto& p : probe["packets"])
            if (p["codec_type"] == "video") {
                EXPECT_GT(JsonNumber(p, "pts_time"), last);
                last = JsonNumber(p, "pts_time");
            }
    }
    {
        dir_->write("cues.srt", "1\n00:00:00,500 --> 00:00:01,500\nHello\n\n2\n00:00:02,000 --> 00:00:02,800\nWorld\n");
        ASSERT_TRUE(MakeMedia("-i " + ShellQuote(File("v3.avi")) + " -i " + ShellQuote(File("cues.srt")) +
                                  " -map 0 -map 1 -c:v copy -c:a copy -c:s srt",
                              File("subs.mkv")));
        EncoderHarness h;
        const std::string out = File("subs_out.mkv");
        ASSERT_EQ(h.JoinTask({File("subs.mkv")}, out, "vcodec=mpeg4\nacodec=mp2"), 0) << h.encoder->LastErrorMessage();
        h.encoder->Start(1);
        ASSERT_TRUE(h.WaitFinal());
        EXPECT_EQ(h.Terminates()[0].info.Outcome, toFinished) << h.Terminates()[0].info.ErrorMessage;
        const std::string srt = RunCapture("ffmpeg -v error -i " + ShellQuote(out) + " -map 0:s -f srt -");
        EXPECT_NE(srt.find("Hello"), std::string::npos) << srt;
        EXPECT_NE(srt.find("00:00:02,0"), std::string::npos) << srt;
    }
    {
        // Chapters of the input go along.
        dir_->write("chapters.txt", ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1500\ntitle=One\n"
                                    "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1500\nEND=3000\ntitle=Two\n");
        ASSERT_TRUE(MakeMedia("-i " + ShellQuote(File("v3.avi")) + " -i " + ShellQuote(File("chapters.txt")) +
                                  " -map_metadata 1 -map_chapters 1 -c copy",
                              File("chapters.mkv")));
        EncoderHarness h;
        const std::string out = File("chapters_out.mp4");
        ASSERT_EQ(h.JoinTask({File("chapters.mkv")}, out, ""), 0) << h.encoder->LastErrorMessage();
        h.encoder->Start(1);
        ASSERT_TRUE(h.WaitFinal());
        const nlohmann::json probe = ProbeJson(out, "-show_chapters");
        ASSERT_EQ(probe["chapters"].size(), 2u);
        EXPECT_EQ(probe["chapters"][1]["tags"]["title"], "Two");
        EXPECT_NEAR(JsonNumber(probe["chapters"][1], "start_time"), 1.5, 0.001);
    }
}
