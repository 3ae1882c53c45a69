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
        {"AVI", {29, 3, ".avi"}},        {"MP4", {19, 3, ".mp4"}},        {"FLV", {5, 1, ".flv"}},
        {"SWF", {5, 1, ".swf"}},         {"MPEG", {14, 5, ".mpg"}},       {"RM", {5, 1, ".rm"}},
        {"WMV", {18, 16, ".wmv"}},       {"MOV", {10, 7, ".mov"}},        {"3GP", {5, 2, ".3gp"}},
        {"iPod", {10, 5, ".mp4"}},       {"iPhone", {3, 1, ".mp4"}},      {"AppleTV", {3, 1, ".mp4"}},
        {"PSP", {3, 1, ".mp4"}},         {"BlackBerry", {3, 1, ".mp4"}},  {"MobilePhone", {4, 1, ".mp4"}},
        {"iPad", {3, 0, ".mp4"}},        {"Android", {3, 0, ".mp4"}},     {"WAV", {5, 3, ".wav"}},
        {"MP3", {4, 2, ".mp3"}},         {"WMA", {5, 1, ".wma"}},         {"OGG", {5, 3, ".ogg"}},
        {"AAC", {5, 3, ".aac"}},         {"M4A", {2, 0, ".m4a"}},         {"FLAC", {9, 5, ".flac"}},
        {"MP2", {3, 0, ".mp2"}},
    };
    int total = 0;
    ASSERT_EQ(Catalogue().size(), expected.size());
    for (const auto& f : Catalogue()) {
        const auto& [count, def, ext] = expected.at(std::string(f.Format->Name));
        EXPECT_EQ(static_cast<int>(f.Presets.size()), count) << f.Format->Name;
        EXPECT_EQ(f.Format->DefaultPreset, def) << f.Format->Name;
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
    EXPECT_EQ(PresetCaption({Code("FLAC"), 9}), "");
    EXPECT_EQ(PresetCaption({Code("FLAC"), -1}), "");
    EXPECT_EQ(PresetCaption({{fcAudio, 8}, 0}), "");
    EXPECT_EQ(PresetCaption({{3, 0}, 0}), "");
    EXPECT_EQ(PresetCount({3, 0}), 0);
}

TEST(Catalogue, OutputExtensionFollowsTheCurrentClassAndFormat) {
    TGlobalVars g;
    g.OutputFormatClass = fcVideo;
    g.OutputVideoFormat = vfMPEG;
    g.OutputDeviceFormat = dfAndroid;
    g.OutputAudioFormat = afFLAC;
    EXPECT_EQ(OutputExtension(g), ".mpg");
    g.OutputFormatClass = fcDevice;
    for (int code = 0; code < FormatsInClass(fcDevice); ++code) {
        g.OutputDeviceFormat = static_cast<uint8_t>(code);
        EXPECT_EQ(OutputExtension(g), ".mp4");
    }
    g.OutputFormatClass = fcAudio;
    EXPECT_EQ(OutputExtension(g), ".flac");
    g.OutputAudioFormat = 8;  // past the last audio format
    EXPECT_EQ(OutputExtension(g), "");
    g.OutputAudioFormat = afMP3;
    g.OutputFormatClass = 3;
    EXPECT_EQ(OutputExtension(g), "");

    g.OutputFormatClass = fcAudio;
    g.PresetOf(fcAudio, afMP3) = 0;
    EXPECT_EQ(CurrentPreset(g), (TPresetRef{Code("MP3"), 0}));
    EXPECT_EQ(PresetCaption(CurrentPreset(g)), "For Mobile - MP3: 44100 Hz, Stereo, 112 kbps");
    g.OutputFormatClass = 7;
    EXPECT_EQ(CurrentPreset(g).Index, -1);
}
