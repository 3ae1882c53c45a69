// The download run with yt-dlp as its second engine, against HTML5 video
// pages of the local fake site (yt-dlp's generic extractor reads them without
// any other network). Skipped where yt-dlp is not installed.
#include "download_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "dispatcher.h"
#include "fake_desktop.h"
#include "fake_site.h"
#include "info_script.h"
#include "product_config.h"
#include "recording_view.h"
#include "user_settings.h"
#include "win_thread.h"

namespace {
using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string Config(const TempDir& media) {
    return R"({"videos": {
      "one":   {"title": "First", "streams": [{"itag": 18, "size": 3000}]},
      "html5": {"title": "Watch Html5", "streams": [], "video_tag": "small.mp4"}
    },
    "pages": {
      "/clip":    {"title": "My Clip", "src": "small.mp4"},
      "/two":     {"title": "Two Sizes", "sources": ["small.mp4", "big.mp4"]},
      "/gone":    {"title": "Gone", "status": 404, "src": "small.mp4"},
      "/novideo": {"title": "Words only"},
      "/stall":   {"title": "Stall", "src": "stall.mp4"},
      "/chars":   {"title": "a/b:c?d*e\"f<g>|h", "src": "small.mp4"}
    },
    "media": {
      "small.mp4": {"file": ")" + media.file("small.mp4") + R"(", "height": 240},
      "big.mp4":   {"file": ")" + media.file("big.mp4") + R"(", "height": 480},
      "stall.mp4": {"file": ")" + media.file("big.mp4") + R"(", "mode": "stall"}
    }})";
}

class YtDlpRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (FindProgram(YtDlpProgramName).empty()) return;
        PlainDispatcher dispatcher;
        version_ = WaitForYtDlpVersion(dispatcher, FindProgram(YtDlpProgramName));
        media_ = new TempDir;
        ASSERT_TRUE(MakeTestClip(media_->file("small.mp4"), "320x240"));
        ASSERT_TRUE(MakeTestClip(media_->file("big.mp4"), "640x480"));
        site_ = new FakeSite(Config(*media_));
    }
    static void TearDownTestSuite() {
        delete site_;
        delete media_;
        site_ = nullptr;
        media_ = nullptr;
    }

    void SetUp() override {
        if (!site_) GTEST_SKIP() << "yt-dlp is not installed";
        config_.VideoSiteHost = site_->Host();
        settings_.OutputURLDir = out_.dir();
        settings_.PreferYouTubeQuality = true;
        std::copy(DefaultQualityOrder.begin(), DefaultQualityOrder.end(), settings_.PreferYouTube.begin());
        // No copy of the machine's user: the one on PATH, with its version.
        ::setenv("XDG_DATA_HOME", out_.file("data").c_str(), 1);
        run_ = std::make_unique<TDownloadRun>(config_, settings_, view_, desktop_, &log_, dispatcher_);
        run_->UseYtDlp({FindProgram(YtDlpProgramName), version_});
        run_->AnalyzePause = 10ms;
        script_ = CreateInfoScript(*run_, nullptr);
        ASSERT_FALSE(run_->YtDlp.Program.empty());
    }
    void TearDown() override {
        script_.reset();
        run_.reset();
        TCustomWinThread::WaitForAllThreads(dispatcher_, 5s);
    }

    void Run(const std::vector<std::string>& links, const std::function<void()>& during = {}) {
        run_->Start(links);
        ASSERT_TRUE(dispatcher_.runUntil(
            [&] {
                if (during) during();
                return !run_->Active();
            },
            120s));
    }
    std::string Page(const std::string& path) const { return site_->Url(path); }
    std::vector<std::string> SavedNames() const {
        std::vector<std::string> names;
        for (const auto& p : run_->Result().DownloadedFiles) names.push_back(fs::path(p).filename().string());
        return names;
    }
    // Every entry of the output folder, hidden ones included.
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out_.path())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool SameBytes(const std::string& saved, const std::string& mediaName) const {
        return ReadWholeFile(saved) == ReadWholeFile(media_->file(mediaName));
    }
    std::string SiteLog() const {
        FILE* p = ::popen(("curl -s " + site_->Url("/_log")).c_str(), "r");
        std::string log;
        char buf[4096];
        while (size_t n = std::fread(buf, 1, sizeof buf, p)) log.append(buf, n);
        ::pclose(p);
        return log;
    }

    // The log line of a link that yt-dlp is given.
    std::string Trying(const std::string& link) const {
        return "Trying \"" + link + "\" with yt-dlp " + version_ + " (" + run_->YtDlp.Program + ")";
    }

    static TempDir* media_;
    static FakeSite* site_;
    static inline std::string version_;
    PlainDispatcher dispatcher_;
    TempDir out_;
    TProductConfig config_;
    TUserSettings settings_;
    RecordingView view_;
    FakeDesktop desktop_;
    RecordingLog log_;
    std::unique_ptr<TDownloadRun> run_;
    std::unique_ptr<TJavaScript> script_;
};
TempDir* YtDlpRunTest::media_ = nullptr;
FakeSite* YtDlpRunTest::site_ = nullptr;

TEST_F(YtDlpRunTest, AnHtml5PageOfAnotherSite) {
    std::vector<int> percents;
    Run({Page("/clip")}, [&] {
        if (!view_.Rows.empty()) percents.push_back(view_.ProgressBar);
    });
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Finish."}));
    // The page's one video is saved under the page's title, unnumbered.
    ASSERT_EQ(SavedNames(), (std::vector<std::string>{"My Clip.mp4"}));
    EXPECT_TRUE(SameBytes(run_->Result().DownloadedFiles[0], "small.mp4"));
    const auto& row = view_.LastRows[0];
    EXPECT_EQ(row.Caption, "My Clip");
    EXPECT_EQ(row.Sub[dcURL], Page("/clip"));
    EXPECT_EQ(row.Sub[dcProgress], "100%");
    EXPECT_EQ(row.Statuses, (std::vector<std::string>{"Waiting...", "Getting YouTube URLs, please wait...",
                                                      "Analyzing finished, ready to download...", "Downloading...",
                                                      "Finish."}));
    EXPECT_NE(std::find(percents.begin(), percents.end(), 100), percents.end());
    EXPECT_EQ(view_.QualityTexts.front(), "[0] - (MP4)");
    EXPECT_EQ(view_.Succeeded, 1);
    EXPECT_TRUE(view_.Failures.empty());
    EXPECT_EQ(log_.Lines, (std::vector<std::string>{Trying(Page("/clip"))}));
    EXPECT_FALSE(run_->YtDlpUpdateAdvised());
    // Only the file: the hidden temporary folder is gone.
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"My Clip.mp4"}));
}

TEST_F(YtDlpRunTest, TheQualityPreferenceChoosesAmongTheSources) {
    // Default order: MP4 at 360 or below first, so the 240 source.
    Run({Page("/two")});
    ASSERT_EQ(run_->Result().DownloadedFiles.size(), 1u);
    EXPECT_TRUE(SameBytes(run_->Result().DownloadedFiles[0], "small.mp4"));

    // Best Available: the biggest picture.
    std::copy(BestAvailableQualityOrder.begin(), BestAvailableQualityOrder.end(), settings_.PreferYouTube.begin());
    Run({Page("/two")});
    ASSERT_EQ(run_->Result().DownloadedFiles.size(), 1u);
    EXPECT_TRUE(SameBytes(run_->Result().DownloadedFiles[0], "big.mp4"));
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Two Sizes(1).mp4"}));

    // [HQ22] first: MP4 at 720, whose next lower height on offer is 480.
    settings_.PreferYouTube = {3, 1, 2, 0, 4, 5, 6, 7};
    Run({Page("/two")});
    ASSERT_EQ(run_->Result().DownloadedFiles.size(), 1u);
    EXPECT_TRUE(SameBytes(run_->Result().DownloadedFiles[0], "big.mp4"));
    EXPECT_NE(std::find(view_.QualityTexts.begin(), view_.QualityTexts.end(), "[480p] - (MP4, 480p)"),
              view_.QualityTexts.end());

    // Without the preference: no FLV on offer, so the smallest picture.
    settings_.PreferYouTubeQuality = false;
    Run({Page("/two")});
    ASSERT_EQ(run_->Result().DownloadedFiles.size(), 1u);
    EXPECT_TRUE(SameBytes(run_->Result().DownloadedFiles[0], "small.mp4"));

    // A preference of FLV and 3GP only (a hand-edited settings file): nothing
    // fits, and yt-dlp says so.
    settings_.PreferYouTubeQuality = true;
    settings_.PreferYouTube = {0, 2, 4, 99, 99, 99, 99, 99};
    Run({Page("/two")});
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Failed."}));
    EXPECT_EQ(view_.Failures,
              (std::vector<std::string>{"File (1): yt-dlp could not download \"" + Page("/two") +
                                        "\": Requested format is not available"}));
}

TEST_F(YtDlpRunTest, FailuresShowYtDlpsReasonAndTheRunGoesOn) {
    Run({Page("/gone"), Page("/novideo"), Page("/clip")});
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Failed.", "Failed.", "Finish."}));
    EXPECT_EQ(view_.Total, 3);
    EXPECT_EQ(view_.Failed, 2);
    ASSERT_EQ(view_.Failures.size(), 2u);
    EXPECT_EQ(view_.Failures[0], "File (1): yt-dlp could not download \"" + Page("/gone") +
                                     "\": Unable to download webpage: HTTP Error 404: Not Found");
    EXPECT_EQ(view_.Failures[1], "File (2): yt-dlp could not download \"" + Page("/novideo") +
                                     "\": Unsupported URL: " + Page("/novideo"));
    ASSERT_EQ(log_.Lines.size(), 5u);
    EXPECT_EQ(log_.Lines[0], Trying(Page("/gone")));
    EXPECT_EQ("File (1): " + log_.Lines[1], view_.Failures[0]);
    EXPECT_EQ(run_->Result().YtDlpFailures, 2);
    // Debian 12's yt-dlp is years old: the window offers the update.
    EXPECT_EQ(run_->YtDlpUpdateAdvised(), YtDlpIsOlderThan(version_, YtDlpStaleDays, std::chrono::system_clock::now()));
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"My Clip.mp4"}));
}

TEST_F(YtDlpRunTest, CancelWhileTheServerStallsLeavesNothing) {
    std::string temp;
    bool cancelled = false;
    Run({Page("/stall"), Page("/clip")}, [&] {
        if (temp.empty()) temp = run_->YtDlp.TempFolder();
        if (!cancelled && view_.Labels[dlStatus] == "Downloading...") {
            cancelled = true;
            run_->Cancel();
        }
    });
    ASSERT_TRUE(cancelled);
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(view_.Summaries, 1);
    EXPECT_EQ(view_.Total, 2);
    EXPECT_EQ(view_.Succeeded, 0);
    EXPECT_EQ(view_.Failed, 2);
    EXPECT_TRUE(view_.Failures.empty());
    EXPECT_TRUE(FolderEntries().empty());
    // No process runs in the temporary folder any more: yt-dlp and its
    // helpers are gone.
    for (const auto& proc : fs::directory_iterator("/proc")) {
        std::error_code ec;
        const fs::path cwd = fs::read_symlink(proc.path() / "cwd", ec);
        if (!ec) {
            EXPECT_NE(cwd.string(), temp) << proc.path();
        }
    }
    // A later run works.
    Run({Page("/clip")});
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"My Clip.mp4"}));
}

TEST_F(YtDlpRunTest, TitlesTheFileSystemRefuses) {
    Run({Page("/chars"), Page("/chars")});
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"a_b_c_d_e_f_g__h.mp4", "a_b_c_d_e_f_g__h(1).mp4"}));
    EXPECT_EQ(view_.LastRows[0].Caption, "a/b:c?d*e\"f<g>|h");
}

TEST_F(YtDlpRunTest, TheSitesLinksStayOnTheBuiltInPathUnlessItCannotReadThem) {
    // The stand-in's watch page: the built-in path, with its agent.
    const size_t before = SiteLog().size();
    Run({site_->WatchLink("one")});
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"First.mp4"}));
    EXPECT_TRUE(log_.Lines.empty());
    std::string requests = SiteLog().substr(before);
    EXPECT_NE(requests.find("/videoplayback?id=one&itag=18&ipbits=8&signature=SIG18one\", \"agent\": \"[Quillmarsh]\""),
              std::string::npos)
        << requests;
    EXPECT_EQ(requests.find("/media/"), std::string::npos);

    // A watch page without a stream the built-in path can fetch: yt-dlp
    // reads it, and one log line says so.
    Run({site_->WatchLink("html5")});
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Finish."}));
    ASSERT_EQ(SavedNames(), (std::vector<std::string>{"Watch Html5.mp4"}));
    EXPECT_TRUE(SameBytes(run_->Result().DownloadedFiles[0], "small.mp4"));
    ASSERT_EQ(log_.Lines.size(), 2u);
    EXPECT_EQ(log_.Lines[0], "No stream of \"Watch Html5\" could be downloaded");
    EXPECT_EQ(log_.Lines[1], Trying(site_->WatchLink("html5")));
    requests = SiteLog();
    EXPECT_NE(requests.find("/media/small.mp4"), std::string::npos);

    // Without yt-dlp the same link fails, and another site's link fails at once.
    run_->YtDlp.Program.clear();
    log_.Lines.clear();
    Run({site_->WatchLink("html5"), Page("/clip")});
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Failed.", "Failed."}));
    ASSERT_EQ(view_.Failures.size(), 2u);
    EXPECT_EQ(view_.Failures[0], "File (1): No stream of \"Watch Html5\" could be downloaded");
    EXPECT_EQ(view_.Failures[1],
              "File (2): yt-dlp could not download \"" + Page("/clip") + "\": yt-dlp is not installed");
}

}  // namespace
