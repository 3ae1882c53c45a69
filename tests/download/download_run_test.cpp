// The download run against the fake video site, with the real transfer
// components and script host.
#include "download_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>

#include "dispatcher.h"
#include "fake_desktop.h"
#include "fake_site.h"
#include "info_script.h"
#include "product_config.h"
#include "recording_view.h"
#include "user_settings.h"
#include "video_site.h"
#include "win_thread.h"

namespace {
using namespace std::chrono_literals;

const char* const kVideos = R"({"videos": {
  "one":     {"title": "First", "streams": [{"itag": 18, "size": 3000}]},
  "noid":    {"title": "Lost", "id_link": false, "streams": [{"itag": 18}]},
  "three":   {"title": "Third", "streams": [{"itag": 22, "size": 70000}]},
  "same1":   {"title": "T", "streams": [{"itag": 18, "size": 100}]},
  "same2":   {"title": "T", "streams": [{"itag": 18, "size": 200}]},
  "chars":   {"title": "a/b:c?d", "streams": [{"itag": 18}]},
  "percent": {"title": "100% %d", "streams": [{"itag": 18}]},
  "ent":     {"title": "Tom &amp; Jerry&#39;s", "streams": [{"itag": 18}]},
  "notitle": {"title_tag": false, "streams": [{"itag": 35}]},
  "dot":     {"title": ".", "streams": [{"itag": 18, "size": 10}]},
  "dotdot":  {"title": "..", "streams": [{"itag": 18, "size": 10}]},
  "hidden":  {"title": "...Hidden", "streams": [{"itag": 18, "size": 10}]},
  "ctl":     {"title": "Line\r\nTotal files: 0\u001b[2J\u0007",
              "streams": [{"itag": 22, "mode": "404"}, {"itag": 18, "size": 10}]},
  "only18":  {"title": "Only18", "streams": [{"itag": 18, "size": 5000}]},
  "only5":   {"title": "Only5", "streams": [{"itag": 5}]},
  "both":    {"title": "Both", "streams": [{"itag": 5, "size": 600}, {"itag": 18, "size": 900}]},
  "falls":   {"title": "Falls", "streams": [{"itag": 37, "mode": "404"},
                                            {"itag": 22, "mode": "drop", "size": 100000},
                                            {"itag": 18, "size": 1234}]},
  "slow":    {"title": "Slow", "streams": [{"itag": 18, "mode": "slow", "size": 20000000,
                                            "chunk": 16384, "delay": 0.05}]},
  "local":   {"title": "Local", "streams": [{"itag": 18, "url": "file:///etc/hostname"}]},
  "empty":   {"title": "Empty", "streams": [{"itag": 18, "size": 0}]},
  "short":   {"title": "Short", "streams": [{"itag": 18, "mode": "drop", "size": 100000}]},
  "trickle": {"title": "Trickle", "streams": [{"itag": 18, "mode": "trickle", "size": 1000}]},
  "badtag":  {"title": "BadTag", "info_raw": "url_encoded_fmt_stream_map=itag%3D18%26url%3Dhttp%253A%252F%252F127.0.0.1%253A1%252Fx%26sig%3Da%2Citag%3Dzz%26url%3Dy%26sig%3Db"}
}})";

class DownloadRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { site_ = new FakeSite(kVideos); }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }

    void SetUp() override {
        config_.VideoSiteHost = site_->Host();
        settings_.OutputURLDir = out_.dir();
        settings_.PreferYouTubeQuality = true;
        std::copy(DefaultQualityOrder.begin(), DefaultQualityOrder.end(), settings_.PreferYouTube.begin());
        run_ = std::make_unique<TDownloadRun>(config_, settings_, view_, desktop_, &log_, dispatcher_);
        run_->AnalyzePause = 10ms;
        // The built-in path alone; yt-dlp's part is in ytdlp_run_test.
        run_->YtDlp.Program.clear();
        script_ = CreateInfoScript(*run_, nullptr);
    }
    void TearDown() override {
        script_.reset();
        run_.reset();
        TCustomWinThread::WaitForAllThreads(dispatcher_, 5s);
    }

    // Runs the links to the end; during() is called between dispatcher slices.
    void Run(const std::vector<std::string>& ids, const std::function<void()>& during = {}) {
        std::vector<std::string> links;
        for (const auto& id : ids) links.push_back(site_->WatchLink(id));
        run_->Start(links);
        ASSERT_TRUE(dispatcher_.runUntil(
            [&] {
                if (during) during();
                return !run_->Active();
            },
            60s));
    }

    std::vector<std::string> SavedNames() const {
        std::vector<std::string> names;
        for (const auto& p : run_->Result().DownloadedFiles) names.push_back(std::filesystem::path(p).filename().string());
        return names;
    }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(out_.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static FakeSite* site_;
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
FakeSite* DownloadRunTest::site_ = nullptr;

TEST_F(DownloadRunTest, ALinkWithoutVideoIdFailsAndTheRunGoesOn) {
    std::vector<std::string> captions;
    Run({"one", "noid", "three"});
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Finish.", "Failed.", "Finish."}));
    EXPECT_EQ(view_.Summaries, 1);
    EXPECT_EQ(view_.Total, 3);
    EXPECT_EQ(view_.Succeeded, 2);
    EXPECT_EQ(view_.Failed, 1);
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"First.mp4", "Third.mp4"}));
    EXPECT_EQ(std::filesystem::file_size(run_->Result().DownloadedFiles[1]), 70000u);
    const std::string body = ReadWholeFile(run_->Result().DownloadedFiles[0]);
    ASSERT_EQ(body.size(), 3000u);
    EXPECT_EQ(static_cast<unsigned char>(body[255]), 255);

    // A row goes through the statuses in order; its caption became the title
    // and its URL column the info address.
    const auto& row = view_.LastRows[0];
    EXPECT_EQ(row.Caption, "First");
    EXPECT_EQ(row.Sub[dcURL], InfoAddress(site_->Host(), "one"));
    EXPECT_EQ(row.Statuses, (std::vector<std::string>{"Waiting...", "Getting YouTube URLs, please wait...",
                                                      "Analyzing finished, ready to download...", "Downloading...",
                                                      "Finish."}));
    EXPECT_EQ(row.Sub[dcProgress], "100%");
    EXPECT_EQ(view_.LastRows[1].Sub[dcURL], InfoAddress(site_->Host(), ""));
    // Step6 is at rest again; nothing half-received is left.
    EXPECT_EQ(view_.Labels[dlStatus], "...");
    EXPECT_EQ(view_.Labels[dlProgressText], "0%");
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"First.mp4", "Third.mp4"}));
}

TEST_F(DownloadRunTest, FileNamesFromTitles) {
    Run({"same1", "same2", "chars", "percent", "ent", "notitle", "dot", "dotdot", "hidden"});
    // No title, or one of dots only, takes the video id: never a hidden ".flv",
    // "..mp4" or "...mp4"; leading dots go too.
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"T.mp4", "T(1).mp4", "a_b_c_d.mp4", "100% %d.mp4",
                                                      "Tom & Jerry's.mp4", "notitle.flv", "dot.mp4", "dotdot.mp4",
                                                      "Hidden.mp4"}));
    EXPECT_EQ(std::filesystem::file_size(out_.file("T(1).mp4")), 200u);
    // Again: every name takes a suffix, "%" included.
    Run({"percent", "notitle"});
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"100% %d(1).mp4", "notitle(1).flv"}));
}

TEST_F(DownloadRunTest, ServerTextsReachTheViewAndTheLogWithoutControlCharacters) {
    Run({"ctl"});
    const std::string clean = "Line  Total files: 0 [2J ";
    EXPECT_EQ(view_.LastRows[0].Caption, clean);
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Line  Total files_ 0 [2J .mp4"}));
    // The stream fails under another quality: the log line quotes the title.
    settings_.PreferYouTube = {3, 1, 2, 0, 4, 5, 6, 7};
    log_.Lines.clear();
    Run({"ctl"});
    ASSERT_FALSE(log_.Lines.empty());
    for (const auto& line : log_.Lines) {
        EXPECT_NE(line.find(clean), std::string::npos) << line;
        for (const char c : line) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << line;
    }
}

TEST_F(DownloadRunTest, QualityPreferenceAndFallback) {
    // Only itag 18 under the default order: the first attempt.
    Run({"only18"});
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Only18.mp4"}));
    EXPECT_EQ(view_.QualityTexts.front(), "[HQ18] - (MP4(H.264), 640 x 360, Stereo 44KHz AAC)");

    // Best Available: 37, 22 and 35 fail before 18 is saved.
    std::copy(BestAvailableQualityOrder.begin(), BestAvailableQualityOrder.end(), settings_.PreferYouTube.begin());
    view_.QualityTexts.clear();
    Run({"only18"});
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Only18(1).mp4"}));
    EXPECT_NE(std::find(view_.QualityTexts.begin(), view_.QualityTexts.end(), "[HQ35] failed, try next: [HQ18]"),
              view_.QualityTexts.end());

    // A 404 and a dropped connection are tried past; nothing half-received stays.
    Run({"falls"});
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Falls.mp4"}));
    EXPECT_EQ(std::filesystem::file_size(out_.file("Falls.mp4")), 1234u);

    // Without the preference only itag 5 is tried, saved as ".flv".
    settings_.PreferYouTubeQuality = false;
    Run({"both", "only18"});
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Both.flv"}));
    EXPECT_EQ(std::filesystem::file_size(out_.file("Both.flv")), 600u);
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Finish.", "Failed."}));

    // With it and only itag 5: eight attempts, then the link fails.
    settings_.PreferYouTubeQuality = true;
    std::copy(DefaultQualityOrder.begin(), DefaultQualityOrder.end(), settings_.PreferYouTube.begin());
    view_.QualityTexts.clear();
    Run({"only5"});
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Failed."}));
    EXPECT_TRUE(run_->Result().DownloadedFiles.empty());
    EXPECT_EQ(run_->Attempt(), 9);
    ASSERT_GE(view_.QualityTexts.size(), 2u);
    EXPECT_EQ(view_.QualityTexts[view_.QualityTexts.size() - 2], "[HQ34] failed, try next: [HQ37]");
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"Both.flv", "Falls.mp4", "Only18(1).mp4", "Only18.mp4"}));
}

TEST_F(DownloadRunTest, CancelDuringTheFirstDownload) {
    bool cancelled = false;
    Run({"slow", "one"}, [&] {
        if (!cancelled && view_.Labels[dlStatus] == "Downloading...") {
            cancelled = true;
            run_->Cancel();
        }
    });
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(view_.Total, 2);
    EXPECT_EQ(view_.Succeeded, 0);
    EXPECT_EQ(view_.Failed, 2);
    EXPECT_EQ(view_.Summaries, 1);
    // The part file is gone and nothing was saved.
    EXPECT_TRUE(FolderEntries().empty());
    ConvertDownloadedFiles(run_->Result().DownloadedFiles, nullptr, desktop_);
    ASSERT_EQ(desktop_.Boxes.size(), 1u);
    EXPECT_EQ(desktop_.Boxes[0].Text, "No file downloaded! Please try again.");
    // A new run works after the cancel.
    Run({"one"});
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"First.mp4"}));
}

TEST_F(DownloadRunTest, CancelBetweenTransfersEndsTheRun) {
    run_->AnalyzePause = 5s;
    bool cancelled = false;
    Run({"one"}, [&] {
        if (!cancelled && !run_->StreamMap().Empty()) {
            cancelled = true;
            run_->Cancel();
        }
    });
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(view_.Succeeded, 0);
    EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(DownloadRunTest, RequestsCarryTheSiteAgentAndAcceptType) {
    Run({"one"});
    FILE* p = ::popen(("curl -s " + site_->Url("/_log")).c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string log;
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) log.append(buf, n);
    ::pclose(p);
    EXPECT_NE(log.find("\"path\": \"/watch?v=one\", \"agent\": \"[Quillmarsh]\", \"accept\": \"*/*\""),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("/videoplayback?id=one&itag=18&ipbits=8&signature=SIG18one\", \"agent\": \"[Quillmarsh]\""),
              std::string::npos)
        << log;
}

TEST_F(DownloadRunTest, FailuresThatWouldStallTheRunFailTheLinkOnly) {
    // An output "folder" that is a file: nothing can be written.
    settings_.OutputURLDir = out_.write("not-a-folder") + "/";
    Run({"one", "three"});
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Failed.", "Failed."}));
    EXPECT_NE(log_.Lines.front().find("Cannot write into"), std::string::npos);

    // A script host that cannot run the script.
    settings_.OutputURLDir = out_.dir();
    run_->ExecuteScript = [](const std::vector<std::string>&) { throw std::runtime_error("engine missing"); };
    log_.Lines.clear();
    Run({"one", "three"});
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Failed.", "Failed."}));
    EXPECT_NE(log_.Lines.front().find("engine missing"), std::string::npos);

    // A disk that fills during the download (a file-size limit stands in for
    // it): the log names the write failure, not a lost connection, and no
    // partial file is left behind.
    run_->ExecuteScript = {};
    script_ = CreateInfoScript(*run_, nullptr);
    log_.Lines.clear();
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 20000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Run({"three", "one"});
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Failed.", "Finish."}));
    ASSERT_FALSE(log_.Lines.empty());
    EXPECT_NE(log_.Lines.front().find("cannot write into"), std::string::npos) << log_.Lines.front();
    EXPECT_NE(log_.Lines.front().find(std::strerror(EFBIG)), std::string::npos) << log_.Lines.front();
    for (const auto& line : log_.Lines) EXPECT_EQ(line.find("connection was lost"), std::string::npos) << line;
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"First.mp4", "not-a-folder"}));
}

TEST_F(DownloadRunTest, ABodyThatIsNotWholeFailsTheLinkAndLeavesNoFile) {
    // Under 1 KB/s for two seconds, as a trickle of a byte a second comes.
    run_->WinHTTPDownload.MinTransferRateWindowMs = 2000;
    Run({"empty", "short", "trickle", "one"});
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Failed.", "Failed.", "Failed.", "Finish."}));
    const auto& failures = run_->Result().Failures;
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_NE(failures[0].find("File (1): No stream of \"Empty\" could be downloaded: the server sent an empty file"),
              std::string::npos)
        << failures[0];
    EXPECT_NE(failures[1].find("the connection was lost after"), std::string::npos) << failures[1];
    EXPECT_NE(failures[2].find("the server sent too slowly"), std::string::npos) << failures[2];
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"First.mp4"}));
}

TEST_F(DownloadRunTest, ScriptErrorIsShownAndTheFilledSlotsStay) {
    Run({"badtag"});
    ASSERT_FALSE(desktop_.Boxes.empty());
    EXPECT_TRUE(desktop_.Boxes[0].Text.starts_with("Error: Line number ")) << desktop_.Boxes[0].Text;
    EXPECT_EQ(view_.Summaries, 1);
    // The slot of itag 18 was filled before the bad item; nothing listens at its address.
    EXPECT_EQ(view_.FinalStatuses(), (std::vector<std::string>{"Failed."}));
}

TEST(DownloadSafety, ReceivedTextsNeverRunCodeOrReadLocalFiles) {
    PlainDispatcher dispatcher;
    TempDir out;
    const std::string pwned = out.file("pwned");
    // The info text closes the literal and calls the host's file writer.
    std::string raw = "status=ok&x='; Host.WriteText('" + pwned + "', 'x'); '&y=1";
    const std::string config = R"({"videos": {"inject": {"title": "Inject", "info_raw": ")" + raw +
                               R"("}, "local": {"title": "Local", "streams": [{"itag": 18, "url": "file:///etc/hostname"}]}}})";
    {
        FakeSite site(config);
        TProductConfig product;
        product.VideoSiteHost = site.Host();
        TUserSettings settings;
        settings.OutputURLDir = out.dir();
        std::copy(DefaultQualityOrder.begin(), DefaultQualityOrder.end(), settings.PreferYouTube.begin());
        RecordingView view;
        FakeDesktop desktop;
        RecordingLog log;
        TDownloadRun run(product, settings, view, desktop, &log, dispatcher);
        run.AnalyzePause = 10ms;
        run.YtDlp.Program.clear();
        auto script = CreateInfoScript(run, nullptr);
        run.Start({site.WatchLink("inject"), site.WatchLink("local")});
        ASSERT_TRUE(dispatcher.runUntil([&] { return !run.Active(); }, 60s));
        EXPECT_FALSE(std::filesystem::exists(pwned));
        EXPECT_TRUE(desktop.Boxes.empty());  // no script error either: the text was plain data
        EXPECT_EQ(view.FinalStatuses(), (std::vector<std::string>{"Failed.", "Failed."}));
        EXPECT_TRUE(run.Result().DownloadedFiles.empty());
        EXPECT_TRUE(std::filesystem::is_empty(out.path()));
        bool refused = false;
        for (const auto& line : log.Lines) refused |= line.find("file:///etc/hostname") != std::string::npos;
        EXPECT_TRUE(refused);
    }
    TCustomWinThread::WaitForAllThreads(dispatcher, 5s);
}
}  // namespace
