// The wizard driven through its Next, Back and Exit tables.
#include "ui_fixture.h"
#include "screenshot_folder.h"

#include "catalogue.h"
#include "planned_join.h"
#include "conversion_pages.h"
#include "ff_libraries.h"
#include "format_choice.h"
#include "image_buttons.h"
#include "ini_file.h"
#include "page_finish.h"
#include "page_mode.h"
#include "input_list_model.h"
#include "page_step1.h"
#include "page_step2.h"
#include "page_step3.h"
#include "page_step5.h"
#include "page_step6.h"
#include "util_funcs.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

std::string Text(const QLabel* l) { return l->text().toStdString(); }
// A caption as shown: the Alt key's "&" left out.
std::string Text(const QAbstractButton* b) { return QString(b->text()).remove('&').toStdString(); }

struct Wizard : ::testing::Test {
    void Start(const std::map<std::string, std::string>& config = {}) {
        app = std::make_unique<AppUnderTest>(config);
        ASSERT_TRUE(app->Start());
        app->form->show();
        f = app->form.get();
    }
    void AddInputRow() { f->Step1()->Model()->Append({}); }
    void AddLink(const char* link) { new QTreeWidgetItem(f->Step5()->ListViewInputURL, QStringList{link}); }
    // Walks from the first page to Step2 with one input file.
    void GoToStep2() {
        if (f->ActivePage() == wpMode) {
            f->PageMode()->RadioConvert()->setChecked(true);
            f->ActionNextExecute();
        }
        AddInputRow();
        f->ActionNextExecute();
        ASSERT_EQ(f->ActivePage(), wpStep2);
    }
    TImageButton* Back() const { return f->BottomButton(2); }
    TImageButton* Next() const { return f->BottomButton(3); }
    TImageButton* Exit() const { return f->BottomButton(4); }

    std::unique_ptr<AppUnderTest> app;
    TestFormMain* f = nullptr;
};

TEST_F(Wizard, CaptionsAndStatesOfAllEightPages) {
    Start();
    struct Row {
        TWizardPage page;
        const char* title;
        bool backOn;
        const char* next;
        bool nextOn;
        const char* exit;
    };
    const Row rows[] = {
        {wpMode, "Welcome to Orvane Video Joiner! What do you want to do?", false, "Next", true, "Exit"},
        {wpStep1, "Select the file(s) you want to convert. Use \"Move Up\" and \"Move Down\" to change the order.",
         true, "Next", true, "Cancel"},
        {wpStep2, "Select an output mode and specify a path for the output files.", true, "Join Now", true, "Cancel"},
        {wpStep3, "Conversion information.", false, "Next", false, "Cancel"},
        {wpStep4, "The conversion is finished.", false, "Finish", true, "Exit"},
        {wpStep5, "Copy a YouTube link from your browser address bar and Paste here", true, "Download", true,
         "Cancel"},
        {wpStep6, "Downloading information.", false, "Next", false, "Cancel"},
        {wpStep7, "The downloading is finished.", false, "Finish", true, "Exit"},
    };
    for (const Row& r : rows) {
        f->SetActivePage(r.page);  // the page control's change updates the texts
        EXPECT_EQ(Text(f->LabelTitle()), r.title);
        EXPECT_EQ(Text(Back()), "Back");
        EXPECT_EQ(Back()->isEnabled(), r.backOn) << r.page;
        EXPECT_EQ(Text(Next()), r.next);
        EXPECT_EQ(Next()->isEnabled(), r.nextOn) << r.page;
        EXPECT_EQ(Text(Exit()), r.exit);
        EXPECT_TRUE(Exit()->isEnabled());
    }
    // The finish pages carry the title.
    EXPECT_EQ(Text(f->Step4()->LabelFinished), "Orvane Video Joiner has finished the conversion.");
    EXPECT_EQ(Text(f->Step7()->LabelFinished), "Orvane Video Joiner has finished the downloading.");
    EXPECT_EQ(Text(f->Step7()->LabelClosing),
              "To convert other files, click \"Finish\". Click \"Exit\" to quit Orvane Video Joiner.");
    EXPECT_EQ(Text(f->Step7()->ButtonConvertDownloaded), "Convert the downloaded file(s) now! ");
}

TEST_F(Wizard, WithoutDownloadStep1IsTheFirstPageAndExitQuits) {
    Start({{"Download", "true"}, {"Merge", "Yes"}});  // only "True" and "Yes" set a flag
    EXPECT_EQ(f->ActivePage(), wpStep1);
    EXPECT_FALSE(Back()->isEnabled());
    EXPECT_EQ(Text(Exit()), "Exit");
    f->ActionBackExecute();  // disabled: nothing, no question
    EXPECT_TRUE(app->services.questions.empty());

    GoToStep2();
    EXPECT_EQ(Text(Next()), "Join Now");
    f->ActionBackExecute();
    EXPECT_EQ(f->ActivePage(), wpStep1);

    app->services.answers = {false, true};
    f->ActionExitExecute();
    EXPECT_TRUE(f->isVisible());
    f->ActionExitExecute();
    EXPECT_EQ(app->services.questions, (std::vector<std::string>{"Are you sure to quit now?", "Are you sure to quit now?"}));
    EXPECT_FALSE(f->isVisible());
}

TEST_F(Wizard, NextFromModeStep1AndStep2) {
    Start({{"Merge", "False"}});
    EXPECT_EQ(f->ActivePage(), wpMode);
    EXPECT_TRUE(f->PageMode()->RadioDownload()->isChecked());
    app->settings().OutputURLDir = "/downloads/here/";
    f->ActionNextExecute();
    EXPECT_EQ(f->ActivePage(), wpStep5);
    EXPECT_EQ(f->Step5()->EditURLOutput->text().toStdString(), "/downloads/here/");
    EXPECT_TRUE(f->Step5()->CheckBoxYouTubeQuality->isChecked());
    EXPECT_TRUE(f->Step5()->ButtonYouTubeQualityConfig->isEnabled());

    app->services.answers = {true};
    f->ActionBackExecute();
    ASSERT_EQ(f->ActivePage(), wpMode);
    f->PageMode()->ImageConvertVideoClick();
    EXPECT_TRUE(f->PageMode()->RadioConvert()->isChecked());
    f->ActionNextExecute();
    EXPECT_EQ(f->ActivePage(), wpStep1);

    // Step1 refuses an empty list.
    f->ActionNextExecute();
    EXPECT_EQ(f->ActivePage(), wpStep1);
    EXPECT_EQ(app->services.infos, (std::vector<std::string>{"Please add the video files you want to convert"}));

    // Step2 shows the stored folder; Next creates two missing levels and starts the run.
    const std::string out = app->user.dir() + "out/a/b";
    app->settings().OutputFileDir = out;
    AddInputRow();
    f->ActionNextExecute();
    ASSERT_EQ(f->ActivePage(), wpStep2);
    EXPECT_EQ(Text(Next()), "Convert");
    EXPECT_EQ(f->Step2()->EditOutputDir()->text().toStdString(), out);
    app->settings().PlayASoundWhenFinished = true;
    f->ActionNextExecute();
    EXPECT_EQ(f->ActivePage(), wpStep3);
    EXPECT_EQ(app->settings().OutputFileDir, out + "/");
    EXPECT_TRUE(DirectoryExists(out));
    EXPECT_TRUE(f->Step3()->CheckBoxPlayASound->isChecked());
    EXPECT_FALSE(f->Step3()->CheckBoxShutdown->isChecked());
    // The run starts from the message loop, after the page is shown.
    EXPECT_EQ(std::count(f->calls.begin(), f->calls.end(), "StartConversion"), 0);
    EXPECT_TRUE(PumpUntil([&] { return std::count(f->calls.begin(), f->calls.end(), "StartConversion") == 1; }));

    // The check boxes write their flags at once.
    f->Step3()->CheckBoxShutdown->click();
    EXPECT_TRUE(app->settings().ShutDownWhenFinished);
    f->Step3()->CheckBoxPlayASound->click();
    EXPECT_FALSE(app->settings().PlayASoundWhenFinished);
    // Next is disabled during the run.
    f->ActionNextExecute();
    EXPECT_EQ(f->ActivePage(), wpStep3);
}

TEST_F(Wizard, Step2StoresPresetsButNotAFolderThatFails) {
    Start();
    const std::string usable = app->settings().OutputFileDir;
    GoToStep2();
    const std::string blocker = app->user.write("blocker");
    f->Step2()->EditOutputDir()->setText(QString::fromStdString(blocker + "/sub"));
    f->Step2()->FormatChoice()->PresetList(fcVideo, vfAVI)->setCurrentIndex(7);
    f->ActionNextExecute();
    EXPECT_EQ(f->ActivePage(), wpStep2);
    EXPECT_EQ(app->services.infos.back(),
              "Fail to create directory! Please check if output folder have the right format!");
    // The folder that could not be made does not come back on the next start.
    EXPECT_EQ(app->settings().OutputFileDir, usable);
    EXPECT_EQ(app->settings().PresetOf(fcVideo, vfAVI), 7);

    // An empty field is never the root folder, and a relative one is refused;
    // neither is stored: the last usable folder stays for the next start.
    for (const char* text : {"", "relative/folder"}) {
        f->Step2()->EditOutputDir()->setText(text);
        f->ActionNextExecute();
        EXPECT_EQ(f->ActivePage(), wpStep2) << text;
        EXPECT_EQ(app->settings().OutputFileDir, usable) << text;
    }
    EXPECT_EQ(app->services.infos.size(), 3u);
    EXPECT_EQ(std::count(f->calls.begin(), f->calls.end(), "StartConversion"), 0);
}

TEST_F(Wizard, BackFromStep2KeepsTheEditsUnstoredUntilTheWizardStartsOver) {
    Start();
    app->settings().OutputFileDir = "/stored/";
    GoToStep2();
    f->Step2()->EditOutputDir()->setText("/typed/but/not/stored");
    f->Step2()->FormatChoice()->PresetList(fcVideo, vfAVI)->setCurrentIndex(0);
    f->ActionBackExecute();
    EXPECT_TRUE(app->services.questions.empty());
    EXPECT_EQ(f->ActivePage(), wpStep1);
    EXPECT_EQ(app->settings().OutputFileDir, "/stored/");
    EXPECT_EQ(app->settings().PresetOf(fcVideo, vfAVI), 3);
    // The next visit finds the page as the user left it.
    f->ActionNextExecute();
    EXPECT_EQ(f->Step2()->EditOutputDir()->text().toStdString(), "/typed/but/not/stored");
    EXPECT_EQ(f->Step2()->FormatChoice()->PresetList(fcVideo, vfAVI)->currentIndex(), 0);
    // Starting over shows the stored values again.
    app->services.answers = {true};
    f->ActionExitExecute();
    GoToStep2();
    EXPECT_EQ(f->Step2()->EditOutputDir()->text().toStdString(), "/stored/");
    EXPECT_EQ(f->Step2()->FormatChoice()->PresetList(fcVideo, vfAVI)->currentIndex(), 3);
}

TEST_F(Wizard, Step1BackAndExitAskAndEmptyTheList) {
    Start();
    f->PageMode()->RadioConvert()->setChecked(true);
    f->ActionNextExecute();
    AddInputRow();
    AddInputRow();

    app->services.answers = {false};
    f->ActionBackExecute();
    EXPECT_EQ(f->ActivePage(), wpStep1);
    EXPECT_EQ(f->Step1()->RowCount(), 2);
    app->services.answers = {true};
    f->ActionBackExecute();
    EXPECT_EQ(f->ActivePage(), wpMode);
    EXPECT_EQ(f->Step1()->RowCount(), 0);

    f->ActionNextExecute();  // the convert radio stays selected
    ASSERT_EQ(f->ActivePage(), wpStep1);
    AddInputRow();
    app->services.answers = {false, true};
    f->ActionExitExecute();
    EXPECT_EQ(f->Step1()->RowCount(), 1);
    f->ActionExitExecute();
    EXPECT_EQ(f->ActivePage(), wpMode);
    EXPECT_EQ(f->Step1()->RowCount(), 0);
    EXPECT_EQ(app->services.questions,
              (std::vector<std::string>{"Are you sure to cancel and go back?", "Are you sure to cancel and go back?",
                                        "Are you sure to cancel?", "Are you sure to cancel?"}));
    EXPECT_TRUE(f->isVisible());
}

TEST_F(Wizard, Step2ExitCancelsAndStep3ExitStopsTheRun) {
    Start();
    GoToStep2();
    app->services.answers = {false, true};
    f->ActionExitExecute();
    EXPECT_EQ(f->ActivePage(), wpStep2);
    f->ActionExitExecute();
    EXPECT_EQ(f->ActivePage(), wpMode);
    EXPECT_EQ(f->Step1()->RowCount(), 0);

    GoToStep2();
    f->Step2()->EditOutputDir()->setText(QString::fromStdString(app->user.dir()));
    f->ActionNextExecute();
    ASSERT_EQ(f->ActivePage(), wpStep3);
    app->services.answers = {false, true};
    f->ActionExitExecute();
    EXPECT_EQ(std::count(f->calls.begin(), f->calls.end(), "StopConversion"), 0);
    f->ActionExitExecute();
    EXPECT_EQ(std::count(f->calls.begin(), f->calls.end(), "StopConversion"), 1);
    EXPECT_EQ(app->services.questions.back(), "Do you really want to cancel the conversion?");
    EXPECT_EQ(f->ActivePage(), wpStep3);  // the run's end shows the summary
}

TEST_F(Wizard, SummaryFinishAndQuitFromStep4) {
    Start();
    GoToStep2();
    f->SetActivePage(wpStep3);
    TConversionResult result;
    result.TotalFiles = 3;
    result.SucceededFiles = 2;
    result.ErrorList = {"File (1): broken"};
    f->ShowConversionSummary(result);
    EXPECT_EQ(f->ActivePage(), wpStep4);
    EXPECT_EQ(Text(f->Step4()->LabelTotalFiles), "3");
    EXPECT_EQ(Text(f->Step4()->LabelSucceeded), "2");
    EXPECT_EQ(Text(f->Step4()->LabelFailed), "1");
    EXPECT_TRUE(f->Step4()->MemoErrorLog->isVisible());
    EXPECT_EQ(f->Step4()->MemoErrorLog->toPlainText().toStdString(), "File (1): broken");
    EXPECT_EQ(Text(Next()), "Finish");

    app->settings().OutputFileDir = "/videos/out/";
    f->LabelOpenFolderClick();
    EXPECT_EQ(app->services.opened.back(), "/videos/out/");

    app->services.answers = {false};
    f->ActionExitExecute();
    EXPECT_EQ(app->services.questions.back(), "Are you sure to quit now?");
    EXPECT_TRUE(f->isVisible());

    f->ActionNextExecute();  // Finish
    EXPECT_EQ(f->ActivePage(), wpMode);
    EXPECT_EQ(f->Step1()->RowCount(), 0);
    EXPECT_EQ(std::count(f->calls.begin(), f->calls.end(), "ClearConversionList"), 1);

    result.ErrorList.clear();
    result.SucceededFiles = 3;
    f->ShowConversionSummary(result);
    EXPECT_FALSE(f->Step4()->MemoErrorLog->isVisible());
    app->services.answers = {true};
    f->ActionExitExecute();
    EXPECT_FALSE(f->isVisible());
}

TEST_F(Wizard, DownloadPagesNextBackAndExit) {
    Start();
    f->ActionNextExecute();
    ASSERT_EQ(f->ActivePage(), wpStep5);

    // The empty list is reported even with an unusable folder.
    f->Step5()->EditURLOutput->setText("");
    f->Step5()->CheckBoxYouTubeQuality->setChecked(false);
    f->ActionNextExecute();
    EXPECT_EQ(app->services.infos.back(), "Please Copy & Paste the YouTube video links you want to download.");
    EXPECT_EQ(f->ActivePage(), wpStep5);
    EXPECT_FALSE(app->settings().PreferYouTubeQuality);
    EXPECT_FALSE(f->Step5()->ButtonYouTubeQualityConfig->isEnabled());

    AddLink("http://www.youtube.com/watch?v=abc");
    f->ActionNextExecute();
    EXPECT_EQ(app->services.infos.back(),
              "Fail to create directory! Please check if output folder have the right format!");
    EXPECT_EQ(f->ActivePage(), wpStep5);

    app->services.answers = {false};
    f->ActionBackExecute();
    EXPECT_EQ(f->Step5()->LinkCount(), 1);
    app->services.answers = {false, true};
    f->ActionExitExecute();
    EXPECT_EQ(f->Step5()->LinkCount(), 1);
    f->ActionExitExecute();
    EXPECT_EQ(f->ActivePage(), wpMode);
    EXPECT_EQ(f->Step5()->LinkCount(), 0);

    f->ActionNextExecute();
    AddLink("http://www.youtube.com/watch?v=abc");
    const std::string folder = app->user.dir() + "downloads/new";
    f->Step5()->EditURLOutput->setText(QString::fromStdString(folder));
    f->ActionNextExecute();
    EXPECT_EQ(f->ActivePage(), wpStep6);
    EXPECT_EQ(app->settings().OutputURLDir, folder + "/");
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_EQ(f->calls.back(), "StartDownloadRun");
    EXPECT_EQ(f->calls[f->calls.size() - 2], "ClearDownloadedFiles");

    app->services.answers = {false, true};
    f->ActionExitExecute();
    EXPECT_EQ(std::count(f->calls.begin(), f->calls.end(), "AbortTransfers"), 0);
    f->ActionExitExecute();
    EXPECT_EQ(std::count(f->calls.begin(), f->calls.end(), "AbortTransfers"), 1);
    EXPECT_EQ(app->services.questions.back(), "Do you really want to cancel the downloading?");

    f->SetActivePage(wpStep7);
    new QTreeWidgetItem(f->Step6()->ListViewURLDownload, QStringList{"video"});
    f->LabelURLOpenFolderClick();
    EXPECT_EQ(app->services.opened.back(), folder + "/");
    f->ActionNextExecute();  // Finish
    EXPECT_EQ(f->ActivePage(), wpMode);
    EXPECT_EQ(f->Step5()->LinkCount(), 0);
    EXPECT_EQ(f->Step6()->ListViewURLDownload->topLevelItemCount(), 0);

    f->SetActivePage(wpStep7);
    app->services.answers = {true};
    f->ActionExitExecute();
    EXPECT_FALSE(f->isVisible());
}

TEST_F(Wizard, SelectFolderButtons) {
    Start();
    GoToStep2();
    app->services.browseOk = false;
    f->ButtonSelectDirClick();
    EXPECT_EQ(app->settings().OutputFileDir, app->user.dir() + "Documents");
    app->services.browseOk = true;
    app->services.browseFolder = "/media/videos";
    f->ButtonSelectDirClick();
    EXPECT_EQ(app->settings().OutputFileDir, "/media/videos/");
    EXPECT_EQ(f->Step2()->EditOutputDir()->text().toStdString(), "/media/videos/");

    f->ButtonURLSelectClick();
    EXPECT_EQ(app->settings().OutputURLDir, "/media/videos/");
    EXPECT_EQ(f->Step5()->EditURLOutput->text().toStdString(), "/media/videos/");
}

}  // namespace

TEST_F(Wizard, AJoinThatReencodesSomethingAsksBeforeTheRun) {
    std::string error;
    ASSERT_TRUE(LoadCodecLibraries("", error)) << error;
    Start();
    const std::string wide = app->user.dir() + "wide.mp4", narrow = app->user.dir() + "narrow.mp4";
    for (const auto& [file, size] : {std::pair{wide, "320x240"}, std::pair{narrow, "176x144"}}) {
        const std::string cmd = std::string("ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=") + size +
                                ":rate=25:duration=1 -c:v libx264 -preset ultrafast '" + file + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    app->settings().OutputFileDir = app->user.dir() + "out";
    f->PageMode()->RadioConvert()->setChecked(true);
    f->ActionNextExecute();
    for (const std::string& file : {wide, narrow}) {
        TInputSlide slide;
        slide.Row.FullName = file;
        f->Step1()->Model()->Append(slide);
    }
    f->ActionNextExecute();
    ASSERT_EQ(f->ActivePage(), wpStep2);
    TFormatChoice* choice = f->Step2()->FormatChoice();
    choice->ClassButton(fcVideo)->click();
    choice->FormatButton(fcVideo, vfMP4)->click();
    choice->PresetList(fcVideo, vfMP4)->setCurrentIndex(SameAsSourcePreset({fcVideo, vfMP4}));

    // Going back keeps Step2 and starts nothing.
    app->services.dialogAnswers = {mrNo};
    f->ActionNextExecute();
    EXPECT_EQ(f->ActivePage(), wpStep2);
    ASSERT_EQ(app->services.dialogs.size(), 1u);
    EXPECT_EQ(app->services.dialogs[0],
              "Orvane Video Joiner|These files are joined by copying, except:\r\n\r\n"
              "File (2) narrow.mp4: picture re-encoded to 320x240 H.264 25 fps (it is 176x144)\r\n\r\n"
              "Join them so, or go back?");
    // Joining so runs the plan; the stored choice stays.
    app->services.dialogAnswers = {mrYes};
    f->ActionNextExecute();
    EXPECT_EQ(f->ActivePage(), wpStep3);
    EXPECT_EQ(app->settings().PresetOf(fcVideo, vfMP4), SameAsSourcePreset({fcVideo, vfMP4}));
    EXPECT_TRUE(PumpUntil([&] { return std::count(f->calls.begin(), f->calls.end(), "StartConversion") == 1; }));

    // Files that can be copied go on without a question.
    app->services.dialogs.clear();
    EXPECT_TRUE(PlanJoin(app->settings(), {{wide}, {wide}}).CopiesEverything());
}

namespace {

// The widget the keyboard is on, and a key sent to it as a keyboard would.
QWidget* Focus() { return QApplication::focusWidget(); }
void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = Focus();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    // An Alt key presses its button with a short animation.
    if (modifiers & Qt::AltModifier) QTest::qWait(150);
    QCoreApplication::processEvents();
}
// Tab until the focus is on want; false when a whole round misses it.
// Tab at least once.
bool TabTo(QWidget* want, std::vector<std::string>* passed = nullptr) {
    for (int i = 0; i < 200; ++i) {
        QTest::keyClick(Focus(), Qt::Key_Tab);
        if (passed && Focus()) passed->push_back(Focus()->objectName().toStdString());
        if (Focus() == want) return true;
    }
    return false;
}

TEST_F(Wizard, FromTheModePageToStep4ByKeyboardAlone) {
    Start();
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    ASSERT_TRUE(PumpUntil([&] { return Focus() == f->PageMode()->RadioDownload(); }));
    // Tab leaves the radio group for the bottom buttons and comes back round.
    std::vector<std::string> passed;
    ASSERT_TRUE(TabTo(f->PageMode()->RadioDownload(), &passed));
    EXPECT_EQ(passed, (std::vector<std::string>{"ButtonHelp", "ButtonLog", "ButtonNext", "ButtonExit",
                                                "RadioButtonDownload"}));
    // The focused button shows a ring: its picture differs from the unfocused one.
    ASSERT_TRUE(TabTo(Next()));
    const QImage focused = Next()->grab().toImage();
    ScreenshotFolder().Save(f->grab().toImage(), "focus_on_next.png");
    Key(Qt::Key_Tab);
    EXPECT_NE(Next()->grab().toImage(), focused);
    // The arrow chooses the other use; Return goes on.
    ASSERT_TRUE(TabTo(f->PageMode()->RadioDownload()));
    Key(Qt::Key_Down);
    EXPECT_TRUE(f->PageMode()->RadioConvert()->isChecked());
    Key(Qt::Key_Return);
    ASSERT_EQ(f->ActivePage(), wpStep1);

    // Step1: rows move with Ctrl+arrows, Delete removes one, Tab leaves the list.
    for (const char* name : {"/a.avi", "/b.avi", "/c.avi"}) {
        TInputSlide slide;
        slide.Row.FullName = name;
        f->Step1()->Model()->Append(slide);
    }
    ASSERT_TRUE(PumpUntil([&] { return Focus() == f->Step1()->Grid(); }));
    f->Step1()->SelectRow(0);
    Key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(f->Step1()->Model()->Row(0).FullName, "/b.avi");
    EXPECT_EQ(f->Step1()->SelectedRow(), 1);
    Key(Qt::Key_Delete);
    EXPECT_EQ(f->Step1()->Model()->JobInputs().size(), 2u);
    EXPECT_EQ(f->Step1()->Model()->Row(0).FullName, "/b.avi");
    Key(Qt::Key_Tab);
    EXPECT_EQ(Focus()->objectName().toStdString(), "ButtonAdd");
    Key(Qt::Key_N, Qt::AltModifier);  // Alt+N: Next
    ASSERT_EQ(f->ActivePage(), wpStep2);

    // Step2: Alt keys choose the mode, which names the main button; Escape
    // goes back and the page keeps what was typed.
    ASSERT_TRUE(PumpUntil([&] { return Focus() == f->Step2()->EditOutputDir(); }));
    const std::string out = app->user.dir() + "out";
    f->Step2()->EditOutputDir()->selectAll();
    QTest::keyClicks(Focus(), QString::fromStdString(out));
    Key(Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(f->Step2()->RadioConvert()->isChecked());
    EXPECT_EQ(Text(Next()), "Convert");
    EXPECT_FALSE(f->Step2()->EditOutputName()->isEnabled());
    Key(Qt::Key_O, Qt::AltModifier);
    EXPECT_EQ(Text(Next()), "Join Now");
    Key(Qt::Key_N, Qt::AltModifier);  // the name field's label
    EXPECT_EQ(Focus(), f->Step2()->EditOutputName());
    f->Step2()->EditOutputName()->selectAll();
    QTest::keyClicks(Focus(), "holiday");
    Key(Qt::Key_Escape);
    ASSERT_EQ(f->ActivePage(), wpStep1);
    EXPECT_TRUE(app->services.questions.empty());
    Key(Qt::Key_Return);
    ASSERT_EQ(f->ActivePage(), wpStep2);
    EXPECT_EQ(f->Step2()->EditOutputDir()->text().toStdString(), out);
    EXPECT_EQ(f->ChosenOutputName(), "holiday");
    // Tab walks the page top to bottom: folder, its button, the mode, the name,
    // then the class buttons above the format buttons.
    passed.clear();
    ASSERT_TRUE(TabTo(f->Step2()->FormatChoice()->FormatButton(fcVideo, vfMP4), &passed));
    EXPECT_EQ(std::vector<std::string>(passed.begin(), passed.begin() + 5),
              (std::vector<std::string>{"ButtonSelectDir", "RadioButtonJoin", "EditOutputName",
                                        "ButtonToFormatDevice", "ButtonToFormatAudio"}));
    Key(Qt::Key_Space);  // chooses MP4; Return then starts, whatever has the focus
    EXPECT_EQ(app->settings().OutputVideoFormat, vfMP4);
    Key(Qt::Key_Return);
    ASSERT_EQ(f->ActivePage(), wpStep3);
    EXPECT_TRUE(app->settings().JoinFiles);
    EXPECT_TRUE(PumpUntil([&] { return std::count(f->calls.begin(), f->calls.end(), "StartConversion") == 1; }));

    // Step3: Escape asks as Cancel does.
    app->services.answers = {false};
    Key(Qt::Key_Escape);
    EXPECT_EQ(app->services.questions.back(), "Do you really want to cancel the conversion?");

    // Step4: Finish by its Alt key.
    TConversionResult result;
    result.TotalFiles = result.SucceededFiles = 1;
    result.Outputs = {out + "/holiday.mp4"};
    f->ShowConversionSummary(result);
    Key(Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(f->ActivePage(), wpMode);
}

TEST_F(Wizard, EveryPictureButtonIsNamedForScreenReaders) {
    Start();
    int pictures = 0;
    for (QAbstractButton* b : f->findChildren<QAbstractButton*>()) {
        const bool picture = qobject_cast<TPictureButton*>(b) || qobject_cast<TImageButton*>(b);
        if (!picture) continue;
        ++pictures;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << b->objectName().toStdString();
        EXPECT_FALSE(a->text(QAccessible::Description).isEmpty()) << b->objectName().toStdString();
        // The window's own minimise and close are left to the desktop's keys.
        if (b != f->ButtonMin() && b != f->ButtonClose()) {
            EXPECT_TRUE(b->focusPolicy() & Qt::TabFocus) << b->objectName().toStdString();
        }
    }
    EXPECT_GE(pictures, 3 + 25 + 5);
    // A bottom button is announced without its "&".
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Next())->text(QAccessible::Name).toStdString(), "Next");
}

TEST_F(Wizard, ClosingDuringARunAsksAndNoKeepsIt) {
    Start();
    GoToStep2();
    f->Step2()->EditOutputDir()->setText(QString::fromStdString(app->user.dir()));
    f->ActionNextExecute();
    ASSERT_EQ(f->ActivePage(), wpStep3);
    app->services.answers = {false, true};
    f->ButtonCloseClick();
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(app->services.questions, (std::vector<std::string>{"Do you really want to cancel the conversion?"}));
    EXPECT_EQ(std::count(f->calls.begin(), f->calls.end(), "StopEngine"), 0);
    f->ButtonCloseClick();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(std::count(f->calls.begin(), f->calls.end(), "StopEngine"), 1);
}

}  // namespace
