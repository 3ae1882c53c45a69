// The preview windows: created on a task's first frame, the frame time as
// caption, refusing frames once the user closed them, gone when Preview is
// switched off or the tasks are freed.
#include "ui_fixture.h"

#include "ff_bitmap.h"
#include "form_preview.h"
#include "placement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

TFFBitmap Frame(int width, int height, uint8_t red) {
    TFFBitmap b;
    b.Reset(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) b.Row(y)[x * 3] = red;
    return b;
}

TEST(PreviewWindows, ShowCloseRefuseAndSwitchOff) {
    EnsureApp();
    QWidget owner;
    TPreviewWindows previews(&owner);
    EXPECT_EQ(previews.Count(), 0);

    ASSERT_TRUE(previews.ShowFrame(0, Frame(160, 120, 200), 61'234'000));
    TFormPreview* window = previews.Window(0);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle().toStdString(), "00:01:01.234");
    EXPECT_EQ(window->size(), QSize(160, 120));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_EQ(qRed(window->Frame().pixel(5, 5)), 200);

    // Later frames reuse the window; a frame without a time reads N/A.
    ASSERT_TRUE(previews.ShowFrame(0, Frame(160, 120, 10), -1));
    EXPECT_EQ(previews.Window(0), window);
    EXPECT_EQ(window->windowTitle().toStdString(), "N/A");
    EXPECT_EQ(qRed(window->Frame().pixel(5, 5)), 10);

    // Another task has its own window.
    ASSERT_TRUE(previews.ShowFrame(1, Frame(64, 48, 1), 0));
    EXPECT_EQ(previews.Count(), 2);
    EXPECT_EQ(previews.Window(1)->windowTitle().toStdString(), "00:00:00.000");

    // The user closes task 0's window: its frames are refused from then on.
    window->close();
    EXPECT_FALSE(previews.ShowFrame(0, Frame(160, 120, 5), 1000));
    EXPECT_FALSE(previews.ShowFrame(0, Frame(160, 120, 5), 2000));
    EXPECT_EQ(previews.Window(0), nullptr);
    EXPECT_TRUE(previews.ShowFrame(1, Frame(64, 48, 1), 1000));

    // Switching Preview off destroys the windows; on again takes frames anew.
    previews.PreviewSwitched(false);
    EXPECT_EQ(previews.Count(), 0);
    previews.PreviewSwitched(true);
    EXPECT_TRUE(previews.ShowFrame(0, Frame(160, 120, 5), 3000));
    EXPECT_NE(previews.Window(0), nullptr);

    // Freed tasks take their windows along.
    previews.CloseAll();
    EXPECT_EQ(previews.Count(), 0);
    EXPECT_TRUE(previews.ShowFrame(0, TFFBitmap{}, 0));  // an empty picture shows nothing
    EXPECT_EQ(previews.Count(), 0);
}

TEST(PreviewWindows, LargeFramesShrinkToTheScreen) {
    // Small frames keep their size; a full-HD frame on a laptop screen fits
    // in half of it with its shape kept, leaving the main window's buttons free.
    EXPECT_EQ(PreviewWindowSize(QSize(320, 240), QSize(1366, 740)), QSize(320, 240));
    EXPECT_EQ(PreviewWindowSize(QSize(1920, 1080), QSize(1366, 740)), QSize(657, 370));
    EXPECT_EQ(PreviewWindowSize(QSize(720, 1280), QSize(1366, 740)), QSize(208, 370));
    EXPECT_EQ(PreviewWindowSize(QSize(640, 480), QSize()), QSize(640, 480));

    EnsureApp();
    QWidget owner;
    TPreviewWindows previews(&owner);
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    ASSERT_TRUE(previews.ShowFrame(0, Frame(screen.width() * 2, screen.height() * 2, 9), 0));
    TFormPreview* window = previews.Window(0);
    EXPECT_LE(window->width(), screen.width() / 2 + 1);
    EXPECT_LE(window->height(), screen.height() / 2 + 1);
    EXPECT_EQ(window->Frame().size(), QSize(screen.width() * 2, screen.height() * 2));
}

TEST(PreviewWindows, OpenBesideTheMainWindow) {
    const QRect screen(0, 0, 1600, 1000);
    // Room on the right: there, top-aligned; each further window lower.
    EXPECT_EQ(BesideWindow(QRect(100, 200, 772, 552), QSize(320, 240), screen), QPoint(880, 200));
    EXPECT_EQ(BesideWindow(QRect(100, 200, 772, 552), QSize(320, 240), screen, 2), QPoint(880, 260));
    // None on the right: on the left.
    EXPECT_EQ(BesideWindow(QRect(700, 200, 772, 552), QSize(320, 240), screen), QPoint(372, 200));
    // None on either side: below it (the log window of a centred main window),
    // else against the edge with more room, kept on the screen.
    EXPECT_EQ(BesideWindow(QRect(414, 224, 772, 552), QSize(455, 182), screen), QPoint(414, 784));
    EXPECT_EQ(BesideWindow(QRect(414, 400, 772, 552), QSize(455, 182), screen), QPoint(414, 210));
    EXPECT_EQ(BesideWindow(QRect(414, 224, 772, 552), QSize(640, 480), screen), QPoint(960, 224));
    EXPECT_EQ(BesideWindow(QRect(100, 900, 772, 552), QSize(320, 240), screen), QPoint(880, 760));
    // The free strip a preview is shrunk to: 414 pixels either side, less the gap.
    EXPECT_EQ(RoomBeside(QRect(414, 224, 772, 552), screen), 406);
    EXPECT_EQ(RoomBeside(QRect(0, 0, 1600, 1000), screen), -8);

    // A preview of a main window in the middle of the screen shrinks to the
    // strip beside it instead of covering its progress. The main window
    // leaves a strip narrower than the picture on either side of the screen.
    EnsureApp();
    QWidget owner;
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    const int ownerWidth = avail.width() - 2 * 260;
    ASSERT_GT(ownerWidth, 100) << "the test screen is too small";
    owner.setGeometry(avail.x() + 260, avail.y() + 100, ownerWidth, 300);
    owner.show();
    TPreviewWindows previews(&owner);
    ASSERT_TRUE(previews.ShowFrame(0, Frame(640, 480, 3), 0));
    const TFormPreview* window = previews.Window(0);
    const int room = RoomBeside(owner.frameGeometry(), avail);
    ASSERT_GE(room, 216);
    ASSERT_LT(room, 640);
    EXPECT_LE(window->width(), room);
    EXPECT_LT(window->width(), 640);
    EXPECT_FALSE(window->frameGeometry().intersects(owner.frameGeometry()));
}

}  // namespace
