#include "job_builder.h"

#include "catalogue.h"
#include "jobs_fixture.h"
#include "media_fixtures.h"
#include "preset_params.h"
#include "util_funcs.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t Second = 1000000;

class JobBuilderTest : public JobsFixture {
protected:
    void SetUp() override {
        JobsFixture::SetUp();
        settings.OutputFormatClass = fcVideo;
        settings.OutputVideoFormat = vfMP4;
    }

    TJobBuilder builder{settings, encoder, list, &rec};
};

}  // namespace

TEST_F(JobBuilderTest, JoinSkipsRefusedFilesAndKeepsTheRest) {
    settings.PresetOf(fcVideo, vfMP4) = 3;  // a preset of a fixed size
    builder.BuildJoinJob({{"/m/a.mp4", 10 * Second, 640, 480, 4.0f / 3.0f},
                          {"/m/refused.mp4", 20 * Second, 320, 240, 4.0f / 3.0f},
                          {"/m/c.mp4", 30 * Second, 1280, 720, 16.0f / 9.0f}});
    ASSERT_EQ(encoder.Tasks.size(), 1u);
    EXPECT_EQ(encoder.Tasks[0].Inputs, (std::vector<std::string>{"/m/a.mp4", "/m/c.mp4"}));
    const std::string output = out.file("Output_Merge.mp4");
    EXPECT_EQ(encoder.Tasks[0].Output, output);
    EXPECT_TRUE(encoder.Tasks[0].OutputOptions.Join);
    EXPECT_EQ(encoder.Tasks[0].OutputOptions.VideoCodec, "libx264");  // MP4 preset 3
    EXPECT_EQ(encoder.Tasks[0].OutputOptions.FrameSize, "640x420");
    ASSERT_EQ(rec.Rows.size(), 2u);
    EXPECT_EQ(rec.Rows[0][ccName], "a.mp4");
    EXPECT_EQ(rec.Rows[0][ccDuration], "00:00:10.000");
    EXPECT_EQ(rec.Rows[0][ccStatus], "640x480");
    EXPECT_EQ(rec.Rows[1][ccName], "c.mp4");
    EXPECT_EQ(rec.Rows[1][ccPath], output);
    EXPECT_EQ(builder.JobDuration(), 40 * Second);
    EXPECT_EQ(builder.TaskDurations(), (std::vector<int64_t>{40 * Second}));
    EXPECT_EQ(builder.RefusedFiles(), 1);
    const auto log = rec.LogLines();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "File has been added to convert list.");
    EXPECT_EQ(log[1], "Adding file error: refused input /m/refused.mp4");
    EXPECT_EQ(log[2], "File has been added to convert list.");
    // The refusal in its typed form: which input, which file, why.
    ASSERT_EQ(builder.Refusals().size(), 1u);
    const TJobRefusal& r = builder.Refusals()[0];
    EXPECT_EQ(r.Input, 1);
    EXPECT_EQ(r.FileName, "/m/refused.mp4");
    EXPECT_EQ(r.Kind, rkAddInput);
    EXPECT_EQ(r.Reason, "refused input /m/refused.mp4");
    EXPECT_EQ(r.Outcome, toRefused);
    EXPECT_EQ(r.LogLine(), log[1]);
}

TEST_F(JobBuilderTest, JoinWhenTheFirstFileIsRefusedOrAllAre) {
    builder.BuildJoinJob({{"/m/refused.mp4", Second}, {"/m/b.mp4", Second}, {"/m/c.mp4", Second}});
    ASSERT_EQ(encoder.Tasks.size(), 1u);
    EXPECT_EQ(encoder.Tasks[0].Inputs, (std::vector<std::string>{"/m/b.mp4", "/m/c.mp4"}));

    // Nothing accepted: no task, so no output is asked for.
    encoder.Tasks.clear();
    encoder.OutputsGiven.clear();
    builder.BuildJoinJob({{"/m/refused-1.mp4", Second}, {"/m/refused-2.mp4", Second}});
    EXPECT_TRUE(encoder.Tasks.empty());
    EXPECT_TRUE(encoder.OutputsGiven.empty());
    EXPECT_TRUE(rec.Rows.empty());
    EXPECT_TRUE(builder.TaskDurations().empty());
    EXPECT_EQ(builder.JobDuration(), 0);
}

TEST_F(JobBuilderTest, JoinOutputNameAndARefusedOutput) {
    settings.OutputFormatClass = fcAudio;
    settings.OutputAudioFormat = afWAV;
    out.write("Output_Merge.wav");
    out.write("Output_Merge(1).wav");
    builder.BuildJoinJob({{"/m/a.wav", Second}, {"/m/b.wav", 0}});
    const std::string output = out.file("Output_Merge(2).wav");
    EXPECT_EQ(encoder.Tasks.at(0).Output, output);
    EXPECT_TRUE(encoder.Tasks[0].OutputOptions.DisableVideo);
    ASSERT_EQ(rec.Rows.size(), 2u);
    EXPECT_EQ(rec.Rows[0][ccPath], output);
    EXPECT_EQ(rec.Rows[1][ccPath], output);
    // A file without a duration shows zeros in join mode.
    EXPECT_EQ(rec.Rows[1][ccDuration], "00:00:00.000");
    EXPECT_EQ(rec.Rows[1][ccProgress], "-1");

    // The engine refuses the output: the task goes, the rows stay.
    encoder.Tasks.clear();
    settings.OutputFileDir = in.file("refused");
    builder.BuildJoinJob({{"/m/a.wav", Second}, {"/m/b.wav", Second}});
    EXPECT_TRUE(encoder.Tasks.empty());
    EXPECT_EQ(encoder.RemoveCalls, 1);
    EXPECT_EQ(rec.Rows.size(), 2u);
    EXPECT_TRUE(builder.TaskDurations().empty());
    EXPECT_EQ(rec.LogLines().back(),
              "Cannot do convert, error: refused output " + in.file("refused") + "/Output_Merge.wav");
    // The output, not an input, is refused: listed, not counted as a file.
    ASSERT_EQ(builder.Refusals().size(), 1u);
    EXPECT_EQ(builder.Refusals()[0].Kind, rkOutput);
    EXPECT_EQ(builder.Refusals()[0].Input, -1);
    EXPECT_EQ(builder.Refusals()[0].FileName, in.file("refused") + "/Output_Merge.wav");
    EXPECT_EQ(builder.RefusedFiles(), 0);
}

TEST_F(JobBuilderTest, PerFileOutputNamesNeverCollide) {
    ASSERT_TRUE(LoadEngineLibraries());
    settings.OutputFormatClass = fcAudio;
    settings.OutputAudioFormat = afMP3;
    const std::string a1 = in.file("a.avi"), a2 = in.file("a.mov"), plain = in.file("movie"),
                      clip = in.file("clip.wav"), text = in.write("notes.txt", "no media here");
    ASSERT_TRUE(MakeSilence(a1, 1));
    ASSERT_TRUE(MakeSilence(a2, 1));
    ASSERT_TRUE(MakeSilence(plain, 2.5));
    ASSERT_TRUE(MakeSilence(clip, 1));
    out.write("clip.mp3");
    builder.BuildFileJobs({{a1}, {text}, {a2}, {plain}, {clip}});

    // a.avi and a.mov both become MP3; the second may not overwrite the first.
    EXPECT_EQ(encoder.OutputsGiven, (std::vector<std::string>{out.file("a.mp3"), out.file("a(1).mp3"),
                                                               out.file("movie.mp3"), out.file("clip(1).mp3")}));
    ASSERT_EQ(encoder.Tasks.size(), 4u);
    EXPECT_EQ(encoder.Tasks[0].Inputs.at(0), a1);
    EXPECT_EQ(encoder.Tasks[0].OutputOptions.FileExt, ".mp3");
    EXPECT_EQ(encoder.Tasks[0].OutputOptions.AudioCodec, "libmp3lame");
    EXPECT_FALSE(encoder.Tasks[0].OutputOptions.Join);
    ASSERT_EQ(rec.Rows.size(), 4u);
    EXPECT_EQ(rec.Rows[2][ccName], "movie");
    EXPECT_EQ(rec.Rows[2][ccDuration], "00:00:02.500");
    EXPECT_EQ(rec.Rows[2][ccStatus], "Waiting...");
    EXPECT_EQ(rec.Rows[2][ccProgress], "");
    EXPECT_EQ(rec.Rows[2][ccPath], in.dir());
    EXPECT_EQ(builder.JobDuration(), 5500000);
    EXPECT_EQ(builder.TaskDurations(), (std::vector<int64_t>{Second, Second, 2500000, Second}));
    EXPECT_EQ(builder.RefusedFiles(), 1);
    const auto log = rec.LogLines();
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[0], "File has been added to convert list.");
    EXPECT_TRUE(log[1].starts_with("File load error: ")) << log[1];
    EXPECT_EQ(log.back(), "File has been added to convert list.");
    ASSERT_EQ(builder.Refusals().size(), 1u);
    EXPECT_EQ(builder.Refusals()[0].Kind, rkUnreadable);
    EXPECT_EQ(builder.Refusals()[0].Input, 1);
    EXPECT_EQ(builder.Refusals()[0].FileName, text);
    EXPECT_EQ(builder.Refusals()[0].LogLine(), log[1]);
}

TEST_F(JobBuilderTest, LosslessWmaKeepsEachInputsBitRate) {
    ASSERT_TRUE(LoadEngineLibraries());
    settings.OutputFormatClass = fcAudio;
    settings.OutputAudioFormat = afWMA;
    settings.PresetOf(fcAudio, afWMA) = 4;
    // 8 kHz 8-bit mono: 64 kbit/s; a stereo 16-bit 44.1 kHz file: 1411200 bit/s.
    const std::string low = in.file("low.wav"), high = in.file("high.wav");
    ASSERT_TRUE(MakeSilence(low, 1));
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i anullsrc=r=44100:cl=stereo -t 1 -c:a pcm_s16le " +
                         Quoted(high)));
    builder.BuildFileJobs({{low}, {high}});
    ASSERT_EQ(encoder.Tasks.size(), 2u);
    EXPECT_EQ(encoder.Tasks[0].OutputOptions.AudioBitrate, 64000);
    EXPECT_EQ(encoder.Tasks[1].OutputOptions.AudioBitrate, 1411200);
    // Join mode passes no bit rate.
    encoder.Tasks.clear();
    settings.JoinFiles = true;
    builder.BuildJoinJob({{low, Second}, {high, Second}});
    EXPECT_EQ(encoder.Tasks.at(0).OutputOptions.AudioBitrate, -1);
}

TEST_F(JobBuilderTest, AJoinFollowsItsPlan) {
    settings.PresetOf(fcVideo, vfMP4) = SameAsSourcePreset({fcVideo, vfMP4});
    // Two clips whose sound differs: the pictures stay copied, the sound is
    // re-encoded to the reference's; the engine gets the plan's steps.
    const auto clip = [](int rate) {
        TFileDesc f{"c.mp4", 0, 1000000, {}};
        TStreamDesc v;
        v.Kind = skVideo;
        v.Codec = "h264";
        v.Width = 640;
        v.Height = 360;
        v.PixelFormat = "yuv420p";
        v.FrameRate = 25;
        TStreamDesc a;
        a.Kind = skAudio;
        a.Codec = "aac";
        a.SampleRate = rate;
        a.Channels = 2;
        a.BitRate = 160000;
        f.Streams = {v, a};
        return f;
    };
    TPlanFormat mp4;
    mp4.Name = "MP4";
    mp4.Holds = [](const std::string&) { return true; };
    mp4.EncoderFor = [](const TStreamDesc& r) { return std::string(r.Kind == skAudio ? "aac" : ""); };
    TPlannedJoin planned;
    planned.Active = true;
    planned.Plan = MakeJoinPlan({clip(48000), clip(44100)}, mp4);
    planned.PlanFiles = {0, 1};
    planned.Fallback = HighQualityPreset({fcVideo, vfMP4});
    builder.UsePlannedJoin(planned);
    builder.BuildJoinJob({{"/m/a.mp4", Second}, {"/m/b.mp4", Second}});
    const TOutputOptions& o = encoder.Tasks.at(0).OutputOptions;
    EXPECT_EQ(o.VideoCodec, "copy");
    EXPECT_EQ(o.AudioCodec, "aac");
    EXPECT_EQ(o.AudioSampleRate, 48000);
    EXPECT_EQ(o.AudioChannels, 2);
    EXPECT_EQ(o.AudioBitrate, 160000);
    ASSERT_EQ(o.Plan.Steps.size(), 2u);
    EXPECT_EQ(o.Plan.Steps[1][1].Action, paEncode);
    // Copied pictures, re-encoded sound: each second costs both.
    ASSERT_EQ(builder.JoinWork().size(), 2u);
    EXPECT_EQ(builder.JoinWork()[1].Weight, CopiedWeight + SoundWeight);
    EXPECT_EQ(builder.JoinWork()[1].LengthUs, Second);

    // Pictures nothing re-encodes to match: the high-quality preset makes
    // them, and the stored preset stays.
    encoder.Tasks.clear();
    TFileDesc small = clip(48000);
    small.Streams[0].Width = 320;
    planned.Plan = MakeJoinPlan({clip(48000), small}, mp4);
    builder.UsePlannedJoin(planned);
    builder.BuildJoinJob({{"/m/a.mp4", Second}, {"/m/b.mp4", Second}});
    EXPECT_EQ(encoder.Tasks.at(0).OutputOptions.VideoCodec, "libx264");
    EXPECT_NE(encoder.Tasks.at(0).OutputOptions.ExtOptions.find("crf=20"), std::string::npos);
    EXPECT_EQ(encoder.Tasks.at(0).OutputOptions.AudioCodec, "copy");
    EXPECT_EQ(settings.PresetOf(fcVideo, vfMP4), SameAsSourcePreset({fcVideo, vfMP4}));
}
