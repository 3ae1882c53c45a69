// The join plan from stream descriptions alone: the reference by duration,
// what is copied, copied with its parameter sets, re-encoded or filled, and
// the lines that say so.
#include "ff_join_plan.h"

#include <gtest/gtest.h>

namespace {
TStreamDesc Video(int width, int height, double rate, std::vector<uint8_t> sets = {1, 2, 3}) {
    TStreamDesc s;
    s.Kind = skVideo;
    s.Codec = "h264";
    s.Profile = 100;
    s.ProfileName = "High";
    s.Width = width;
    s.Height = height;
    s.PixelFormat = "yuv420p";
    s.FrameRate = rate;
    s.FieldOrder = 1;
    s.PrivateData = std::move(sets);
    return s;
}

TStreamDesc Sound(int rate, const std::string& codec = "aac") {
    TStreamDesc s;
    s.Kind = skAudio;
    s.Codec = codec;
    s.SampleRate = rate;
    s.Channels = 2;
    s.Layout = "stereo";
    s.SampleFormat = "fltp";
    s.PrivateData = {0x11, 0x90};
    s.BitRate = 128000;
    return s;
}

TFileDesc File(const std::string& name, double seconds, std::vector<TStreamDesc> streams) {
    TFileDesc f{name, 0, static_cast<int64_t>(seconds * 1e6), std::move(streams)};
    for (TStreamDesc& s : f.Streams) s.DurationUs = f.DurationUs;
    return f;
}

TPlanFormat Mp4() {
    TPlanFormat f;
    f.Name = "MP4";
    f.Holds = [](const std::string& codec) { return codec != "pcm_s16le" && codec != "vp8"; };
    f.EncoderFor = [](const TStreamDesc& r) -> std::string {
        if (r.Kind == skAudio) return r.Codec == "aac" ? "aac" : r.Codec == "mp3" ? "libmp3lame" : "";
        return r.Codec == "h264" && r.PixelFormat == "yuv420p" ? "libx264" : "";
    };
    return f;
}

TEST(JoinPlan, OnlyTheClipThatDiffersIsReencoded) {
    // Four 1080p clips and a 720p one at another rate: the 1080p ones cover
    // the longest time, so they are the reference.
    std::vector<TFileDesc> files;
    for (int i = 1; i <= 4; ++i) files.push_back(File("a" + std::to_string(i) + ".mp4", 30, {Video(1920, 1080, 30), Sound(48000)}));
    files.insert(files.begin() + 2, File("beach.mp4", 90, {Video(1280, 720, 25, {7}), Sound(48000)}));
    const TJoinPlan plan = MakeJoinPlan(files, Mp4());
    ASSERT_EQ(plan.Streams.size(), 2u);
    const TPlanStream& video = plan.Streams[0];
    EXPECT_EQ(video.ReferenceFile, 0);
    EXPECT_EQ(video.Encoder, "libx264");
    EXPECT_TRUE(video.InBand);  // the re-encoded clip brings its own sets
    EXPECT_FALSE(plan.Streams[1].Encoded);
    EXPECT_FALSE(plan.CopiesEverything());
    EXPECT_EQ(plan.Steps[2][0].Action, paEncode);
    EXPECT_EQ(plan.Steps[0][0].Action, paCopy);  // untouched: the new sets are numbered apart
    EXPECT_EQ(plan.Steps[2][1].Action, paCopy);
    EXPECT_EQ(ReencodeLines(plan),
              (std::vector<std::string>{"File (3) beach.mp4: picture re-encoded to 1920x1080 H.264 30 fps (it is "
                                        "1280x720 at 25 fps)"}));
    EXPECT_EQ(PlanLines(plan)[0], "File (1) a1.mp4: copy");
    EXPECT_EQ(PlanLines(plan)[2],
              "File (3) beach.mp4: picture re-encoded to 1920x1080 H.264 30 fps (it is 1280x720 at 25 fps)");
}

TEST(JoinPlan, TheReferenceCoversTheLongestTimeAndTiesGoToTheFirst) {
    // One long 720p clip outweighs two short 1080p ones.
    const std::vector<TFileDesc> files = {File("a.mp4", 10, {Video(1920, 1080, 30)}),
                                          File("b.mp4", 10, {Video(1920, 1080, 30)}),
                                          File("long.mp4", 25, {Video(1280, 720, 30)})};
    TJoinPlan plan = MakeJoinPlan(files, Mp4());
    EXPECT_EQ(plan.Streams[0].ReferenceFile, 2);
    EXPECT_EQ(plan.Steps[0][0].Action, paEncode);
    EXPECT_EQ(plan.Steps[0][0].Reason, "it is 1920x1080");
    // Equal totals: the group met first.
    plan = MakeJoinPlan({File("a.mp4", 10, {Video(1280, 720, 30)}), File("b.mp4", 10, {Video(1920, 1080, 30)})}, Mp4());
    EXPECT_EQ(plan.Streams[0].ReferenceFile, 0);
    // A rate measured a little differently and a square pixel given as
    // unknown are the same stream: all copied.
    TStreamDesc vfr = Video(1920, 1080, 29.97);
    vfr.SampleAspect = {1, 1};
    plan = MakeJoinPlan({File("a.mp4", 10, {Video(1920, 1080, 30)}), File("b.mp4", 10, {vfr})}, Mp4());
    EXPECT_TRUE(plan.CopiesEverything());
    EXPECT_FALSE(plan.Streams[0].InBand);
    EXPECT_EQ(PlanLines(plan), (std::vector<std::string>{"File (1) a.mp4: copy", "File (2) b.mp4: copy"}));
}

TEST(JoinPlan, TrimsCountTheirLengthAndCutAtKeyFrames) {
    // A 60-s 720p clip trimmed to 10 s weighs less than two 10-s 1080p ones;
    // a trimmed clip that matches is copied between key frames and asks nothing.
    std::vector<TFileDesc> files = {File("a.mp4", 10, {Video(1920, 1080, 30)}), File("b.mp4", 10, {Video(1920, 1080, 30)}),
                                    File("long.mp4", 60, {Video(1280, 720, 30)})};
    files[2].TrimStartUs = 20000000;
    files[2].TrimEndUs = 30000000;
    files[1].TrimStartUs = 5000000;
    files[1].Range = "00:05.000 to 00:10.000";
    TJoinPlan plan = MakeJoinPlan(files, Mp4());
    EXPECT_EQ(plan.Streams[0].ReferenceFile, 0);
    EXPECT_TRUE(plan.Steps[1][0].SmartCut);
    EXPECT_FALSE(plan.Steps[0][0].SmartCut);
    EXPECT_EQ(plan.Steps[2][0].Action, paEncode);
    EXPECT_EQ(PlanLines(plan)[1], "File (2) b.mp4 (00:05.000 to 00:10.000): copy, pictures at the cuts re-encoded");
    files.pop_back();
    plan = MakeJoinPlan(files, Mp4());
    EXPECT_TRUE(plan.CopiesEverything());
    EXPECT_EQ(plan.Streams[0].Encoder, "libx264");
}

TEST(JoinPlan, ParameterSetsTurnsAndSoundEachHaveTheirRule) {
    // Another profile, the same pictures: copied with its sets in-band.
    TStreamDesc main = Video(1920, 1080, 30, {9, 9});
    main.Profile = 77;
    TJoinPlan plan = MakeJoinPlan({File("a.mp4", 10, {Video(1920, 1080, 30)}), File("b.mp4", 5, {main})}, Mp4());
    EXPECT_TRUE(plan.CopiesEverything());
    EXPECT_EQ(PlanLines(plan), (std::vector<std::string>{"File (1) a.mp4: copy, parameter sets in-band",
                                                         "File (2) b.mp4: copy, parameter sets in-band"}));
    // HEVC numbers its sets alike: a re-encoded clip puts every clip's in-band.
    TStreamDesc hevc = Video(1920, 1080, 30), small = Video(1280, 720, 30);
    hevc.Codec = small.Codec = "hevc";
    TPlanFormat any = Mp4();
    any.EncoderFor = [](const TStreamDesc&) { return std::string("libx265"); };
    plan = MakeJoinPlan({File("a.mp4", 10, {hevc}), File("b.mp4", 5, {small})}, any);
    EXPECT_EQ(plan.Steps[0][0].Action, paCopyInBand);
    // A codec without in-band sets: other private data is re-encoded.
    TStreamDesc mpeg4 = Video(640, 480, 25, {1});
    mpeg4.Codec = "mpeg4";
    TStreamDesc other = mpeg4;
    other.PrivateData = {2};
    TPlanFormat avi = Mp4();
    avi.EncoderFor = [](const TStreamDesc&) { return std::string("mpeg4"); };
    plan = MakeJoinPlan({File("a.avi", 10, {mpeg4}), File("b.avi", 5, {other})}, avi);
    EXPECT_EQ(plan.Steps[1][0].Action, paEncode);
    EXPECT_EQ(plan.Steps[1][0].Reason, "it is coded with other settings");
    EXPECT_FALSE(plan.Streams[0].InBand);
    // A clip turned another way is re-encoded upright.
    TStreamDesc turned = Video(1920, 1080, 30);
    turned.Shown = {1, false};
    plan = MakeJoinPlan({File("a.mp4", 10, {Video(1920, 1080, 30)}), File("b.mp4", 5, {turned})}, Mp4());
    EXPECT_EQ(plan.Steps[1][0].Action, paEncode);
    EXPECT_EQ(plan.Steps[1][0].Reason, "it is 1080x1920, turned to the right");

    // Sound of another rate: every clip's sound into one encoder; the
    // pictures stay copied.
    plan = MakeJoinPlan({File("a.mp4", 10, {Video(1920, 1080, 30), Sound(48000)}),
                         File("b.mp4", 5, {Video(1920, 1080, 30), Sound(44100)})},
                        Mp4());
    EXPECT_TRUE(plan.Streams[1].Encoded);
    EXPECT_EQ(plan.Streams[1].Encoder, "aac");
    EXPECT_EQ(plan.Steps[0][1].Action, paEncode);
    EXPECT_EQ(ReencodeLines(plan),
              (std::vector<std::string>{"All files: sound re-encoded to AAC 48000 Hz stereo (File (2) is 44100 Hz)"}));
    EXPECT_EQ(PlanLines(plan)[1],
              "File (2) b.mp4: picture copied, sound re-encoded to AAC 48000 Hz stereo (it is 44100 Hz)");
    // A clip without sound gets silence; one without pictures gets black ones.
    plan = MakeJoinPlan({File("a.mp4", 10, {Video(1920, 1080, 30), Sound(48000)}),
                         File("mute.mp4", 5, {Video(1920, 1080, 30)}), File("song.m4a", 5, {Sound(48000)})},
                        Mp4());
    EXPECT_EQ(plan.Steps[1][1].Action, paFill);
    EXPECT_EQ(plan.Steps[2][0].Action, paFill);
    EXPECT_EQ(plan.Streams[1].Reason, "File (2) has no sound");
    EXPECT_EQ(PlanLines(plan)[2],
              "File (3) song.m4a: black picture for its length (it has no picture), sound re-encoded to AAC 48000 Hz "
              "stereo (File (2) has no sound)");
}

TEST(JoinPlan, WhatTheFormatCannotHoldOrNothingCanEncodeFallsBack) {
    // PCM sound in MP4: the sound is made by the high-quality preset.
    TJoinPlan plan = MakeJoinPlan({File("a.mov", 10, {Video(1920, 1080, 30), Sound(48000, "pcm_s16le")}),
                                   File("b.mov", 10, {Video(1920, 1080, 30), Sound(48000, "pcm_s16le")})},
                                  Mp4());
    EXPECT_EQ(plan.Streams[1].Fallback, "PCM cannot be copied into MP4");
    EXPECT_TRUE(plan.Streams[1].Encoded);
    EXPECT_EQ(plan.Steps[0][0].Action, paCopy);
    EXPECT_EQ(ReencodeLines(plan, "Original Size - High Quality"),
              (std::vector<std::string>{"All files: sound re-encoded with \"Original Size - High Quality\" (PCM "
                                        "cannot be copied into MP4)"}));
    // A 10-bit reference nothing here re-encodes to match: every clip's
    // pictures by the preset, none copied.
    TStreamDesc deep = Video(1920, 1080, 30);
    deep.PixelFormat = "yuv420p10le";
    plan = MakeJoinPlan({File("a.mp4", 20, {deep}), File("b.mp4", 5, {Video(1280, 720, 30)})}, Mp4());
    EXPECT_EQ(plan.Streams[0].Fallback, "H.264 yuv420p10le cannot be re-encoded to match here");
    EXPECT_EQ(plan.Steps[0][0].Action, paEncode);
    EXPECT_FALSE(plan.CopiesEverything());
    // Raw pictures without timestamps are never copied: re-encoded to a
    // reference that has them, or all by the preset when none has.
    TStreamDesc raw = Video(1920, 1080, 30);
    raw.NoTimestamps = true;
    plan = MakeJoinPlan({File("a.264", 20, {raw}), File("b.mp4", 5, {Video(1920, 1080, 30)})}, Mp4());
    EXPECT_EQ(plan.Streams[0].ReferenceFile, 0);
    EXPECT_EQ(plan.Streams[0].Fallback, "H.264 without timestamps cannot be copied");
    plan = MakeJoinPlan({File("a.264", 5, {raw}), File("b.mp4", 20, {Video(1920, 1080, 30)})}, Mp4());
    EXPECT_EQ(PlanLines(plan), (std::vector<std::string>{
                                   "File (1) a.264: picture re-encoded to 1920x1080 H.264 30 fps (it is without "
                                   "timestamps)",
                                   "File (2) b.mp4: copy"}));
    // A sound-only format leaves the pictures out; an MP3 and an AAC file
    // join with the sound re-encoded to the longer one's.
    TPlanFormat m4a = Mp4();
    m4a.SoundOnly = true;
    plan = MakeJoinPlan({File("a.mp3", 10, {Sound(44100, "mp3")}), File("b.m4a", 30, {Sound(44100)})}, m4a);
    ASSERT_EQ(plan.Streams.size(), 1u);
    EXPECT_EQ(plan.Streams[0].ReferenceFile, 1);
    EXPECT_EQ(ReencodeLines(plan),
              (std::vector<std::string>{"All files: sound re-encoded to AAC 44100 Hz stereo (File (1) is MP3)"}));
}
}  // namespace

TEST(JoinPlan, EverySoundTrackHasItsOwnReference) {
    TStreamDesc french = Sound(48000), french44 = Sound(44100);
    french.Language = french44.Language = "fre";
    const std::vector<TFileDesc> files = {File("a.mkv", 30, {Video(1920, 1080, 30), Sound(48000), french}),
                                          File("b.mp4", 10, {Video(1920, 1080, 30), Sound(48000)}),
                                          File("c.mkv", 5, {Video(1920, 1080, 30), Sound(48000), french44})};
    TPlanFormat mkv = Mp4();
    mkv.Name = "MKV";
    mkv.EveryTrack = true;
    const TJoinPlan plan = MakeJoinPlan(files, mkv);
    ASSERT_EQ(plan.Streams.size(), 3u);
    // The first sound matches everywhere and is copied; the second is missing
    // in one clip and differs in another, so it alone is re-encoded.
    EXPECT_FALSE(plan.Streams[1].Encoded);
    EXPECT_TRUE(plan.Streams[2].Encoded);
    EXPECT_EQ(plan.Steps[0][2].Stream, 2);
    EXPECT_EQ(plan.Steps[1][2].Action, paFill);
    EXPECT_EQ(PlanLines(plan)[1],
              "File (2) b.mp4: picture copied, silence on sound track 2 (fre) for its length (it has no sound track 2)");
    EXPECT_EQ(ReencodeLines(plan), (std::vector<std::string>{"All files: sound track 2 (fre) re-encoded to AAC 48000 "
                                                             "Hz stereo (File (2) has no sound track 2)"}));
    // A format that keeps one sound track plans one.
    EXPECT_EQ(MakeJoinPlan(files, Mp4()).Streams.size(), 2u);
}
