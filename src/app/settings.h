#pragma once
// The per-user folders and the user settings file "~system2.dat".
#include "user_settings.h"

#include <string>

inline constexpr char SettingsFileName[] = "~system2.dat";

// The per-user folders: "AppData" is the XDG config home ($XDG_CONFIG_HOME,
// else ~/.config) and "Personal" the XDG documents folder (XDG_DOCUMENTS_DIR
// of user-dirs.dirs, else ~/Documents). Any other name gives the home folder.
std::string ReadShellFolder(const std::string& name);

// A folder setting worth keeping: a whole path from the root. An empty or
// relative one would mean whatever folder the program was started from.
bool IsStorableFolder(const std::string& folder);

// The folder a dialog opens in: the given one when it exists; the documents
// folder, created when missing, when that is the one given; else the home folder.
std::string DialogStartFolder(const std::string& folder, const std::string& documentsFolder);

// The title with "/" replaced by " " inside the application data folder,
// created when missing (with its parents); the application data folder itself
// when that fails. Always ends with a separator.
std::string FindUserDataFolder(const std::string& appDataFolder, const std::string& title);

// Reads section "System" over the current values of the settings (a missing
// key or one that does not parse keeps its value) and returns true. When the
// file does not exist, returns false: writing the defaults then is the
// window's part (no command of `orvane` writes the file). When it exists but
// cannot be read, the settings keep their values, readError (if given)
// receives the reason, and true is returned.
bool LoadSettings(TUserSettings& settings, const std::string& path, std::string* readError = nullptr);
// Gives every slot of the quality preference order that holds no quality
// (a code outside 0..7) the lowest code the order lacks; the other slots
// stay. True when it changed.
bool RepairQualityOrder(std::array<uint8_t, PreferenceSlotCount>& order);
// Writes every key of section "System". Throws std::runtime_error on failure.
void SaveSettings(const TUserSettings& settings, const std::string& path);

struct TFormPlacement {
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool Maximized = false;
};

// Reads "x", "y", "width", "height" and "maximized" of a section, each
// defaulting to the given current placement (maximized to false).
TFormPlacement ReadFormPlacement(const std::string& path, const std::string& section, const TFormPlacement& current);
// Writes the five keys of the section. Throws std::runtime_error on failure.
void WriteFormPlacement(const std::string& path, const std::string& section, const TFormPlacement& placement);
// The position a stored placement restores on a screen of the given size:
// width and height clamped to the screen, the window pulled back inside the
// right and bottom edges, then x and y at least 0. Size is not changed.
TFormPlacement ClampPlacement(TFormPlacement p, int screenWidth, int screenHeight);
