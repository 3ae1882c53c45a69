#include "catalogue.h"

namespace {

// Preset captions per format, in list order. They are display texts: typos
// and doubled blanks are part of the product and stay as they are. Presets
// added later go at the end of their lists, so that stored indices keep
// naming the same preset.
constexpr std::string_view kAVI[] = {
    "HD Video 720p: MPEG4 (DivX, XviD), 4500 kbps; Audio: MP3, 192 kbps",
    "HD Video 1080p: H.264/AVC, 4200 kbps; Audio: MP3, 256 kbps",
    "Video: MPEG4 (DivX, XviD), 2500 kbps, Original; Audio: MP3, 256 kbps",
    "Video: MPEG4 (DivX, XviD), 1500 kbps, Original; Audio: MP3, 192 kbps",
    "Video: MPEG4 (DivX, XviD), 768 kbps, Original; Audio: MP3, 96 kbps",
    "Video: MPEG4 (DivX, XviD), 2500 kbps, 720x540; Audio: MP3, 256 kbps",
    "Video: MPEG4 (DivX, XviD), 1500 kbps, 512x384; Audio: MP3, 192 kbps",
    "Video: MPEG4 (DivX, XviD), 768 kbps, 320x240; Audio: MP3, 96 kbps",
    "Video: H.264/AVC, 1200 kbps; Audio: MP3, 192 kbps",
    "Video: H.264/AVC, 768 kbps; Audio: MP3, 96 kbps",
    "BlackBerry 81xx - (MPEG4, 560 kbps, 320x240)",
    "BlackBerry 8xxx - (MPEG4, 420 kbps, 240x180)",
    "Archos AV500/700; 4-series (704,604,504,404) - (MPEG4, 1800 kbps, Original)",
    "Archos AV500/700; 4-series (704,604,504,404) - (MPEG4, 900 kbps, 480x272)",
    "Creative Zen Vision W - (MPEG4, 1800 kbps, 720x480)",
    "Creative Zen Vision - (MPEG4, 1200 kbps, 640x480)",
    "Creative Zen Vision M - (MPEG4, 720 kbps, 320x240)",
    "Epson P3000/P4500/P5000 - (MPEG4, 2 mbps, 720x480, 30 fps)",
    "iRiver U20(Clix) - (MPEG4, 320 kbps, 320x240, 15 fps)",
    "iRiver U10 Clix - (MPEG4, 560 kbps, 320x240, 15 fps)",
    "iAudio X5 - Optimized for hardware - (MPEG4, 600 kbps, 160x120, 15 fps)",
    "Nindendo Wii Clip",
    "SanDisk Sansa View - Hight Quality - (MPEG4, 640x480; MP3, 128kbps)",
    "SanDisk Sansa View - Normal Quality - (MPEG4, 320x240; MP3, 96kbps)",
    "Video for Google Video",
    "Video for YouTube",
    "Video for Myspace",
    "Video: DivX; Audio: MP3, 192 kbps",
    "Video: Uncompressed, Original; Audio: PCM",
    "Same as source - no re-encoding",
};
constexpr std::string_view kMP4[] = {
    "Apple iPod - (H.264, 320x240)",
    "Apple iPod - (H.264, 640x480)",
    "Apple iPod - (MPEG4, 320x240)",
    "Apple iPhone/iTouch - (H.264,640x420)",
    "Microsoft XBox360 - Normal HD Quality 480p - (H.264, 29.97 fps, 848x480)",
    "Sony PS3 - Normal HD Quality 480p - (H.264, 29.97 fps, 848x480)",
    "Sony PS3 - Normal HD Quality 480p, Surround - (H.264, 29.97 fps, 848x480)",
    "Sony PSP - Normal - (H.264, 29.97 fps, 368x208)",
    "Sony PSP - High Resolution - (H264, 29.97 fps, 480x272)",
    "Epson P2000/P4000 - High Quality - (MPEG4, 640x480)",
    "Epson P2000/P4000 - Economy Quality - (MPEG4, 320x240)",
    "Epson P3000/P4500/P5000 - Best Quality - (MPEG4, 720x480)",
    "Mobile - Standard Quality - (MPEG4, 176x144, 15 fps)",
    "Mobile - Economy Quality - (MPEG4, 128x96, 12 fps)",
    "PC - High Quality - (MPEG4, 2500 kbps, Original Size, 25 fps)",
    "PC - Standard Quality - (MPEG4, 1200 kbps, Original Size, 25 fps)",
    "PC - Economy Quality - (MPEG4, 700 kbps, Original Size, 25 fps)",
    "SanDisk Sansa View - Hight Quality - (MPEG4, 640x480; MPEG2/4 Audio, 128kbps)",
    "SanDisk Sansa View - Normal Quality - (MPEG4, 320x240; MPEG2/4 Audio, 96kbps)",
    "Original Size - High Quality - (H.264, CRF 20; AAC 192 kbps)",
    "Original Size - High Efficiency - (H.265, CRF 24; AAC 192 kbps)",
    "Same as source - no re-encoding",
    "Original Size - AV1 - (SVT-AV1, CRF 32; AAC 192 kbps)",
};
constexpr std::string_view kFLV[] = {
    "FLV - Best Quality - (H.264, 1200 kbps, Original; MP3, 160 kbps)",
    "FLV - Normal Quality - (H.264, 920 kbps, Original size, 20 fps; MP3, 112 kbps)",
    "FLV - Optimal Quality - (H.263, 780 kbps, 352x288, 15 fps; MP3, 64 kbps)",
    "FLV - Low Quality - (H.263, 640 kbps, 320x240, 15 fps; MP3, 48 kbps)",
    "FLV - Least Quality - (H.263, 480 kbps, 176x144, 15 fps; MP3, 24 kbps)",
};
constexpr std::string_view kSWF[] = {
    "SWF - Best Quality - (H.263, Original; MP3, 160 kbps)",
    "SWF - Normal Quality - (H.263, 920 kbps, Original size, 20 fps; MP3, 112 kbps)",
    "SWF - Optimal Quality - (H.263, 780 kbps, 352x288, 15 fps; MP3, 64 kbps)",
    "SWF - Low Quality - (H.263, 640 kbps, 320x240, 15 fps; MP3, 48 kbps)",
    "SWF - Least Quality - (H.263, 480 kbps, 176x144, 15 fps; MP3, 24 kbps)",
};
constexpr std::string_view kMPEG[] = {
    "HD Video 1080p - (MPEG2, 15000 kbps, 1920x1080, 29.97 fps)",
    "HD Video 720p - (MPEG2, 9000 kbps, 1280x720, 29.97 fps)",
    "DVD NTSC compatible - (MPEG2, 4000 kbps, 720x480, 29.97 fps)",
    "DVD PAL compatible - (MPEG2, 4000 kbps, 720x576, 25 fps)",
    "Video: MPEG1, 4000 kbps, Original size, 29.97 fps; Audio: 224 kbps",
    "Video: MPEG2, 4000 kbps, Original size, 29.97 fps; Audio: 224 kbps",
    "Creative ZEN Vision W - Best Quality - (MPEG1, 1150 kbps, 720x480, 29.97 fps)",
    "Creative ZEN Vision - Standard Quality - (MPEG1, 860 kbps, 480x360, 29.97 fps)",
    "Creative ZEN Vision M - Normal Quality - (MPEG1, 780 kbps, 320x240, 29.97 fps)",
    "Epson P3000/P4500/P5000 - (MPEG2, 2000 kbps, 720x480, 30 fps)",
    "SVCD NTSC compatible - (MPEG2, 2376 kbps, 480x480, 29.97 fps)",
    "SVCD PAL compatible - (MPEG2, 2376 kbps, 480x576, 25 fps)",
    "VCD NTSC compatible - (MPEG1, 1150 kbps, 352x240, 29.97 fps)",
    "VCD PAL compatible - (MPEG1, 1150 kbps, 352x288, 25 fps)",
    "Same as source - no re-encoding",
};
constexpr std::string_view kRM[] = {
    "RM - Best Quality - (1024 kbps, Original)",
    "RM - Normal Quality - (750 kbps, Original)",
    "RM - Optimal Quality - (512 kbps, Original)",
    "RM - Low Quality  - (256 kbps, Original)",
    "RM - Least Quality  - (128 kbps, Original)",
};
constexpr std::string_view kWMV[] = {
    "HD Video 1080p: WMV 9, 9000 kbps; Audio: WMA Pro, 384kbps",
    "HD Video 720p: WMV 9, 7000 kbps; Audio: WMA Pro, 384kbps",
    "Microsoft Zune - Best Quality - (1112 kbps, 320x240, 25 fps)",
    "Microsoft Zune - Normal Quality - (568 kbps, 320x240, 25 fps)",
    "Video for Pocket PCs/PDAs",
    "Archos AV500/700; 4-series (704,604,504,404) - Highest Available Quality",
    "Archos AV500/700; 4-series (704,604,504,404) - Good Quality",
    "Archos AV500/700; 4-series (704,604,504,404) - Low Quality",
    "Creative ZEN Vision W - Highest Available Quality",
    "Creative ZEN Vision - Good Quality",
    "Creative ZEN Vision M - Normal Quality",
    "Epson Multimedia Storage Viewer P3000/P5000",
    "SanDisk Sansa View",
    "Palm Treo series",
    "HP iPaq series",
    "Windows Media Video 9 High Quality",
    "Windows Media Video 9 Standard Quality",
    "Windows Media Video 9 Low Quality",
};
constexpr std::string_view kMOV[] = {
    "Apple TV - Best Quality - (H.264, Original; MP2/4 (AAC), 320 kbps)",
    "Quick Time - HD Quality 480p - (H.264, 848x480; MP2/4 (AAC), 320 kbps)",
    "Quick Time - DVD Quality - (H.264, 720x576; MP2/4 (AAC), 320 kbps)",
    "Quick Time - Photo Quality - (Photo Jpeg, Original; MP3, 256 kbps)",
    "Quick Time - Optimal Quality - (H.263, 352x288; MP3, 128 kbps)",
    "Quick Time - Highest Available Quality - (MPEG4, Original; MP3, 192 kbps)",
    "Quick Time - Standard Quality - (H.263, 176x144; MP3, 128 kbps)",
    "Quick Time - Balanced Quality - (MPEG4, Original; MP3, 96 kbps)",
    "Quick Time - Economy Quality - (Sorenson Video; MP3, 96 kbps)",
    "Quick Time - Economy Quality - (Sorenson Video; IMA ADPCM)",
    "Original Size - High Quality - (H.264, CRF 20; AAC 192 kbps)",
    "Original Size - High Efficiency - (H.265, CRF 24; AAC 192 kbps)",
    "Same as source - no re-encoding",
};
constexpr std::string_view kThreeGP[] = {
    "3GPP - Extended Mobile Support - (H.263, 240 kbps, 176x144, 12 fps; AMR)",
    "3GPP - Mobile Highest Available Quality - (MPEG4, 104 kbps, 176x144, 15 fps; AAC)",
    "3GPP - Mobile Standard Quality - (MPEG4, 64 kbps, 176x144, 12 fps; AMR)",
    "3GPP - Mobile Balanced Quality - (H.263, 140 kbps, 128x96, 10 fps; AMR)",
    "3GPP - Mobile Smallest Size with Audio - (MPEG4, 44 kbps, 128x96, 10 fps; AMR)",
};
constexpr std::string_view kMKV[] = {
    "Same as source - no re-encoding",
    "Original Size - High Quality - (H.264, CRF 20; AAC 192 kbps)",
    "Original Size - High Efficiency - (H.265, CRF 24; Opus 128 kbps)",
    "Original Size - AV1 - (SVT-AV1, CRF 32; Opus 128 kbps)",
};
constexpr std::string_view kWebM[] = {
    "Same as source - no re-encoding",
    "Original Size - VP9 - (CRF 32; Opus 128 kbps)",
    "Original Size - AV1 - (SVT-AV1, CRF 32; Opus 128 kbps)",
    "720p - AV1 - (SVT-AV1, CRF 34; Opus 96 kbps)",
};
constexpr std::string_view kiPod[] = {
    "iPod Highest Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)",
    "iPod Touch High Quality (H264, 30 fps, 480x320, 2500 kbps; AAC - 160 kbps) ",
    "iPod Touch Standard Quality (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)",
    "iPod Touch Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps) ",
    "iPod Classic High Quality (H264, 30 fps, 320x240, 2500 kbps; AAC - 160 kbps)",
    "iPod Classic Standard Quality (H264, 24 fps, 320x240, 1000 kbps; AAC - 128 kbps)",
    "iPod Classic Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
    "iPod Nano High Quality (H264, 30 fps, 320x240, 2500 kbps; AAC - 160 kbps)",
    "iPod Nano Standard Quality (H264, 24 fps, 320x240, 1000 kbps; AAC - 128 kbps)",
    "iPod Nano Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kiPhone[] = {
    "iPhone High Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)",
    "iPhone Standard Quality (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)",
    "iPhone Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kAppleTV[] = {
    "AppleTV High Quality (H264, 24 fps, 1280x720, 5000 kbps; AAC - 160 kbps)",
    "AppleTV Standard Quality (H264, 24 fps, 720x540, 2000 kbps; AAC - 128 kbps)",
    "AppleTV Economy Quality (H264, 24 fps, 480x360, 1000 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kPSP[] = {
    "PSP Highest Quality (H264, 30 fps, 480x272, 1500 kbps; AAC - 160 kbps)",
    "PSP Optimal Quality (H264, 24 fps, 368x208, 1000 kbps; AAC - 128 kbps)",
    "PSP Economy Quality (H264, 15 fps, 368x208, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kBlackBerry[] = {
    "BlackBerry High Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)",
    "BlackBerry Standard Quality (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)",
    "BlackBerry Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kMobilePhone[] = {
    "Mobile MP4 High Quality (MPEG4, 15 fps, 320x240, 600 kbps; AAC - 192 kbps)",
    "Mobile MP4 Standard Quality (MPEG4, 15 fps, 176x144, 256 kbps; AAC - 128 kbps)",
    "Mobile MP4 Balanced Quality (MPEG4, 12 fps, 176x144, 146 kbps; AAC - 96 kbps)",
    "Mobile MP4 Economy Quality (MPEG4, 10 fps, 128x96, 119 kbps; AAC - 64 kbps)",
};
constexpr std::string_view kiPad[] = {
    "iPad High Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)",
    "iPad Standard Quality (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)",
    "iPad Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kAndroid[] = {
    "Android High Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)",
    "Android Standard Quality (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)",
    "Android Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
};
constexpr std::string_view kWAV[] = {
    "For Mobiles - PCM: 11025 Hz, Mono, 16 bits",
    "AM Radio Quality - PCM: 22050 Hz, Mono, 16 bits",
    "FM Radio Quality - PCM: 22050 Hz, Sterro, 24 bits",
    "HiFi Quality - PCM: 48000Hz, Stereo, 32 bits",
    "Uncompressed (CD Audio Quality)",
    "Same as source - no re-encoding",
};
constexpr std::string_view kMP3[] = {
    "For Mobile - MP3: 44100 Hz, Stereo, 112 kbps",
    "For Media Player - MP3: 48000 Hz, Stereo, 128 kbps",
    "Normal Quality - MP3: 48000 Hz, Stereo, 256 kbps",
    "Best Quality - MP3: 48000 Hz, Stereo, 320 kbps",
    "Same as source - no re-encoding",
};
constexpr std::string_view kWMA[] = {
    "For Media Player Best Quality",
    "For Media Player Economy Quality",
    "For Pocket PCs/PDAs Normal Quality",
    "For PC Normal Quality",
    "WMA Losslesss Audio",
};
constexpr std::string_view kOGG[] = {
    "Telephone Quality - Ogg Vorbis: Quality - 4.97; 11025 Hz, Mono",
    "AM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Mono",
    "FM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Stereo",
    "CD Quality - Ogg Vorbis: Quality - 4.97; 44100 Hz, Stereo",
    "HiFi Quality - Ogg Vorbis: Quality - 8.05; 48000 Hz, Stereo",
};
constexpr std::string_view kAAC[] = {
    "For Mobiles - MPEG2/4 LC: 16000 Hz, Mono, 96 kbps",
    "AM Quality - MPEG2/4 LC: 22500 Hz, Mono, 112 kbps",
    "FM Quality - MPEG2/4 LC: 22500 Hz, Stereo, 224 kbps",
    "CD Quality - MPEG2/4 LC: 44100 Hz, Stereo, 256 kbps",
    "HiFi Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps",
};
constexpr std::string_view kM4A[] = {
    "Normal Quality - MPEG2/4 LC: 44100 Hz, Stereo, 96 kbps",
    "Best Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps",
    "Same as source - no re-encoding",
};
constexpr std::string_view kFLAC[] = {
    "Compression Level 0",
    "Compression Level 1",
    "Compression Level 2",
    "Compression Level 3",
    "Compression Level 4",
    "Compression Level 5 (Default)",
    "Compression Level 6",
    "Compression Level 7",
    "Compression Level 8",
    "Same as source - no re-encoding",
};
constexpr std::string_view kMP2[] = {
    "For Mobiles - MPEG layer-2: 22050 Hz, Mono, 96 kbps",
    "AM Quality - MPEG layer-2: 22050 Hz, Mono, 112 kbps",
    "FM Quality - MPEG layer-2: 22050 Hz, Stereo, 128 kbps",
};

constexpr std::span<const std::string_view> Captions(TFormatCode id) {
    switch (id.Class) {
        case fcVideo:
            switch (id.Code) {
                case vfAVI: return kAVI;
                case vfMP4: return kMP4;
                case vfFLV: return kFLV;
                case vfSWF: return kSWF;
                case vfMPEG: return kMPEG;
                case vfRM: return kRM;
                case vfWMV: return kWMV;
                case vfMOV: return kMOV;
                case vf3GP: return kThreeGP;
                case vfMKV: return kMKV;
                case vfWebM: return kWebM;
            }
            break;
        case fcDevice:
            switch (id.Code) {
                case dfiPod: return kiPod;
                case dfiPhone: return kiPhone;
                case dfAppleTV: return kAppleTV;
                case dfPSP: return kPSP;
                case dfBlackBerry: return kBlackBerry;
                case dfMobilePhone: return kMobilePhone;
                case dfiPad: return kiPad;
                case dfAndroid: return kAndroid;
            }
            break;
        case fcAudio:
            switch (id.Code) {
                case afWAV: return kWAV;
                case afMP3: return kMP3;
                case afWMA: return kWMA;
                case afOGG: return kOGG;
                case afAAC: return kAAC;
                case afM4A: return kM4A;
                case afFLAC: return kFLAC;
                case afMP2: return kMP2;
            }
            break;
    }
    return {};
}

std::string_view Extension(TFormatCode id) {
    if (id.Class == fcDevice) return ".mp4";
    static constexpr std::string_view video[] = {".avi", ".mp4", ".flv", ".swf", ".mpg",
                                                 ".rm", ".wmv", ".mov", ".3gp", ".mkv", ".webm"};
    static constexpr std::string_view audio[] = {".wav", ".mp3", ".wma", ".ogg", ".aac", ".m4a", ".flac", ".mp2"};
    return id.Class == fcVideo ? video[id.Code] : audio[id.Code];
}

// "ImageComboBox" + name + "Presets", kept alive for the program's run.
std::string_view ListName(const TFormatId& f) {
    static std::array<std::string, FormatCount> names;
    std::string& n = names[&f - AllFormats().data()];
    if (n.empty()) n = "ImageComboBox" + std::string(f.Name) + "Presets";
    return n;
}

}  // namespace

const std::array<TCatalogueFormat, FormatCount>& Catalogue() {
    static const std::array<TCatalogueFormat, FormatCount> table = [] {
        std::array<TCatalogueFormat, FormatCount> t{};
        for (int i = 0; i < FormatCount; ++i) {
            const TFormatId& f = AllFormats()[i];
            t[i] = {&f, Extension(f.Id), ListName(f), Captions(f.Id)};
        }
        return t;
    }();
    return table;
}

const TCatalogueFormat* FindCatalogueFormat(int formatClass, int code) {
    for (const auto& f : Catalogue())
        if (f.Format->Id.Class == formatClass && f.Format->Id.Code == code) return &f;
    return nullptr;
}

int PresetCount(TFormatCode format) {
    const TCatalogueFormat* f = FindCatalogueFormat(format.Class, format.Code);
    return f ? static_cast<int>(f->Presets.size()) : 0;
}

std::string_view PresetCaption(const TPresetRef& preset) {
    const TCatalogueFormat* f = FindCatalogueFormat(preset.Format.Class, preset.Format.Code);
    if (!f || preset.Index < 0 || preset.Index >= static_cast<int>(f->Presets.size())) return {};
    return f->Presets[preset.Index];
}

TPresetRef CurrentPreset(const TUserSettings& settings) {
    const TFormatCode id{settings.OutputFormatClass, settings.CurrentFormatCode()};
    const TCatalogueFormat* f = FindCatalogueFormat(id.Class, id.Code);
    return {id, f ? settings.OutputPreset[id.Class][id.Code] : -1};
}

std::string OutputExtension(const TUserSettings& settings) {
    const TCatalogueFormat* f = FindCatalogueFormat(settings.OutputFormatClass, settings.CurrentFormatCode());
    return f ? std::string(f->Extension) : std::string();
}

// Where each format's copying preset sits: last in the lists it was appended
// to, first in the lists that came with it.
int SameAsSourcePreset(TFormatCode format) {
    if (format.Class == fcVideo) {
        switch (format.Code) {
            case vfAVI: return 29;
            case vfMP4: return 21;
            case vfMPEG: return 14;
            case vfMOV: return 12;
            case vfMKV:
            case vfWebM: return 0;
            default: return -1;
        }
    }
    if (format.Class == fcAudio) {
        switch (format.Code) {
            case afWAV: return 5;
            case afMP3: return 4;
            case afM4A: return 2;
            case afFLAC: return 9;
            default: return -1;
        }
    }
    return -1;
}

bool IsSameAsSource(const TPresetRef& preset) {
    return preset.Index >= 0 && preset.Index == SameAsSourcePreset(preset.Format);
}

int HighQualityPreset(TFormatCode format) {
    if (!FindCatalogueFormat(format.Class, format.Code)) return -1;
    if (format.Class == fcVideo) {
        switch (format.Code) {
            case vfMP4: return 19;  // "Original Size - High Quality"
            case vfMOV: return 10;  // "Original Size - High Quality"
            case vfAVI: return 2;   // MPEG4, 2500 kbps, Original
            case vfMPEG: return 5;  // MPEG2, 4000 kbps, Original size
            case vfMKV: return 1;   // "Original Size - High Quality"
            case vfWebM: return 1;  // "Original Size - VP9"
            default: break;
        }
    }
    if (format.Class == fcAudio) {
        switch (format.Code) {
            case afWAV: return 3;   // 48000 Hz, 32 bits
            case afMP3: return 3;   // 320 kbps
            case afM4A: return 1;   // 256 kbps
            case afFLAC: return 5;  // lossless at any level: the default one
            default: break;
        }
    }
    return FindCatalogueFormat(format.Class, format.Code)->Format->DefaultPreset;
}
