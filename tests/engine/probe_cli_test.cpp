// "orvane probe" as a user runs it.
#include "../common/temp_dir.h"
#include "media_fixtures.h"

#include <sys/wait.h>

#include <filesystem>

namespace {
struct CliResult {
    int status;
    std::string out;
    std::string err;
};

CliResult RunOrvane(const std::string& args, const TempDir& dir) {
    const std::string errFile = dir.file("stderr.txt");
    const std::string out = RunCapture(std::string(OV_BIN_DIR) + "/orvane probe " + args + " 2>" + ShellQuote(errFile));
    // popen's status is not kept by RunCapture; run once more for it.
    const int raw = std::system((std::string(OV_BIN_DIR) + "/orvane probe " + args + " >/dev/null 2>&1").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out, ReadWholeFile(errFile)};
}
}  // namespace

TEST(ProbeCli, PrintsWhatTheInputListShows) {
    TempDir dir;
    const std::string video = dir.file("big.mp4");
    const std::string audio = dir.file("song.mp3");
    ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=1920x1080:rate=25:duration=2 -c:v libx264 -preset ultrafast", video));
    ASSERT_TRUE(MakeMedia("-f lavfi -i sine=frequency=440:duration=2 -c:a libmp3lame -b:a 128k", audio));
    const CliResult r = RunOrvane(ShellQuote(video) + " " + ShellQuote(audio) + " --thumbnail " +
                                      ShellQuote(dir.file("thumbs")), dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(video + "\nDuration: 00:00:02.000\nBit rate: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" Kbps\nDimension: 1920 x 1080\n\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(audio + "\nDuration: 00:00:02."), std::string::npos) << r.out;
    // Probed at once, printed in the order given: the large video first.
    EXPECT_LT(r.out.find(video + "\n"), r.out.find(audio + "\n")) << r.out;
    EXPECT_NE(r.out.find("\nAudio Bit rate: 128 Kbps\nAudio Encoder: mp3float(MP3 (MPEG audio layer 3))\n\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(std::filesystem::exists(dir.file("thumbs/big.mp4.png")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("thumbs/song.mp3.png")));
    EXPECT_EQ(ReadWholeFile(dir.file("thumbs/big.mp4.png")).substr(1, 3), "PNG");

    // Several sound tracks or subtitles add a line that counts them.
    const std::string tracks = dir.file("tracks.mkv");
    ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 -f lavfi -i "
                          "sine=duration=1 -map 0 -map 1 -map 2 -c:v mpeg4 -c:a aac",
                          tracks));
    const CliResult t = RunOrvane(ShellQuote(tracks), dir);
    EXPECT_NE(t.out.find("Dimension: 160 x 120\nTracks: 2 sound tracks\n\n"), std::string::npos) << t.out;
}

TEST(ProbeCli, BadFilesFailWithALineEach) {
    TempDir dir;
    const std::string good = dir.file("good.avi");
    ASSERT_TRUE(MakeClip(good, 1, 160, 120, 25));
    const std::string empty = dir.write("empty.mp4");
    const std::string text = dir.write("notes.avi", "not a video");
    std::filesystem::create_directory(dir.file("folder.mkv"));
    const CliResult r = RunOrvane(ShellQuote(empty) + " " + ShellQuote(good) + " " + ShellQuote(text) + " " +
                                      ShellQuote(dir.file("folder.mkv")) + " " + ShellQuote(dir.file("gone.mp4")),
                                  dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Dimension: 160 x 120"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("File load error: " + empty + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("File load error: " + text + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("File load error: " + dir.file("folder.mkv") + ": Is a directory"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("File load error: " + dir.file("gone.mp4") + ": No such file or directory"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(RunOrvane("", dir).status, 2);
    // A mistyped option is refused, not reported as an unreadable file.
    const CliResult typo = RunOrvane("--thumbnails x " + ShellQuote(good), dir);
    EXPECT_EQ(typo.status, 2);
    EXPECT_NE(typo.err.find("unknown option '--thumbnails'"), std::string::npos) << typo.err;
}

TEST(ProbeCli, ThumbnailsOfOneNameAndThumbnailErrors) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("a"));
    std::filesystem::create_directories(dir.file("b"));
    const std::string first = dir.file("a/clip.avi"), second = dir.file("b/clip.avi");
    ASSERT_TRUE(MakeClip(first, 1, 160, 120, 25));
    ASSERT_TRUE(MakeClip(second, 1, 320, 240, 25));
    const std::string thumbs = dir.file("thumbs");
    CliResult r = RunOrvane(ShellQuote(first) + " " + ShellQuote(second) + " --thumbnail " + ShellQuote(thumbs), dir);
    EXPECT_EQ(r.status, 0) << r.err;
    // Each input keeps its own picture, in the order given.
    const std::string a = ReadWholeFile(thumbs + "/clip.avi.png"), b = ReadWholeFile(thumbs + "/clip.avi(1).png");
    ASSERT_GT(a.size(), 24u);
    ASSERT_GT(b.size(), 24u);
    EXPECT_NE(a, b);

    // A file that opens but whose video cannot be decoded: it is listed, and
    // the missing picture fails the status.
    const std::string whole = ReadWholeFile(first);
    const size_t movi = whole.find("movi00dc");
    ASSERT_NE(movi, std::string::npos);
    const std::string cut = dir.write("cut.avi", whole.substr(0, movi + 16));
    r = RunOrvane(ShellQuote(cut) + " --thumbnail " + ShellQuote(thumbs), dir);
    EXPECT_NE(r.out.find("Dimension: 160 x 120"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Thumbnail error: " + cut + ": no picture could be decoded"), std::string::npos) << r.err;
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(thumbs + "/cut.avi.png"));

    EXPECT_EQ(RunOrvane(ShellQuote(first) + " --thumbnail ''", dir).status, 2);
}
