// Start-up, skins, frame, help menu, about window and the closing order.
#include "ui_fixture.h"

#include "app_title.h"
#include "form_about.h"
#include "image_buttons.h"
#include "ini_file.h"
#include "layout.h"
#include "util_funcs.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const std::vector<std::string> kStartHooks = {"PrepareInputList", "LoadCodecLibraries", "JoinClipboardChain",
                                              "CreateScriptHost"};
const std::vector<std::string> kCloseHooks = {"DetachEngineEvents", "StopEngine", "AbortTransfers",
                                              "LeaveClipboardChain"};

TEST(Startup, FirstStartWritesTheDefaultsAndTheNextStartRestoresThem) {
    AppUnderTest app({{"DefaultVideo", "300"}, {"DefaultAudio", "2"}, {"DefaultClass", "3"}});
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(app.form->calls, kStartHooks);
    EXPECT_EQ(app.form->ActivePage(), wpMode);
    EXPECT_EQ(app.form->windowTitle().toStdString(), "Orvane Video Joiner");
    EXPECT_EQ(app.settings().OutputVideoFormat, 44);  // the low byte of 300
    EXPECT_EQ(app.settings().OutputFormatClass, 0);   // 3 is no class
    EXPECT_EQ(app.form->UserDataFolder(), app.user.dir() + "config/Orvane Video Joiner/");

    // The settings file exists at once with every default; the window is centred.
    IniFile ini;
    ASSERT_TRUE(ini.Load(app.SettingsFile()));
    const std::string docs = app.user.dir() + "Documents";
    const std::map<std::string, std::string> defaults = {
        // No folder added from yet: the Add dialog starts in the home folder.
        {"LastOpenDir", ""}, {"OutputFileDir", docs}, {"OutputURLDir", docs}, {"OutputFormatClass", "0"},
        {"OutputAudioFormat", "2"}, {"OutputVideoFormat", "44"}, {"OutputDeviceFormat", "0"},
        {"OutputWAVPreset", "3"}, {"OutputMP3Preset", "2"}, {"OutputWMAPreset", "1"}, {"OutputOGGPreset", "3"},
        {"OutputM4APreset", "0"}, {"OutputAACPreset", "3"}, {"OutputFLACPreset", "5"}, {"OutputMP2Preset", "0"},
        {"OutputAVIPreset", "3"}, {"OutputMP4Preset", "19"}, {"OutputFLVPreset", "1"}, {"OutputSWFPreset", "1"},
        {"OutputMPEGPreset", "5"}, {"OutputRMPreset", "1"}, {"OutputWMVPreset", "16"}, {"OutputMOVPreset", "7"},
        {"Output3GPPreset", "2"}, {"OutputMKVPreset", "1"}, {"OutputWebMPreset", "1"}, {"OutputiPodPreset", "5"},
        {"OutputiPhonePreset", "1"},
        {"OutputAppleTVPreset", "1"}, {"OutputPSPPreset", "1"}, {"OutputBlackBerryPreset", "1"},
        {"OutputMobilePhonePreset", "1"}, {"OutputiPadPreset", "0"}, {"OutputAndroidPreset", "0"},
        {"PlayASoundWhenFinished", "0"}, {"ShutDownWhenFinished", "0"}, {"PreferYouTubeQuality", "1"},
        {"PreferYouTube1", "7"}, {"PreferYouTube2", "3"}, {"PreferYouTube3", "2"}, {"PreferYouTube4", "1"},
        {"PreferYouTube5", "0"}, {"PreferYouTube6", "6"}, {"PreferYouTube7", "4"}, {"PreferYouTube18", "5"},
        {"JoinFiles", "1"}};
    for (const auto& [key, value] : defaults) EXPECT_EQ(ini.Get("System", key).value_or("<none>"), value) << key;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(app.form->x(), (screen.width() - app.form->width()) / 2);
    EXPECT_EQ(app.form->y(), (screen.height() - app.form->height()) / 2);
    EXPECT_EQ(app.form->size(), QSize(772, 552));  // the skin bitmap's size

    // Changes made while running are written at close, with both placements.
    app.form->show();
    app.form->move(10, 30);
    app.settings().OutputFileDir = "/chosen/";
    app.settings().PresetOf(fcVideo, vfWMV) = 2;
    app.settings().PlayASoundWhenFinished = true;
    app.settings().PreferYouTube[7] = 3;
    app.form->calls.clear();
    app.form->ButtonCloseClick();  // no question
    EXPECT_TRUE(app.services.questions.empty());
    EXPECT_EQ(app.form->calls, kCloseHooks);
    EXPECT_FALSE(app.form->isVisible());
    ASSERT_TRUE(ini.Load(app.SettingsFile()));
    EXPECT_EQ(ini.Get("System", "OutputWMVPreset"), "2");
    EXPECT_EQ(ini.Get("Form", "x"), "10");
    EXPECT_EQ(ini.Get("Form", "y"), "30");
    EXPECT_EQ(ini.Get("Form", "width"), "772");
    EXPECT_EQ(ini.Get("FormLog", "width"), "455");

    // A second start reads what the first wrote.
    app.form.reset();
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(app.settings().OutputFileDir, "/chosen/");
    EXPECT_EQ(app.settings().PresetOf(fcVideo, vfWMV), 2);
    EXPECT_TRUE(app.settings().PlayASoundWhenFinished);
    EXPECT_EQ(app.settings().PreferYouTube[7], 3);
    EXPECT_EQ(app.form->pos(), QPoint(10, 30));
}

TEST(Startup, ErrorsAreShownAndNothingIsWritten) {
    struct Case {
        std::map<std::string, std::string> config;
        const char* expected;
    };
    const Case cases[] = {
        {{{"Skin", ""}}, "'' is not a valid integer value"},
        {{{"DefaultClass", "<missing>"}}, "'' is not a valid integer value"},
        {{{"DefaultVideo", "two"}}, "'two' is not a valid integer value"},
        {{{"ResFolder", "nosuchskin"}}, "toplogo.png"},
    };
    for (const Case& c : cases) {
        AppUnderTest app(c.config);
        EXPECT_FALSE(app.Start());
        ASSERT_EQ(app.services.errors.size(), 1u);
        EXPECT_NE(app.services.errors[0].find(c.expected), std::string::npos) << app.services.errors[0];
        app.form->close();
        EXPECT_FALSE(FileExists(app.SettingsFile()));
        EXPECT_TRUE(app.form->calls.empty() || app.form->calls == kCloseHooks);
    }
    // No configuration file at all.
    EnsureApp();
    ProgramFolder bare({}, false);
    AppUnderTest app;
    FakeServices services;
    TFormLog log(services, TestDispatcher());
    TFormMainDeps deps{&services, nullptr, &log, {}, bare.dir(), app.user.dir() + "config", "/docs"};
    TestFormMain form(TestDispatcher(), deps);
    EXPECT_FALSE(form.FormCreate());
    ASSERT_EQ(services.errors.size(), 1u);
    EXPECT_NE(services.errors[0].find("lamecore.dll"), std::string::npos);
    form.close();
    EXPECT_FALSE(FileExists(app.SettingsFile()));
}

TEST(Startup, ASettingsWriteErrorIsShownAndClosingGoesOn) {
    AppUnderTest app;
    ASSERT_TRUE(app.Start());
    app.form->show();
    // The settings file turns into a folder: no write can replace it.
    std::filesystem::remove(app.SettingsFile());
    std::filesystem::create_directory(app.SettingsFile());
    app.form->close();
    EXPECT_FALSE(app.form->isVisible());
    EXPECT_EQ(app.services.errors.size(), 3u);  // settings and both placements
    EXPECT_EQ(app.form->calls.back(), "LeaveClipboardChain");
}

TEST(Startup, AnUnreadableSettingsFileIsReportedAndNeverOverwritten) {
    AppUnderTest app;
    // A socket stands in for a file the user cannot read (root reads any file).
    std::filesystem::create_directories(std::filesystem::path(app.SettingsFile()).parent_path());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(app.SettingsFile().size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, app.SettingsFile().c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    ASSERT_TRUE(app.Start());  // the session goes on with the defaults
    ASSERT_EQ(app.services.errors.size(), 1u);
    EXPECT_NE(app.services.errors[0].find("~system2.dat"), std::string::npos) << app.services.errors[0];
    EXPECT_EQ(app.settings().PresetOf(fcVideo, vfWMV), 16);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(app.form->x(), (screen.width() - app.form->width()) / 2);  // no placement to restore
    app.form->show();
    app.log->show();
    app.log->close();
    app.form->close();
    EXPECT_EQ(app.services.errors.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_socket(app.SettingsFile()));
    ::close(fd);
}

TEST(Startup, SkinLayouts) {
    for (int skin : {0, 1, 2, 3, 7}) {
        AppUnderTest app(std::map<std::string, std::string>{{"Skin", std::to_string(skin)}});
        ASSERT_TRUE(app.Start());
        const TSkinLayout s = SkinLayout(skin);
        TFormMain& f = *app.form;
        const TPoint bottom[] = {s.Help, s.Log, s.Back, s.Next, s.Exit};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(f.BottomButton(i)->pos(), QPoint(bottom[i].X, bottom[i].Y)) << skin;
        EXPECT_EQ(f.BottomButton(0)->size(), QSize(90, 30));  // from its images
        EXPECT_EQ(f.PageControlMain()->pos(), QPoint(s.PageArea.X, s.PageArea.Y));
        EXPECT_EQ(f.LabelTitle()->pos(), QPoint(s.TitleText.X, s.TitleText.Y));
        EXPECT_EQ(f.LabelTitle()->font().bold(), skin != 3);
        EXPECT_EQ(f.ButtonMin()->isHidden(), skin == 3);
        EXPECT_EQ(f.ButtonClose()->isHidden(), skin == 3);
        if (skin != 3) {
            EXPECT_EQ(f.ButtonMin()->pos(), QPoint(s.Minimise.X, s.Minimise.Y));
            EXPECT_EQ(f.ButtonClose()->pos(), QPoint(s.Close.X, s.Close.Y));
        }
    }
    // The window takes the shape of its skin: on X11 the magenta corner is
    // cut away; elsewhere (Wayland, here offscreen) it is drawn transparent.
    AppUnderTest app;
    ASSERT_TRUE(app.Start());
    if (QGuiApplication::platformName() == "xcb") {
        EXPECT_FALSE(app.form->mask().contains(QPoint(0, 0)));
        EXPECT_TRUE(app.form->mask().contains(QPoint(386, 276)));
    } else {
        EXPECT_TRUE(app.form->testAttribute(Qt::WA_TranslucentBackground));
        const QImage shot = app.form->grab().toImage();
        EXPECT_EQ(qAlpha(shot.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(shot.pixel(386, 276)), 255);
        int magenta = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) magenta += (shot.pixel(x, y) | 0xff000000) == 0xffff00ff && qAlpha(shot.pixel(x, y)) > 0;
        EXPECT_EQ(magenta, 0);
    }
}

TEST(Startup, HelpMenuShortcutsAndAboutWindow) {
    AppUnderTest app(std::map<std::string, std::string>{{"Skin", "2"}});
    ASSERT_TRUE(app.Start());
    TFormMain& f = *app.form;
    f.show();
    f.move(100, 50);
    f.ActionHelpExecute();
    QMenu* menu = f.HelpMenu();
    ASSERT_TRUE(PumpUntil([&] { return menu->isVisible(); }));
    // Help button (40, 513) + window (100, 50) + skin offset 5; below the 30-pixel button.
    EXPECT_EQ(menu->pos(), QPoint(40 + 100 + 5, 513 + 50 + 30));
    QStringList texts;
    for (QAction* a : menu->actions()) texts << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(texts.join("|").toStdString(),
              "Help Content|How Tos && Tutorial Videos...|-|Home Page...|More Free Tools...|-|Check for "
              "Updates...|Contact Technical Support...|-|About");
    // Help Content is the installed manual, never a web page; a missing one is said.
    menu->actions().front()->trigger();
    ASSERT_EQ(app.services.errors.size(), 1u);
    EXPECT_EQ(app.services.errors[0], "The help is not installed: " + f.HelpFile() + " is missing.");
    EXPECT_TRUE(app.services.opened.empty());
    std::filesystem::create_directories(app.program.dir() + "help");
    std::ofstream(f.HelpFile()) << "<html></html>";
    for (QAction* a : menu->actions())
        if (!a->isSeparator() && a->text() != "About") a->trigger();
    menu->hide();
    EXPECT_EQ(f.HelpFile(), app.program.dir() + "help/orvane-video-joiner.html");
    EXPECT_EQ(app.services.opened,
              (std::vector<std::string>{f.HelpFile(), "https://help.example/howto",
                                        "https://help.example/", "https://help.example/tools",
                                        "https://help.example/update", "https://help.example/support"}));

    auto* exit = f.findChild<QAction*>("ActionExit");
    auto* help = f.findChild<QAction*>("ActionHelpContent");
    ASSERT_TRUE(exit && help);
    EXPECT_EQ(exit->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F4));
    EXPECT_EQ(help->shortcut(), QKeySequence(Qt::Key_F1));
    help->trigger();
    EXPECT_EQ(app.services.opened.back(), f.HelpFile());
    exit->trigger();  // asks first
    EXPECT_EQ(app.services.questions.back(), "Are you sure to quit now?");
    EXPECT_TRUE(f.isVisible());

    // The about window: modal, centred over the main window, closed with OK.
    std::string product, centred;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<TFormAbout*>(QApplication::activeModalWidget());
        if (!about) return;
        product = about->findChild<QLabel*>("LabelProduct")->text().toStdString();
        const QPoint expect(100 + (f.width() - about->width()) / 2, 50 + (f.height() - about->height()) / 2);
        centred = about->pos() == expect ? "yes" : "no";
        EXPECT_EQ(about->Tabs()->tabText(0), "About");
        EXPECT_EQ(about->Tabs()->tabText(1), "Update");
        about->findChild<QPushButton*>("ButtonUpdates")->click();
        about->ButtonOK()->click();
    });
    f.ShowAbout();
    EXPECT_EQ(product, "Orvane Video Joiner 1.2.3");
    EXPECT_EQ(centred, "yes");
    EXPECT_EQ(app.services.opened.back(), "https://help.example/update");
}

TEST(Startup, AboutWindowWithoutPictureInSkin3) {
    EnsureApp();
    FakeServices services;
    TProductConfig config;
    config.Version = "2.0";
    config.HelpHomePageLink = "https://home.example/";
    config.HelpSupportLink = "https://support.example/";
    TFormAbout normal(config, QPixmap(180, 420), services);
    EXPECT_FALSE(normal.Picture()->isHidden());
    config.SkinIndex = 3;
    TFormAbout narrow(config, QPixmap(180, 420), services);
    EXPECT_TRUE(narrow.Picture()->isHidden());
    EXPECT_EQ(narrow.Tabs()->x(), 10);
    EXPECT_EQ(narrow.ButtonOK()->geometry().right(), narrow.Tabs()->geometry().right());
    EXPECT_EQ(narrow.width(), narrow.Tabs()->geometry().right() + 1 + 15);
    EXPECT_LT(narrow.width(), normal.width());
    // The links open their own text.
    auto* web = narrow.findChild<QLabel*>("LabelWebSite");
    auto* support = narrow.findChild<QLabel*>("LabelSupport");
    ASSERT_TRUE(web && support);
    emit web->linkActivated("#");
    emit support->linkActivated("#");
    EXPECT_EQ(services.opened, (std::vector<std::string>{"https://home.example/", "https://support.example/"}));
}

// The real program, ended by a signal as a session's end or `kill` ends it:
// it closes like the close button, so the window placement gets written.
TEST(Startup, ATerminateSignalClosesTheWindowTheNormalWay) {
    TempDir home;
    const std::string settings = home.dir() + ".config/" + AppTitle + "/~system2.dat";
    const std::string program = std::string(OV_BIN_DIR) + "/orvane-video-joiner";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("HOME", home.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home.dir() + ".config").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // The first start writes the defaults; the placement only comes at close.
    const auto has = [&](const std::string& text) {
        return ReadWholeFile(settings).find(text) != std::string::npos;
    };
    for (int i = 0; i < 600 && !has("[System]"); ++i) ::usleep(50000);
    EXPECT_TRUE(has("[System]"));
    EXPECT_FALSE(has("[Form]"));
    ::kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 600 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) ::usleep(50000);
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "the program did not end";
    }
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    EXPECT_TRUE(has("[Form]"));
}

}  // namespace
