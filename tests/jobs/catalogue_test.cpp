#include "catalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace {
TFormatCode Code(std::string_view name) { return FindFormatByName(name)->Id; }
}  // namespace

TEST(Catalogue, EveryFormatHasItsPresetCountExtensionAndDefault) {
    // name: presets, default preset, extension
    const std::map<std::string, std::tuple<int, int, std::string>> expected = {
        {"AVI", {30, 3, ".avi"}},        {"MP4", {23, 19, ".mp4"}},        {"FLV", {5, 1, ".flv"}},
        {"SWF", {5, 1, ".swf"}},         {"MPEG", {15, 5, ".mpg"}},       {"RM", {5, 1, ".rm"}},
        {"WMV", {18, 16, ".wmv"}},       {"MOV", {13, 7, ".mov"}},        {"3GP", {5, 2, ".3gp"}},
        {"iPod", {10, 5, ".mp4"}},       {"iPhone", {3, 1, ".mp4"}},      {"AppleTV", {3, 1, ".mp4"}},
        {"PSP", {3, 1, ".mp4"}},         {"BlackBerry", {3, 1, ".mp4"}},  {"MobilePhone", {4, 1, ".mp4"}},
        {"iPad", {3, 0, ".mp4"}},        {"Android", {3, 0, ".mp4"}},     {"WAV", {6, 3, ".wav"}},
        {"MP3", {5, 2, ".mp3"}},         {"WMA", {5, 1, ".wma"}},         {"OGG", {5, 3, ".ogg"}},
        {"AAC", {5, 3, ".aac"}},         {"M4A", {3, 0, ".m4a"}},         {"FLAC", {10, 5, ".flac"}},
        {"MP2", {3, 0, ".mp2"}},         {"MKV", {4, 1, ".mkv"}},         {"WebM", {4, 1, ".webm"}},
    };
    int total = 0;
    ASSERT_EQ(Catalogue().size(), expected.size());
    for (const auto& f : Catalogue()) {
        const auto& [count, def, ext] = expected.at(std::string(f.Format->Name));
        EXPECT_EQ(static_cast<int>(f.Presets.size()), count) << f.Format->Name;
        EXPECT_EQ(f.Format->DefaultPreset, def) << f.Format->Name;
        if (f.Format->Name == "MP4") {
            EXPECT_EQ(f.Presets[def].rfind("Original Size - High Quality", 0), 0u);
        }
        EXPECT_EQ(f.Extension, ext) << f.Format->Name;
        EXPECT_EQ(f.PresetListName, "ImageComboBox" + std::string(f.Format->Name) + "Presets");
        EXPECT_EQ(PresetCount(f.Format->Id), count);
        for (auto caption : f.Presets) EXPECT_FALSE(caption.empty());
        total += count;
    }
    EXPECT_EQ(total, PresetTotal);
}

TEST(Catalogue, CaptionsKeepTyposBlanksAndOrder) {
    EXPECT_EQ(PresetCaption({Code("WAV"), 2}), "FM Radio Quality - PCM: 22050 Hz, Sterro, 24 bits");
    EXPECT_EQ(PresetCaption({Code("WMA"), 4}), "WMA Losslesss Audio");
    EXPECT_EQ(PresetCaption({Code("AVI"), 21}), "Nindendo Wii Clip");
    EXPECT_EQ(PresetCaption({Code("AVI"), 22}), "SanDisk Sansa View - Hight Quality - (MPEG4, 640x480; MP3, 128kbps)");
    EXPECT_EQ(PresetCaption({Code("RM"), 3}), "RM - Low Quality  - (256 kbps, Original)");
    EXPECT_EQ(PresetCaption({Code("RM"), 4}), "RM - Least Quality  - (128 kbps, Original)");
    EXPECT_EQ(PresetCaption({Code("iPod"), 1}),
              "iPod Touch High Quality (H264, 30 fps, 480x320, 2500 kbps; AAC - 160 kbps) ");
    EXPECT_EQ(PresetCaption({Code("iPod"), 3}),
              "iPod Touch Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps) ");
    EXPECT_EQ(PresetCaption({Code("MP4"), 3}), "Apple iPhone/iTouch - (H.264,640x420)");
    // The default presets show what users see on a first start.
    EXPECT_EQ(PresetCaption({Code("AVI"), 3}), "Video: MPEG4 (DivX, XviD), 1500 kbps, Original; Audio: MP3, 192 kbps");
    EXPECT_EQ(PresetCaption({Code("iPod"), 5}),
              "iPod Classic Standard Quality (H264, 24 fps, 320x240, 1000 kbps; AAC - 128 kbps)");
    EXPECT_EQ(PresetCaption({Code("WAV"), 3}), "HiFi Quality - PCM: 48000Hz, Stereo, 32 bits");
    EXPECT_EQ(PresetCaption({Code("FLAC"), 8}), "Compression Level 8");
    EXPECT_EQ(PresetCaption({Code("MP2"), 0}), "For Mobiles - MPEG layer-2: 22050 Hz, Mono, 96 kbps");
    // Outside the catalogue: empty, never a neighbour's caption.
    EXPECT_EQ(PresetCaption({Code("FLAC"), 10}), "");
    EXPECT_EQ(PresetCaption({Code("FLAC"), -1}), "");
    EXPECT_EQ(PresetCaption({{fcAudio, 8}, 0}), "");
    EXPECT_EQ(PresetCaption({{3, 0}, 0}), "");
    EXPECT_EQ(PresetCount({3, 0}), 0);
}

TEST(Catalogue, NewPresetsComeAfterTheStoredOnes) {
    // The first catalogue's indices keep naming the same presets.
    EXPECT_EQ(PresetCaption({Code("MP4"), 18}),
              "SanDisk Sansa View - Normal Quality - (MPEG4, 320x240; MPEG2/4 Audio, 96kbps)");
    EXPECT_EQ(PresetCaption({Code("MOV"), 9}), "Quick Time - Economy Quality - (Sorenson Video; IMA ADPCM)");
    for (const auto& [format, high] : {std::pair{"MP4", 19}, std::pair{"MOV", 10}}) {
        EXPECT_EQ(PresetCaption({Code(format), high}), "Original Size - High Quality - (H.264, CRF 20; AAC 192 kbps)");
        EXPECT_EQ(PresetCaption({Code(format), high + 1}),
                  "Original Size - High Efficiency - (H.265, CRF 24; AAC 192 kbps)");
        EXPECT_EQ(HighQualityPreset(Code(format)), high);
    }
    // The AV1 preset came after MP4's copying one, which keeps its index.
    EXPECT_EQ(SameAsSourcePreset(Code("MP4")), 21);
    EXPECT_EQ(PresetCaption({Code("MP4"), 22}), "Original Size - AV1 - (SVT-AV1, CRF 32; AAC 192 kbps)");
    EXPECT_EQ(PresetCaption({Code("WebM"), HighQualityPreset(Code("WebM"))}), "Original Size - VP9 - (CRF 32; Opus 128 kbps)");
    int copying = 0;
    for (const auto& f : Catalogue()) {
        const int same = SameAsSourcePreset(f.Format->Id);
        if (same < 0) continue;
        ++copying;
        EXPECT_EQ(f.Presets[static_cast<size_t>(same)], "Same as source - no re-encoding") << f.Format->Name;
        EXPECT_TRUE(IsSameAsSource({f.Format->Id, same}));
        EXPECT_FALSE(IsSameAsSource({f.Format->Id, same + 1}));
        // What re-encodes instead is a preset of the same format that copies nothing.
        const int instead = HighQualityPreset(f.Format->Id);
        EXPECT_GE(instead, 0) << f.Format->Name;
        EXPECT_NE(PresetCaption({f.Format->Id, instead}), "Same as source - no re-encoding") << f.Format->Name;
    }
    EXPECT_EQ(copying, 10);
    EXPECT_EQ(SameAsSourcePreset(Code("WMV")), -1);
    EXPECT_EQ(PresetCaption({Code("AVI"), HighQualityPreset(Code("AVI"))}),
              "Video: MPEG4 (DivX, XviD), 2500 kbps, Original; Audio: MP3, 256 kbps");
    EXPECT_EQ(PresetCaption({Code("MP3"), HighQualityPreset(Code("MP3"))}),
              "Best Quality - MP3: 48000 Hz, Stereo, 320 kbps");
    EXPECT_EQ(HighQualityPreset({3, 0}), -1);
}

TEST(Catalogue, OutputExtensionFollowsTheCurrentClassAndFormat) {
    TUserSettings settings;
    settings.OutputFormatClass = fcVideo;
    settings.OutputVideoFormat = vfMPEG;
    settings.OutputDeviceFormat = dfAndroid;
    settings.OutputAudioFormat = afFLAC;
    EXPECT_EQ(OutputExtension(settings), ".mpg");
    settings.OutputFormatClass = fcDevice;
    for (int code = 0; code < FormatsInClass(fcDevice); ++code) {
        settings.OutputDeviceFormat = static_cast<uint8_t>(code);
        EXPECT_EQ(OutputExtension(settings), ".mp4");
    }
    settings.OutputFormatClass = fcAudio;
    EXPECT_EQ(OutputExtension(settings), ".flac");
    settings.OutputAudioFormat = 8;  // past the last audio format
    EXPECT_EQ(OutputExtension(settings), "");
    settings.OutputAudioFormat = afMP3;
    settings.OutputFormatClass = 3;
    EXPECT_EQ(OutputExtension(settings), "");

    settings.OutputFormatClass = fcAudio;
    settings.PresetOf(fcAudio, afMP3) = 0;
    EXPECT_EQ(CurrentPreset(settings), (TPresetRef{Code("MP3"), 0}));
    EXPECT_EQ(PresetCaption(CurrentPreset(settings)), "For Mobile - MP3: 44100 Hz, Stereo, 112 kbps");
    settings.OutputFormatClass = 7;
    EXPECT_EQ(CurrentPreset(settings).Index, -1);
}
