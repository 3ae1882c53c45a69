// Step1 with the real engine: adding by the hand-over, the dialog and drops,
// the slides' texts and pictures, failed files, deleting and moving rows,
// and the engine's log lines in the log window.
#include "conversion_fixture.h"

#include "download_pages.h"
#include "ff_loader.h"
#include "input_slides.h"
#include "util_funcs.h"

#include <QAction>
#include <QFileDialog>
#include <QMouseEvent>
#include <QPushButton>

#include <thread>

namespace {

struct InputList : ConversionWindow {
    static void SetUpTestSuite() {
        media_ = new TempDir;
        ASSERT_TRUE(MakeClip(media_->file("a.avi"), 2, 320, 240));
        ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i sine=duration=3 -c:a libmp3lame -b:a 64k " +
                             Quoted(media_->file("b.mp3"))));
        ASSERT_TRUE(MakeClip(media_->file("c.mp4"), 1, 640, 360));
        media_->write("bad.mp4", "this is no video");
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }
    static std::string File(const std::string& name) { return media_->file(name); }
    static TempDir* media_;

    struct States {
        bool del, clear, up, down, play;
        bool operator==(const States&) const = default;
    };
    States ActionStates() const {
        return {step1->ActionDelete->isEnabled(), step1->ActionClear->isEnabled(), step1->ActionMoveUp->isEnabled(),
                step1->ActionMoveDown->isEnabled(), step1->ActionPlay->isEnabled()};
    }
    void Mouse(QEvent::Type type, int row, Qt::MouseButtons buttons) {
        QWidget* viewport = step1->Grid()->viewport();
        const QRect r = step1->Grid()->visualRect(step1->Grid()->model()->index(row, icMainImage));
        const QPointF at(r.center());
        QMouseEvent e(type, at, viewport->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &e);
    }
};
TempDir* InputList::media_ = nullptr;

TEST_F(InputList, BatchOfVideoAudioVideoShowsItsLinesAndPictures) {
    Start();
    step1->AddFiles({File("a.avi"), File("b.mp3"), File("c.mp4")});
    ASSERT_EQ(step1->RowCount(), 3);
    EXPECT_EQ(Column(icFileFullName), (std::vector<std::string>{File("a.avi"), File("b.mp3"), File("c.mp4")}));
    const auto bitrates = Column(icBitrate), dimensions = Column(icDimension), durations = Column(icDuration);
    EXPECT_EQ(bitrates[0].rfind("Bit rate: ", 0), 0u) << bitrates[0];
    EXPECT_EQ(bitrates[1], "Audio Bit rate: 64 Kbps");
    EXPECT_EQ(bitrates[2].rfind("Bit rate: ", 0), 0u) << bitrates[2];
    EXPECT_EQ(dimensions, (std::vector<std::string>{"Dimension: 320 x 240", dimensions[1], "Dimension: 640 x 360"}));
    EXPECT_EQ(dimensions[1].rfind("Audio Encoder: mp3", 0), 0u) << dimensions[1];
    EXPECT_EQ(durations[1].rfind("Duration: 00:00:03.", 0), 0u) << durations[1];
    EXPECT_EQ(Values(&TInputRow::Width), (std::vector<int32_t>{320, -1, 640}));
    EXPECT_EQ(Values(&TInputRow::Height), (std::vector<int32_t>{240, -1, 360}));
    EXPECT_EQ(Values(&TInputRow::AspectRatio)[1], -1.0f);
    // The shortened name fits the slide and ends with the file's name.
    const std::string shown = Column(icFileMinName)[0];
    EXPECT_TRUE(shown.ends_with("a.avi")) << shown;

    // Pictures: the middle frame of a video, the audio icon without video.
    EXPECT_EQ(Thumbnail(0).size(), QSize(234, 176));  // kept at twice the 128 x 88 area, aspect kept
    EXPECT_EQ(Thumbnail(1), AudioIcon());
    EXPECT_EQ(Thumbnail(2).size(), QSize(256, 144));

    // The job takes the rows' values in row order.
    const std::vector<TJobInput> inputs = step1->JobInputs();
    ASSERT_EQ(inputs.size(), 3u);
    EXPECT_NEAR(static_cast<double>(inputs[0].Duration), 2e6, 1e5);
    EXPECT_EQ(inputs[1].Width, -1);
    EXPECT_NEAR(inputs[2].AspectRatio, 16.0 / 9.0, 1e-5);

    // Play opens the selected file; a double-click trims it.
    EXPECT_FALSE(step1->ActionPlay->isEnabled());
    EXPECT_FALSE(step1->ActionTrim->isEnabled());
    step1->SelectRow(1);
    step1->ActionPlay->trigger();
    emit step1->Grid()->doubleClicked(step1->Model()->index(1, 0));
    EXPECT_EQ(services.opened, (std::vector<std::string>{File("b.mp3")}));
    EXPECT_EQ(trimDialogs, 1);
    // The audio file's missing video is reported by the probe, not as a failure.
    EXPECT_EQ(LogLines("File load error: "), 0);
    int noVideo = 0;
    for (const auto& line : log->Lines()) noVideo += line.starts_with("#") && line.ends_with(".3: no video stream.");
    EXPECT_EQ(noVideo, 1);
    EXPECT_TRUE(failedDialogs.empty());
}

TEST_F(InputList, DownloadedFilesAreHandedToStep1) {
    Start({{"Download", "True"}});
    ASSERT_NE(form->DownloadPages(), nullptr);
    form->SetActivePage(wpStep7);
    form->DownloadPages()->ConvertDownloadedFiles({File("c.mp4"), File("a.avi")});
    EXPECT_EQ(form->ActivePage(), wpStep1);
    EXPECT_EQ(Column(icFileFullName), (std::vector<std::string>{File("c.mp4"), File("a.avi")}));
}

// "Open with" and file arguments: from the first page straight to the list,
// every named file probed (no extension filter as for drops).
TEST_F(InputList, FilesGivenAtStartAreListedOnTheirPage) {
    Start({{"Download", "True"}});
    EXPECT_EQ(form->ActivePage(), wpMode);
    form->OpenFiles({File("c.mp4"), File("bad.mp4"), File("b.mp3")});
    EXPECT_EQ(form->ActivePage(), wpStep1);
    EXPECT_EQ(Column(icFileFullName), (std::vector<std::string>{File("c.mp4"), File("b.mp3")}));
    ASSERT_EQ(failedDialogs.size(), 1u);
    EXPECT_NE(failedDialogs[0][0].find("bad.mp4"), std::string::npos) << failedDialogs[0][0];
}

TEST_F(InputList, FailingFileGoesToTheDialogAndOneLogLine) {
    Start();
    std::string title, supportOpened;
    bool closeIsDefault = false;
    onFailedDialog = [&](TFormFailedAddFile& dialog) {
        title = dialog.windowTitle().toStdString();
        closeIsDefault = dialog.ButtonClose()->isDefault();
        EXPECT_EQ(dialog.ListViewFiles()->headerItem()->text(0).toStdString(), "File");
        dialog.ButtonMoreInfo()->click();
        EXPECT_TRUE(dialog.isVisible() || !dialog.result());  // "More Information..." leaves it open
    };
    step1->AddFiles({File("a.avi"), File("bad.mp4"), File("c.mp4")});
    EXPECT_EQ(step1->RowCount(), 2);
    ASSERT_EQ(failedDialogs.size(), 1u);
    ASSERT_EQ(failedDialogs[0].size(), 1u);
    EXPECT_NE(failedDialogs[0][0].find("bad.mp4"), std::string::npos) << failedDialogs[0][0];
    EXPECT_EQ(title, "Failed to Add Files");
    EXPECT_TRUE(closeIsDefault);
    // "More Information..." opens the installed help at its part on adding files.
    ASSERT_EQ(services.opened.size(), 1u);
    EXPECT_TRUE(services.opened[0].ends_with("help/orvane-video-joiner.html#ADDING_FILES")) << services.opened[0];
    EXPECT_EQ(LogLines("File load error: "), 1);
    EXPECT_EQ(LogLines("File load error: " + failedDialogs[0][0]), 1);
}

TEST_F(InputList, DeleteMoveAndDragKeepTheSelectionRules) {
    Start();
    EXPECT_EQ(ActionStates(), (States{false, false, false, false, false}));
    step1->AddFiles({File("a.avi"), File("b.mp3"), File("c.mp4"), File("a.avi")});
    ASSERT_EQ(step1->RowCount(), 4);
    EXPECT_EQ(ActionStates(), (States{false, true, false, false, false}));
    step1->SelectRow(0);
    EXPECT_EQ(ActionStates(), (States{true, true, false, true, true}));  // no Move Up on the first row
    step1->SelectRow(3);
    EXPECT_EQ(ActionStates(), (States{true, true, true, false, true}));  // no Move Down on the last

    // Deleting the last row selects the new last row.
    step1->ActionDelete->trigger();
    EXPECT_EQ(step1->RowCount(), 3);
    EXPECT_EQ(step1->SelectedRow(), 2);
    // Moving keeps the moved row selected.
    step1->ActionMoveUp->trigger();
    step1->ActionMoveUp->trigger();
    EXPECT_EQ(step1->SelectedRow(), 0);
    EXPECT_EQ(Column(icFileFullName), (std::vector<std::string>{File("c.mp4"), File("a.avi"), File("b.mp3")}));
    EXPECT_FALSE(step1->ActionMoveUp->isEnabled());
    step1->ActionMoveDown->trigger();
    EXPECT_EQ(step1->SelectedRow(), 1);
    EXPECT_EQ(Column(icFileFullName), (std::vector<std::string>{File("a.avi"), File("c.mp4"), File("b.mp3")}));
    // The pictures travel with their rows.
    EXPECT_EQ(Thumbnail(2), AudioIcon());

    // Dragging the first row onto the last puts it last.
    Mouse(QEvent::MouseButtonPress, 0, Qt::LeftButton);
    Mouse(QEvent::MouseMove, 1, Qt::LeftButton);
    Mouse(QEvent::MouseMove, 2, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 2, Qt::NoButton);
    EXPECT_EQ(Column(icFileFullName), (std::vector<std::string>{File("c.mp4"), File("b.mp3"), File("a.avi")}));
    EXPECT_EQ(step1->SelectedRow(), 2);
    EXPECT_EQ(Thumbnail(1), AudioIcon());

    // Delete in the middle selects the row that moved up; the only row leaves nothing selected.
    step1->SelectRow(1);
    step1->ActionDelete->trigger();
    EXPECT_EQ(step1->SelectedRow(), 1);
    EXPECT_EQ(Column(icFileFullName), (std::vector<std::string>{File("c.mp4"), File("a.avi")}));
    step1->ActionDelete->trigger();
    step1->ActionDelete->trigger();
    EXPECT_EQ(step1->RowCount(), 0);
    EXPECT_EQ(ActionStates(), (States{false, false, false, false, false}));

    step1->AddFiles({File("a.avi"), File("a.avi")});
    step1->ActionClear->trigger();
    EXPECT_EQ(step1->RowCount(), 0);
    EXPECT_TRUE(services.questions.empty());  // Clear asks nothing
}

TEST_F(InputList, DropsTakeEveryFileTheProbeReads) {
    Start();
    TempDir drop;
    std::filesystem::create_directory(drop.file("folder.mp4"));
    std::filesystem::copy_file(File("c.mp4"), drop.file("clip.webm"));
    std::filesystem::copy_file(File("c.mp4"), drop.file("clip.mpeg"));
    std::filesystem::copy_file(File("c.mp4"), drop.file("clip.MP4"));
    std::filesystem::copy_file(File("c.mp4"), drop.file("clip.unknown"));
    drop.write("notes.txt", "not a media file");
    EXPECT_TRUE(Drop({drop.file("folder.mp4"), drop.file("clip.webm"), drop.file("clip.mpeg"), drop.file("clip.MP4"),
                      drop.file("clip.unknown"), drop.file("notes.txt")}));
    // A folder adds nothing; a file that is no media file is named, never silently lost.
    EXPECT_EQ(Column(icFileFullName), (std::vector<std::string>{drop.file("clip.webm"), drop.file("clip.mpeg"),
                                                                drop.file("clip.MP4"), drop.file("clip.unknown")}));
    ASSERT_EQ(failedDialogs.size(), 1u);
    ASSERT_EQ(failedDialogs[0].size(), 1u);
    EXPECT_NE(failedDialogs[0][0].find("notes.txt"), std::string::npos) << failedDialogs[0][0];

    // While a run uses the list or its summary is shown, the window takes no files.
    form->SetActivePage(wpStep4);
    EXPECT_FALSE(Drop({drop.file("clip.MP4")}));
    EXPECT_EQ(step1->RowCount(), 4);
}

TEST_F(InputList, AddDialogRemembersTheFolderAndASingleName) {
    Start();
    settings().LastOpenDir = media_->dir();
    std::vector<QStringList> answers = {{QString::fromStdString(File("c.mp4"))},
                                        {QString::fromStdString(File("a.avi")), QString::fromStdString(File("b.mp3"))},
                                        {}};
    QStringList filters;
    std::vector<std::string> shownFolders, rememberedNames;
    step1->ExecOpenDialog = [&](QFileDialog& dialog) {
        filters = dialog.nameFilters();
        shownFolders.push_back(dialog.directory().absolutePath().toStdString());
        rememberedNames.push_back(dialog.selectedFiles().join("|").toStdString());
        const QStringList chosen = answers.front();
        answers.erase(answers.begin());
        for (const QString& f : chosen) dialog.selectFile(f);
        return chosen;
    };
    step1->ActionAdd->trigger();
    EXPECT_EQ(step1->RowCount(), 1);
    EXPECT_EQ(settings().LastOpenDir, media_->dir());
    step1->ActionAdd->trigger();
    EXPECT_EQ(step1->RowCount(), 3);
    step1->ActionAdd->trigger();  // Cancel adds nothing
    EXPECT_EQ(step1->RowCount(), 3);
    EXPECT_EQ(Column(icFileFullName), (std::vector<std::string>{File("c.mp4"), File("a.avi"), File("b.mp3")}));
    ASSERT_EQ(rememberedNames.size(), 3u);
    EXPECT_EQ(rememberedNames[1], File("c.mp4"));  // one file chosen: its name is offered again
    EXPECT_EQ(rememberedNames[2].find("b.mp3"), std::string::npos);  // several: the name is cleared
    EXPECT_EQ(shownFolders[0], media_->path());

    ASSERT_EQ(filters.size(), 4);
    EXPECT_TRUE(filters[0].startsWith("All Supported Formats (*.AVI *.avi *.AVM *.avm"));
    EXPECT_TRUE(filters[1].startsWith("All Video Formats (all types) (*.AVI"));
    EXPECT_TRUE(filters[1].contains("*.WEBM *.webm)"));
    EXPECT_TRUE(filters[2].startsWith("All Audio Formats (all types) (*.MP3"));
    EXPECT_EQ(filters[3], "All Files (*)");
}

TEST_F(InputList, EngineLogLinesReachTheLogWindow) {
    Start();
    uint32_t id = 0;
    std::thread worker([&] {
        id = CurrentThreadId();
        FFLogger().Log(nullptr, llError, "probe says no");
        FFLogger().Log(nullptr, llInfo, "not shown at llError");
    });
    ASSERT_TRUE(PumpUntil([&] { return LogLines("#") > 0; }));
    worker.join();
    QCoreApplication::processEvents();
    const std::vector<std::string> lines = log->Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "#" + std::to_string(id) + ".3: probe says no"), lines.end());
    EXPECT_EQ(LogLines("#"), 1);
}

TEST_F(InputList, CodecLibrariesThatCannotBeLoadedLeaveOneLogLine) {
    // Neither "lib", "../lib" nor the system has this library.
    TFFLoader& loader = FFLoader();
    loader.UnloadSet(EngineLibrarySet);
    loader.SetLibraryFileName(liSwScale, "libswscale-missing.so.6");
    const bool created = Create();
    loader.SetLibraryFileName(liSwScale, "");
    loader.SetSearchFolder("");
    const bool loaded = form->ConversionPages() && form->ConversionPages()->Encoder().LibrariesLoaded();
    form.reset();
    ASSERT_TRUE(loader.LoadSet(EngineLibrarySet)) << loader.LastError();

    EXPECT_TRUE(created);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(LogLines("Load library libswscale-missing.so.6 error: "), 1);
    EXPECT_EQ(log->Lines().size(), 1u);
    EXPECT_TRUE(services.errors.empty());
}

}  // namespace
