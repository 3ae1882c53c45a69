#include "placement.h"

#include "settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {
constexpr int Gap = 8;
}

int RoomBeside(const QRect& mainFrame, const QRect& screen) {
    return std::max(screen.right() - mainFrame.right(), mainFrame.left() - screen.left()) - Gap;
}

QPoint BesideWindow(const QRect& mainFrame, const QSize& size, const QRect& screen, int index) {
    const int right = mainFrame.right() + 1 + Gap;
    const int left = mainFrame.left() - Gap - size.width();
    int x;
    if (right + size.width() <= screen.right() + 1) {
        x = right;
    } else if (left >= screen.left()) {
        x = left;
    } else {
        // Neither side has room: below or above it, else against the
        // screen's edge on the side with more room.
        const int below = mainFrame.bottom() + 1 + Gap, above = mainFrame.top() - Gap - size.height();
        const int under = std::max(screen.left(), std::min(mainFrame.left(), screen.right() + 1 - size.width()));
        if (below + size.height() <= screen.bottom() + 1) return {under, below};
        if (above >= screen.top()) return {under, above};
        x = screen.right() + 1 - mainFrame.right() >= mainFrame.left() - screen.left()
                ? screen.right() + 1 - size.width()
                : screen.left();
    }
    x = std::max(screen.left(), std::min(x, screen.right() + 1 - size.width()));
    int y = mainFrame.top() + 30 * index;
    y = std::max(screen.top(), std::min(y, screen.bottom() + 1 - size.height()));
    return {x, y};
}

QRect MainFrameOf(const QWidget* widget) {
    const QWidget* top = widget ? widget->window() : nullptr;
    return top ? top->frameGeometry() : QRect();
}

bool PlatformPlacesWindows() { return QGuiApplication::platformName().startsWith("wayland"); }

void LoadFormPlacement(const std::string& settingsPath, const std::string& section, QWidget* window) {
    const TFormPlacement current{window->x(), window->y(), window->width(), window->height(), false};
    TFormPlacement p = ReadFormPlacement(settingsPath, section, current);
    if (PlatformPlacesWindows()) {
        window->setWindowState(p.Maximized ? (window->windowState() | Qt::WindowMaximized)
                                           : (window->windowState() & ~Qt::WindowMaximized));
        return;
    }
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1920, 1080);
    p = ClampPlacement(p, area.width(), area.height());
    window->move(p.X, p.Y);
    window->setWindowState(p.Maximized ? (window->windowState() | Qt::WindowMaximized)
                                       : (window->windowState() & ~Qt::WindowMaximized));
}

void SaveFormPlacement(const std::string& settingsPath, const std::string& section, const QWidget* window) {
    // A maximized window stores the placement it returns to.
    const QRect normal = window->isMaximized() ? window->normalGeometry() : window->geometry();
    QPoint pos = window->isMaximized() ? normal.topLeft() : window->pos();
    // Where the compositor places windows, the stored position (from a
    // session that could place them) stays as it is.
    if (PlatformPlacesWindows()) {
        const TFormPlacement stored = ReadFormPlacement(settingsPath, section, {pos.x(), pos.y(), 0, 0, false});
        pos = QPoint(stored.X, stored.Y);
    }
    WriteFormPlacement(settingsPath, section,
                       {pos.x(), pos.y(), normal.width(), normal.height(), window->isMaximized()});
}
