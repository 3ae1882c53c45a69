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

std::string ParseProductConfig(std::string_view iniText, TProductConfig& config) {
    IniFile ini;
    ini.Parse(iniText);
    auto text = [&](const char* key) { return ini.ReadString(kSection, key, ""); };
    auto flag = [&](const char* key) { return IsTrueText(text(key)); };
    std::string error;

    config.Version = text("Version");
    config.DownloadEnabled = flag("Download");
    config.MergeMode = flag("Merge");
    if (!ReadInt(ini, "Skin", config.SkinIndex, error)) return error;
    config.ResFolder = text("ResFolder");
    config.HelpContentLink = text("HelpContectLink");
    config.HelpHowTosLink = text("HelpHowTosTutorialVideosLink");
    config.HelpHomePageLink = text("HelpHomePageLink");
    config.HelpMoreToolsLink = text("HelpMoreFreeToolsLink");
    config.HelpUpdatesLink = text("HelpCheckForUpdatesLink");
    config.HelpSupportLink = text("HelpSupportLink");
    for (const auto& f : AllFormats()) config.FormatEnabled[f.Id.Class][f.Id.Code] = flag(f.ConfigKey.data());
    if (!ReadInt(ini, "DefaultVideo", config.Defaults.DefaultVideo, error)) return error;
    if (!ReadInt(ini, "DefaultDevice", config.Defaults.DefaultDevice, error)) return error;
    if (!ReadInt(ini, "DefaultAudio", config.Defaults.DefaultAudio, error)) return error;
    if (!ReadInt(ini, "DefaultClass", config.Defaults.DefaultClass, error)) return error;
    // Our own key: the host name of the video site.
    const std::string host = text("VideoSiteHost");
    config.VideoSiteHost = host.empty() ? DefaultVideoSiteHost : host;
    const std::string release = text("YtDlpReleaseUrl");
    config.YtDlpReleaseUrl = release.empty() ? DefaultYtDlpReleaseUrl : release;
    return {};
}

std::string ReadProductConfig(const std::string& path, TProductConfig& config) {
    // A folder of that name opens but reads as empty: say what is wrong with it.
    if (DirectoryExists(path)) return "Cannot open file \"" + path + "\". " + std::strerror(EISDIR);
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return "Cannot open file \"" + path + "\". " + std::strerror(errno ? errno : ENOENT);
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad()) return "Cannot read file \"" + path + "\".";
    return ParseProductConfig(ScrambleText(buf.str()), config);
}

void ApplyProductDefaults(const TProductDefaults& defaults, TUserSettings& settings) {
    if (defaults.DefaultClass >= 0 && defaults.DefaultClass <= 2)
        settings.OutputFormatClass = static_cast<uint8_t>(defaults.DefaultClass);
    settings.OutputVideoFormat = static_cast<uint8_t>(defaults.DefaultVideo & 0xFF);
    settings.OutputDeviceFormat = static_cast<uint8_t>(defaults.DefaultDevice & 0xFF);
    settings.OutputAudioFormat = static_cast<uint8_t>(defaults.DefaultAudio & 0xFF);
}
