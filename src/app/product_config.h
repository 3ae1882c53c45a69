#pragma once
// The product configuration "lamecore.dll": INI text whose line bytes are
// stored complemented (255 - b), line breaks plain. Read once at start-up
// and passed, read-only, to whatever it switches on or off.
#include "format_codes.h"
#include "user_settings.h"

#include <array>
#include <string>
#include <string_view>

inline constexpr char ProductConfigFileName[] = "lamecore.dll";
inline constexpr char DefaultVideoSiteHost[] = "www.youtube.com";
// Where yt-dlp's latest release file and its SHA2-256SUMS are fetched from:
// the project's own release location.
inline constexpr char DefaultYtDlpReleaseUrl[] = "https://github.com/yt-dlp/yt-dlp/releases/latest/download/";

// The Default... keys: the format choice the user settings start from.
struct TProductDefaults {
    int DefaultVideo = 0, DefaultDevice = 0, DefaultAudio = 0, DefaultClass = 0;
};

struct TProductConfig {
    std::string Version;
    bool DownloadEnabled = false;
    bool MergeMode = false;
    int SkinIndex = 0;
    std::string ResFolder;
    std::string HelpContentLink, HelpHowTosLink, HelpHomePageLink, HelpMoreToolsLink, HelpUpdatesLink,
        HelpSupportLink;
    // Which format buttons are offered, by [class][code].
    std::array<std::array<bool, MaxFormatsPerClass>, FormatClassCount> FormatEnabled{};
    std::string VideoSiteHost = DefaultVideoSiteHost;
    std::string YtDlpReleaseUrl = DefaultYtDlpReleaseUrl;
    TProductDefaults Defaults;
};

// "lamecore.dll" in the executable's folder.
std::string ProductConfigPath();
// Byte i of the result is the complement of byte i of the line.
std::string DescrambleLine(std::string_view line);
// Complements every byte of the text except line breaks; its own inverse.
std::string ScrambleText(std::string_view text);
// True exactly for "True" and "Yes".
bool IsTrueText(std::string_view text);

// Reads the descrambled INI text into config, every key in table order.
// Returns an error text (empty on success): a missing, empty or non-integer
// "Skin" or Default... value is an error.
std::string ParseProductConfig(std::string_view iniText, TProductConfig& config);
// Reads and descrambles the file, then parses it as above.
std::string ReadProductConfig(const std::string& path, TProductConfig& config);
// Stores the Default... values in the settings: the class only when it is 0,
// 1 or 2; the format codes as their low byte.
void ApplyProductDefaults(const TProductDefaults& defaults, TUserSettings& settings);
