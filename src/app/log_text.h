#pragma once
// The log window's logic without widgets: the centred button row and saving.
#include <array>
#include <string>
#include <vector>

// New left edges of "&OK", "&Delete Log" and "&Save Log..." in a panel of the
// given client width: the row (from the left of OK to the right of Save, as
// it stands now) is centred, and the other two follow OK 8 pixels apart.
std::array<int, 3> LogButtonLefts(int panelWidth, int okLeft, int okWidth, int deleteWidth, int saveLeft,
                                  int saveWidth);

// Writes the lines, each ended by CR LF, replacing the file. Throws
// std::runtime_error with a readable text when the file cannot be written.
void SaveLogLines(const std::string& path, const std::vector<std::string>& lines);
