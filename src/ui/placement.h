#pragma once
// Restoring and storing a window's position in the user settings file.
#include <string>

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a window of the given size goes beside the main window's frame: to
// its right, else to its left (top-aligned with it, the index-th window 30
// pixels lower), else below or above it, else against the screen's edge on
// the side with more room; always on the screen.
QPoint BesideWindow(const QRect& mainFrame, const QSize& size, const QRect& screen, int index = 0);
// The width of the wider free strip left or right of the main window's frame
// on the screen, less the gap BesideWindow keeps.
int RoomBeside(const QRect& mainFrame, const QRect& screen);
// Wayland windows cannot learn or choose their position: the compositor
// places them, and pos() reads 0,0.
bool PlatformPlacesWindows();
// The frame of the top-level window of a widget, or an empty rectangle.
QRect MainFrameOf(const QWidget* widget);

// Reads the section's "x", "y", "width", "height" and "maximized", clamps the
// position to the screen and moves the window there (its size is kept).
void LoadFormPlacement(const std::string& settingsPath, const std::string& section, QWidget* window);
// Writes the window's position, size and maximized state. Throws
// std::runtime_error when the file cannot be written.
void SaveFormPlacement(const std::string& settingsPath, const std::string& section, const QWidget* window);
