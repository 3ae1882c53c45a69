#pragma once
// The one program-wide record of configuration values, user choices and run
// state. Only the user-interface thread touches it.
#include "format_codes.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr char AppTitle[] = "Orvane Video Joiner";
inline constexpr char DefaultVideoSiteHost[] = "www.youtube.com";
inline constexpr int PreferenceSlotCount = 8;

struct TGlobalVars {
    // Product configuration.
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

    // Computed at start-up; always ends with a separator.
    std::string UserDataFolder;

    // User settings.
    std::string LastOpenDir, OutputFileDir, OutputURLDir;
    uint8_t OutputFormatClass = 0;
    uint8_t OutputAudioFormat = 0, OutputVideoFormat = 0, OutputDeviceFormat = 0;
    // One preset index per format (the Output<FMT>Preset settings), by [class][code].
    std::array<std::array<int32_t, MaxFormatsPerClass>, FormatClassCount> OutputPreset{};
    bool PlayASoundWhenFinished = false;
    bool ShutDownWhenFinished = false;
    bool PreferYouTubeQuality = true;
    // PreferYouTube1..7 and PreferYouTube18: the quality preference order.
    std::array<uint8_t, PreferenceSlotCount> PreferYouTube{};

    // Conversion run state.
    int32_t TotalFiles = 0;
    int32_t SucceededFiles = 0;
    std::vector<std::string> ErrorList;
    bool RunCancelled = false;  // the user cancelled the last run
    std::chrono::system_clock::time_point RunStartTime{};
    int64_t JobDuration = 0;   // microseconds
    int64_t DoneDuration = 0;  // microseconds

    // Download run state: the counters of the last run and the full path of
    // every file it saved (kept until the next run starts).
    int32_t URLTotalFiles = 0;
    int32_t URLCurrentIndex = 0;
    int32_t URLSucceededFiles = 0;
    std::vector<std::string> DownloadedFiles;

    // Format code of the current class; 0xFF for a class outside the catalogue.
    uint8_t CurrentFormatCode() const;
    int32_t& PresetOf(int formatClass, int code) { return OutputPreset[formatClass][code]; }
};

// The defaults of start-up step 3 (preset indices, completion flags, quality
// preference); folders are set by the caller from the documents folder.
void SetDefaultSettings(TGlobalVars& g);
