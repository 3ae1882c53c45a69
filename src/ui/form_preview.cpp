#include "form_preview.h"

#include "bitmap_image.h"
#include "ff_bitmap.h"
#include "placement.h"
#include "util_funcs.h"
#include "wizard_pages.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

QString PreviewCaption(int64_t ptsUs) {
    return ptsUs < 0 ? QStringLiteral("N/A") : QString::fromStdString(FormatMicroseconds(ptsUs));
}

TFormPreview::TFormPreview(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("FormPreview");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_ShowWithoutActivating);
}

QSize PreviewWindowSize(const QSize& frame, const QSize& screen) {
    // A full-HD frame at its own size would cover the screen, the stay-on-top
    // window hiding the main window's Cancel: shrink it to half the screen.
    const QSize bound = screen / 2;
    if (bound.isEmpty() || (frame.width() <= bound.width() && frame.height() <= bound.height())) return frame;
    return frame.scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

void TFormPreview::ShowFrame(const QImage& frame, int64_t ptsUs) {
    frame_ = frame;
    setWindowTitle(PreviewCaption(ptsUs));
    const QScreen* screen = QGuiApplication::primaryScreen();
    QSize wanted = PreviewWindowSize(frame.size(), screen ? screen->availableGeometry().size() : QSize());
    // Smaller still where that keeps it off the main window: its progress
    // and Cancel stay in view. Below a useful size it may cover the window.
    const QRect main = MainFrameOf(parentWidget());
    if (screen && main.width() > 1 && !PlatformPlacesWindows()) {
        constexpr int Decoration = 16, Smallest = 200;
        const int room = RoomBeside(main, screen->availableGeometry()) - Decoration;
        if (room >= Smallest && wanted.width() > room)
            wanted = wanted.scaled(QSize(room, wanted.height()), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    }
    if (size() != wanted) setFixedSize(wanted);
    if (!placed_) {
        placed_ = true;
        // Beside the main window, so that its progress and Cancel stay in view
        // (a platform that places windows itself, such as Wayland, ignores this;
        // the owner makes it a transient window of the main window there).
        if (screen) {
            const QRect s = screen->availableGeometry();
            if (main.isValid() && main.width() > 1)
                move(BesideWindow(main, frameSize().expandedTo(size()), s, Cascade));
            else
                move(CenteredOrigin(s.x(), s.width(), width()), CenteredOrigin(s.y(), s.height(), height()));
        }
    }
    if (!isVisible() && !closedByUser_) show();
    update();
}

void TFormPreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (frame_.isNull()) return;
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), frame_);
}

void TFormPreview::closeEvent(QCloseEvent* event) {
    closedByUser_ = true;
    event->accept();
}

void TFormPreview::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // The window manager's own move where it offers one (the only way on Wayland).
    if (windowHandle() && windowHandle()->startSystemMove()) {
        dragOffset_ = QPoint(-1, -1);
        return;
    }
    dragOffset_ = event->globalPosition().toPoint() - pos();
}

void TFormPreview::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && dragOffset_ != QPoint(-1, -1)) move(event->globalPosition().toPoint() - dragOffset_);
}

TPreviewWindows::~TPreviewWindows() { CloseAll(); }

bool TPreviewWindows::ShowFrame(int taskIndex, const TFFBitmap& bitmap, int64_t ptsUs) {
    if (refused_.count(taskIndex)) return false;
    TFormPreview* window = Window(taskIndex);
    if (window && window->ClosedByUser()) {
        refused_.insert(taskIndex);
        windows_.erase(taskIndex);
        window->deleteLater();
        return false;
    }
    const QImage frame = ImageFromBitmap(bitmap);
    if (frame.isNull()) return true;
    if (!window) {
        window = new TFormPreview(owner_);
        window->Cascade = static_cast<int>(windows_.size());
        windows_[taskIndex] = window;
    }
    window->ShowFrame(frame, ptsUs);
    return true;
}

void TPreviewWindows::PreviewSwitched(bool on) {
    if (!on) CloseAll();
    refused_.clear();
}

void TPreviewWindows::CloseAll() {
    for (auto& [task, window] : windows_) delete window.data();
    windows_.clear();
    refused_.clear();
}

TFormPreview* TPreviewWindows::Window(int taskIndex) const {
    const auto it = windows_.find(taskIndex);
    return it == windows_.end() ? nullptr : it->second;
}
