#include "format_codes.h"
#include "ini_file.h"
#include "ov_version.h"
#include "product_config.h"

#include "../common/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {
const char kBase[] =
    "[SYSTEM]\n"
    "Version=2.5\n"
    "Download=True\n"
    "Merge=Yes\n"
    "Skin=2\n"
    "ResFolder=blue\n"
    "HelpContectLink=https://h/content\n"
    "HelpHowTosTutorialVideosLink=https://h/howto\n"
    "HelpHomePageLink=https://h/\n"
    "HelpMoreFreeToolsLink=https://h/tools\n"
    "HelpCheckForUpdatesLink=https://h/update\n"
    "HelpSupportLink=https://h/support\n"
    "AVI=True\nMP4=true\nFLV=yes\nSWF=1\nIPOD=Yes\nMP3=True\n"
    "DefaultVideo=300\nDefaultDevice=2\nDefaultAudio=1\nDefaultClass=3\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}
}  // namespace

TEST(ProductConfig, ReadsKeysFlagsAndDefaults) {
    TGlobalVars g;
    TProductDefaults d;
    ASSERT_EQ(ParseProductConfig(kBase, g, d), "");
    EXPECT_EQ(g.Version, "2.5");
    EXPECT_TRUE(g.DownloadEnabled);
    EXPECT_TRUE(g.MergeMode);
    EXPECT_EQ(g.SkinIndex, 2);
    EXPECT_EQ(g.ResFolder, "blue");
    EXPECT_EQ(g.HelpContentLink, "https://h/content");
    EXPECT_EQ(g.HelpHowTosLink, "https://h/howto");
    EXPECT_EQ(g.HelpSupportLink, "https://h/support");
    // Only "True" and "Yes" set a flag.
    EXPECT_TRUE(g.FormatEnabled[fcVideo][vfAVI]);
    EXPECT_FALSE(g.FormatEnabled[fcVideo][vfMP4]);
    EXPECT_FALSE(g.FormatEnabled[fcVideo][vfFLV]);
    EXPECT_FALSE(g.FormatEnabled[fcVideo][vfSWF]);
    EXPECT_TRUE(g.FormatEnabled[fcDevice][dfiPod]);
    EXPECT_FALSE(g.FormatEnabled[fcAudio][afWAV]);
    EXPECT_EQ(g.VideoSiteHost, "www.youtube.com");

    g.OutputFormatClass = 1;
    ApplyProductDefaults(d, g);
    EXPECT_EQ(g.OutputFormatClass, 1);  // 3 is not a class
    EXPECT_EQ(g.OutputVideoFormat, 44);  // low byte of 300
    EXPECT_EQ(g.OutputDeviceFormat, 2);
    EXPECT_EQ(g.OutputAudioFormat, 1);
    d.DefaultClass = 2;
    ApplyProductDefaults(d, g);
    EXPECT_EQ(g.OutputFormatClass, 2);
}

TEST(ProductConfig, IniRulesIgnoreCaseTrimAndComments) {
    TGlobalVars g;
    TProductDefaults d;
    const std::string text =
        "; comment\r\n\r\n[system]\r\n  download =  True  \r\nskin=1\r\n;Merge=True\r\n"
        "DEFAULTVIDEO=0\r\nDefaultDevice=0\r\nDefaultAudio=0\r\nDefaultClass=-1\r\n"
        "VideoSiteHost=127.0.0.1:8080\r\n[Other]\r\nMerge=True\r\n";
    ASSERT_EQ(ParseProductConfig(text, g, d), "");
    EXPECT_TRUE(g.DownloadEnabled);
    EXPECT_FALSE(g.MergeMode);
    EXPECT_EQ(g.SkinIndex, 1);
    EXPECT_EQ(g.VideoSiteHost, "127.0.0.1:8080");
}

TEST(ProductConfig, IntegerKeysMustBeIntegers) {
    TGlobalVars g;
    TProductDefaults d;
    EXPECT_EQ(ParseProductConfig(Replace(kBase, "Skin=2\n", ""), g, d), "'' is not a valid integer value");
    EXPECT_EQ(ParseProductConfig(Replace(kBase, "Skin=2", "Skin=two"), g, d), "'two' is not a valid integer value");
    EXPECT_EQ(ParseProductConfig(Replace(kBase, "DefaultClass=3", "DefaultClass="), g, d),
              "'' is not a valid integer value");
    EXPECT_EQ(ParseProductConfig(Replace(kBase, "DefaultAudio=1", "DefaultAudio=1.5"), g, d),
              "'1.5' is not a valid integer value");
    EXPECT_EQ(ParseProductConfig(Replace(kBase, "Skin=2", "Skin=7"), g, d), "");
    EXPECT_EQ(g.SkinIndex, 7);
}

TEST(ProductConfig, ScrambledFileRoundTrip) {
    EXPECT_EQ(DescrambleLine(std::string("\x00\xff\x41", 3)), std::string("\xff\x00\xbe", 3));
    EXPECT_TRUE(IsTrueText("True"));
    EXPECT_TRUE(IsTrueText("Yes"));
    EXPECT_FALSE(IsTrueText("true"));
    EXPECT_FALSE(IsTrueText("yes"));
    EXPECT_FALSE(IsTrueText("1"));
    EXPECT_FALSE(IsTrueText(""));

    TempDir dir;
    const std::string scrambled = ScrambleText(kBase);
    EXPECT_EQ(scrambled.find("Version"), std::string::npos);
    EXPECT_EQ(std::count(scrambled.begin(), scrambled.end(), '\n'), std::count(kBase, kBase + sizeof kBase, '\n'));
    dir.write("lamecore.dll", scrambled);
    TGlobalVars g;
    TProductDefaults d;
    EXPECT_EQ(ReadProductConfig(dir.file("lamecore.dll"), g, d), "");
    EXPECT_EQ(g.ResFolder, "blue");
    EXPECT_NE(ReadProductConfig(dir.file("missing.dll"), g, d).find("No such file or directory"), std::string::npos);
    // A folder in its place is named as such, not taken for an empty configuration.
    std::filesystem::create_directory(dir.file("folder.dll"));
    const std::string error = ReadProductConfig(dir.file("folder.dll"), g, d);
    EXPECT_NE(error.find("folder.dll\". Is a directory"), std::string::npos) << error;
}

TEST(ProductConfig, ShippedConfigurationDescramblesToTheRepoCopy) {
    const std::string shipped = ReadWholeFile(std::string(OV_BIN_DIR) + "/lamecore.dll");
    std::string plain = ReadWholeFile(std::string(OV_SOURCE_DIR) + "/resources/product.ini");
    ASSERT_FALSE(plain.empty());
    // The build fills in the project's version.
    const std::string placeholder = "Version=@PROJECT_VERSION@\n";
    ASSERT_NE(plain.find(placeholder), std::string::npos);
    plain.replace(plain.find(placeholder), placeholder.size(), std::string("Version=") + OvVersion + "\n");
    EXPECT_EQ(ScrambleText(shipped), plain);
    TGlobalVars g;
    TProductDefaults d;
    ASSERT_EQ(ParseProductConfig(plain, g, d), "");
    EXPECT_EQ(g.Version, OvVersion);
    EXPECT_TRUE(g.DownloadEnabled);
    EXPECT_TRUE(g.MergeMode);
    for (const auto& f : AllFormats()) EXPECT_TRUE(g.FormatEnabled[f.Id.Class][f.Id.Code]) << f.Name;
}

TEST(FormatCodes, CatalogueOrderAndLookup) {
    ASSERT_EQ(AllFormats().size(), 25u);
    EXPECT_EQ(FindFormat(fcVideo, vf3GP)->Name, "3GP");
    EXPECT_EQ(FindFormat(fcDevice, dfAndroid)->PresetKey, "OutputAndroidPreset");
    EXPECT_EQ(FindFormat(fcAudio, afMP2)->DefaultPreset, 0);
    EXPECT_EQ(FindFormat(fcAudio, 8), nullptr);
    EXPECT_EQ(FindFormat(3, 0), nullptr);
    EXPECT_EQ(FindFormatByName("mobilephone")->Id, (TFormatCode{fcDevice, dfMobilePhone}));
    EXPECT_EQ(FindFormatByName("nope"), nullptr);
}
