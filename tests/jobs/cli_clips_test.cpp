// 'orvane' on the clips people have: shapes kept by a device preset, and a
// file that a format cannot hold named plainly.
#include "cli_runner.h"
#include "media_fixtures.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>

namespace {
class CliClips : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        home_ = new TempDir;
        const std::string tone = " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.4";
        for (const auto& [name, size, colour] : {std::array<const char*, 3>{"portrait.mp4", "1080x1920", "red"},
                                                 std::array<const char*, 3>{"landscape.mp4", "1920x1080", "blue"},
                                                 std::array<const char*, 3>{"four3.mp4", "640x480", "green"}})
            ASSERT_TRUE(RunShell(std::string("ffmpeg -v error -y -f lavfi -i color=c=") + colour + ":size=" + size +
                                 ":rate=25:duration=0.4" + tone + " -c:v libx264 -preset ultrafast -c:a aac " +
                                 Quoted(home_->file(name))));
        ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i color=c=gray:size=160x120:rate=25:duration=0.4 "
                             "-c:v libx264 -preset ultrafast " +
                             Quoted(home_->file("mute.mp4"))));
    }
    static void TearDownTestSuite() {
        delete home_;
        home_ = nullptr;
    }
    static std::string File(const std::string& name) { return home_->file(name); }

protected:
    static inline TempDir* home_ = nullptr;
};

// Red, green and blue of the pixel at (x, y) of the picture at a time.
std::array<int, 3> PixelAt(const std::string& file, double seconds, int width, int x, int y) {
    const std::string command = "ffmpeg -v error -ss " + std::to_string(seconds) + " -i " + Quoted(file) +
                                " -frames:v 1 -f rawvideo -pix_fmt rgb24 -";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string rgb;
    char buffer[65536];
    size_t n;
    while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) rgb.append(buffer, n);
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    if (at + 2 >= rgb.size()) return {-1, -1, -1};
    return {static_cast<uint8_t>(rgb[at]), static_cast<uint8_t>(rgb[at + 1]), static_cast<uint8_t>(rgb[at + 2])};
}

bool Near(const std::array<int, 3>& rgb, int r, int g, int b) {
    return std::abs(rgb[0] - r) < 40 && std::abs(rgb[1] - g) < 40 && std::abs(rgb[2] - b) < 40;
}
}  // namespace

TEST_F(CliClips, TheIPhonePresetKeepsEveryShape) {
    const std::string out = File("out");
    CliResult r = RunOrvane({"join", "--format", "mp4", "--preset", "3", "-o", out, File("portrait.mp4"),
                             File("landscape.mp4"), File("four3.mp4")},
                            home_->path());
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string joined = out + "/Output_Merge.mp4";
    const auto video = StreamOf(Probe(joined), "video");
    ASSERT_FALSE(video.is_null());
    EXPECT_EQ(video.value("width", 0), 640);
    EXPECT_EQ(video.value("height", 0), 420);
    // Portrait: bars left and right; landscape: above and below; 4:3: narrow ones at the sides.
    EXPECT_TRUE(Near(PixelAt(joined, 0.2, 640, 320, 210), 255, 0, 0));
    EXPECT_TRUE(Near(PixelAt(joined, 0.2, 640, 100, 210), 0, 0, 0));
    EXPECT_TRUE(Near(PixelAt(joined, 0.2, 640, 320, 5), 255, 0, 0));
    EXPECT_TRUE(Near(PixelAt(joined, 0.6, 640, 320, 210), 0, 0, 255));
    EXPECT_TRUE(Near(PixelAt(joined, 0.6, 640, 320, 10), 0, 0, 0));
    EXPECT_TRUE(Near(PixelAt(joined, 0.6, 640, 5, 210), 0, 0, 255));
    EXPECT_TRUE(Near(PixelAt(joined, 1.0, 640, 320, 210), 0, 128, 0));
    EXPECT_TRUE(Near(PixelAt(joined, 1.0, 640, 20, 210), 0, 0, 0));
    EXPECT_TRUE(Near(PixelAt(joined, 1.0, 640, 320, 5), 0, 128, 0));
}

TEST_F(CliClips, AFileWithoutSoundIsNamedWhenTheFormatHoldsOnlySound) {
    const std::string out = File("mp3");
    // One by one: the silent file fails with its number, name and reason.
    CliResult r = RunOrvane({"convert", "--format", "MP3", "-o", out, File("four3.mp4"), File("mute.mp4"),
                             File("landscape.mp4")},
                            home_->path());
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, "Total files: 3\nSuccessed: 2\nFailed: 1\nFile (2) mute.mp4: has no sound, and MP3 holds only "
                     "sound\nOutput: " + out + "/four3.mp3\nOutput: " + out + "/landscape.mp3\n");
    // Joined: the silent file gets silence for its length.
    r = RunOrvane({"join", "--format", "MP3", "-o", out, File("mute.mp4"), File("four3.mp4")}, home_->path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NEAR(DurationOf(Probe(out + "/Output_Merge.mp3")), 0.8, 0.15);
    // Nothing to hear at all: the join fails, named by its first file.
    r = RunOrvane({"join", "--format", "MP3", "-o", out, File("mute.mp4"), File("mute.mp4")}, home_->path());
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, "Total files: 1\nSuccessed: 0\nFailed: 1\nFile (1) mute.mp4: has no sound, and MP3 holds only "
                     "sound\n");
}
