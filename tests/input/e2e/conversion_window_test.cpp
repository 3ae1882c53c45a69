// A conversion as a user makes it: files dropped on Step1 and put in order,
// MP4 chosen on Step2, the run watched on Step3, the summary on Step4; per-file
// mode with a file that fails; Cancel during a run.
#include "../../ui/conversion_fixture.h"

#include "../../jobs/cli_runner.h"

#include "form_preview.h"
#include "format_choice.h"
#include "image_buttons.h"
#include "input_slides.h"
#include "page_finish.h"
#include "page_step2.h"
#include "page_step3.h"
#include "single_instance.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

std::string Text(const QLabel* l) { return l->text().toStdString(); }

// The text with every digit shown as 9: "0:00:12" reads "9:99:99".
std::string Shape(std::string text) {
    for (char& c : text)
        if (c >= '0' && c <= '9') c = '9';
    return text;
}

// A picture of the screen (on a real display: every window on it, the
// preview included) for a person to look at, when OV_SCREENSHOT_DIR is set.
void Shot(QWidget* window, const char* name) {
    const QString dir = qEnvironmentVariable("OV_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QCoreApplication::processEvents();
    QPixmap picture;
    if (QGuiApplication::platformName() == "xcb" && window->screen()) picture = window->screen()->grabWindow(0);
    if (picture.isNull()) picture = window->grab();
    EXPECT_TRUE(picture.save(dir + "/" + name + ".png")) << name;
}

struct ConversionRun : ConversionWindow {
    static void SetUpTestSuite() {
        media_ = new TempDir;
        // Three sizes, so the join scales two of them.
        ASSERT_TRUE(MakeClip(media_->file("one.avi"), 8, 640, 480));
        ASSERT_TRUE(MakeClip(media_->file("two.avi"), 6, 320, 240));
        ASSERT_TRUE(MakeClip(media_->file("three.avi"), 5, 480, 360));
        ASSERT_TRUE(MakeClip(media_->file("long.avi"), 60, 640, 480));
        // A video stream whose codec tag no decoder knows: it probes, but cannot be converted.
        ASSERT_TRUE(MakeClip(media_->file("tagged.avi"), 2, 160, 120));
        std::string data = ReadWholeFile(media_->file("tagged.avi"));
        for (size_t at = data.find("FMP4"); at != std::string::npos; at = data.find("FMP4", at)) data.replace(at, 4, "QQQQ");
        media_->write("unknown.avi", data);
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }
    static std::string File(const std::string& name) { return media_->file(name); }
    static TempDir* media_;

    TPageStep3* Step3() const { return form->Step3(); }
    TPageFinish* Step4() const { return form->Step4(); }
    TImageButton* Next() const { return form->BottomButton(3); }
    std::vector<std::string> ListColumn(int column) const {
        std::vector<std::string> texts;
        for (int i = 0; i < Step3()->ListViewConverting->topLevelItemCount(); ++i)
            texts.push_back(Step3()->ListViewConverting->topLevelItem(i)->text(column).toStdString());
        return texts;
    }
    std::string Header(int column) const {
        return Step3()->ListViewConverting->headerItem()->text(column).toStdString();
    }
    // Step1 to Step3 with MP4 and its default preset into the output folder.
    void ChooseMp4AndStart() {
        Next()->click();
        ASSERT_EQ(form->ActivePage(), wpStep2);
        form->Step2()->EditOutputDir()->setText(QString::fromStdString(out.path()));
        TFormatChoice* choice = form->Step2()->FormatChoice();
        choice->ClassButton(fcVideo)->click();
        choice->FormatButton(fcVideo, vfMP4)->click();
        EXPECT_EQ(choice->FrontPresetList(fcVideo)->currentIndex(), FindFormat(fcVideo, vfMP4)->DefaultPreset);
        EXPECT_EQ(Next()->text().remove('&').toStdString(), settings().JoinFiles ? "Join Now" : "Convert");
        Next()->click();
        ASSERT_EQ(form->ActivePage(), wpStep3);
    }
    bool WaitForStep4(int timeoutMs = 180000) {
        return PumpUntil([&] { return form->ActivePage() == wpStep4; }, timeoutMs);
    }
    std::vector<std::string> Summary() const {
        return {Text(Step4()->LabelTotalFiles), Text(Step4()->LabelSucceeded), Text(Step4()->LabelFailed)};
    }

    TempDir out;
};
TempDir* ConversionRun::media_ = nullptr;

TEST_F(ConversionRun, JoinThreeDroppedFilesIntoOneMp4) {
    Start();
    ASSERT_TRUE(Drop({File("one.avi"), File("two.avi"), File("three.avi")}));
    ASSERT_EQ(step1->RowCount(), 3);
    // The last file goes first.
    step1->SelectRow(2);
    step1->ActionMoveUp->trigger();
    step1->ActionMoveUp->trigger();
    EXPECT_EQ(Column(icFileFullName), (std::vector<std::string>{File("three.avi"), File("one.avi"), File("two.avi")}));

    // Watch the bar, the labels and the preview while the run goes on.
    std::vector<int> positions;
    std::set<std::string> currentFiles, elapsed, captions;
    std::string currentTitle, statusTitle, progressTitle;
    int previewWindows = 0;
    QObject::connect(Step3()->ProgressBar, &QProgressBar::valueChanged, [&](int v) {
        positions.push_back(v);
        // The labels as a progress report left them (not the end's reset).
        if (v <= 0 || v >= 100) return;
        currentFiles.insert(Text(Step3()->LabelCurrentFile));
        currentTitle = Text(Step3()->LabelCurrentFileTitle);
        statusTitle = Header(2);
        progressTitle = Header(3);
        previewWindows = std::max(previewWindows, pages->Previews().Count());
        if (TFormPreview* w = pages->Previews().Window(0)) captions.insert(w->windowTitle().toStdString());
    });
    settings().PlayASoundWhenFinished = true;
    Step3()->CheckBoxPreview->setChecked(true);
    ChooseMp4AndStart();
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (form->ActivePage() == wpStep3) elapsed.insert(Text(Step3()->LabelElapsed));
            return form->ActivePage() == wpStep4;
        },
        180000));
    elapsed.erase("...");  // before the first report

    const std::string output = out.dir() + "Output_Merge.mp4";
    EXPECT_EQ(Summary(), (std::vector<std::string>{"1", "1", "0"}));
    EXPECT_FALSE(Step4()->MemoErrorLog->isVisible());
    EXPECT_EQ(ListColumn(0), (std::vector<std::string>{"three.avi", "one.avi", "two.avi"}));
    EXPECT_EQ(ListColumn(2), (std::vector<std::string>{"480x360", "640x480", "320x240"}));
    EXPECT_EQ(ListColumn(4), (std::vector<std::string>(3, output)));
    EXPECT_EQ(currentTitle, "Output file:");
    EXPECT_EQ(statusTitle, "Width x Height");
    EXPECT_EQ(progressTitle, "Aspect Ratio");
    EXPECT_EQ(currentFiles, (std::set<std::string>{output}));
    // The bar moved up to 100, then the end put it back to 0.
    ASSERT_GE(positions.size(), 2u);
    EXPECT_TRUE(std::any_of(positions.begin(), positions.end(), [](int v) { return v > 0 && v < 100; }));
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end() - 1));
    EXPECT_EQ(positions.back(), 0);
    EXPECT_EQ(Text(Step3()->LabelProgress), "0%");
    EXPECT_EQ(Text(Step3()->LabelCurrentFile), "...");
    EXPECT_FALSE(elapsed.empty());
    for (const std::string& t : elapsed) EXPECT_EQ(Shape(t), "9:99:99") << t;
    // The preview showed frames with their times; the run's end closed it.
    EXPECT_GE(previewWindows, 1);
    EXPECT_FALSE(captions.empty());
    for (const std::string& c : captions) EXPECT_EQ(Shape(c), "99:99:99.999") << c;
    EXPECT_EQ(pages->Previews().Count(), 0);
    ASSERT_EQ(sounds.files.size(), 1u);
    EXPECT_TRUE(sounds.files[0].ends_with("sounds/done.wav")) << sounds.files[0];

    const nlohmann::json probe = Probe(output);
    EXPECT_NEAR(DurationOf(probe), 8 + 6 + 5, 0.3);
    EXPECT_FALSE(StreamOf(probe, "video").is_null());
    EXPECT_FALSE(StreamOf(probe, "audio").is_null());

    // Finish empties both lists and starts over.
    Next()->click();
    EXPECT_EQ(form->ActivePage(), wpStep1);
    EXPECT_EQ(step1->RowCount(), 0);
    EXPECT_EQ(Step3()->ListViewConverting->topLevelItemCount(), 0);
}

TEST_F(ConversionRun, PerFileModeListsEachFileWithItsOutcome) {
    Start({{"Merge", "False"}});
    step1->AddFiles({File("two.avi"), File("unknown.avi"), File("three.avi")});
    ASSERT_EQ(step1->RowCount(), 3);
    // The unknown codec has no picture to show.
    EXPECT_TRUE(Thumbnail(1).isNull());
    settings().PlayASoundWhenFinished = true;
    ChooseMp4AndStart();
    EXPECT_EQ(Header(2), "Status");
    EXPECT_EQ(Header(3), "Progress");
    EXPECT_EQ(Text(Step3()->LabelCurrentFileTitle), "Current file:");
    ASSERT_TRUE(WaitForStep4());

    EXPECT_EQ(ListColumn(2), (std::vector<std::string>{"Finish.", "Failed.", "Finish."}));
    EXPECT_EQ(ListColumn(3)[0], "100%");
    EXPECT_EQ(ListColumn(3)[2], "100%");
    EXPECT_EQ(ListColumn(4)[0], media_->dir());
    EXPECT_EQ(Summary(), (std::vector<std::string>{"3", "2", "1"}));
    EXPECT_TRUE(Step4()->MemoErrorLog->isVisible());
    const std::string memo = Step4()->MemoErrorLog->toPlainText().toStdString();
    // The failed file as the list counts it, by name, with the reason.
    EXPECT_EQ(memo.rfind("File (2) unknown.avi: ", 0), 0u) << memo;
    EXPECT_GT(memo.size(), std::string("File (2) unknown.avi: ").size()) << memo;
    EXPECT_FALSE(Step4()->LabelCancelled->isVisible());
    EXPECT_EQ(memo.find('\n'), std::string::npos) << memo;
    ASSERT_EQ(sounds.files.size(), 1u);
    EXPECT_TRUE(sounds.files[0].ends_with("sounds/fail.wav")) << sounds.files[0];
    EXPECT_NEAR(DurationOf(Probe(out.dir() + "two.mp4")), 6, 0.3);
    EXPECT_NEAR(DurationOf(Probe(out.dir() + "three.mp4")), 5, 0.3);
}

TEST_F(ConversionRun, FilesLeftOutOfAJoinAreListedOnTheSummary) {
    // A file that vanished after it was added among twenty-two: the rest is
    // joined (a join takes any number of files), and Step4 counts the one
    // left out as failed and names it.
    Start();
    TempDir gone;
    std::filesystem::copy_file(File("two.avi"), gone.file("gone.avi"));
    std::vector<std::string> files{File("two.avi"), gone.file("gone.avi")};
    for (int i = 0; i < 20; ++i) files.push_back(File("tagged.avi"));
    step1->AddFiles(files);
    ASSERT_EQ(step1->RowCount(), 22);
    std::filesystem::remove(gone.file("gone.avi"));
    ChooseMp4AndStart();
    ASSERT_TRUE(WaitForStep4());
    EXPECT_EQ(Summary(), (std::vector<std::string>{"2", "1", "1"}));
    EXPECT_EQ(ListColumn(0).size(), 21u);
    EXPECT_TRUE(Step4()->MemoErrorLog->isVisible());
    const QStringList memo = Step4()->MemoErrorLog->toPlainText().split('\n');
    ASSERT_EQ(memo.size(), 1) << memo.join('|').toStdString();
    EXPECT_EQ(memo[0].toStdString(), "File (2) gone.avi: No such file or directory");

    // The next run starts with an empty list of errors.
    Next()->click();
    step1->AddFiles({File("two.avi")});
    ChooseMp4AndStart();
    ASSERT_TRUE(WaitForStep4());
    EXPECT_FALSE(Step4()->MemoErrorLog->isVisible());
}

TEST_F(ConversionRun, CancelDuringARunReachesTheSummary) {
    Start();
    step1->AddFiles({File("long.avi")});
    ChooseMp4AndStart();
    ASSERT_TRUE(PumpUntil([&] { return Step3()->ProgressBar->value() > 0; }, 60000));
    services.answers = {false, true};
    form->ActionExitExecute();  // No: the run goes on
    EXPECT_EQ(form->ActivePage(), wpStep3);
    form->ActionExitExecute();  // Yes: stopped, and the run ends as any other
    ASSERT_TRUE(WaitForStep4(30000));
    EXPECT_EQ(services.questions, (std::vector<std::string>(2, "Do you really want to cancel the conversion?")));
    EXPECT_EQ(Summary(), (std::vector<std::string>{"1", "0", "1"}));
    EXPECT_FALSE(Step4()->MemoErrorLog->isVisible());  // a stopped task has no error line
    Shot(form.get(), "step4_cancelled");
    EXPECT_TRUE(Step4()->LabelCancelled->isVisible());
    EXPECT_EQ(Text(Step4()->LabelCancelled), "Cancelled");
    // A cancelled run never reads as finished, and nothing was written.
    EXPECT_EQ(Text(Step4()->LabelFinished), "The conversion was cancelled.");
    EXPECT_EQ(Text(form->LabelTitle()), "The conversion was cancelled.");
    EXPECT_EQ(Step4()->ListOutputs->count(), 0);
    EXPECT_EQ(Next()->text().remove('&').toStdString(), "Finish");
}

// Per-file AVI (an encoder on one core): several files at once, each row
// with its own progress, the size estimate beside the time left, and the
// outcomes as for one file at a time.
TEST_F(ConversionRun, PerFileRunOfSeveralFilesAtOnce) {
    Start({{"Merge", "False"}});
    step1->AddFiles({File("long.avi"), File("unknown.avi"), File("one.avi"), File("two.avi")});
    ASSERT_EQ(step1->RowCount(), 4);
    Next()->click();
    ASSERT_EQ(form->ActivePage(), wpStep2);
    form->Step2()->EditOutputDir()->setText(QString::fromStdString(out.path()));
    TFormatChoice* choice = form->Step2()->FormatChoice();
    choice->ClassButton(fcDevice)->click();
    choice->FormatButton(fcDevice, dfiPod)->click();
    Shot(form.get(), "step2_device");
    choice->ClassButton(fcVideo)->click();
    choice->FormatButton(fcVideo, vfAVI)->click();
    Step3()->CheckBoxPreview->setChecked(true);
    pages->Run().Jobs = 2;  // as on two cores, whatever this machine has
    Next()->click();
    ASSERT_EQ(form->ActivePage(), wpStep3);

    // Two rows converting at once, and an estimate of the size once 5 % is done.
    int mostAtOnce = 0;
    bool sized = false, shot = false;
    ASSERT_TRUE(PumpUntil(
        [&] {
            const auto status = ListColumn(2);
            mostAtOnce = std::max<int>(mostAtOnce, std::count(status.begin(), status.end(), "Converting..."));
            sized = sized || Text(Step3()->LabelEstimatedSize) != "...";
            if (!shot && mostAtOnce >= 2 && sized && !form->findChildren<TFormPreview*>().isEmpty()) {
                shot = true;
                Shot(form.get(), "step3_parallel");
            }
            return form->ActivePage() == wpStep4;
        },
        240000));
    EXPECT_EQ(pages->Run().TasksAtOnce(), 2);
    EXPECT_EQ(mostAtOnce, 2);
    EXPECT_TRUE(sized);
    EXPECT_EQ(Shape(Text(Step3()->LabelEstimatedSize)).back(), 'B');

    EXPECT_EQ(ListColumn(2), (std::vector<std::string>{"Finish.", "Failed.", "Finish.", "Finish."}));
    EXPECT_EQ(Summary(), (std::vector<std::string>{"4", "3", "1"}));
    const std::string memo = Step4()->MemoErrorLog->toPlainText().toStdString();
    EXPECT_EQ(memo.rfind("File (2) unknown.avi: ", 0), 0u) << memo;
    EXPECT_FALSE(Step4()->LabelCancelled->isVisible());
    Shot(form.get(), "step4_failed");
    for (const char* name : {"long.avi", "one.avi", "two.avi"}) EXPECT_TRUE(Probe(out.dir() + name).is_object()) << name;
}

// A join that fails on a file cut short: Step4 offers to join the others
// again or to go back to the list, which marks the file with its reason;
// the output's name comes from Step2 and Step4 shows the name it really got.
TEST_F(ConversionRun, AFailedFileIsLeftOutOrMarkedAndTheNamedOutputIsShown) {
    Start();
    const std::string good = out.file("good.mkv"), whole = out.file("whole.mkv"), cut = out.file("cut.mkv");
    ASSERT_TRUE(MakeClip(good, 1, 160, 120));
    ASSERT_TRUE(MakeClip(whole, 10, 160, 120));
    const std::string bytes = ReadWholeFile(whole);
    out.write("cut.mkv", bytes.substr(0, bytes.size() * 3 / 10));
    const std::string folder = out.file("joined");
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/holiday.mp4") << "taken";
    step1->AddFiles({good, cut, good});
    ASSERT_EQ(step1->RowCount(), 3);
    Next()->click();
    ASSERT_EQ(form->ActivePage(), wpStep2);
    form->Step2()->EditOutputDir()->setText(QString::fromStdString(folder));
    form->Step2()->EditOutputName()->setText("holiday");
    form->Step2()->FormatChoice()->FormatButton(fcVideo, vfMP4)->click();
    Shot(form.get(), "step2_join_named");
    Next()->click();
    ASSERT_TRUE(WaitForStep4());
    EXPECT_EQ(Summary(), (std::vector<std::string>{"1", "0", "1"}));
    EXPECT_EQ(Step4()->MemoErrorLog->toPlainText().toStdString().rfind("File (2) cut.mkv: ", 0), 0u);
    EXPECT_EQ(Step4()->ListOutputs->count(), 0);
    EXPECT_TRUE(Step4()->ButtonJoinAgain->isVisible());
    EXPECT_TRUE(Step4()->ButtonBackToList->isVisible());
    Shot(form.get(), "step4_failed_file");

    // Back to the list: as it was, the failed file marked with its reason.
    Step4()->ButtonBackToList->click();
    ASSERT_EQ(form->ActivePage(), wpStep1);
    EXPECT_EQ(Values(&TInputRow::FullName), (std::vector<std::string>{good, cut, good}));
    const QString problem = step1->Model()->index(1, icMainImage).data(ProblemRole).toString();
    EXPECT_TRUE(problem.startsWith("ends after ")) << problem.toStdString();
    EXPECT_TRUE(step1->Model()->index(0, icMainImage).data(ProblemRole).toString().isEmpty());
    Shot(form.get(), "step1_failed_marked");
    // Step2 kept its fields; the same join fails again.
    Next()->click();
    EXPECT_EQ(form->Step2()->EditOutputName()->text().toStdString(), "holiday");
    Next()->click();
    ASSERT_TRUE(WaitForStep4());

    // Join again without it: the others, under the next free name.
    Step4()->ButtonJoinAgain->click();
    ASSERT_TRUE(WaitForStep4());
    EXPECT_EQ(Summary(), (std::vector<std::string>{"1", "1", "0"}));
    EXPECT_EQ(step1->RowCount(), 2);
    const std::string written = folder + "/holiday(1).mp4";
    ASSERT_EQ(Step4()->ListOutputs->count(), 1);
    EXPECT_EQ(Step4()->ListOutputs->item(0)->text().toStdString(), written);
    EXPECT_FALSE(Step4()->ButtonBackToList->isVisible());
    EXPECT_NEAR(DurationOf(Probe(written)), 2.0, 0.3);
    emit Step4()->LabelPlay->linkActivated("#");
    EXPECT_EQ(services.opened.back(), written);
    emit Step4()->LabelOpenFolder->linkActivated("#");
    EXPECT_EQ(services.opened.back(), folder + "/");
    Shot(form.get(), "step4_named_output");
}

// Step2's "Convert each file" with a dropped WebM file: one output each.
TEST_F(ConversionRun, ConvertEachFileFromStep2IncludingADroppedWebm) {
    Start();
    const std::string webm = out.file("clip.webm"), avi = out.file("short.avi");
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                         "sine=duration=1 -c:v libvpx -deadline realtime -c:a libvorbis " + Quoted(webm)));
    ASSERT_TRUE(MakeClip(avi, 1, 160, 120));
    ASSERT_TRUE(Drop({webm, avi}));
    ASSERT_EQ(step1->RowCount(), 2);
    Next()->click();
    const std::string folder = out.file("each");
    form->Step2()->EditOutputDir()->setText(QString::fromStdString(folder));
    form->Step2()->RadioConvert()->click();
    EXPECT_EQ(Next()->text().remove('&').toStdString(), "Convert");
    EXPECT_FALSE(form->Step2()->EditOutputName()->isEnabled());
    form->Step2()->FormatChoice()->FormatButton(fcVideo, vfAVI)->click();
    Shot(form.get(), "step2_convert_each");
    Next()->click();
    ASSERT_TRUE(WaitForStep4());
    EXPECT_FALSE(settings().JoinFiles);
    EXPECT_EQ(Summary(), (std::vector<std::string>{"2", "2", "0"}));
    ASSERT_EQ(Step4()->ListOutputs->count(), 2);
    EXPECT_EQ(Step4()->ListOutputs->item(0)->text().toStdString(), folder + "/clip.avi");
    EXPECT_EQ(Step4()->ListOutputs->item(1)->text().toStdString(), folder + "/short.avi");
}

// A second start of the program hands its files to this window over the
// session bus and ends.
TEST_F(ConversionRun, ASecondStartAddsItsFilesToTheFirstWindow) {
    FILE* daemon = ::popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
    ASSERT_NE(daemon, nullptr);
    char address[512] = {}, pid[32] = {};
    const bool read = std::fgets(address, sizeof address, daemon) && std::fgets(pid, sizeof pid, daemon);
    ::pclose(daemon);
    ASSERT_TRUE(read);
    address[std::strcspn(address, "\n")] = 0;
    struct Ender {
        pid_t pid;
        ~Ender() { ::kill(pid, SIGTERM); }
    } ender{static_cast<pid_t>(std::atoi(pid))};
    Start();
    QDBusConnection bus = QDBusConnection::connectToBus(QString(address), "ov-first-window");
    TSingleInstance first(bus);
    ASSERT_TRUE(first.Claim());
    first.OnFiles = [&](const std::vector<std::string>& paths) { return form->HandOverFiles(paths); };
    // Nobody else takes the name.
    TSingleInstance other(QDBusConnection::connectToBus(QString(address), "ov-other"));
    EXPECT_FALSE(other.Claim());

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    second.start(OV_BIN_DIR "/orvane-video-joiner", {QString::fromStdString(File("three.avi"))});
    const bool ended = PumpUntil([&] { return second.state() == QProcess::NotRunning; }, 30000);
    if (!ended) second.kill();
    ASSERT_TRUE(ended) << "the second start opened a window of its own";
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    ASSERT_TRUE(PumpUntil([&] { return step1->RowCount() == 1; }));
    EXPECT_EQ(Values(&TInputRow::FullName), (std::vector<std::string>{File("three.avi")}));
    EXPECT_EQ(form->ActivePage(), wpStep1);
    QDBusConnection::disconnectFromBus("ov-first-window");
    QDBusConnection::disconnectFromBus("ov-other");
}

}  // namespace
