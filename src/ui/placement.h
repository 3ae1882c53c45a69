#pragma once
// Restoring and storing a window's position in the user settings file.
#include <string>

class QWidget;

// Reads the section's "x", "y", "width", "height" and "maximized", clamps the
// position to the screen and moves the window there (its size is kept).
void LoadFormPlacement(const std::string& settingsPath, const std::string& section, QWidget* window);
// Writes the window's position, size and maximized state. Throws
// std::runtime_error when the file cannot be written.
void SaveFormPlacement(const std::string& settingsPath, const std::string& section, const QWidget* window);
