// A join of many clips holds one clip's decoders and buffers at a time: its
// peak memory at 300 clips stays within a fixed bound of the same join's at
// 30 clips, both measured here on child runs of 'orvane join'.
#include "../cli_runner.h"
#include "../media_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// A camera's folder in small: copies of one short H.264 + AAC clip.
std::vector<std::string> ClipFolder(const TempDir& dir, const std::string& clip, int count) {
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%d_%04d.mp4", count, i);
        files.push_back(dir.file(name));
        std::error_code ec;
        std::filesystem::create_hard_link(clip, files.back(), ec);
        if (ec) std::filesystem::copy_file(clip, files.back(), ec);
    }
    return files;
}

struct TJoined {
    long PeakKb = 0;  // the run's peak memory
    double Seconds = 0;  // the output's length
};

// Joins the clips by re-encoding (MP4's 320x240 H.264 preset).
TJoined Join(const std::vector<std::string>& clips) {
    TempDir home, out;
    std::vector<std::string> args = {"join", "--format", "MP4", "--preset", "0", "-o", out.path()};
    args.insert(args.end(), clips.begin(), clips.end());
    const CliResult r = RunOrvane(args, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    const auto json = FFprobeJson("-show_entries format=duration", out.file("Output_Merge.mp4"));
    return {r.PeakKb, json.is_null() ? 0 : std::stod(json["format"].value("duration", "0"))};
}

TEST(ScaleMemory, ThreeHundredClipsJoinInTheMemoryOfThirty) {
    TempDir dir;
    const std::string clip = dir.file("clip.mp4");
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=0.2 -f lavfi -i "
                         "sine=frequency=440:sample_rate=48000:duration=0.2 -ac 2 -c:v libx264 -preset ultrafast "
                         "-c:a aac -shortest " + Quoted(clip)));
    const TJoined few = Join(ClipFolder(dir, clip, 30));
    const TJoined many = Join(ClipFolder(dir, clip, 300));
    ASSERT_GT(few.Seconds, 6.0);
    // Every clip is in: ten times the length.
    EXPECT_NEAR(many.Seconds, 10 * few.Seconds, 0.2);
    // A clip that kept its decoders until the end would hold megabytes; a
    // waiting one holds its opened container (tens of kilobytes), the
    // output its index.
    EXPECT_LT(many.PeakKb - few.PeakKb, 48 * 1024) << "30 clips: " << few.PeakKb << " kB, 300: " << many.PeakKb << " kB";
}

}  // namespace
