#pragma once
// Format classes and the formats within each class, with the names used by
// the product configuration, the settings keys and the window's buttons.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

enum TFormatClass : uint8_t { fcVideo = 0, fcDevice = 1, fcAudio = 2 };
inline constexpr int FormatClassCount = 3;
inline constexpr int MaxFormatsPerClass = 11;
inline constexpr int FormatCount = 27;

// MKV and WebM came later: their codes follow 3GP's, so stored codes keep their meaning.
enum TVideoFormat : uint8_t { vfAVI, vfMP4, vfFLV, vfSWF, vfMPEG, vfRM, vfWMV, vfMOV, vf3GP, vfMKV, vfWebM };
enum TDeviceFormat : uint8_t { dfiPod, dfiPhone, dfAppleTV, dfPSP, dfBlackBerry, dfMobilePhone, dfiPad, dfAndroid };
enum TAudioFormat : uint8_t { afWAV, afMP3, afWMA, afOGG, afAAC, afM4A, afFLAC, afMP2 };

struct TFormatCode {
    uint8_t Class;
    uint8_t Code;
    friend bool operator==(const TFormatCode&, const TFormatCode&) = default;
};

struct TFormatId {
    TFormatCode Id;
    std::string_view Name;       // as in control and settings key names: "AVI", "iPod", "MP2"
    std::string_view ConfigKey;  // product configuration flag: "AVI", "IPOD", "MP2"
    std::string_view PresetKey;  // user settings key: "OutputAVIPreset"
    int32_t DefaultPreset;
};

// The 27 formats in button order: Video, then Device, then Audio.
const std::array<TFormatId, FormatCount>& AllFormats();
// Number of formats in a class (11, 8, 8); 0 for a class outside the catalogue.
int FormatsInClass(int formatClass);
// The format's entry; nullptr for a code outside the catalogue.
const TFormatId* FindFormat(int formatClass, int code);
// Looks a format up by its name, in any letter case.
const TFormatId* FindFormatByName(std::string_view name);
std::string_view FormatClassName(int formatClass);  // "Video", "Device", "Audio"
