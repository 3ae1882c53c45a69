#pragma once
// The user's choices that outlive a session: folders, the chosen format and
// one preset per format, the completion actions and the download quality
// preference. The window and every command of `orvane` start from them
// (startup_choice.h); only the window writes them back (settings.h). Only the
// user-interface thread touches them.
#include "format_codes.h"

#include <array>
#include <cstdint>
#include <string>

inline constexpr int PreferenceSlotCount = 8;

struct TUserSettings {
    std::string LastOpenDir, OutputFileDir, OutputURLDir;
    uint8_t OutputFormatClass = 0;
    uint8_t OutputAudioFormat = 0, OutputVideoFormat = 0, OutputDeviceFormat = 0;
    // One preset index per format (the Output<FMT>Preset settings), by [class][code].
    std::array<std::array<int32_t, MaxFormatsPerClass>, FormatClassCount> OutputPreset{};
    bool PlayASoundWhenFinished = false;
    bool ShutDownWhenFinished = false;
    // A join's output is decoded whole before it is kept ("VerifyOutput").
    bool VerifyOutput = false;
    bool PreferYouTubeQuality = true;
    // Step2's choice: join every file into one, or convert each into its
    // own. The product configuration's Merge is its first-start default.
    bool JoinFiles = false;
    // PreferYouTube1..7 and PreferYouTube18: the quality preference order.
    std::array<uint8_t, PreferenceSlotCount> PreferYouTube{};

    // Format code of the current class; 0xFF for a class outside the catalogue.
    uint8_t CurrentFormatCode() const;
    // Makes the format the current one: its class, and its code within the class.
    void ChooseFormat(TFormatCode format);
    int32_t& PresetOf(int formatClass, int code) { return OutputPreset[formatClass][code]; }
    int32_t PresetOf(int formatClass, int code) const { return OutputPreset[formatClass][code]; }
};

// The defaults of the preset indices, the completion flags and the quality
// preference; folders are set by the caller from the documents folder.
void SetDefaultSettings(TUserSettings& s);
