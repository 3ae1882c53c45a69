#include "format_codes.h"
#include "ini_file.h"
#include "ov_version.h"
#include "product_config.h"
#include "startup_choice.h"
#include "util_funcs.h"

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
    TProductConfig config;
    ASSERT_EQ(ParseProductConfig(kBase, config), "");
    EXPECT_EQ(config.Version, "2.5");
    EXPECT_TRUE(config.DownloadEnabled);
    EXPECT_TRUE(config.MergeMode);
    EXPECT_EQ(config.SkinIndex, 2);
    EXPECT_EQ(config.ResFolder, "blue");
    EXPECT_EQ(config.HelpContentLink, "https://h/content");
    EXPECT_EQ(config.HelpHowTosLink, "https://h/howto");
    EXPECT_EQ(config.HelpSupportLink, "https://h/support");
    // Only "True" and "Yes" set a flag.
    EXPECT_TRUE(config.FormatEnabled[fcVideo][vfAVI]);
    EXPECT_FALSE(config.FormatEnabled[fcVideo][vfMP4]);
    EXPECT_FALSE(config.FormatEnabled[fcVideo][vfFLV]);
    EXPECT_FALSE(config.FormatEnabled[fcVideo][vfSWF]);
    EXPECT_TRUE(config.FormatEnabled[fcDevice][dfiPod]);
    EXPECT_FALSE(config.FormatEnabled[fcAudio][afWAV]);
    EXPECT_EQ(config.VideoSiteHost, "www.youtube.com");
    EXPECT_EQ(config.YtDlpReleaseUrl, "https://github.com/yt-dlp/yt-dlp/releases/latest/download/");

    TUserSettings s;
    s.OutputFormatClass = 1;
    ApplyProductDefaults(config.Defaults, s);
    EXPECT_EQ(s.OutputFormatClass, 1);  // 3 is not a class
    EXPECT_EQ(s.OutputVideoFormat, 44);  // low byte of 300
    EXPECT_EQ(s.OutputDeviceFormat, 2);
    EXPECT_EQ(s.OutputAudioFormat, 1);
    config.Defaults.DefaultClass = 2;
    ApplyProductDefaults(config.Defaults, s);
    EXPECT_EQ(s.OutputFormatClass, 2);
}

TEST(ProductConfig, IniRulesIgnoreCaseTrimAndComments) {
    TProductConfig config;
    const std::string text =
        "; comment\r\n\r\n[system]\r\n  download =  True  \r\nskin=1\r\n;Merge=True\r\n"
        "DEFAULTVIDEO=0\r\nDefaultDevice=0\r\nDefaultAudio=0\r\nDefaultClass=-1\r\n"
        "VideoSiteHost=127.0.0.1:8080\r\nytdlpreleaseurl = http://127.0.0.1:8080/r/ \r\n[Other]\r\nMerge=True\r\n";
    ASSERT_EQ(ParseProductConfig(text, config), "");
    EXPECT_TRUE(config.DownloadEnabled);
    EXPECT_FALSE(config.MergeMode);
    EXPECT_EQ(config.SkinIndex, 1);
    EXPECT_EQ(config.VideoSiteHost, "127.0.0.1:8080");
    EXPECT_EQ(config.YtDlpReleaseUrl, "http://127.0.0.1:8080/r/");
}

TEST(ProductConfig, IntegerKeysMustBeIntegers) {
    TProductConfig config;
    EXPECT_EQ(ParseProductConfig(Replace(kBase, "Skin=2\n", ""), config), "'' is not a valid integer value");
    EXPECT_EQ(ParseProductConfig(Replace(kBase, "Skin=2", "Skin=two"), config), "'two' is not a valid integer value");
    EXPECT_EQ(ParseProductConfig(Replace(kBase, "DefaultClass=3", "DefaultClass="), config),
              "'' is not a valid integer value");
    EXPECT_EQ(ParseProductConfig(Replace(kBase, "DefaultAudio=1", "DefaultAudio=1.5"), config),
              "'1.5' is not a valid integer value");
    EXPECT_EQ(ParseProductConfig(Replace(kBase, "Skin=2", "Skin=7"), config), "");
    EXPECT_EQ(config.SkinIndex, 7);
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
    TProductConfig config;
    EXPECT_EQ(ReadProductConfig(dir.file("lamecore.dll"), config), "");
    EXPECT_EQ(config.ResFolder, "blue");
    EXPECT_NE(ReadProductConfig(dir.file("missing.dll"), config).find("No such file or directory"), std::string::npos);
    // A folder in its place is named as such, not taken for an empty configuration.
    std::filesystem::create_directory(dir.file("folder.dll"));
    const std::string error = ReadProductConfig(dir.file("folder.dll"), config);
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
    TProductConfig config;
    ASSERT_EQ(ParseProductConfig(plain, config), "");
    EXPECT_EQ(config.Version, OvVersion);
    EXPECT_TRUE(config.DownloadEnabled);
    EXPECT_TRUE(config.MergeMode);
    for (const auto& f : AllFormats()) EXPECT_TRUE(config.FormatEnabled[f.Id.Class][f.Id.Code]) << f.Name;
}

// The one start-up of the window and of every command: the product's
// Default... values under the saved choice, and no file written.
TEST(StartupChoice, ProductDefaultsUnderTheSavedChoice) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("exe"));
    dir.write("exe/lamecore.dll", ScrambleText(kBase));
    const TStartupFolders folders{dir.dir() + "exe/", dir.dir() + "config", "/docs"};
    TStartupChoice c = LoadStartupChoice(folders);
    EXPECT_EQ(c.ConfigError, "");
    EXPECT_EQ(c.UserDataFolder, dir.dir() + "config/Orvane Video Joiner/");
    EXPECT_TRUE(DirectoryExists(c.UserDataFolder));
    EXPECT_FALSE(c.SettingsFound);
    EXPECT_FALSE(FileExists(c.SettingsPath()));
    EXPECT_EQ(c.Settings.OutputVideoFormat, 44);
    EXPECT_EQ(c.Settings.OutputAudioFormat, 1);
    EXPECT_EQ(c.Settings.OutputFileDir, "/docs");
    EXPECT_EQ(c.Settings.PresetOf(fcVideo, vfWMV), 16);

    // The saved choice wins over the Default... values.
    dir.write("config/Orvane Video Joiner/~system2.dat", "[System]\nOutputVideoFormat=1\n");
    c = LoadStartupChoice(folders);
    EXPECT_TRUE(c.SettingsFound);
    EXPECT_EQ(c.Settings.OutputVideoFormat, 1);
    EXPECT_EQ(c.Settings.OutputAudioFormat, 1);

    // A configuration read halfway counts for nothing; the settings still apply.
    dir.write("exe/lamecore.dll", ScrambleText(Replace(kBase, "DefaultClass=3", "DefaultClass=x")));
    c = LoadStartupChoice(folders);
    EXPECT_EQ(c.ConfigError, "'x' is not a valid integer value");
    EXPECT_FALSE(c.Config.DownloadEnabled);
    EXPECT_EQ(c.Settings.OutputAudioFormat, 0);
    EXPECT_EQ(c.Settings.OutputVideoFormat, 1);
}

TEST(FormatCodes, CatalogueOrderAndLookup) {
    ASSERT_EQ(AllFormats().size(), 27u);
    EXPECT_EQ(FindFormat(fcVideo, vf3GP)->Name, "3GP");
    // Formats added later take the next codes of their class.
    EXPECT_EQ(FindFormat(fcVideo, 9)->Name, "MKV");
    EXPECT_EQ(FindFormatByName("webm")->PresetKey, "OutputWebMPreset");
    EXPECT_EQ(FindFormat(fcVideo, 11), nullptr);
    EXPECT_EQ(FindFormat(fcDevice, dfAndroid)->PresetKey, "OutputAndroidPreset");
    EXPECT_EQ(FindFormat(fcAudio, afMP2)->DefaultPreset, 0);
    EXPECT_EQ(FindFormat(fcAudio, 8), nullptr);
    EXPECT_EQ(FindFormat(3, 0), nullptr);
    EXPECT_EQ(FindFormatByName("mobilephone")->Id, (TFormatCode{fcDevice, dfMobilePhone}));
    EXPECT_EQ(FindFormatByName("nope"), nullptr);
}
