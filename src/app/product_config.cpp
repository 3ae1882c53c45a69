#include "product_config.h"

#include "ini_file.h"
#include "util_funcs.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

std::string ProductConfigPath() { return ExecutableFolder() + ProductConfigFileName; }

std::string DescrambleLine(std::string_view line) {
    std::string out(line);
    for (char& c : out) c = static_cast<char>(255 - static_cast<unsigned char>(c));
    return out;
}

std::string ScrambleText(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c != '\n' && c != '\r') c = static_cast<char>(255 - static_cast<unsigned char>(c));
    return out;
}

bool IsTrueText(std::string_view text) { return text == "True" || text == "Yes"; }

namespace {
constexpr char kSection[] = "SYSTEM";

bool ReadInt(const IniFile& ini, const char* key, int& out, std::string& error) {
    const std::string value = ini.ReadString(kSection, key, "");
    const auto n = ParseDecimalInt(value);
    if (!n) {
        error = "'" + value + "' is not a valid integer value";
        return false;
    }
    out = *n;
    return true;
}
}  // namespace

std::string ParseProductConfig(std::string_view iniText, TGlobalVars& g, TProductDefaults& defaults) {
    IniFile ini;
    ini.Parse(iniText);
    auto text = [&](const char* key) { return ini.ReadString(kSection, key, ""); };
    auto flag = [&](const char* key) { return IsTrueText(text(key)); };
    std::string error;

    g.Version = text("Version");
    g.DownloadEnabled = flag("Download");
    g.MergeMode = flag("Merge");
    if (!ReadInt(ini, "Skin", g.SkinIndex, error)) return error;
    g.ResFolder = text("ResFolder");
    g.HelpContentLink = text("HelpContectLink");
    g.HelpHowTosLink = text("HelpHowTosTutorialVideosLink");
    g.HelpHomePageLink = text("HelpHomePageLink");
    g.HelpMoreToolsLink = text("HelpMoreFreeToolsLink");
    g.HelpUpdatesLink = text("HelpCheckForUpdatesLink");
    g.HelpSupportLink = text("HelpSupportLink");
    for (const auto& f : AllFormats()) g.FormatEnabled[f.Id.Class][f.Id.Code] = flag(f.ConfigKey.data());
    if (!ReadInt(ini, "DefaultVideo", defaults.DefaultVideo, error)) return error;
    if (!ReadInt(ini, "DefaultDevice", defaults.DefaultDevice, error)) return error;
    if (!ReadInt(ini, "DefaultAudio", defaults.DefaultAudio, error)) return error;
    if (!ReadInt(ini, "DefaultClass", defaults.DefaultClass, error)) return error;
    // Our own key: the host name of the video site.
    const std::string host = text("VideoSiteHost");
    g.VideoSiteHost = host.empty() ? DefaultVideoSiteHost : host;
    return {};
}

std::string ReadProductConfig(const std::string& path, TGlobalVars& g, TProductDefaults& defaults) {
    // A folder of that name opens but reads as empty: say what is wrong with it.
    if (DirectoryExists(path)) return "Cannot open file \"" + path + "\". " + std::strerror(EISDIR);
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return "Cannot open file \"" + path + "\". " + std::strerror(errno ? errno : ENOENT);
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad()) return "Cannot read file \"" + path + "\".";
    return ParseProductConfig(ScrambleText(buf.str()), g, defaults);
}

void ApplyProductDefaults(const TProductDefaults& defaults, TGlobalVars& g) {
    if (defaults.DefaultClass >= 0 && defaults.DefaultClass <= 2)
        g.OutputFormatClass = static_cast<uint8_t>(defaults.DefaultClass);
    g.OutputVideoFormat = static_cast<uint8_t>(defaults.DefaultVideo & 0xFF);
    g.OutputDeviceFormat = static_cast<uint8_t>(defaults.DefaultDevice & 0xFF);
    g.OutputAudioFormat = static_cast<uint8_t>(defaults.DefaultAudio & 0xFF);
}
