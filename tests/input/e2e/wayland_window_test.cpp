// The window as a native Wayland client, under a headless Weston: a join from
// Step1 to Step4, the preview as a transient window of the main window, the
// skinned title's drag, minimise and close. A Wayland window cannot place
// itself; none of that may fail or hang there.
#include "../../ui/conversion_fixture.h"

#include "../../jobs/cli_runner.h"

#include "form_preview.h"
#include "format_choice.h"
#include "image_buttons.h"
#include "page_finish.h"
#include "page_step2.h"
#include "page_step3.h"
#include "settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QImage>
#include <QMouseEvent>
#include <QWindow>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A headless Weston on its own socket in a private runtime folder.
class HeadlessWeston {
public:
    bool Start() {
        runtime_ = std::make_unique<TempDir>();
        ::chmod(runtime_->path().c_str(), 0700);
        const std::string socket = "ov-test-" + std::to_string(::getpid());
        const std::string log = runtime_->file("weston.log");
        ::setenv("XDG_RUNTIME_DIR", runtime_->path().c_str(), 1);
        // Pixman draws real pixels for the screenshot; --debug lets a client take one.
        std::vector<std::string> args = {"weston", "--backend=headless-backend.so", "--use-pixman", "--debug",
                                         "--socket=" + socket, "--idle-time=0", "--no-config", "--log=" + log};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            // The compositor ends with this program, however it ends: the
            // application's connection to it lives until the very end.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(1);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::execvp("weston", argv.data());
            ::_exit(127);
        }
        if (pid_ < 0) {
            Reason = "weston cannot be started: fork failed";
            return false;
        }
        for (int i = 0; i < 200; ++i) {
            if (std::filesystem::exists(runtime_->file(socket))) {
                ::setenv("WAYLAND_DISPLAY", socket.c_str(), 1);
                return true;
            }
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                Reason = WIFEXITED(status) && WEXITSTATUS(status) == 127
                             ? "weston is not installed"
                             : "weston ended at start: " + ReadWholeFile(log);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Reason = "weston opened no socket within 10 s: " + ReadWholeFile(log);
        return false;
    }
    std::string Reason;

private:
    std::unique_ptr<TempDir> runtime_;
    pid_t pid_ = -1;
};

struct WaylandWindow : ConversionWindow {
    static void SetUpTestSuite() {
        weston_ = new HeadlessWeston;
        if (!weston_->Start()) return;
        ::setenv("QT_QPA_PLATFORM", "wayland", 1);
        EnsureApp();
        media_ = new TempDir;
        ASSERT_TRUE(MakeClip(media_->file("one.avi"), 4, 320, 240));
        ASSERT_TRUE(MakeClip(media_->file("two.avi"), 3, 480, 360));
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
        // The application and the compositor stay until the program ends.
    }
    void SetUp() override {
        if (!weston_->Reason.empty()) GTEST_SKIP() << weston_->Reason;
        ASSERT_EQ(QGuiApplication::platformName().toStdString(), "wayland");
    }
    static HeadlessWeston* weston_;
    static TempDir* media_;
    TempDir out;
};
HeadlessWeston* WaylandWindow::weston_ = nullptr;
TempDir* WaylandWindow::media_ = nullptr;

TEST_F(WaylandWindow, JoinFromStep1ToStep4WithThePreviewBesideIt) {
    // A position stored by a session that could place windows.
    const std::string settings = user.dir() + "config/Orvane Video Joiner/~system2.dat";
    std::filesystem::create_directories(user.dir() + "config/Orvane Video Joiner");
    WriteFormPlacement(settings, "Form", {123, 45, 772, 552, false});
    Start();
    ASSERT_TRUE(PumpUntil([&] { return form->windowHandle() && form->windowHandle()->isExposed(); }, 10000));
    // Dragging the title hands the move to the compositor: the window does
    // not follow the pointer by itself.
    const QPoint before = form->pos();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(200, 10), QPointF(200, 10), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &press);
    QMouseEvent drag(QEvent::MouseMove, QPointF(260, 70), QPointF(before.x() + 260, before.y() + 70),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &drag);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(260, 70), QPointF(before.x() + 260, before.y() + 70),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &release);
    EXPECT_EQ(form->pos(), before);

    // The compositor's own picture of the screen: the skin's outside is
    // transparent, so no magenta corner shows around the window.
    PumpUntil([] { return false; }, 500);
    TempDir shots;
    ASSERT_EQ(std::system(("cd " + Quoted(shots.path()) + " && weston-screenshooter >/dev/null 2>&1").c_str()), 0);
    QImage screen;
    for (const auto& e : std::filesystem::directory_iterator(shots.path())) screen.load(QString::fromStdString(e.path()));
    ASSERT_FALSE(screen.isNull());
    // The page area (its own colour, at 203,74 in the window) finds the window.
    int magenta = 0;
    QRect page;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x) {
            const QRgb p = screen.pixel(x, y) & 0xffffff;
            magenta += qRed(p) > 230 && qGreen(p) < 30 && qBlue(p) > 230;
            if (p == 0xf7f8fb) page |= QRect(x, y, 1, 1);
        }
    EXPECT_EQ(magenta, 0);
    ASSERT_GT(page.width(), 400) << "the window is not on the screenshot";
    const QPoint origin = page.topLeft() - QPoint(203, 74);
    // The top left corner shows what lies under the window, as a spot just
    // outside it does, not a colour of the window's own.
    if (origin.x() > 0 && origin.y() > 0) {
        EXPECT_EQ(screen.pixel(origin + QPoint(1, 1)), screen.pixel(origin - QPoint(1, 1)));
    }
    if (const QString dir = qEnvironmentVariable("OV_SCREENSHOT_DIR"); !dir.isEmpty())
        screen.save(dir + "/wayland_corners.png");

    step1->AddFiles({media_->file("one.avi"), media_->file("two.avi")});
    ASSERT_EQ(step1->RowCount(), 2);
    TImageButton* next = form->BottomButton(3);
    next->click();
    ASSERT_EQ(form->ActivePage(), wpStep2);
    form->Step2()->EditOutputDir()->setText(QString::fromStdString(out.path()));
    TFormatChoice* choice = form->Step2()->FormatChoice();
    choice->ClassButton(fcVideo)->click();
    choice->FormatButton(fcVideo, vfAVI)->click();
    form->Step3()->CheckBoxPreview->setChecked(true);
    next->click();
    ASSERT_EQ(form->ActivePage(), wpStep3);

    // The preview is a transient window of the main window, not a window at
    // a screen position the compositor would ignore.
    TFormPreview* preview = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            preview = form->findChild<TFormPreview*>();
            return (preview && preview->isVisible()) || form->ActivePage() == wpStep4;
        },
        60000));
    if (preview && preview->windowHandle()) {
        EXPECT_EQ(preview->windowHandle()->transientParent(), form->windowHandle());
    }

    ASSERT_TRUE(PumpUntil([&] { return form->ActivePage() == wpStep4; }, 180000));
    EXPECT_EQ(form->Step4()->LabelTotalFiles->text().toStdString(), "1");
    EXPECT_EQ(form->Step4()->LabelSucceeded->text().toStdString(), "1");
    EXPECT_FALSE(form->Step4()->LabelCancelled->isVisible());
    EXPECT_NEAR(DurationOf(Probe(out.dir() + "Output_Merge.avi")), 7, 0.5);

    // The log window opens as the main window's transient; minimise and close work.
    form->ActionLogExecute();
    ASSERT_TRUE(PumpUntil([&] { return log->isVisible(); }, 5000));
    if (log->windowHandle()) {
        EXPECT_EQ(log->windowHandle()->transientParent(), form->windowHandle());
    }
    log->close();
    form->ButtonMinClick();
    PumpUntil([] { return false; }, 200);
    form->ButtonCloseClick();
    EXPECT_FALSE(form->isVisible());
    // The size was written; the stored position, which this platform does
    // not let a window know, stays as it was.
    const TFormPlacement saved = ReadFormPlacement(settings, "Form", {});
    EXPECT_EQ(saved.X, 123);
    EXPECT_EQ(saved.Y, 45);
    EXPECT_EQ(saved.Width, form->width());
    EXPECT_EQ(saved.Height, form->height());
    EXPECT_FALSE(saved.Maximized);
}

}  // namespace
