#pragma once
// What the program starts from, the same for the window and every command of
// `orvane`: the product configuration, the user data folder, and the user
// settings over their defaults and the product's Default... values.
#include "product_config.h"
#include "settings.h"
#include "user_settings.h"

#include <string>

// Where start-up looks.
struct TStartupFolders {
    std::string ExeFolder;        // holds "lamecore.dll"; ends with a separator
    std::string AppDataFolder;    // the per-user application data folder
    std::string DocumentsFolder;  // the user's documents folder
};
// The running program's folder and the desktop's per-user folders.
TStartupFolders DesktopFolders();

struct TStartupChoice {
    TProductConfig Config;
    // Why the product configuration could not be read; empty when it was.
    // Then Config holds the built-in values and the product's Default...
    // values are not applied.
    std::string ConfigError;
    std::string UserDataFolder;  // ends with a separator
    TUserSettings Settings;
    // The settings file existed; when not, Settings holds the defaults.
    bool SettingsFound = false;
    // The file exists but could not be read: why. Settings holds the defaults.
    std::string SettingsError;

    std::string SettingsPath() const { return UserDataFolder + SettingsFileName; }
};

// Reads the product configuration, finds the user data folder (made when
// missing), sets the defaults (the folders to the documents folder), applies
// the product's Default... values and reads the settings file over them.
// Writes no file.
TStartupChoice LoadStartupChoice(const TStartupFolders& folders);
