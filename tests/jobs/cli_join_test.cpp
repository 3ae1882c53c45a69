// 'orvane join', 'orvane convert' and 'orvane presets' on generated media.
#include "catalogue.h"
#include "cli_runner.h"
#include "media_fixtures.h"
#include "util_funcs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

using namespace std::chrono_literals;

namespace {

int CountOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(CliJoin, JoinsTwoClipsOfDifferentSizesIntoOneFile) {
    TempDir home;
    const std::string a = home.file("a.mp4"), b = home.file("b b.mp4"), out = home.file("out"),
                      log = home.file("run.log");
    ASSERT_TRUE(MakeClip(a, 1.0, 320, 240, 44100, 2));
    ASSERT_TRUE(MakeClip(b, 1.5, 176, 144, 48000, 1));
    CliResult r = RunOrvane({"join", "--format", "mp4", "--preset", "15", "-o", out, "--log", log, a, b}, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    // The summary names the file written, by its full path.
    EXPECT_EQ(r.Out, "Total files: 1\nSuccessed: 1\nFailed: 0\nOutput: " + out + "/Output_Merge.mp4\n");
    EXPECT_NE(r.Err.find("%"), std::string::npos) << "no progress shown";
    EXPECT_NE(r.Err.find("  size "), std::string::npos) << "no size estimate shown";
    const auto probe = Probe(out + "/Output_Merge.mp4");
    ASSERT_TRUE(probe.is_object());
    EXPECT_NEAR(DurationOf(probe), 2.5, 0.5);
    EXPECT_EQ(StreamOf(probe, "video").value("codec_name", ""), "mpeg4");
    EXPECT_FALSE(StreamOf(probe, "audio").is_null());
    EXPECT_EQ(CountOf(ReadWholeFile(log), "File has been added to convert list.\n"), 2);

    // A second join does not overwrite the first.
    r = RunOrvane({"join", "-f", "MP3", "-p", "0", "-o", out, a, b}, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    r = RunOrvane({"join", "-f", "mp3", "-p", "0", "-o", out, a, b}, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    const auto mp3 = Probe(out + "/Output_Merge(1).mp3");
    EXPECT_NEAR(DurationOf(mp3), 2.5, 0.5);
    EXPECT_TRUE(StreamOf(mp3, "video").is_null());
}

TEST(CliJoin, ConvertGoesOnWhenOneOutputCannotBeWritten) {
    TempDir home;
    const std::string out = home.file("out");
    const std::string a = home.file("a.wav"), b = home.file("b.wav"), c = home.file("c.wav");
    ASSERT_TRUE(MakeSilence(a, 1));
    ASSERT_TRUE(MakeSilence(b, 30));
    ASSERT_TRUE(MakeSilence(c, 1));
    // WAV preset 4 writes 176 kB a second: the second output outgrows a
    // 2 MB file limit, as on a disk that fills up.
    CliResult r = RunOrvane({"convert", "--format", "WAV", "--preset", "4", "-o", out, a, b, c}, home.path(), 2000000);
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_TRUE(r.Out.starts_with("Total files: 3\nSuccessed: 2\nFailed: 1\nFile (2) b.wav: ")) << r.Out;
    EXPECT_EQ(CountOf(r.Out, "File ("), 1);
    EXPECT_NE(r.Err.find("b.wav: Failed."), std::string::npos) << r.Err;
    EXPECT_NEAR(DurationOf(Probe(out + "/a.wav")), 1.0, 0.5);
    EXPECT_NEAR(DurationOf(Probe(out + "/c.wav")), 1.0, 0.5);
}

TEST(CliJoin, ConvertGivesEachInputItsOwnName) {
    TempDir home;
    const std::string out = home.file("out");
    const std::string a1 = home.file("a.avi"), a2 = home.file("a.mov"), plain = home.file("noext");
    ASSERT_TRUE(MakeSilence(a1, 1));
    ASSERT_TRUE(MakeSilence(a2, 1));
    ASSERT_TRUE(MakeSilence(plain, 1));
    CliResult r = RunOrvane({"convert", "--format", "flac", "-o", out, a1, a2, plain}, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "Total files: 3\nSuccessed: 3\nFailed: 0\nOutput: " + out + "/a.flac\nOutput: " + out +
                         "/a(1).flac\nOutput: " + out + "/noext.flac\n");
    for (const char* name : {"a.flac", "a(1).flac", "noext.flac"})
        EXPECT_EQ(StreamOf(Probe(out + "/" + name), "audio").value("codec_name", ""), "flac") << name;
}

TEST(CliJoin, FileNamesCannotWriteToTheTerminalAndLongOnesConvert) {
    TempDir home;
    const std::string out = home.file("out");
    const std::string forged = home.file("a\x1b]0;owned\x07\x1b[2J\r.wav");
    const std::string longName = home.file(std::string(251, 'n') + ".wav");  // 255 bytes
    ASSERT_TRUE(MakeSilence(forged, 1));
    ASSERT_TRUE(MakeSilence(longName, 1));
    CliResult r = RunOrvane({"convert", "--format", "flac", "-o", out, forged, longName}, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("Output: " + out + "/" + std::string(250, 'n') + ".flac\n"), std::string::npos) << r.Out;
    const CliResult probed = RunOrvane({"probe", forged}, home.path());
    for (const std::string& text : {r.Out, r.Err, probed.Out, probed.Err})
        EXPECT_EQ(text.find_first_of("\x1b\x07\r"), std::string::npos) << text;
    EXPECT_NE(probed.Out.find("a ]0;owned  [2J .wav\n"), std::string::npos) << probed.Out;
}

TEST(CliJoin, JunkBeforeTheFramesOfAnMp3AddsNoTime) {
    TempDir home;
    const std::string song = home.file("song.mp3"), junked = home.file("junked.mp3"), out = home.file("out");
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i sine=duration=1.07:sample_rate=44100 -c:a libmp3lame -b:a "
                         "128k " + Quoted(song)));
    // 100 KB of noise, the same each run, then the song.
    std::mt19937 noise(29);
    std::string bytes(100 * 1024, '\0');
    for (char& b : bytes) b = static_cast<char>(noise() & 0xFF);
    home.write("junked.mp3", bytes + ReadWholeFile(song));
    const CliResult r = RunOrvane({"convert", "--format", "WAV", "-o", out, junked}, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NEAR(DurationOf(Probe(out + "/junked.wav")), 1.07, 0.03);
}

TEST(CliJoin, AMotionPhotoGivesItsClipNotItsStill) {
    TempDir home;
    const std::string photo = home.file("photo.mp4");
    // The still first, larger, one frame; then the 2-second clip.
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i testsrc2=size=640x480:rate=1:duration=1 -f lavfi -i "
                         "testsrc=size=160x120:rate=30:duration=2 -f lavfi -i sine=duration=2 -map 0:v -map 1:v -map "
                         "2:a -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac " + Quoted(photo)));
    // The list shows the clip too.
    const CliResult listed = RunOrvane({"probe", photo}, home.path());
    EXPECT_NE(listed.Out.find("Dimension: 160 x 120\n"), std::string::npos) << listed.Out;
    for (const std::vector<std::string>& how : {std::vector<std::string>{"convert", "-f", "MP4", "-p", "19"},
                                                std::vector<std::string>{"join", "-f", "MP4", "-p", "21"}}) {
        SCOPED_TRACE(how[0]);
        const std::string out = home.file("out-" + how[0]);
        std::vector<std::string> args = how;
        args.insert(args.end(), {"-o", out, photo});
        const CliResult r = RunOrvane(args, home.path());
        EXPECT_EQ(r.Status, 0) << r.Err;
        const auto probed = Probe(out + "/" + (how[0] == "join" ? "Output_Merge.mp4" : "photo.mp4"));
        const auto video = StreamOf(probed, "video");
        EXPECT_EQ(video.value("width", 0), 160);
        EXPECT_EQ(video.value("nb_frames", ""), "60");
        EXPECT_NEAR(DurationOf(probed), 2.0, 0.1);
    }
}

TEST(CliJoin, FilesLeftOutCountAsFailedInTheSummary) {
    TempDir home;
    const std::string good = home.file("good.mp4"), bad = home.file("bad.mp4"), out = home.file("out");
    ASSERT_TRUE(MakeClip(good, 1, 160, 120));
    home.write("bad.mp4", "not a media file");
    const std::string unreadable = ": Invalid data found when processing input\n";
    // The join still writes what it could read, but the run is no success.
    CliResult r = RunOrvane({"join", "-f", "MP4", "-p", "15", "-o", out, good, bad}, home.path());
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, "Total files: 2\nSuccessed: 1\nFailed: 1\nFile (2) bad.mp4" + unreadable + "Output: " + out +
                         "/Output_Merge.mp4\n");
    EXPECT_NEAR(DurationOf(Probe(out + "/Output_Merge.mp4")), 1.0, 0.3);
    // Each file of a convert, numbered as the list counts.
    r = RunOrvane({"convert", "-f", "WAV", "-o", out, bad, good, bad}, home.path());
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, "Total files: 3\nSuccessed: 1\nFailed: 2\nFile (1) bad.mp4" + unreadable + "File (3) bad.mp4" +
                         unreadable + "Output: " + out + "/good.wav\n");
}

TEST(CliJoin, AFolderThatCannotBeWrittenFailsEachFileNamingTheFolder) {
    TempDir home;
    namespace fs = std::filesystem;
    // Run as nobody when the test is root, to whom no folder is read-only.
    fs::permissions(home.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    const std::string a = home.file("a.wav"), b = home.file("b.wav"), locked = home.file("locked");
    ASSERT_TRUE(MakeSilence(a, 0.5));
    ASSERT_TRUE(MakeSilence(b, 0.5));
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const std::string reason = ": cannot write into " + locked + ": permission denied\n";
    CliResult r = RunOrvane({"convert", "-f", "WAV", "-o", locked, a, b}, home.path(), CliLimits{.Unprivileged = true});
    if (r.Status == CliUnreachable) GTEST_SKIP() << "nobody cannot reach " OV_BIN_DIR;
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, "Total files: 2\nSuccessed: 0\nFailed: 2\nFile (1) a.wav" + reason + "File (2) b.wav" + reason);
    r = RunOrvane({"join", "-f", "WAV", "-o", locked, a, b}, home.path(), CliLimits{.Unprivileged = true});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, "Total files: 1\nSuccessed: 0\nFailed: 1\nFile (1) Output_Merge.wav" + reason);
    EXPECT_TRUE(fs::is_empty(locked));
}

TEST(CliJoin, AJoinTakesHundredsOfClipsWithinTheOpenFileLimit) {
    TempDir home;
    const std::string clip = home.file("clip.mp4"), out = home.file("out"), log = home.file("run.log");
    ASSERT_TRUE(MakeClip(clip, 0.2, 64, 48));
    std::vector<std::string> args = {"join", "-f", "MP4", "-p", "15", "-o", out, "--log", log};
    for (int i = 0; i < 300; ++i) {
        args.push_back(home.file("c" + std::to_string(i) + ".mp4"));
        std::filesystem::copy_file(clip, args.back());
    }
    const CliResult r = RunOrvane(args, home.path(), CliLimits{.OpenFiles = 256});
    EXPECT_EQ(r.Status, 0) << r.Err.substr(0, 2000);
    EXPECT_EQ(r.Out, "Total files: 1\nSuccessed: 1\nFailed: 0\nOutput: " + out + "/Output_Merge.mp4\n");
    EXPECT_EQ(CountOf(ReadWholeFile(log), "File has been added to convert list.\n"), 300);
    EXPECT_NEAR(DurationOf(Probe(out + "/Output_Merge.mp4")), 60.0, 3.0);
}

TEST(CliJoin, ConvertOpensEachFileWhenItsTurnComes) {
    TempDir home;
    const std::string sound = home.file("s.wav"), out = home.file("out");
    ASSERT_TRUE(MakeSilence(sound, 0.2));
    std::vector<std::string> args = {"convert", "-f", "WAV", "-o", out};
    for (int i = 0; i < 200; ++i) {
        args.push_back(home.file("s" + std::to_string(i) + ".wav"));
        std::filesystem::copy_file(sound, args.back());
    }
    const CliResult r = RunOrvane(args, home.path(), CliLimits{.OpenFiles = 64});
    EXPECT_EQ(r.Status, 0) << r.Err.substr(0, 2000);
    EXPECT_TRUE(r.Out.starts_with("Total files: 200\nSuccessed: 200\nFailed: 0\nOutput: ")) << r.Out.substr(0, 200);
    EXPECT_EQ(CountOf(r.Out, "\nOutput: "), 200);
}

TEST(CliJoin, WrongUseGivesOneLineAndStatusTwo) {
    TempDir home;
    const std::string a = home.file("a.wav");
    ASSERT_TRUE(MakeSilence(a, 1));
    const std::vector<std::vector<std::string>> wrong = {
        {"join", "--format", "DIVX", "-o", home.path(), a},
        {"join", "--format", "mp3", "--preset", "5", "-o", home.path(), a},
        {"convert", "--format", "mp3", "--preset", "x", "-o", home.path(), a},
        {"join", "--format", "mp3", "-o", home.path(), a, home.file("missing.wav")},
        {"convert", "--format", "mp3", "-o", home.path()},
        {"join", "--bogus", a},
        {"presets", "DIVX"},
        // An empty folder name is no folder (it fell back to the documents folder).
        {"join", "--format", "mp3", "-o", "", a},
        {"convert", "--format", "mp3", "-o", "", a},
    };
    for (const auto& args : wrong) {
        CliResult r = RunOrvane(args, home.path());
        EXPECT_EQ(r.Status, 2) << args[1];
        EXPECT_EQ(CountOf(r.Err, "\n"), 1) << r.Err;
        EXPECT_TRUE(r.Out.empty());
    }
    EXPECT_FALSE(FileExists(home.file("Output_Merge.mp3")));
    EXPECT_FALSE(std::filesystem::exists(home.file("Documents")));

    // A folder given as an input is named as a folder.
    std::filesystem::create_directories(home.file("x.mp4"));
    CliResult r = RunOrvane({"join", "--format", "mp3", "-o", home.file("out"), a, home.file("x.mp4")}, home.path());
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("'" + home.file("x.mp4") + "' is a folder, not a file"), std::string::npos) << r.Err;

    // An output folder the system refuses is a failure, not wrong usage.
    r = RunOrvane({"join", "--format", "mp3", "-o", home.file("a.wav/sub"), a}, home.path());
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_NE(r.Err.find("cannot create the output folder " + home.file("a.wav/sub")), std::string::npos) << r.Err;
    EXPECT_TRUE(r.Out.empty());
}

TEST(CliJoin, PresetsAreListedInCatalogueOrder) {
    TempDir home;
    CliResult r = RunOrvane({"presets"}, home.path());
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(CountOf(r.Out, "\n"), PresetTotal);
    EXPECT_TRUE(r.Out.starts_with("AVI\t0\tHD Video 720p: MPEG4 (DivX, XviD), 4500 kbps; Audio: MP3, 192 kbps\n"));
    r = RunOrvane({"presets", "mp2"}, home.path());
    EXPECT_EQ(r.Out,
              "MP2\t0\tFor Mobiles - MPEG layer-2: 22050 Hz, Mono, 96 kbps\n"
              "MP2\t1\tAM Quality - MPEG layer-2: 22050 Hz, Mono, 112 kbps\n"
              "MP2\t2\tFM Quality - MPEG layer-2: 22050 Hz, Stereo, 128 kbps\n");
    // Formats added later are named as users write them, in any case.
    r = RunOrvane({"presets", "webm"}, home.path());
    EXPECT_TRUE(r.Out.starts_with("WebM\t0\tSame as source - no re-encoding\n")) << r.Out;
    EXPECT_EQ(CountOf(r.Out, "\n"), 4);
}

TEST(CliJoin, MissingOptionsComeFromTheSavedChoice) {
    TempDir home;
    const std::string a = home.file("a.wav"), b = home.file("b.wav"), saved = home.file("saved");
    ASSERT_TRUE(MakeSilence(a, 1));
    ASSERT_TRUE(MakeSilence(b, 1));
    std::filesystem::create_directories(home.file(".config/Orvane Video Joiner"));
    home.write(".config/Orvane Video Joiner/~system2.dat",
               "[System]\nOutputFileDir=" + saved + "\nOutputFormatClass=2\nOutputAudioFormat=1\nOutputMP3Preset=0\n");
    CliResult r = RunOrvane({"join", a, b}, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    const auto audio = StreamOf(Probe(saved + "/Output_Merge.mp3"), "audio");
    EXPECT_EQ(audio.value("codec_name", ""), "mp3");
    EXPECT_EQ(audio.value("sample_rate", ""), "44100");  // MP3 preset 0
    // The settings file is read, never rewritten.
    EXPECT_EQ(ReadWholeFile(home.file(".config/Orvane Video Joiner/~system2.dat")).find("OutputWAVPreset"),
              std::string::npos);
}

TEST(CliJoin, CtrlCOrAKillStopsTheRunAndStillPrintsTheSummary) {
    TempDir home;
    const std::string a = home.file("a.mp4");
    ASSERT_TRUE(MakeClip(a, 30, 320, 240));
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(sig);
        const std::string out = home.file("out" + std::to_string(sig));
        // x264 at 1920x1080 takes far longer than the moment we wait.
        CliRun run({"join", "--format", "AVI", "--preset", "1", "-o", out, a}, home.path());
        const std::string output = out + "/Output_Merge.avi";
        // The run is under way: progress shown and the output being written.
        bool started = false;
        for (int i = 0; i < 1200 && !started; ++i) {
            std::this_thread::sleep_for(50ms);
            started = run.Err().find('%') != std::string::npos && std::filesystem::exists(out) &&
                      !std::filesystem::is_empty(out);
        }
        run.Interrupt(sig);
        CliResult r = run.Wait();
        ASSERT_TRUE(started) << r.Err;
        EXPECT_EQ(r.Status, 1) << r.Err;
        EXPECT_EQ(r.Out, "Cancelled\nTotal files: 1\nSuccessed: 0\nFailed: 1\n");
        // The cancelled output leaves nothing: no cut-off file under its name,
        // no hidden partial one.
        for (const auto& e : std::filesystem::directory_iterator(out)) ADD_FAILURE() << "left behind: " << e.path();
    }

    // Ctrl+C while many inputs are probed: the run never starts, the summary says so.
    std::vector<std::string> args = {"join", "--format", "AVI", "-o", home.file("probing")};
    args.insert(args.end(), 4000, a);
    CliRun probing(args, home.path());
    std::this_thread::sleep_for(300ms);
    probing.Interrupt(SIGINT);
    const CliResult r = probing.Wait();
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, "Cancelled\nTotal files: 4000\nSuccessed: 0\nFailed: 4000\n");
}

TEST(CliJoin, ASecondSignalStillRemovesThePartialOutput) {
    TempDir home;
    const std::string a = home.file("a.mp4");
    ASSERT_TRUE(MakeClip(a, 30, 320, 240));
    // The second signal goes once the first was handled; the run may still
    // end the orderly way before it arrives, so a few tries are allowed.
    bool killed = false;
    for (int attempt = 0; attempt < 3 && !killed; ++attempt) {
        const std::string out = home.file("out" + std::to_string(attempt));
        CliRun run({"join", "--format", "AVI", "--preset", "1", "-o", out, a}, home.path());
        bool started = false;
        for (int i = 0; i < 1200 && !started; ++i) {
            std::this_thread::sleep_for(50ms);
            started = run.Err().find('%') != std::string::npos && std::filesystem::exists(out) &&
                      !std::filesystem::is_empty(out);
        }
        // The terminal closes, then Ctrl+\\.
        run.Interrupt(SIGHUP);
        bool handled = false;
        for (int i = 0; i < 2000 && !handled; ++i) {
            handled = run.Err().find("Stopping...") != std::string::npos;
            if (!handled) std::this_thread::sleep_for(1ms);
        }
        run.Interrupt(SIGQUIT);
        const CliResult r = run.Wait();
        ASSERT_TRUE(started && handled) << r.Err;
        killed = r.Signal == SIGQUIT;
        if (!killed) {
            EXPECT_EQ(r.Status, 1) << r.Err;
        }
        for (const auto& e : std::filesystem::directory_iterator(out)) ADD_FAILURE() << "left behind: " << e.path();
    }
    EXPECT_TRUE(killed) << "the second signal never ended the program";
}

TEST(CliJoin, AnOutputWithNothingInItIsAFailureAndLeavesNoFile) {
    TempDir home;
    const std::string whole = home.file("whole.mp4"), cut = home.file("cut.mp4"), good = home.file("good.mp4");
    // The index at the front, then the first bytes of the data: the streams
    // are known, their frames are gone.
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=4 -f lavfi -i "
                         "sine=duration=4 -c:v mpeg4 -c:a aac -movflags +faststart " +
                         Quoted(whole)));
    const std::string bytes = ReadWholeFile(whole);
    const size_t moovEnd = bytes.find("mdat");
    ASSERT_NE(moovEnd, std::string::npos);
    {
        std::ofstream f(cut, std::ios::binary);
        f << bytes.substr(0, moovEnd + 4 + 16);
    }
    ASSERT_TRUE(MakeClip(good, 1, 160, 120));
    for (const char* format : {"MP4", "WAV", "MP3", "AVI"}) {
        SCOPED_TRACE(format);
        const std::string out = home.file(std::string("out-") + format);
        const CliResult r = RunOrvane({"convert", "--format", format, "-o", out, cut, good}, home.path());
        EXPECT_EQ(r.Status, 1) << r.Err;
        EXPECT_TRUE(r.Out.starts_with("Total files: 2\nSuccessed: 1\nFailed: 1\n")) << r.Out << r.Err;
        // The good file's output alone, under its final name.
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(out)) names.push_back(e.path().filename().string());
        ASSERT_EQ(names.size(), 1u) << r.Err;
        EXPECT_TRUE(names[0].starts_with("good")) << names[0];
    }
}

TEST(CliJoin, AFileCutShortFailsTheJoinNamingItAndLeavesNoOutput) {
    TempDir home;
    const std::string whole = home.file("whole.mkv"), good = home.file("good.mkv"), out = home.file("out");
    ASSERT_TRUE(MakeClip(whole, 10, 160, 120));
    ASSERT_TRUE(MakeClip(good, 1, 160, 120));
    const std::string bytes = ReadWholeFile(whole);
    home.write("cut.mkv", bytes.substr(0, bytes.size() * 3 / 10));
    const CliResult r = RunOrvane({"join", "-f", "MP4", "-p", "15", "-o", out, good, home.file("cut.mkv")}, home.path());
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_TRUE(r.Out.starts_with("Total files: 1\nSuccessed: 0\nFailed: 1\nFile (2) cut.mkv: ends after ")) << r.Out;
    EXPECT_NE(r.Out.find(" of its 10.0 s: the file is damaged or cut short"), std::string::npos) << r.Out;
    for (const auto& e : std::filesystem::directory_iterator(out)) ADD_FAILURE() << "left behind: " << e.path();

    // --skip-failed joins the others again without it, under the name given.
    const CliResult skipped = RunOrvane(
        {"join", "-f", "MP4", "-p", "15", "-o", out, "--skip-failed", "--name", "joined.mp4", good, home.file("cut.mkv"), good},
        home.path());
    EXPECT_EQ(skipped.Status, 1) << skipped.Err;
    EXPECT_TRUE(skipped.Out.starts_with("Total files: 2\nSuccessed: 1\nFailed: 1\nFile (2) cut.mkv: ends after "))
        << skipped.Out;
    EXPECT_TRUE(skipped.Out.ends_with("\nOutput: " + out + "/joined.mp4\n")) << skipped.Out;
    EXPECT_NE(skipped.Err.find("Joining again without File (2) cut.mkv: "), std::string::npos) << skipped.Err;
    EXPECT_NEAR(DurationOf(Probe(out + "/joined.mp4")), 2.0, 0.3);

    // Cut at 60 % with nothing else wrong: joined as read, with a warning
    // naming it and both lengths.
    for (const char* ext : {"mkv", "mp4"}) {
        SCOPED_TRACE(ext);
        const std::string three = home.file(std::string("three.") + ext), cut = home.file(std::string("short.") + ext);
        ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i "
                             "sine=duration=3 -c:v libx264 -preset ultrafast -c:a aac -movflags +faststart " +
                             Quoted(three)));
        ASSERT_TRUE(RunShell("head -c $(( $(stat -c %s " + Quoted(three) + ") * 6 / 10 )) " + Quoted(three) + " > " +
                             Quoted(cut)));
        const std::string name = std::string("early-") + ext + ".mp4";
        const CliResult early =
            RunOrvane({"join", "-f", "MP4", "-p", "15", "-o", out, "--name", name, three, cut}, home.path());
        EXPECT_EQ(early.Status, 0) << early.Out << early.Err;
        const std::string line = std::string("\nWarning: File (2) short.") + ext + ": ends after 1.";
        EXPECT_NE(early.Out.find(line), std::string::npos) << early.Out;
        EXPECT_NE(early.Out.find(" of its 3.0 s: the rest could not be read"), std::string::npos) << early.Out;
        EXPECT_EQ(early.Out.find("File (1)"), std::string::npos) << early.Out;
        EXPECT_NEAR(DurationOf(Probe(out + "/" + name)), 4.8, 0.4);
    }
}

TEST(CliJoin, ConvertRunsSeveralFilesAtOnceWithTheSameOutcomes) {
    TempDir home;
    const std::string out = home.file("out");
    const std::string a = home.file("a.wav"), mute = home.file("mute.avi"), c = home.file("c.wav"),
                      d = home.file("d.wav");
    ASSERT_TRUE(MakeSilence(a, 2));
    // A picture without sound cannot become an MP3.
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=10 -t 2 -c:v mpeg4 " +
                         Quoted(mute)));
    ASSERT_TRUE(MakeSilence(c, 2));
    ASSERT_TRUE(MakeSilence(d, 2));
    std::vector<std::string> summaries;
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        const std::string folder = out + jobs;
        CliResult r = RunOrvane({"convert", "--format", "mp3", "--jobs", jobs, "-o", folder, a, mute, c, d}, home.path());
        EXPECT_EQ(r.Status, 1) << r.Err;
        // The summary and each file's outcome as for one file at a time.
        EXPECT_TRUE(r.Out.starts_with("Total files: 4\nSuccessed: 3\nFailed: 1\nFile (2) mute.avi: ")) << r.Out;
        EXPECT_EQ(CountOf(r.Out, "File ("), 1) << r.Out;
        // The outputs in the list's order, whichever finished first.
        EXPECT_TRUE(r.Out.ends_with("Output: " + folder + "/a.mp3\nOutput: " + folder + "/c.mp3\nOutput: " + folder +
                                    "/d.mp3\n"))
            << r.Out;
        summaries.push_back(r.Out.substr(0, r.Out.find("Output: ")));
        EXPECT_NE(r.Err.find("mute.avi: Failed."), std::string::npos) << r.Err;
        for (const char* name : {"a.wav: Finish.", "c.wav: Finish.", "d.wav: Finish."})
            EXPECT_NE(r.Err.find(name), std::string::npos) << name << "\n" << r.Err;
        for (const char* name : {"a.mp3", "c.mp3", "d.mp3"})
            EXPECT_NEAR(DurationOf(Probe(folder + "/" + name)), 2.0, 0.3) << name;
    }
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[0], summaries[1]);
    CliResult r = RunOrvane({"convert", "--format", "mp3", "--jobs", "0", "-o", out, a}, home.path());
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("--jobs"), std::string::npos) << r.Err;
}

TEST(CliJoin, ACancelledConvertKeepsTheFilesFinishedBeforeAndSaysSo) {
    TempDir home;
    const std::string out = home.file("out");
    const std::string a = home.file("a.wav"), b = home.file("b.mp4");
    ASSERT_TRUE(MakeSilence(a, 1));
    ASSERT_TRUE(MakeClip(b, 30, 320, 240));
    // AVI preset 1 encodes at 1920x1080: far longer than the moment we wait.
    CliRun run({"convert", "--format", "AVI", "--preset", "1", "--jobs", "1", "-o", out, a, b}, home.path());
    bool started = false;
    for (int i = 0; i < 1200 && !started; ++i) {
        std::this_thread::sleep_for(50ms);
        started = run.Err().find("a.wav: Finish.") != std::string::npos;
    }
    std::this_thread::sleep_for(300ms);
    run.Interrupt(SIGINT);
    CliResult r = run.Wait();
    ASSERT_TRUE(started) << r.Err;
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, "Cancelled\nTotal files: 2\nSuccessed: 1\nFailed: 1\nOutput: " + out + "/a.avi\n");
    EXPECT_NEAR(DurationOf(Probe(out + "/a.avi")), 1.0, 0.5);
}

TEST(CliJoin, SameAsSourceRefusesAPlanThatReencodesUnlessAllowed) {
    TempDir home;
    const std::string a = home.file("clip1.mp4"), b = home.file("clip2.mp4"), out = home.file("out");
    for (const auto& [file, size] : {std::pair{a, "1920x1080"}, std::pair{b, "1280x720"}})
        ASSERT_TRUE(RunShell("ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=" + std::string(size) +
                             ":rate=30:duration=0.5 -f lavfi -i sine=duration=0.5:sample_rate=48000 -c:v libx264 "
                             "-preset ultrafast -pix_fmt yuv420p -c:a aac " +
                             Quoted(file)));
    const std::string copy = "21";  // MP4's "Same as source - no re-encoding"
    CliResult r = RunOrvane({"join", "--format", "MP4", "--preset", copy, "-o", out, a, b}, home.path());
    EXPECT_EQ(r.Status, 1);
    const std::string line =
        "File (2) clip2.mp4: picture re-encoded to 1920x1080 H.264 30 fps (it is 1280x720)\n";
    EXPECT_NE(r.Err.find(line), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("--reencode-if-needed"), std::string::npos) << r.Err;
    EXPECT_TRUE(r.Out.empty()) << r.Out;
    EXPECT_FALSE(FileExists(out + "/Output_Merge.mp4"));

    // Files that match are copied: the first clip twice.
    r = RunOrvane({"join", "--format", "MP4", "--preset", copy, "-o", out, a, a}, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    const auto copied = FFprobeJson("-count_packets -show_streams -show_chapters", out + "/Output_Merge.mp4");
    EXPECT_EQ(StreamOf(copied, "video").value("nb_read_packets", ""), "30");
    EXPECT_EQ(copied["chapters"].size(), 2u);

    // Allowed to re-encode, the join re-encodes the clip that differs only.
    r = RunOrvane({"join", "--format", "MP4", "--preset", copy, "--reencode-if-needed", "-o", out, a, b},
                  home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Err.find(line), std::string::npos) << r.Err;
    auto probe = Probe(out + "/Output_Merge(1).mp4");
    EXPECT_EQ(StreamOf(probe, "video").value("codec_name", ""), "h264");
    EXPECT_NEAR(DurationOf(probe), 1.0, 0.1);

    // That preset keeps 1080p inputs 1080p at their frame rate.
    r = RunOrvane({"join", "--format", "MP4", "--preset", "19", "-o", out, a, a}, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    probe = Probe(out + "/Output_Merge(2).mp4");
    const auto video = StreamOf(probe, "video");
    EXPECT_EQ(video.value("codec_name", ""), "h264");
    EXPECT_EQ(video.value("width", 0), 1920);
    EXPECT_EQ(video.value("height", 0), 1080);
    EXPECT_EQ(video.value("pix_fmt", ""), "yuv420p");
    EXPECT_EQ(video.value("avg_frame_rate", ""), "30/1");
    EXPECT_EQ(StreamOf(probe, "audio").value("sample_rate", ""), "48000");
    EXPECT_NEAR(DurationOf(probe), 1.0, 0.1);

    // Per file, the preset remuxes each file into the container.
    r = RunOrvane({"convert", "--format", "MOV", "--preset", "12", "-o", out, a}, home.path());
    EXPECT_EQ(r.Status, 0) << r.Err;
    const auto remuxed = FFprobeJson("-count_packets -show_streams", out + "/clip1.mov");
    EXPECT_EQ(StreamOf(remuxed, "video").value("codec_name", ""), "h264");
    EXPECT_EQ(StreamOf(remuxed, "video").value("nb_read_packets", ""), "15");

    r = RunOrvane({"join", "--help"}, home.path());
    EXPECT_EQ(r.Status, 0);
    EXPECT_NE(r.Out.find("--reencode-if-needed"), std::string::npos) << r.Out;
}
