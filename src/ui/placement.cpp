#include "placement.h"

#include "settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void LoadFormPlacement(const std::string& settingsPath, const std::string& section, QWidget* window) {
    const TFormPlacement current{window->x(), window->y(), window->width(), window->height(), false};
    TFormPlacement p = ReadFormPlacement(settingsPath, section, current);
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
    const QPoint pos = window->isMaximized() ? normal.topLeft() : window->pos();
    WriteFormPlacement(settingsPath, section,
                       {pos.x(), pos.y(), normal.width(), normal.height(), window->isMaximized()});
}
