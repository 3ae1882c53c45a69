// Pictures of every page and window in every skin, and the pictures of the
// software-centre listing, each checked to be saved and not blank. To keep
// them for a person to look at:
//   OV_SCREENSHOT_DIR=folder ui_tests --gtest_filter='Screenshots*:ListingPictures*'
#include "conversion_fixture.h"
#include "screenshot_folder.h"

#include "form_about.h"
#include "form_shutdown.h"
#include "format_choice.h"
#include "image_buttons.h"
#include "page_step2.h"
#include "page_step3.h"

#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace {

// The main window as on screen: outside the skin's outline is transparent.
QImage WindowPicture(TFormMain& f) {
    QCoreApplication::processEvents();
    QImage shot = f.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage& skinImage = f.Images().Main;
    for (int y = 0; y < shot.height() && y < skinImage.height(); ++y)
        for (int x = 0; x < shot.width() && x < skinImage.width(); ++x)
            if (skinImage.pixel(x, y) == qRgb(255, 0, 255)) shot.setPixel(x, y, qRgba(0, 0, 0, 0));
    return shot;
}

QImage Picture(QWidget& w) {
    QCoreApplication::processEvents();
    return w.grab().toImage();
}

TEST(Screenshots, EveryPageAndWindowInEverySkin) {
    const ScreenshotFolder shots;
    const char* folders[] = {"default", "skin1", "skin2", "skin3"};
    for (int skin = 0; skin < 4; ++skin) {
        AppUnderTest app(std::map<std::string, std::string>{{"Skin", std::to_string(skin)}, {"ResFolder", folders[skin]}});
        ASSERT_TRUE(app.Start());
        TFormMain& f = *app.form;
        f.show();
        const QString prefix = QString("skin%1_").arg(skin);
        for (int page = 0; page < WizardPageCount; ++page) {
            f.SetActivePage(static_cast<TWizardPage>(page));
            if (page == wpStep2) f.ShowOutputSettings();
            if (page == wpStep5) f.ShowDownloadSettings();
            shots.Save(WindowPicture(f), prefix + QString("page%1.png").arg(page));
        }
        f.SetActivePage(wpMode);
        for (int i = 0; i < 12; ++i) app.log->AppendLine("#140234.3: line " + std::to_string(i) + " of the log");
        app.log->show();
        shots.Save(Picture(*app.log), prefix + "log.png");
        app.log->hide();
        TFormAbout about(f.Config(), f.Images().LeftLogo, app.services, &f);
        about.show();
        shots.Save(Picture(about), prefix + "about.png");
        about.Tabs()->setCurrentIndex(1);
        shots.Save(Picture(about), prefix + "about_update.png");
        TFormShutdown countdown(&f);
        countdown.show();
        shots.Save(Picture(countdown), prefix + "countdown.png");
        f.ActionHelpExecute();
        ASSERT_TRUE(PumpUntil([&] { return f.HelpMenu()->isVisible(); }));
        shots.Save(Picture(*f.HelpMenu()), prefix + "helpmenu.png");
        f.HelpMenu()->hide();
    }
}

// The listing's pictures (packaging/screenshots, named in the AppStream
// metadata): the first page, files on the list, the format choice and a join
// under way, in the default skin with the real engine.
struct ListingPictures : ConversionWindow {};

TEST_F(ListingPictures, StartFilesFormatAndAJoinUnderWay) {
    const ScreenshotFolder shots("listing");
    TempDir home;
    const std::string media = home.file("Holiday"), out = home.file("Joined");
    ASSERT_TRUE(std::filesystem::create_directory(media));
    const std::string beach = media + "/Beach walk.mp4", city = media + "/City lights.mov",
                      garden = media + "/Garden.avi", song = media + "/Song for the road.mp3";
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=40 -f lavfi -i "
                         "sine=frequency=330:duration=40 -c:v mpeg4 -q:v 4 -c:a aac -shortest " +
                         Quoted(beach)));
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i smptehdbars=size=1920x1080:rate=30:duration=12 -f lavfi -i "
                         "sine=frequency=440:duration=12 -c:v mpeg4 -q:v 4 -c:a aac -shortest " +
                         Quoted(city)));
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i mandelbrot=size=640x480:rate=25 -t 9 -c:v mpeg4 -q:v 4 " +
                         Quoted(garden)));
    ASSERT_TRUE(RunShell("ffmpeg -v error -y -f lavfi -i sine=frequency=523:duration=30 -c:a libmp3lame -b:a 192k " +
                         Quoted(song)));

    Start({{"Download", "True"}});
    shots.Save(WindowPicture(*form), "start.png");

    form->OpenFiles({beach, city, garden, song});
    ASSERT_EQ(step1->RowCount(), 4);
    shots.Save(WindowPicture(*form), "files.png");

    form->BottomButton(3)->click();
    ASSERT_EQ(form->ActivePage(), wpStep2);
    form->Step2()->EditOutputDir()->setText(QString::fromStdString(out));
    TFormatChoice* choice = form->Step2()->FormatChoice();
    choice->ClassButton(fcVideo)->click();
    choice->FormatButton(fcVideo, vfMP4)->click();
    shots.Save(WindowPicture(*form), "format.png");

    form->BottomButton(3)->click();
    ASSERT_EQ(form->ActivePage(), wpStep3);
    ASSERT_TRUE(PumpUntil([&] { return form->Step3()->ProgressBar->value() >= 8; }, 120000));
    shots.Save(WindowPicture(*form), "progress.png");
    services.answers = {true};
    form->ActionExitExecute();
    ASSERT_TRUE(PumpUntil([&] { return form->ActivePage() == wpStep4; }, 60000));
}

}  // namespace
