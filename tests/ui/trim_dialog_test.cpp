// The trim dialog on Step1's rows, driven by its keys, and a join from the
// window that uses only the trimmed part.
#include "conversion_fixture.h"

#include "../jobs/cli_runner.h"

#include "form_trim.h"
#include "format_choice.h"
#include "image_buttons.h"
#include "page_step2.h"
#include "page_step3.h"

#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QtTest/QTest>

#include <filesystem>

namespace {

struct TrimDialog : ConversionWindow {
    static void SetUpTestSuite() {
        media_ = new TempDir;
        // 25 fps, a key frame each second, B-frames: stepping back crosses groups.
        ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=4 -f lavfi -i "
                             "sine=duration=4 -c:v libx264 -preset veryfast -g 25 -keyint_min 25 -bf 2 -c:a aac "
                             "-shortest " +
                             Quoted(media_->file("clip.mp4"))));
        ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i sine=duration=3 -c:a libmp3lame -b:a 64k " +
                             Quoted(media_->file("song.mp3"))));
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }
    static TempDir* media_;

    // Opens the dialog on the row as a double-click does, runs drive on it
    // while it is shown, and returns whether it was accepted.
    bool TrimRow(int row, const std::function<void(TFormTrim&)>& drive) {
        step1->SelectRow(row);
        bool accepted = false;
        step1->ExecTrimDialog = [&](TFormTrim& dialog) {
            dialog.show();
            drive(dialog);
            accepted = dialog.result() == QDialog::Accepted;
            return accepted;
        };
        emit step1->Grid()->doubleClicked(step1->Model()->index(row, 0));
        return accepted;
    }
};
TempDir* TrimDialog::media_ = nullptr;

void Key(QWidget* to, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(to, key, modifiers);
}
std::string Text(const QLabel* l) { return l->text().toStdString(); }

TEST_F(TrimDialog, KeysStepSetAndAcceptAndTheJoinUsesTheRange) {
    Start();
    const std::string clip = media_->file("clip.mp4");
    form->OpenFiles({clip, clip, media_->file("song.mp3")});
    ASSERT_EQ(step1->RowCount(), 3);
    const std::string whole = Column(icDuration)[0];

    // Frames and key frames both ways, across a group's start; I and O take
    // the shown picture; a wrong time keeps the dialog open with its reason.
    EXPECT_TRUE(TrimRow(1, [](TFormTrim& d) {
        ASSERT_TRUE(d.HasPicture());
        EXPECT_EQ(d.Position(), 0);
        QSlider* s = d.Slider();
        s->setValue(3000);  // the slider's place is decoded when the loop runs
        ASSERT_TRUE(PumpUntil([&] { return !d.Busy(); }));
        EXPECT_EQ(d.Position(), 3000000);
        EXPECT_NE(Text(d.LabelPosition()).find("key frame"), std::string::npos);
        Key(s, Qt::Key_Left);
        EXPECT_EQ(d.Position(), 2960000);
        Key(s, Qt::Key_Left, Qt::ShiftModifier);
        Key(s, Qt::Key_Left, Qt::ShiftModifier);
        EXPECT_EQ(d.Position(), 1000000);
        Key(s, Qt::Key_Right, Qt::ShiftModifier);
        EXPECT_EQ(d.Position(), 2000000);
        Key(s, Qt::Key_Left, Qt::ShiftModifier);
        for (int i = 0; i < 3; ++i) Key(s, Qt::Key_Right);
        Key(s, Qt::Key_Left);
        EXPECT_EQ(d.Position(), 1080000);
        Key(s, Qt::Key_I);
        EXPECT_EQ(d.EditStart()->text(), "00:01.080");
        s->setValue(3000);
        ASSERT_TRUE(PumpUntil([&] { return !d.Busy(); }));
        EXPECT_EQ(d.Position(), 3000000);
        Key(s, Qt::Key_Left);
        Key(s, Qt::Key_O);
        EXPECT_EQ(Text(d.LabelLength()), "Length: 00:01.880");
        // Setting the start after the end is refused.
        Key(s, Qt::Key_Right, Qt::ShiftModifier);
        Key(s, Qt::Key_I);
        EXPECT_EQ(d.TrimStartUs(), 1080000);
        EXPECT_FALSE(d.LabelError()->isHidden());

        d.EditEnd()->setFocus();
        d.EditEnd()->selectAll();
        QTest::keyClicks(d.EditEnd(), "2:9x");
        Key(d.EditEnd(), Qt::Key_Return);
        EXPECT_NE(d.result(), QDialog::Accepted);
        EXPECT_EQ(Text(d.LabelError()), "'2:9x' is no time: write [h:]mm:ss.fff, for example 01:30.500.");
        EXPECT_EQ(d.EditEnd()->text(), "2:9x");
        d.EditEnd()->selectAll();
        QTest::keyClicks(d.EditEnd(), "0:02.96");
        Key(d.EditEnd(), Qt::Key_Return);
    }));
    EXPECT_EQ(Column(icDuration), (std::vector<std::string>{whole, "Duration: 00:01.880 (00:01.080 to 00:02.960)",
                                                            Column(icDuration)[2]}));

    // The sound has no picture; its steps are tenths and seconds; Escape
    // leaves the row as it was.
    EXPECT_FALSE(TrimRow(2, [](TFormTrim& d) {
        EXPECT_FALSE(d.HasPicture());
        EXPECT_TRUE(d.Picture()->isHidden());
        Key(d.Slider(), Qt::Key_Right);
        Key(d.Slider(), Qt::Key_Right, Qt::ShiftModifier);
        EXPECT_EQ(d.Position(), 1100000);
        Key(d.Slider(), Qt::Key_I);
        EXPECT_EQ(d.TrimStartUs(), 1100000);
        Key(d.Slider(), Qt::Key_Escape);
    }));
    EXPECT_FALSE(step1->JobInputs()[2].Trimmed());

    // The trim moves with its row; the other copy of the file stays whole.
    step1->MoveRow(1, 0);
    step1->MoveRow(2, 1);
    std::vector<TJobInput> inputs = step1->JobInputs();
    ASSERT_EQ(inputs.size(), 3u);
    EXPECT_EQ(inputs[0].TrimStartUs, 1080000);
    EXPECT_EQ(inputs[0].TrimEndUs, 2960000);
    EXPECT_FALSE(inputs[2].Trimmed());
    step1->SelectRow(1);
    step1->ActionDeleteExecute();

    // Joined: the trimmed part, then the whole clip; the list, the length
    // and the second chapter follow the trim.
    const std::string out = user.file("out");
    form->BottomButton(3)->click();
    ASSERT_EQ(form->ActivePage(), wpStep2);
    form->Step2()->EditOutputDir()->setText(QString::fromStdString(out));
    form->Step2()->FormatChoice()->ClassButton(fcVideo)->click();
    form->Step2()->FormatChoice()->FormatButton(fcVideo, vfMP4)->click();
    form->BottomButton(3)->click();
    ASSERT_EQ(form->ActivePage(), wpStep3);
    QTreeWidget* list = form->Step3()->ListViewConverting;
    ASSERT_TRUE(PumpUntil([&] { return list->topLevelItemCount() == 2; }));
    EXPECT_EQ(list->topLevelItem(0)->text(ccDuration), "00:00:01.880");
    ASSERT_TRUE(PumpUntil([&] { return form->ActivePage() == wpStep4; }, 120000));
    std::string output;
    for (const auto& entry : std::filesystem::directory_iterator(out)) output = entry.path().string();
    const nlohmann::json probed = FFprobeJson("-show_format -show_chapters", output);
    EXPECT_NEAR(DurationOf(probed), 5.88, 0.1);
    ASSERT_EQ(probed["chapters"].size(), 2u);
    EXPECT_NEAR(std::stod(probed["chapters"][1].value("start_time", "0")), 1.88, 0.05);
}

}  // namespace
