// Pictures of every page and window in every skin, for a person to look at:
// OV_SCREENSHOT_DIR=folder ui_tests --gtest_filter=Screenshots.*
#include "ui_fixture.h"

#include "form_about.h"
#include "form_shutdown.h"
#include "page_step2.h"

#include <QMenu>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace {

TEST(Screenshots, EveryPageAndWindowInEverySkin) {
    const QString dir = qEnvironmentVariable("OV_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "set OV_SCREENSHOT_DIR to write the pictures";
    const char* folders[] = {"default", "skin1", "skin2", "skin3"};
    for (int skin = 0; skin < 4; ++skin) {
        AppUnderTest app(std::map<std::string, std::string>{{"Skin", std::to_string(skin)}, {"ResFolder", folders[skin]}});
        ASSERT_TRUE(app.Start());
        TFormMain& f = *app.form;
        f.show();
        const QString prefix = QString("%1/skin%2_").arg(dir).arg(skin);
        for (int page = 0; page < WizardPageCount; ++page) {
            f.SetActivePage(static_cast<TWizardPage>(page));
            if (page == wpStep2) f.ShowOutputSettings();
            if (page == wpStep5) f.ShowDownloadSettings();
            QCoreApplication::processEvents();
            QImage shot = f.grab().toImage().convertToFormat(QImage::Format_ARGB32);
            // Outside the skin's outline is transparent, as on screen.
            const QImage& skinImage = f.Images().Main;
            for (int y = 0; y < shot.height() && y < skinImage.height(); ++y)
                for (int x = 0; x < shot.width() && x < skinImage.width(); ++x)
                    if (skinImage.pixel(x, y) == qRgb(255, 0, 255)) shot.setPixel(x, y, qRgba(0, 0, 0, 0));
            shot.save(prefix + QString("page%1.png").arg(page));
        }
        f.SetActivePage(wpMode);
        for (int i = 0; i < 12; ++i) app.log->AppendLine("#140234.3: line " + std::to_string(i) + " of the log");
        app.log->show();
        QCoreApplication::processEvents();
        app.log->grab().save(prefix + "log.png");
        app.log->hide();
        TFormAbout about(app.g, f.Images().LeftLogo, app.services, &f);
        about.show();
        QCoreApplication::processEvents();
        about.grab().save(prefix + "about.png");
        about.Tabs()->setCurrentIndex(1);
        about.grab().save(prefix + "about_update.png");
        TFormShutdown countdown(&f);
        countdown.show();
        QCoreApplication::processEvents();
        countdown.grab().save(prefix + "countdown.png");
        f.ActionHelpExecute();
        PumpUntil([&] { return f.HelpMenu()->isVisible(); });
        f.HelpMenu()->grab().save(prefix + "helpmenu.png");
        f.HelpMenu()->hide();
    }
}

}  // namespace
