// The plain rules of a run's timing: where an input's first sound goes, how
// the video sync drops and repeats pictures, and a join's length.
#include "ff_join_timeline.h"
#include "ff_video_conversion.h"

#include <gtest/gtest.h>

TEST(SyncRulesTest, AnInputsFirstSoundStartsWithItsPicture) {
    const int64_t rate = 48000;  // 5 ms: 240 samples
    // Late: silence up to where the picture is, less what the resampler holds.
    TAudioStart start = PlaceFirstAudio(96000, 48000, 100, rate);
    EXPECT_EQ(start.PadTo, 95900);
    EXPECT_EQ(start.Skip, 0);
    // Early: its first samples go.
    start = PlaceFirstAudio(48000, 50000, 100, rate);
    EXPECT_EQ(start.PadTo, 0);
    EXPECT_EQ(start.Skip, 2100);
    // Within 5 ms either way it stands.
    for (int64_t queued : {47760, 48000, 48240}) {
        start = PlaceFirstAudio(48000, queued, 0, rate);
        EXPECT_EQ(start.PadTo, 0) << queued;
        EXPECT_EQ(start.Skip, 0) << queued;
    }
    // Later sound: only a gap or an overlap beyond 0.1 s moves it.
    start = PlaceLaterAudio(48000 + 4700, 48000, 0, rate);
    EXPECT_EQ(start.PadTo, 0);
    start = PlaceLaterAudio(48000 + 24000, 48000, 100, rate);
    EXPECT_EQ(start.PadTo, 71900);
    start = PlaceLaterAudio(48000, 48000 + 9600, 0, rate);
    EXPECT_EQ(start.Skip, 9600);
}

TEST(SyncRulesTest, APictureFitsInsideTheFrameWithItsShape) {
    // 16:9 into 640x420: full width, 360 high, centred.
    TFitRect r = FitInside(1920, 1080, {1, 1}, 640, 420, {0, 1}, 2);
    EXPECT_EQ(r.Width, 640);
    EXPECT_EQ(r.Height, 360);
    EXPECT_EQ(r.Y, 30);
    // Portrait 9:16: full height, 236 wide; 4:3: 560 wide.
    r = FitInside(1080, 1920, {0, 1}, 640, 420, {1, 1}, 2);
    EXPECT_EQ(r.Width, 236);
    EXPECT_EQ(r.X, 202);
    r = FitInside(640, 480, {1, 1}, 640, 420, {1, 1}, 2);
    EXPECT_EQ(r.Width, 560);
    EXPECT_EQ(r.X, 40);
    // Anamorphic pictures count by their shown shape: 720x576 at 64:45 is 16:9.
    r = FitInside(720, 576, {64, 45}, 1280, 720, {1, 1}, 2);
    EXPECT_EQ(r.Width, 1280);
    EXPECT_EQ(r.Height, 720);
    // An output frame of non-square pixels (a preset's aspect): 4:3 frame 720x480 shown 16:9.
    r = FitInside(640, 480, {1, 1}, 720, 480, {32, 27}, 2);
    EXPECT_EQ(r.Width, 540);
    EXPECT_EQ(r.Height, 480);
    // A step or less from the whole frame takes the whole frame.
    r = FitInside(642, 480, {1, 1}, 640, 480, {1, 1}, 2);
    EXPECT_EQ(r.Width, 640);
    EXPECT_EQ(r.Height, 480);
    // Sizes of odd chroma steps stay whole.
    r = FitInside(1080, 1920, {1, 1}, 352, 288, {1, 1}, 4);
    EXPECT_EQ(r.Width % 4, 0);
    EXPECT_EQ(r.X % 4, 0);
}

TEST(SyncRulesTest, TheVideoSyncDropsRepeatsAndRetimes) {
    int64_t next = 10;
    // Method 0 takes every picture at its own position.
    EXPECT_EQ(VideoSyncFrames(0, false, 14.4, next), 1);
    EXPECT_EQ(next, 14);
    // Method 1 (and -1 for formats of constant rate) repeats to catch up and
    // drops what is more than a frame late.
    next = 10;
    EXPECT_EQ(VideoSyncFrames(1, false, 13.0, next), 3);
    EXPECT_EQ(VideoSyncFrames(-1, false, 10.9, next), 1);
    EXPECT_EQ(VideoSyncFrames(1, false, 8.8, next), 0);
    EXPECT_EQ(next, 10);
    // Method 2 (and -1 for formats of variable rate) re-times instead of repeating.
    EXPECT_EQ(VideoSyncFrames(2, false, 13.0, next), 1);
    EXPECT_EQ(next, 13);
    EXPECT_EQ(VideoSyncFrames(-1, true, 12.3, next), 0);
    EXPECT_EQ(VideoSyncFrames(-1, true, 12.5, next), 1);
    EXPECT_EQ(next, 13);
}

TEST(SyncRulesTest, AJoinLastsAsLongAsItsKnownInputs) {
    std::vector<std::unique_ptr<TInputFile>> inputs;
    for (int64_t d : {10000000, -1, 20000000}) {
        inputs.push_back(std::make_unique<TInputFile>());
        inputs.back()->Duration = d;
    }
    EXPECT_EQ(TJoinTimeline::JoinedDuration(inputs), 30000000);
    inputs.erase(inputs.begin());
    inputs.erase(inputs.begin() + 1);
    EXPECT_EQ(TJoinTimeline::JoinedDuration(inputs), -1);
}
