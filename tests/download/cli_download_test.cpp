// 'orvane download' against the fake video site.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <thread>

#include "child_process.h"
#include "fake_site.h"

namespace {
using namespace std::chrono_literals;

struct CliResult {
    int Status = -1;  // -1: ended by a signal
    std::string Output;
    int Signal = 0;
};

class CliDownload {
public:
    // path: the PATH it runs with; where yt-dlp is not found unless a test wants it.
    CliDownload(const std::vector<std::string>& args, const TempDir& work, const std::string& path = "/nonexistent")
        : outPath_(work.file("cli.out")) {
        std::vector<std::string> all = {std::string(OV_BIN_DIR) + "/orvane", "download"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        // No user settings of the machine: a fresh configuration folder.
        std::vector<std::string> env = {"XDG_CONFIG_HOME=" + work.file("config"), "PATH=" + path};
        // A sanitizer build's child runs with the test's sanitizer options.
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
            if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) std::abort();
        posix_spawn_file_actions_destroy(&actions);
    }
    std::string Output() const { return ReadWholeFile(outPath_); }
    void Interrupt(int sig = SIGINT) { ::kill(pid_, sig); }
    CliResult Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Output(), WIFSIGNALED(status) ? WTERMSIG(status) : 0};
    }

private:
    std::string outPath_;
    pid_t pid_ = -1;
};

const char* const kVideos = R"({"videos": {
  "one":   {"title": "First", "streams": [{"itag": 5, "size": 500}, {"itag": 18, "size": 3000}]},
  "noid":  {"title": "Lost", "id_link": false, "streams": [{"itag": 18}]},
  "same":  {"title": "a/b:c?d 100%", "streams": [{"itag": 18, "size": 100}]},
  "only5": {"title": "Only5", "streams": [{"itag": 5}]},
  "slow":  {"title": "Slow", "streams": [{"itag": 18, "mode": "slow", "size": 20000000, "chunk": 16384, "delay": 0.05}]},
  "local": {"title": "Local", "streams": [{"itag": 18, "url": "file:///etc/hostname"}]},
  "forge": {"title": "Forged\r\nTotal files: 0\nSuccessed: 0\u001b]0;owned\u0007\u001b[2J", "streams": [{"itag": 18, "size": 10}]}
}})";

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (!std::filesystem::exists(folder)) return names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CliDownload, RunsTheLinksAndSaysWhatHappened) {
    FakeSite site(kVideos);
    TempDir work;
    const std::string out = work.file("videos");
    const std::string host = site.Host();
    CliResult r = CliDownload({"--prefer", "--host", host, "-o", out, site.WatchLink("one"), site.WatchLink("noid"),
                               site.WatchLink("same"), site.WatchLink("same")},
                              work)
                      .Wait();
    // The second "same" is a duplicate link: not run, but counted with the
    // first's outcome; one link failed.
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("This video is already in the download list."), std::string::npos);
    EXPECT_NE(r.Output.find("[1/3] Title: First\n"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("[1/3] Finish.\n"), std::string::npos);
    EXPECT_NE(r.Output.find("[2/3] Failed.\n"), std::string::npos);
    EXPECT_NE(r.Output.find("[3/3] Finish.\n"), std::string::npos);
    EXPECT_NE(r.Output.find("Total files: 4\nSuccessed: 3\nFailed: 1\nFile (2): "), std::string::npos) << r.Output;
    EXPECT_EQ(Entries(out), (std::vector<std::string>{"First.mp4", "a_b_c_d 100%.mp4"}));

    // Without the preference: itag 5 as ".flv"; a second copy gets "(1)"; all saved, status 0
    // (a repeated link is run once and does not count as a failure).
    r = CliDownload({"--no-prefer", "--host", host, "-o", out, site.WatchLink("one"), site.WatchLink("one")}, work)
            .Wait();
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_NE(r.Output.find("Total files: 2\nSuccessed: 2\nFailed: 0\n"), std::string::npos) << r.Output;
    r = CliDownload({"--no-prefer", "--host", host, "-o", out, site.WatchLink("one")}, work).Wait();
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(std::filesystem::file_size(out + "/First.flv"), 500u);
    EXPECT_TRUE(std::filesystem::exists(out + "/First(1).flv"));

    // Only itag 5 with the preference: eight attempts, then the link fails.
    r = CliDownload({"--prefer", "--host", host, "-o", out, site.WatchLink("only5")}, work).Wait();
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("Quality: [HQ13] failed, try next: [HQ17]"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("Total files: 1\nSuccessed: 0\nFailed: 1\n"), std::string::npos);

    // A stream address on the local disk is refused.
    r = CliDownload({"--prefer", "--host", host, "-o", out, site.WatchLink("local")}, work).Wait();
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("file:///etc/hostname"), std::string::npos);
    EXPECT_EQ(Entries(out).size(), 4u);  // First.mp4, a_b_c_d 100%.mp4, First.flv, First(1).flv

    // A text that is no link fails the exit status, even when the rest is
    // saved, and counts as a failed file in its place; a failed link given
    // again fails in its place too.
    r = CliDownload({"--host", host, "-o", out, site.WatchLink("one"), "file:///etc/passwd", site.WatchLink("noid"),
                     site.WatchLink("noid")},
                    work)
            .Wait();
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("file:///etc/passwd\n\nThis is not a YouTube video link."), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("Total files: 4\nSuccessed: 1\nFailed: 3\nFile (2) file:///etc/passwd: not a link of "
                            "the site\nFile (3): "),
              std::string::npos)
        << r.Output;
    EXPECT_NE(r.Output.find("\nFile (4) " + site.WatchLink("noid") + ": the same link as File (3)\n"),
              std::string::npos)
        << r.Output;

    // A link's look-alike on the local disk is no link: no page is read from it.
    const std::string page = work.write("page.html", "<meta name=\"title\" content=\"Local page\">");
    r = CliDownload({"--host", host, "-o", out, "file://" + page + "?http://" + host + "/watch?v=one"}, work).Wait();
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("This is not a YouTube video link."), std::string::npos) << r.Output;
    EXPECT_EQ(r.Output.find("Local page"), std::string::npos) << r.Output;

    // Wrong use.
    EXPECT_EQ(CliDownload({"--host", host, site.WatchLink("one")}, work).Wait().Status, 2);
    EXPECT_EQ(CliDownload({"--host", host, "-o", "", site.WatchLink("one")}, work).Wait().Status, 2);
    EXPECT_EQ(CliDownload({"-o", out}, work).Wait().Status, 2);
    EXPECT_EQ(CliDownload({"--bogus", "-o", out, site.WatchLink("one")}, work).Wait().Status, 2);
}

// The live processes whose command line holds text (a yt-dlp left running).
int LiveProcessesNaming(const std::string& text) {
    int count = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string cmdline = ReadWholeFile(e.path().string() + "/cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (cmdline.find(text) != std::string::npos &&
            ReadWholeFile(e.path().string() + "/stat").find(") Z") == std::string::npos)
            ++count;
    }
    return count;
}
// The same after a moment for those being killed to go.
int ProcessesNaming(const std::string& text) {
    int count = 0;
    for (int i = 0; i < 50 && (count = LiveProcessesNaming(text)) > 0; ++i) std::this_thread::sleep_for(50ms);
    return count;
}

// Waits until the run is downloading and its hidden part file holds data.
bool DownloadUnderWay(const CliDownload& cli, const std::string& out) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (cli.Output().find("Downloading...") != std::string::npos)
            for (const std::string& name : Entries(out))
                if (name.starts_with(".") && name.find(".part-") != std::string::npos &&
                    std::filesystem::file_size(out + "/" + name) > 0)
                    return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

TEST(CliDownload, CtrlCCancelsLikeTheCancelButton) {
    FakeSite site(kVideos);
    TempDir work;
    const std::string out = work.file("videos");
    CliDownload cli({"--host", site.Host(), "-o", out, site.WatchLink("slow"), site.WatchLink("one")}, work);
    const bool underWay = DownloadUnderWay(cli, out);
    cli.Interrupt();
    const CliResult r = cli.Wait();
    ASSERT_TRUE(underWay) << r.Output;
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("Total files: 2\nSuccessed: 0\nFailed: 2\n"), std::string::npos) << r.Output;
    // The half-received part file is gone.
    EXPECT_TRUE(Entries(out).empty());

    // A kill (as timeout(1) sends it), the terminal closing and Ctrl+\ cancel the same way.
    for (const int sig : {SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(sig);
        CliDownload killed({"--host", site.Host(), "-o", out, site.WatchLink("slow")}, work);
        const bool killedUnderWay = DownloadUnderWay(killed, out);
        killed.Interrupt(sig);
        const CliResult k = killed.Wait();
        ASSERT_TRUE(killedUnderWay) << k.Output;
        EXPECT_EQ(k.Status, 1);
        EXPECT_NE(k.Output.find("Total files: 1\nSuccessed: 0\nFailed: 1\n"), std::string::npos) << k.Output;
        EXPECT_TRUE(Entries(out).empty());
    }

    // A second signal ends the program at once, by that signal, and still
    // takes the part file with it.
    CliDownload twice({"--host", site.Host(), "-o", out, site.WatchLink("slow")}, work);
    const bool twiceUnderWay = DownloadUnderWay(twice, out);
    twice.Interrupt(SIGHUP);
    twice.Interrupt(SIGINT);
    const CliResult t = twice.Wait();
    ASSERT_TRUE(twiceUnderWay) << t.Output;
    EXPECT_TRUE(t.Status == 1 || t.Signal == SIGINT) << t.Output;
    EXPECT_EQ(Entries(out), std::vector<std::string>{});
}

TEST(CliDownload, TheServerCannotWriteToTheTerminal) {
    FakeSite site(kVideos);
    TempDir work;
    const CliResult r =
        CliDownload({"--host", site.Host(), "-o", work.file("videos"), site.WatchLink("forge")}, work).Wait();
    EXPECT_EQ(r.Status, 0) << r.Output;
    // The title is one line among the run's own, without ESC, BEL or CR.
    EXPECT_NE(r.Output.find("[1/1] Title: Forged  Total files: 0 Successed: 0 ]0;owned  [2J\n"), std::string::npos)
        << r.Output;
    EXPECT_EQ(r.Output.find_first_of("\x1b\x07\r"), std::string::npos);
    EXPECT_NE(r.Output.find("Total files: 1\nSuccessed: 1\nFailed: 0\n"), std::string::npos);
    EXPECT_EQ(r.Output.find("\nSuccessed: 0"), std::string::npos) << r.Output;
}

TEST(CliDownload, OtherSitesThroughYtDlp) {
    const char* path = std::getenv("PATH");
    if (!path || FindProgram("yt-dlp").empty()) GTEST_SKIP() << "yt-dlp is not installed";
    TempDir media;
    ASSERT_TRUE(MakeTestClip(media.file("clip.mp4"), "320x240"));
    FakeSite site(R"({"pages": {"/clip": {"title": "Clip", "src": "clip.mp4"},
                                "/gone": {"title": "Gone", "status": 404},
                                "/stall": {"title": "Stall", "src": "stall.mp4"}},
                      "media": {"clip.mp4": {"file": ")" + media.file("clip.mp4") + R"("},
                                "stall.mp4": {"file": ")" + media.file("clip.mp4") + R"(", "mode": "stall"}}})");
    TempDir work;
    const std::string out = work.file("videos");
    CliResult r = CliDownload({"--host", site.Host(), "-o", out, site.Url("/clip"), site.Url("/gone")}, work, path)
                      .Wait();
    EXPECT_EQ(r.Status, 1) << r.Output;
    EXPECT_NE(r.Output.find("[1/2] Title: Clip\n"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("Total files: 2\nSuccessed: 1\nFailed: 1\nFile (2): yt-dlp could not download \"" +
                            site.Url("/gone") + "\": Unable to download webpage: HTTP Error 404: Not Found\n"),
              std::string::npos)
        << r.Output;
    EXPECT_NE(r.Output.find("Saved: " + out + "/Clip.mp4\n"), std::string::npos) << r.Output;
    EXPECT_EQ(ReadWholeFile(out + "/Clip.mp4"), ReadWholeFile(media.file("clip.mp4")));

    // Ctrl+C while the server stalls: yt-dlp goes, its hidden folder too.
    CliDownload stalled({"--host", site.Host(), "-o", out, site.Url("/stall")}, work, path);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (stalled.Output().find("Downloading...") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    stalled.Interrupt(SIGHUP);
    r = stalled.Wait();
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("Downloading..."), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("Total files: 1\nSuccessed: 0\nFailed: 1\n"), std::string::npos) << r.Output;
    EXPECT_EQ(Entries(out), (std::vector<std::string>{"Clip.mp4"}));
    EXPECT_EQ(ProcessesNaming(site.Url("/stall")), 0);

    // Two signals: no wait for an orderly end, and still nothing left behind.
    CliDownload twice({"--host", site.Host(), "-o", out, site.Url("/stall")}, work, path);
    while (twice.Output().find("Downloading...") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    twice.Interrupt(SIGTERM);
    twice.Interrupt(SIGTERM);
    r = twice.Wait();
    EXPECT_NE(r.Output.find("Downloading..."), std::string::npos) << r.Output;
    EXPECT_TRUE(r.Status == 1 || r.Signal == SIGTERM) << r.Output;
    EXPECT_EQ(Entries(out), (std::vector<std::string>{"Clip.mp4"}));
    EXPECT_EQ(ProcessesNaming(site.Url("/stall")), 0);

    // Without yt-dlp another site's link is refused, as before.
    r = CliDownload({"--host", site.Host(), "-o", out, site.Url("/clip")}, work).Wait();
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find(site.Url("/clip") + "\n\nThis is not a YouTube video link."), std::string::npos)
        << r.Output;
}

TEST(CliDownload, DamagedQualitySettingsStillDownload) {
    FakeSite site(kVideos);
    TempDir work;
    // Every quality slot of the saved preference holds a code that names none.
    std::string settings = "[System]\nPreferYouTubeQuality=1\n";
    for (const char* key : {"PreferYouTube1", "PreferYouTube2", "PreferYouTube3", "PreferYouTube4",
                            "PreferYouTube5", "PreferYouTube6", "PreferYouTube7", "PreferYouTube18"})
        settings += std::string(key) + "=200\n";
    std::filesystem::create_directories(work.file("config/Orvane Video Joiner"));
    work.write("config/Orvane Video Joiner/~system2.dat", settings);
    const std::string out = work.file("videos");
    const CliResult r = CliDownload({"--host", site.Host(), "-o", out, site.WatchLink("one")}, work).Wait();
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(Entries(out), (std::vector<std::string>{"First.mp4"}));
}
}  // namespace
