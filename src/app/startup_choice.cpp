#include "startup_choice.h"

#include "app_title.h"
#include "util_funcs.h"

TStartupFolders DesktopFolders() {
    return {ExecutableFolder(), ReadShellFolder("AppData"), ReadShellFolder("Personal")};
}

TStartupChoice LoadStartupChoice(const TStartupFolders& folders) {
    TStartupChoice choice;
    choice.ConfigError =
        ReadProductConfig(IncludeTrailingSeparator(folders.ExeFolder) + ProductConfigFileName, choice.Config);
    // A configuration read halfway would switch on whatever came before the error.
    if (!choice.ConfigError.empty()) choice.Config = TProductConfig{};
    choice.UserDataFolder = FindUserDataFolder(folders.AppDataFolder, AppTitle);

    TUserSettings& s = choice.Settings;
    // The Add dialog starts in the home folder until files were added from somewhere.
    s.OutputFileDir = s.OutputURLDir = folders.DocumentsFolder;
    s.LastOpenDir.clear();
    SetDefaultSettings(s);
    if (choice.ConfigError.empty()) ApplyProductDefaults(choice.Config.Defaults, s);
    s.JoinFiles = choice.Config.MergeMode;
    choice.SettingsFound = LoadSettings(s, choice.SettingsPath(), &choice.SettingsError);
    return choice;
}
