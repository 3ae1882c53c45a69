// The download path through the window's widgets, against the fake video
// site: pasting, the quality group and dialog, the run on Step6, Step7 and
// the hand-over.
#include "../../ui/screenshot_folder.h"
#include "../../ui/ui_fixture.h"

#include "../../net/test_http_server.h"
#include "../fake_site.h"

#include "download_pages.h"
#include "form_download_settings.h"
#include "form_log.h"
#include "page_step1.h"
#include "form_youtube_hq.h"
#include "page_finish.h"
#include "page_step5.h"
#include "page_step6.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {
// The site's videos, and HTML5 pages of "other sites" for yt-dlp (their
// clips are made once, when yt-dlp is there to fetch them).
std::string SiteConfig() {
    static TempDir media;
    static const bool clips = !FindProgram(YtDlpProgramName).empty() &&
                              MakeTestClip(media.file("clip.mp4"), "320x240") &&
                              MakeTestClip(media.file("big.mp4"), "640x480");
    (void)clips;
    return R"({"videos": {
  "one":   {"title": "T", "streams": [{"itag": 18, "size": 3000}]},
  "noid":  {"title": "Lost", "id_link": false, "streams": [{"itag": 18}]},
  "two":   {"title": "T", "streams": [{"itag": 18, "size": 5000}]},
  "chars": {"title": "a/b:c?d", "streams": [{"itag": 5, "size": 100}, {"itag": 18}]},
  "slow":  {"title": "Slow", "streams": [{"itag": 18, "mode": "slow", "size": 20000000, "chunk": 16384, "delay": 0.05}]},
  "markup": {"title": "&lt;b&gt;Bold&lt;/b&gt;&lt;img src=x&gt;", "streams": [{"itag": 18, "mode": "slow", "size": 20000000, "chunk": 16384, "delay": 0.05}]}
 },
 "pages": {"/clip": {"title": "Garden Party", "src": "clip.mp4"},
           "/slowclip": {"title": "Harbour at Dusk", "src": "slow.mp4"},
           "/gone": {"title": "Gone", "status": 404}},
 "media": {"clip.mp4": {"file": ")" + media.file("clip.mp4") + R"("},
           "slow.mp4": {"file": ")" + media.file("big.mp4") + R"(", "mode": "slow", "chunk": 4096, "delay": 0.05}}})";
}

std::string Text(const QLabel* l) { return l->text().toStdString(); }

// The application with its real seams: the download pages, the clipboard
// watch and the script host.
struct DownloadWindow : ::testing::Test {
    void SetUp() override {
        site = std::make_unique<FakeSite>(SiteConfig());
        program = std::make_unique<ProgramFolder>(std::map<std::string, std::string>{
            {"VideoSiteHost", site->Host()}, {"YtDlpReleaseUrl", releases.url("/slow/")}});
        // The application's own yt-dlp goes into the test's folder.
        ::setenv("XDG_DATA_HOME", user.file("data").c_str(), 1);
        EnsureApp();
        log = std::make_unique<TFormLog>(services, TestDispatcher());
        form = std::make_unique<TFormMain>(TestDispatcher(), TestDeps(services, sounds, *log, *program, user));
        ASSERT_TRUE(form->FormCreate());
        form->show();
        pages = form->DownloadPages();
        ASSERT_NE(pages, nullptr);
        pages->Run().AnalyzePause = std::chrono::milliseconds(10);
        step5 = form->Step5();
        step6 = form->Step6();
        step7 = form->Step7();
        form->ActionNextExecute();  // the mode page starts on "Download video from YouTube"
        ASSERT_EQ(form->ActivePage(), wpStep5);
        step5->EditURLOutput->setText(QString::fromStdString(out.path()));
    }
    void TearDown() override {
        form.reset();
        TCustomWinThread::WaitForAllThreads(TestDispatcher(), std::chrono::seconds(5));
    }

    void Paste(const std::string& text) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
        ASSERT_TRUE(PumpUntil([&] { return step5->ActionURLPaste->isEnabled(); }));
        step5->ActionURLPaste->trigger();
    }
    std::vector<std::string> Links() const {
        std::vector<std::string> rows;
        for (int i = 0; i < step5->ListViewInputURL->topLevelItemCount(); ++i)
            rows.push_back(step5->ListViewInputURL->topLevelItem(i)->text(0).toStdString());
        return rows;
    }
    // The files the last run saved.
    const std::vector<std::string>& Downloaded() const { return pages->Run().Result().DownloadedFiles; }
    std::vector<std::string> Saved() const {
        std::vector<std::string> names;
        for (const auto& p : Downloaded()) names.push_back(std::filesystem::path(p).filename().string());
        return names;
    }

    std::unique_ptr<FakeSite> site;
    std::unique_ptr<ProgramFolder> program;
    TempDir user, out, releaseRoot;
    // yt-dlp's release folder, its files sent slowly.
    TestHttpServer releases{{"--root", releaseRoot.path(), "--routes",
                             std::string(OV_SOURCE_DIR) + "/tests/download/release_routes.py"}};
    FakeServices services;
    FakeSounds sounds;
    std::unique_ptr<TFormLog> log;
    std::unique_ptr<TFormMain> form;
    TDownloadPages* pages = nullptr;
    TPageStep5* step5 = nullptr;
    TPageStep6* step6 = nullptr;
    TPageFinish* step7 = nullptr;
};

TEST_F(DownloadWindow, PastingLinksIntoTheList) {
    const std::string a = site->WatchLink("one"), b = site->WatchLink("two");
    // Three CR LF lines, one of them empty: two rows.
    Paste(a + "\r\n\r\n" + b);
    EXPECT_EQ(Links(), (std::vector<std::string>{a, b}));
    EXPECT_TRUE(services.dialogs.empty());
    EXPECT_TRUE(step5->ActionURLEmpty->isEnabled());
    EXPECT_FALSE(step5->ActionURLRemove->isEnabled());

    // The same link twice in one paste: one row, one message.
    step5->ActionURLEmpty->trigger();
    EXPECT_FALSE(step5->ActionURLEmpty->isEnabled());
    services.dialogAnswers = {mrOk};
    Paste(a + "\n" + a);
    EXPECT_EQ(Links(), (std::vector<std::string>{a}));
    ASSERT_EQ(services.dialogs.size(), 1u);
    EXPECT_EQ(services.dialogs[0], "Orvane Video Joiner|" + a + "\n\r\n\rThis video is already in the download list.");

    // Capitals are a link; the lower-case twin is another row.
    step5->ActionURLEmpty->trigger();
    Paste("HTTP://" + site->Host() + "/WATCH?V=ONE\nhttp://" + site->Host() + "/watch?v=one");
    EXPECT_EQ(Links().size(), 2u);

    // The host without "http" is rejected; Cancel on the first of five rejected items stops.
    step5->ActionURLEmpty->trigger();
    services.dialogs.clear();
    services.dialogAnswers = {mrCancel};
    Paste(site->Host() + "/watch?v=one\nx\ny\nz\nw");
    EXPECT_TRUE(Links().empty());
    ASSERT_EQ(services.dialogs.size(), 1u);
    EXPECT_NE(services.dialogs[0].find("This is not a YouTube video link."), std::string::npos);

    // A typed link goes in by Return, which then does not leave the page; a
    // refused one stays in the field to be mended.
    QTest::keyClicks(step5->EditURLType, QString::fromStdString(site->Host() + "/watch?v=one"));
    QTest::keyClick(step5->EditURLType, Qt::Key_Return);
    EXPECT_TRUE(Links().empty());
    EXPECT_EQ(services.dialogs.size(), 2u);
    step5->EditURLType->home(false);
    QTest::keyClicks(step5->EditURLType, "http://");
    QTest::keyClick(step5->EditURLType, Qt::Key_Enter);
    EXPECT_EQ(Links().size(), 1u);
    EXPECT_TRUE(step5->EditURLType->text().isEmpty());
    EXPECT_EQ(form->ActivePage(), wpStep5);
    step5->ActionURLEmpty->trigger();

    // Remove the last row: the new last row is selected.
    Paste(a + "\n" + b);
    step5->ListViewInputURL->topLevelItem(1)->setSelected(true);
    ASSERT_TRUE(step5->ActionURLRemove->isEnabled());
    step5->ActionURLRemove->trigger();
    EXPECT_EQ(Links(), (std::vector<std::string>{a}));
    EXPECT_TRUE(step5->ListViewInputURL->topLevelItem(0)->isSelected());
    // Double-click opens the link.
    emit step5->ListViewInputURL->itemDoubleClicked(step5->ListViewInputURL->topLevelItem(0), 0);
    EXPECT_EQ(services.opened.back(), a);

    // An empty clipboard: Paste is off.
    QGuiApplication::clipboard()->clear();
    EXPECT_TRUE(PumpUntil([&] { return !step5->ActionURLPaste->isEnabled(); }));
}

TEST_F(DownloadWindow, QualityGroupAndDialog) {
    // A first start prefers the best quality.
    EXPECT_EQ(Text(step5->LabelYouTubeQuality),
              "Prefer: [HQ37] > [HQ22] > [HQ35] > [HQ18] > [HQ6] > [HQ34] > [HQ13] > [HQ17]");
    step5->CheckBoxYouTubeQuality->click();
    EXPECT_FALSE(step5->ButtonYouTubeQualityConfig->isEnabled());
    EXPECT_EQ(Text(step5->LabelYouTubeQuality), "[Default Quality - HQ5 - (FLV, 400 x 240, Mono 44KHz MP3)]");
    step5->CheckBoxYouTubeQuality->click();
    ASSERT_TRUE(step5->ButtonYouTubeQualityConfig->isEnabled());

    // Best Available, then OK.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TFormYouTubeHQ*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Prefer YouTube high quality");
        EXPECT_EQ(dialog->ListViewYouTubeHQ->topLevelItem(0)->text(0).toStdString(), "[HQ37]");
        dialog->ButtonDefault->click();
        EXPECT_EQ(dialog->ListViewYouTubeHQ->topLevelItem(0)->text(0).toStdString(), "[HQ18]");
        dialog->ButtonBestAvailable->click();
        dialog->ButtonOK->click();
    });
    step5->ButtonYouTubeQualityConfig->click();
    EXPECT_EQ(Text(step5->LabelYouTubeQuality),
              "Prefer: [HQ37] > [HQ22] > [HQ35] > [HQ18] > [HQ6] > [HQ34] > [HQ13] > [HQ17]");
    EXPECT_EQ(form->Settings().PreferYouTube[0], 7);

    // Moves, then Cancel: nothing changes.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TFormYouTubeHQ*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTreeWidget* list = dialog->ListViewYouTubeHQ;
        list->topLevelItem(0)->setSelected(true);
        dialog->ButtonUp->click();  // the top row stays
        EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), "[HQ37]");
        dialog->ButtonDown->click();
        EXPECT_EQ(list->topLevelItem(1)->text(0).toStdString(), "[HQ37]");
        EXPECT_TRUE(list->topLevelItem(1)->isSelected());
        list->clearSelection();
        list->topLevelItem(7)->setSelected(true);
        dialog->ButtonDown->click();  // the bottom row stays
        EXPECT_EQ(list->topLevelItem(7)->text(0).toStdString(), "[HQ17]");
        dialog->ButtonDefault->click();
        dialog->ButtonCancel->click();
    });
    step5->ButtonYouTubeQualityConfig->click();
    EXPECT_EQ(form->Settings().PreferYouTube[0], 7);
}

TEST_F(DownloadWindow, RunFromStep5ToStep7AndHandOver) {
    const std::string host = site->Host();
    Paste(site->WatchLink("one") + "\n" + site->WatchLink("noid") + "\n" + site->WatchLink("two") + "\n" +
          site->WatchLink("chars"));
    form->ActionNextExecute();
    ASSERT_EQ(form->ActivePage(), wpStep6);
    EXPECT_EQ(step6->ListViewURLDownload->topLevelItemCount(), 4);
    EXPECT_EQ(step6->ListViewURLDownload->topLevelItem(0)->text(1).toStdString(), "Waiting...");
    // Row statuses as the run moves on, seen from the list.
    std::map<int, std::string> finalStatus;
    QTreeWidget* list = step6->ListViewURLDownload;
    QObject::connect(list, &QTreeWidget::itemChanged, [&](QTreeWidgetItem* item, int column) {
        if (column == 1) finalStatus[list->indexOfTopLevelItem(item)] = item->text(1).toStdString();
    });
    ASSERT_TRUE(PumpUntil([&] { return form->ActivePage() == wpStep7; }, 60000));
    EXPECT_EQ(finalStatus[0], "Finish.");
    EXPECT_EQ(finalStatus[1], "Failed.");
    EXPECT_EQ(finalStatus[2], "Finish.");
    EXPECT_EQ(finalStatus[3], "Finish.");
    EXPECT_EQ(Text(step7->LabelTotalFiles), "4");
    EXPECT_EQ(Text(step7->LabelSucceeded), "3");
    EXPECT_EQ(Text(step7->LabelFailed), "1");
    EXPECT_EQ(Saved(), (std::vector<std::string>{"T.mp4", "T(1).mp4", "a_b_c_d.mp4"}));
    // The run emptied both lists and set Step6 at rest.
    EXPECT_EQ(step5->ListViewInputURL->topLevelItemCount(), 0);
    EXPECT_EQ(step6->ListViewURLDownload->topLevelItemCount(), 0);
    EXPECT_EQ(Text(step6->LabelURLStatus), "...");
    EXPECT_EQ(form->Settings().OutputURLDir, out.dir());

    // The hand-over opens Step1 with the saved files.
    std::vector<std::string> handed;
    pages->AddInputFiles = [&](const std::vector<std::string>& files) { handed = files; };
    step7->ButtonConvertDownloaded->click();
    EXPECT_EQ(form->ActivePage(), wpStep1);
    EXPECT_EQ(handed, Downloaded());
}

TEST_F(DownloadWindow, AnotherSitesPageThroughYtDlpToStep1) {
    if (pages->Run().YtDlp.Program.empty()) GTEST_SKIP() << "yt-dlp is not installed";
    // The start-up log names yt-dlp's version (asking it takes a Python
    // start, seconds on a busy machine).
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (const auto& line : log->Lines())
                if (line.starts_with("yt-dlp 2") && line.ends_with("downloads links of other sites")) return true;
            return false;
        },
        60000));
    Paste(site->Url("/clip") + "\n" + site->Url("/gone"));
    EXPECT_EQ(Links(), (std::vector<std::string>{site->Url("/clip"), site->Url("/gone")}));
    EXPECT_TRUE(services.dialogs.empty());
    form->ActionNextExecute();
    ASSERT_EQ(form->ActivePage(), wpStep6);
    ASSERT_TRUE(PumpUntil([&] { return form->ActivePage() == wpStep7; }, 120000));
    EXPECT_EQ(Text(step7->LabelTotalFiles), "2");
    EXPECT_EQ(Text(step7->LabelSucceeded), "1");
    EXPECT_EQ(Text(step7->LabelFailed), "1");
    EXPECT_EQ(Saved(), (std::vector<std::string>{"Garden Party.mp4"}));
    // yt-dlp's reason, on Step7 and in the log.
    const std::string reason = "File (2): yt-dlp could not download \"" + site->Url("/gone") +
                               "\": Unable to download webpage: HTTP Error 404: Not Found";
    EXPECT_TRUE(step7->MemoErrorLog->isVisible());
    EXPECT_EQ(step7->MemoErrorLog->toPlainText().toStdString(), reason);
    const auto logLines = log->Lines();
    EXPECT_NE(std::find(logLines.begin(), logLines.end(), reason.substr(10)), logLines.end());

    // The hand-over: Step1 probes the file yt-dlp fetched.
    step7->ButtonConvertDownloaded->click();
    EXPECT_EQ(form->ActivePage(), wpStep1);
    ASSERT_TRUE(PumpUntil([&] { return form->Step1()->RowCount() == 1 && !form->Step1()->Adding(); }, 30000));
    EXPECT_EQ(form->Step1()->JobInputs().at(0).FullName, Downloaded().at(0));
    EXPECT_GT(form->Step1()->JobInputs().at(0).Duration, 1000000);
    EXPECT_EQ(form->Step1()->JobInputs().at(0).Height, 240);
}

// A link fails with Debian's old yt-dlp: the window offers the update, and
// Yes opens the download settings, where the update runs with its progress.
TEST_F(DownloadWindow, AnOldYtDlpFailsAndTheUpdateIsOfferedShownAndUsed) {
    if (FindProgram(YtDlpProgramName).empty()) GTEST_SKIP() << "yt-dlp is not installed";
    ASSERT_TRUE(PumpUntil([&] { return !pages->Run().YtDlp.Version.empty(); }, 30000));
    const TYtDlpCopy system = pages->Run().YtDlpInUse();
    if (!YtDlpIsOlderThan(system.Version, YtDlpStaleDays, std::chrono::system_clock::now()))
        GTEST_SKIP() << "the system's yt-dlp is recent";
    // A stand-in release of 200 KB: about three seconds through the slow route.
    const std::string release = "#!/bin/sh\necho 2099.01.02\n#" + std::string(200000, 'x') + "\n";
    releaseRoot.write(YtDlpReleaseFileName, release);
    releaseRoot.write(YtDlpSumsFileName, Sha256Hex(release) + "  yt-dlp\n");
    const ScreenshotFolder shots;
    bool handled = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<TFormDownloadSettings*>(QApplication::activeModalWidget());
        if (!dialog || handled) return;
        handled = true;
        watch.stop();
        EXPECT_EQ(Text(dialog->LabelInUse), "yt-dlp " + system.Version);
        EXPECT_EQ(dialog->LabelPath->toolTip().toStdString(), system.Path);
        EXPECT_EQ(dialog->ButtonUpdate->text().toStdString(), "&Cancel update");
        ASSERT_TRUE(PumpUntil([&] { return dialog->ProgressBarUpdate->value() >= 30; }, 30000));
        EXPECT_TRUE(Text(dialog->LabelUpdateStatus).starts_with("Fetching yt-dlp... ")) << Text(dialog->LabelUpdateStatus);
        shots.Save(dialog->grab().toImage(), "download_settings_update.png");
        ASSERT_TRUE(PumpUntil([&] { return dialog->ButtonUpdate->text() == "&Update yt-dlp"; }, 30000));
        const std::string copy = user.file("data") + "/orvane-video-joiner/yt-dlp/yt-dlp-2099.01.02";
        EXPECT_EQ(Text(dialog->LabelUpdateStatus), "yt-dlp 2099.01.02 is installed (" + copy + ")");
        EXPECT_EQ(Text(dialog->LabelInUse), "yt-dlp 2099.01.02");
        EXPECT_EQ(dialog->LabelPath->toolTip().toStdString(), copy);
        EXPECT_EQ(dialog->LabelManaged->toolTip().toStdString(), "2099.01.02 (" + copy + ")");
        EXPECT_EQ(dialog->LabelSystem->toolTip().toStdString(), system.Version + " (" + system.Path + ")");
        EXPECT_EQ(dialog->ProgressBarUpdate->value(), 100);
        shots.Save(dialog->grab().toImage(), "download_settings.png");
        dialog->ButtonClose->click();
    });
    watch.start(20);
    services.answers = {true};
    Paste(site->Url("/gone"));
    form->ActionNextExecute();
    ASSERT_TRUE(PumpUntil([&] { return handled && !QApplication::activeModalWidget(); }, 120000));
    EXPECT_EQ(form->ActivePage(), wpStep7);
    ASSERT_EQ(services.questions.size(), 1u);
    EXPECT_EQ(services.questions[0], "yt-dlp could not download every link, and yt-dlp " + system.Version +
                                         " is more than 30 days old: sites change often, and a newer yt-dlp may "
                                         "read them.\n\nUpdate yt-dlp now?");
    // The next links go to the new copy, and the log says so.
    EXPECT_EQ(pages->Run().YtDlpInUse().Version, "2099.01.02");
    const auto lines = log->Lines();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) {
                               return l.starts_with("yt-dlp 2099.01.02 (") &&
                                      l.ends_with("yt-dlp-2099.01.02) downloads links of other sites");
                           }),
              lines.end());
}

TEST_F(DownloadWindow, CancelDuringTheFirstDownload) {
    Paste(site->WatchLink("slow") + "\n" + site->WatchLink("one"));
    form->ActionNextExecute();
    ASSERT_TRUE(PumpUntil([&] { return Text(step6->LabelURLStatus) == "Downloading..."; }, 30000));
    EXPECT_EQ(Text(step6->LabelQuality), "[HQ18] - (MP4(H.264), 640 x 360, Stereo 44KHz AAC)");
    services.answers = {true};
    form->ActionExitExecute();
    EXPECT_EQ(services.questions.back(), "Do you really want to cancel the downloading?");
    ASSERT_TRUE(PumpUntil([&] { return form->ActivePage() == wpStep7; }, 10000));
    EXPECT_EQ(Text(step7->LabelTotalFiles), "2");
    EXPECT_EQ(Text(step7->LabelSucceeded), "0");
    EXPECT_EQ(Text(step7->LabelFailed), "2");
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));
    step7->ButtonConvertDownloaded->click();
    EXPECT_EQ(form->ActivePage(), wpStep7);
    ASSERT_FALSE(services.dialogs.empty());
    EXPECT_EQ(services.dialogs.back(), "Orvane Video Joiner|No file downloaded! Please try again.");
}
TEST_F(DownloadWindow, TitlesFromTheSiteAreShownAsPlainText) {
    Paste(site->WatchLink("markup"));
    form->ActionNextExecute();
    ASSERT_TRUE(PumpUntil([&] { return Text(step6->LabelURLStatus) == "Downloading..."; }, 30000));
    // The tags are shown as the characters they are, not read as markup.
    EXPECT_EQ(Text(step6->LabelURLCurrentFile), "<b>Bold</b><img src=x>");
    EXPECT_EQ(step6->LabelURLCurrentFile->textFormat(), Qt::PlainText);
    services.answers = {true};
    form->ActionExitExecute();
    ASSERT_TRUE(PumpUntil([&] { return form->ActivePage() == wpStep7; }, 10000));
}
}  // namespace

// The download pages and the quality dialog, each picture checked to be saved
// and not blank; kept with OV_SCREENSHOT_DIR=folder download_e2e_tests --gtest_filter=*Screenshots
TEST_F(DownloadWindow, Screenshots) {
    const ScreenshotFolder shots;
    auto shoot = [&](QWidget* w, const char* name) {
        QCoreApplication::processEvents();
        shots.Save(w->grab().toImage(), name);
    };
    Paste(site->WatchLink("one") + "\n" + site->WatchLink("two") + "\n" + site->WatchLink("slow"));
    step5->ListViewInputURL->topLevelItem(1)->setSelected(true);
    shoot(form.get(), "step5.png");
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TFormYouTubeHQ*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->ListViewYouTubeHQ->topLevelItem(2)->setSelected(true);
        shoot(dialog, "quality_dialog.png");
        dialog->ButtonCancel->click();
    });
    step5->ButtonYouTubeQualityConfig->click();
    form->ActionNextExecute();
    ASSERT_TRUE(PumpUntil(
        [&] {
            return Text(step6->LabelURLStatus) == "Downloading..." && Text(step6->LabelURLCurrentFile) == "Slow" &&
                   step6->ProgressBarDownload->value() >= 15;
        },
        30000));
    shoot(form.get(), "step6.png");
    services.answers = {true};
    form->ActionExitExecute();
    ASSERT_TRUE(PumpUntil([&] { return form->ActivePage() == wpStep7; }, 10000));
    shoot(form.get(), "step7.png");

    // The same pages for a page of another site, through yt-dlp.
    if (pages->Run().YtDlp.Program.empty()) return;
    form->ActionNextExecute();  // Finish
    form->ActionNextExecute();  // the mode page
    Paste(site->Url("/slowclip") + "\n" + site->Url("/gone"));
    form->ActionNextExecute();
    ASSERT_TRUE(PumpUntil(
        [&] { return Text(step6->LabelURLStatus) == "Downloading..." && step6->ProgressBarDownload->value() >= 15; },
        60000));
    shoot(form.get(), "step6_ytdlp.png");
    ASSERT_TRUE(PumpUntil([&] { return form->ActivePage() == wpStep7; }, 120000));
    shoot(form.get(), "step7_ytdlp.png");
}
