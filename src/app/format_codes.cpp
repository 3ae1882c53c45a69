#include "format_codes.h"

#include "ini_file.h"

const std::array<TFormatId, FormatCount>& AllFormats() {
    static const std::array<TFormatId, FormatCount> formats = {{
        {{fcVideo, vfAVI}, "AVI", "AVI", "OutputAVIPreset", 3},
        // "Original Size - High Quality": a first start keeps the clips' shape.
        {{fcVideo, vfMP4}, "MP4", "MP4", "OutputMP4Preset", 19},
        {{fcVideo, vfFLV}, "FLV", "FLV", "OutputFLVPreset", 1},
        {{fcVideo, vfSWF}, "SWF", "SWF", "OutputSWFPreset", 1},
        {{fcVideo, vfMPEG}, "MPEG", "MPEG", "OutputMPEGPreset", 5},
        {{fcVideo, vfRM}, "RM", "RM", "OutputRMPreset", 1},
        {{fcVideo, vfWMV}, "WMV", "WMV", "OutputWMVPreset", 16},
        {{fcVideo, vfMOV}, "MOV", "MOV", "OutputMOVPreset", 7},
        {{fcVideo, vf3GP}, "3GP", "3GP", "Output3GPPreset", 2},
        // "Original Size - High Quality" (H.264) and "Original Size - VP9".
        {{fcVideo, vfMKV}, "MKV", "MKV", "OutputMKVPreset", 1},
        {{fcVideo, vfWebM}, "WebM", "WEBM", "OutputWebMPreset", 1},
        {{fcDevice, dfiPod}, "iPod", "IPOD", "OutputiPodPreset", 5},
        {{fcDevice, dfiPhone}, "iPhone", "IPHONE", "OutputiPhonePreset", 1},
        {{fcDevice, dfAppleTV}, "AppleTV", "APPLETV", "OutputAppleTVPreset", 1},
        {{fcDevice, dfPSP}, "PSP", "PSP", "OutputPSPPreset", 1},
        {{fcDevice, dfBlackBerry}, "BlackBerry", "BLACKBERRY", "OutputBlackBerryPreset", 1},
        {{fcDevice, dfMobilePhone}, "MobilePhone", "MOBILEPHONE", "OutputMobilePhonePreset", 1},
        {{fcDevice, dfiPad}, "iPad", "IPAD", "OutputiPadPreset", 0},
        {{fcDevice, dfAndroid}, "Android", "ANDROID", "OutputAndroidPreset", 0},
        {{fcAudio, afWAV}, "WAV", "WAV", "OutputWAVPreset", 3},
        {{fcAudio, afMP3}, "MP3", "MP3", "OutputMP3Preset", 2},
        {{fcAudio, afWMA}, "WMA", "WMA", "OutputWMAPreset", 1},
        {{fcAudio, afOGG}, "OGG", "OGG", "OutputOGGPreset", 3},
        {{fcAudio, afAAC}, "AAC", "AAC", "OutputAACPreset", 3},
        {{fcAudio, afM4A}, "M4A", "M4A", "OutputM4APreset", 0},
        {{fcAudio, afFLAC}, "FLAC", "FLAC", "OutputFLACPreset", 5},
        {{fcAudio, afMP2}, "MP2", "MP2", "OutputMP2Preset", 0},
    }};
    return formats;
}

int FormatsInClass(int formatClass) {
    switch (formatClass) {
        case fcVideo: return 11;
        case fcDevice: return 8;
        case fcAudio: return 8;
        default: return 0;
    }
}

const TFormatId* FindFormat(int formatClass, int code) {
    for (const auto& f : AllFormats())
        if (f.Id.Class == formatClass && f.Id.Code == code) return &f;
    return nullptr;
}

const TFormatId* FindFormatByName(std::string_view name) {
    for (const auto& f : AllFormats())
        if (SameText(f.Name, name)) return &f;
    return nullptr;
}

std::string_view FormatClassName(int formatClass) {
    switch (formatClass) {
        case fcVideo: return "Video";
        case fcDevice: return "Device";
        case fcAudio: return "Audio";
        default: return "";
    }
}
