#include "settings.h"

#include "ini_file.h"
#include "util_funcs.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr char kSystem[] = "System";

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

// The preset keys in the order the settings file lists them.
const std::vector<const TFormatId*>& SettingsPresetOrder() {
    static const std::vector<const TFormatId*> order = [] {
        std::vector<const TFormatId*> v;
        for (const char* name : {"WAV", "MP3", "WMA", "OGG", "M4A", "AAC", "FLAC", "MP2"})
            v.push_back(FindFormatByName(name));
        for (const auto& f : AllFormats())
            if (f.Id.Class != fcAudio) v.push_back(&f);
        return v;
    }();
    return order;
}

const char* PreferenceKey(int slot) {
    static const char* const keys[PreferenceSlotCount] = {"PreferYouTube1", "PreferYouTube2", "PreferYouTube3",
                                                          "PreferYouTube4", "PreferYouTube5", "PreferYouTube6",
                                                          "PreferYouTube7", "PreferYouTube18"};
    return keys[slot];
}

std::string StripTrailingSeparators(std::string p) {
    while (p.size() > 1 && p.back() == PathDelim) p.pop_back();
    return p;
}

// XDG_DOCUMENTS_DIR="$HOME/Documents" in user-dirs.dirs.
std::string DocumentsFromUserDirs(const std::string& configHome, const std::string& home) {
    std::ifstream in(IncludeTrailingSeparator(configHome) + "user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string t = Trim(line);
        if (t.rfind("XDG_DOCUMENTS_DIR=", 0) != 0) continue;
        std::string value = t.substr(18);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        if (value.empty() || value.front() != '/') return {};
        return StripTrailingSeparators(value);
    }
    return {};
}
}  // namespace

std::string ReadShellFolder(const std::string& name) {
    const std::string home = HomeFolder();
    std::string configHome;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/')
        configHome = StripTrailingSeparators(x);
    else
        configHome = IncludeTrailingSeparator(home) + ".config";
    if (name == "AppData") return configHome;
    if (name == "Personal") {
        if (const char* d = std::getenv("XDG_DOCUMENTS_DIR"); d && *d == '/') return StripTrailingSeparators(d);
        std::string docs = DocumentsFromUserDirs(configHome, home);
        return docs.empty() ? IncludeTrailingSeparator(home) + "Documents" : docs;
    }
    return home;
}

bool IsStorableFolder(const std::string& folder) { return !folder.empty() && folder.front() == PathDelim; }

std::string DialogStartFolder(const std::string& folder, const std::string& documentsFolder) {
    if (IsStorableFolder(folder) && DirectoryExists(folder)) return folder;
    // A new account has no documents folder yet: it is made on first use.
    if (IsStorableFolder(folder) && StripTrailingSeparators(folder) == StripTrailingSeparators(documentsFolder) &&
        ForceDirectories(folder))
        return folder;
    return IncludeTrailingSeparator(HomeFolder());
}

std::string FindUserDataFolder(const std::string& appDataFolder, const std::string& title) {
    std::string name = title;
    for (char& c : name)
        if (c == '/') c = ' ';
    const std::string base = IncludeTrailingSeparator(appDataFolder);
    const std::string folder = base + name + PathDelim;
    if (DirectoryExists(folder) || ForceDirectories(folder)) return folder;
    return base;
}

namespace {
void ReadByte(const IniFile& ini, const char* key, uint8_t& field) {
    field = static_cast<uint8_t>(ini.ReadInteger(kSystem, key, field) & 0xFF);
}
}  // namespace

bool LoadSettings(TUserSettings& g, const std::string& path, std::string* readError) {
    if (!FileExists(path)) return false;
    IniFile ini;
    if (!ini.Load(path, readError)) return true;  // unreadable: keep the defaults, as for missing keys
    // A folder that is empty or relative in the file keeps the current value.
    for (auto [key, folder] : {std::pair{"LastOpenDir", &g.LastOpenDir}, std::pair{"OutputFileDir", &g.OutputFileDir},
                               std::pair{"OutputURLDir", &g.OutputURLDir}}) {
        const std::string stored = ini.ReadString(kSystem, key, *folder);
        if (IsStorableFolder(stored)) *folder = stored;
    }
    ReadByte(ini, "OutputFormatClass", g.OutputFormatClass);
    ReadByte(ini, "OutputAudioFormat", g.OutputAudioFormat);
    ReadByte(ini, "OutputVideoFormat", g.OutputVideoFormat);
    ReadByte(ini, "OutputDeviceFormat", g.OutputDeviceFormat);
    for (const auto& key : SettingsPresetOrder()) {
        int32_t& preset = g.OutputPreset[key->Id.Class][key->Id.Code];
        preset = static_cast<int32_t>(ini.ReadInteger(kSystem, key->PresetKey, preset));
    }
    g.PlayASoundWhenFinished = ini.ReadBool(kSystem, "PlayASoundWhenFinished", g.PlayASoundWhenFinished);
    g.ShutDownWhenFinished = ini.ReadBool(kSystem, "ShutDownWhenFinished", g.ShutDownWhenFinished);
    g.VerifyOutput = ini.ReadBool(kSystem, "VerifyOutput", g.VerifyOutput);
    g.PreferYouTubeQuality = ini.ReadBool(kSystem, "PreferYouTubeQuality", g.PreferYouTubeQuality);
    g.JoinFiles = ini.ReadBool(kSystem, "JoinFiles", g.JoinFiles);
    for (int i = 0; i < PreferenceSlotCount; ++i) ReadByte(ini, PreferenceKey(i), g.PreferYouTube[i]);
    // A damaged order would make downloads try no stream for its bad slots.
    RepairQualityOrder(g.PreferYouTube);
    return true;
}

bool RepairQualityOrder(std::array<uint8_t, PreferenceSlotCount>& order) {
    std::array<bool, PreferenceSlotCount> present{};
    for (const uint8_t code : order)
        if (code < PreferenceSlotCount) present[code] = true;
    bool changed = false;
    for (uint8_t& code : order) {
        if (code < PreferenceSlotCount) continue;
        // With a slot out of range at most seven codes are present.
        uint8_t missing = 0;
        while (present[missing]) ++missing;
        present[missing] = true;
        code = missing;
        changed = true;
    }
    return changed;
}

void SaveSettings(const TUserSettings& g, const std::string& path) {
    IniFile ini;
    ini.Load(path);  // keep the window-placement sections
    ini.Set(kSystem, "LastOpenDir", g.LastOpenDir);
    ini.Set(kSystem, "OutputFileDir", g.OutputFileDir);
    ini.Set(kSystem, "OutputURLDir", g.OutputURLDir);
    ini.WriteInteger(kSystem, "OutputFormatClass", g.OutputFormatClass);
    ini.WriteInteger(kSystem, "OutputAudioFormat", g.OutputAudioFormat);
    ini.WriteInteger(kSystem, "OutputVideoFormat", g.OutputVideoFormat);
    ini.WriteInteger(kSystem, "OutputDeviceFormat", g.OutputDeviceFormat);
    for (const auto& key : SettingsPresetOrder())
        ini.WriteInteger(kSystem, key->PresetKey, g.OutputPreset[key->Id.Class][key->Id.Code]);
    ini.WriteBool(kSystem, "PlayASoundWhenFinished", g.PlayASoundWhenFinished);
    ini.WriteBool(kSystem, "ShutDownWhenFinished", g.ShutDownWhenFinished);
    ini.WriteBool(kSystem, "VerifyOutput", g.VerifyOutput);
    ini.WriteBool(kSystem, "PreferYouTubeQuality", g.PreferYouTubeQuality);
    ini.WriteBool(kSystem, "JoinFiles", g.JoinFiles);
    for (int i = 0; i < PreferenceSlotCount; ++i) ini.WriteInteger(kSystem, PreferenceKey(i), g.PreferYouTube[i]);
    ini.Save(path);
}

TFormPlacement ReadFormPlacement(const std::string& path, const std::string& section, const TFormPlacement& current) {
    IniFile ini;
    ini.Load(path);
    TFormPlacement p;
    p.Maximized = ini.ReadBool(section, "maximized", false);
    p.X = static_cast<int>(ini.ReadInteger(section, "x", current.X));
    p.Y = static_cast<int>(ini.ReadInteger(section, "y", current.Y));
    p.Height = static_cast<int>(ini.ReadInteger(section, "height", current.Height));
    p.Width = static_cast<int>(ini.ReadInteger(section, "width", current.Width));
    return p;
}

void WriteFormPlacement(const std::string& path, const std::string& section, const TFormPlacement& p) {
    IniFile ini;
    ini.Load(path);
    ini.WriteInteger(section, "x", p.X);
    ini.WriteInteger(section, "y", p.Y);
    ini.WriteInteger(section, "height", p.Height);
    ini.WriteInteger(section, "width", p.Width);
    ini.WriteBool(section, "maximized", p.Maximized);
    ini.Save(path);
}

TFormPlacement ClampPlacement(TFormPlacement p, int screenWidth, int screenHeight) {
    if (p.Width > screenWidth) p.Width = screenWidth;
    if (p.Height > screenHeight) p.Height = screenHeight;
    if (p.X + p.Width > screenWidth) p.X = screenWidth - p.Width;
    if (p.Y + p.Height > screenHeight) p.Y = screenHeight - p.Height;
    if (p.X < 0) p.X = 0;
    if (p.Y < 0) p.Y = 0;
    return p;
}
