#include "ini_file.h"
#include "settings.h"
#include "util_funcs.h"

#include "../common/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <csignal>
#include <sys/resource.h>

namespace {
TUserSettings Defaults() {
    TUserSettings s;
    SetDefaultSettings(s);
    s.LastOpenDir = s.OutputFileDir = s.OutputURLDir = "/home/u/Documents";
    return s;
}
}  // namespace

TEST(Settings, FirstRunWritesEveryDefaultThenReadsBack) {
    TempDir dir;
    const std::string path = dir.file("~system2.dat");
    TUserSettings s = Defaults();
    s.OutputVideoFormat = 1;
    // A missing file is only reported; writing the first defaults is the window's part.
    EXPECT_FALSE(LoadSettings(s, path));
    EXPECT_FALSE(FileExists(path));
    SaveSettings(s, path);
    IniFile ini;
    ASSERT_TRUE(ini.Load(path));
    EXPECT_EQ(ini.Get("System", "OutputWMVPreset"), "16");
    EXPECT_EQ(ini.Get("System", "PreferYouTube18"), "5");
    EXPECT_EQ(ini.Get("System", "PreferYouTube4"), "1");
    EXPECT_EQ(ini.Get("System", "PreferYouTubeQuality"), "1");
    EXPECT_EQ(ini.Get("System", "PlayASoundWhenFinished"), "0");
    EXPECT_EQ(ini.Get("System", "OutputiPodPreset"), "5");
    EXPECT_EQ(ini.Get("System", "LastOpenDir"), "/home/u/Documents");
    EXPECT_EQ(ini.Get("System", "OutputVideoFormat"), "1");

    // Keys in the order of the settings table.
    const std::string text = ReadWholeFile(path);
    EXPECT_LT(text.find("OutputURLDir"), text.find("OutputFormatClass"));
    EXPECT_LT(text.find("OutputOGGPreset"), text.find("OutputM4APreset"));
    EXPECT_LT(text.find("OutputM4APreset"), text.find("OutputAACPreset"));
    EXPECT_LT(text.find("OutputMP2Preset"), text.find("OutputAVIPreset"));
    EXPECT_LT(text.find("OutputAndroidPreset"), text.find("PlayASoundWhenFinished"));
    EXPECT_LT(text.find("PreferYouTube7"), text.find("PreferYouTube18"));

    s.OutputPreset[fcVideo][vfAVI] = 28;
    s.PlayASoundWhenFinished = true;
    s.PreferYouTube[7] = 2;
    s.OutputFileDir = "/tmp/out 50%/";
    SaveSettings(s, path);
    TUserSettings h = Defaults();
    EXPECT_TRUE(LoadSettings(h, path));
    EXPECT_EQ(h.OutputPreset[fcVideo][vfAVI], 28);
    EXPECT_TRUE(h.PlayASoundWhenFinished);
    EXPECT_EQ(h.PreferYouTube[7], 2);
    EXPECT_EQ(h.OutputFileDir, "/tmp/out 50%/");
    EXPECT_EQ(h.OutputVideoFormat, 1);
}

TEST(Settings, BadOrMissingKeysKeepDefaultsAndBytesTruncate) {
    TempDir dir;
    const std::string path = dir.write("~system2.dat",
                                       "[System]\nOutputWAVPreset=abc\nOutputFormatClass=258\nPreferYouTube1=-1\n"
                                       "OutputMP3Preset=-1\nShutDownWhenFinished=5\nPlayASoundWhenFinished=x\n"
                                       "OutputAVIPreset=2147483647\n");
    TUserSettings s = Defaults();
    EXPECT_TRUE(LoadSettings(s, path));
    EXPECT_EQ(s.OutputPreset[fcAudio][afWAV], 3);
    EXPECT_EQ(s.OutputFormatClass, 2);
    // -1 is byte 255, no quality: the slot takes the code the order lacks.
    EXPECT_EQ(s.PreferYouTube, (std::array<uint8_t, 8>{7, 3, 2, 1, 0, 6, 4, 5}));
    EXPECT_EQ(s.OutputPreset[fcAudio][afMP3], -1);
    EXPECT_EQ(s.OutputPreset[fcVideo][vfAVI], 2147483647);
    EXPECT_TRUE(s.ShutDownWhenFinished);
    EXPECT_FALSE(s.PlayASoundWhenFinished);
    EXPECT_EQ(s.OutputPreset[fcVideo][vfWMV], 16);
    EXPECT_EQ(s.LastOpenDir, "/home/u/Documents");
}

TEST(Settings, DamagedQualityOrdersAreRepaired) {
    std::array<uint8_t, 8> order{1, 2, 3, 0, 4, 5, 6, 7};
    EXPECT_FALSE(RepairQualityOrder(order));
    order = {7, 200, 9, 6, 8, 255, 0, 1};
    EXPECT_TRUE(RepairQualityOrder(order));
    EXPECT_EQ(order, (std::array<uint8_t, 8>{7, 2, 3, 6, 4, 5, 0, 1}));
    // Repeats are the user's to keep.
    order = {3, 3, 3, 3, 3, 3, 3, 3};
    EXPECT_FALSE(RepairQualityOrder(order));

    TempDir dir;
    std::string text = "[System]\n";
    for (const char* key : {"PreferYouTube1", "PreferYouTube2", "PreferYouTube3", "PreferYouTube4",
                            "PreferYouTube5", "PreferYouTube6", "PreferYouTube7", "PreferYouTube18"})
        text += std::string(key) + "=77\n";
    TUserSettings s = Defaults();
    EXPECT_TRUE(LoadSettings(s, dir.write("~system2.dat", text)));
    EXPECT_EQ(s.PreferYouTube, (std::array<uint8_t, 8>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(Settings, PlacementSectionsSurviveSettingsWrites) {
    TempDir dir;
    const std::string path = dir.file("~system2.dat");
    WriteFormPlacement(path, "Form", {10, 20, 772, 560, false});
    WriteFormPlacement(path, "FormLog", {5, 6, 455, 222, true});
    SaveSettings(Defaults(), path);
    const TFormPlacement form = ReadFormPlacement(path, "Form", {});
    EXPECT_EQ(form.X, 10);
    EXPECT_EQ(form.Y, 20);
    EXPECT_EQ(form.Width, 772);
    EXPECT_EQ(form.Height, 560);
    EXPECT_FALSE(form.Maximized);
    EXPECT_TRUE(ReadFormPlacement(path, "FormLog", {}).Maximized);
    // Missing keys fall back to the window's current values.
    const TFormPlacement none = ReadFormPlacement(path, "Nothing", {1, 2, 3, 4, true});
    EXPECT_EQ(none.X, 1);
    EXPECT_EQ(none.Width, 3);
    EXPECT_FALSE(none.Maximized);
}

TEST(Settings, PlacementClamp) {
    TFormPlacement p = ClampPlacement({5000, 100, 772, 560, false}, 1920, 1080);
    EXPECT_EQ(p.X, 1148);
    EXPECT_EQ(p.Y, 100);
    p = ClampPlacement({-50, 900, 3000, 560, false}, 1920, 1080);
    EXPECT_EQ(p.X, 0);
    EXPECT_EQ(p.Y, 520);
    EXPECT_EQ(p.Width, 1920);
}

TEST(Settings, FailedWriteLeavesTheOldFileWhole) {
    TempDir dir;
    const std::string path = dir.file("~system2.dat");
    SaveSettings(Defaults(), path);
    const std::string before = ReadWholeFile(path);
    // A file-size limit makes the write fail part-way, as a full disk would.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64;
    ::setrlimit(RLIMIT_FSIZE, &small);
    TUserSettings s = Defaults();
    s.OutputPreset[fcVideo][vfAVI] = 9;
    EXPECT_THROW(SaveSettings(s, path), std::runtime_error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(ReadWholeFile(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(Settings, WriteErrorIsReported) {
    TUserSettings s = Defaults();
    EXPECT_THROW(SaveSettings(s, "/nonexistent-folder/deeper/~system2.dat"), std::runtime_error);
}

TEST(Settings, ConfigparserReadsTheFile) {
    if (std::system("python3 -c 'import configparser' >/dev/null 2>&1") != 0) GTEST_SKIP();
    TempDir dir;
    const std::string path = dir.file("~system2.dat");
    TUserSettings s = Defaults();
    s.OutputFileDir = "/data/my videos 100%/";
    s.OutputPreset[fcDevice][dfPSP] = 2;
    SaveSettings(s, path);
    WriteFormPlacement(path, "Form", {1, 2, 3, 4, true});
    const std::string script = dir.write("check.py",
                                         "import configparser, sys\n"
                                         "c = configparser.RawConfigParser()\n"
                                         "c.optionxform = str\n"
                                         "c.read(sys.argv[1])\n"
                                         "assert c['System']['OutputFileDir'] == '/data/my videos 100%/'\n"
                                         "assert c['System']['OutputPSPPreset'] == '2'\n"
                                         "assert c['System']['OutputWMVPreset'] == '16'\n"
                                         "assert c['System']['PreferYouTube18'] == '5'\n"
                                         "assert c['Form']['maximized'] == '1'\n"
                                         "assert c['System']['JoinFiles'] in ('0', '1')\n"
                                         "assert c['System']['VerifyOutput'] in ('0', '1')\n"
                                         "assert len(c['System']) == 47, len(c['System'])\n");
    EXPECT_EQ(std::system(("python3 '" + script + "' '" + path + "'").c_str()), 0);
}

TEST(Settings, FolderRules) {
    TempDir dir;
    // An empty or relative folder in the file keeps the current value.
    const std::string path = dir.write("s.dat", "[System]\nOutputFileDir=\nOutputURLDir=downloads/\n"
                                                "LastOpenDir=/media/clips/\n");
    TUserSettings s;
    s.OutputFileDir = s.OutputURLDir = "/home/u/Documents/";
    EXPECT_TRUE(LoadSettings(s, path));
    EXPECT_EQ(s.OutputFileDir, "/home/u/Documents/");
    EXPECT_EQ(s.OutputURLDir, "/home/u/Documents/");
    EXPECT_EQ(s.LastOpenDir, "/media/clips/");
    EXPECT_FALSE(IsStorableFolder(""));
    EXPECT_FALSE(IsStorableFolder("out/"));
    EXPECT_TRUE(IsStorableFolder("/out/"));

    // Dialogs: an existing folder as it is; the missing documents folder is
    // made; any other missing, empty or relative folder gives the home folder.
    ::setenv("HOME", dir.path().c_str(), 1);
    const std::string docs = dir.dir() + "Documents/";
    EXPECT_EQ(DialogStartFolder("/tmp", docs), "/tmp");
    EXPECT_EQ(DialogStartFolder(dir.dir() + "gone/", docs), dir.dir());
    EXPECT_EQ(DialogStartFolder("", docs), dir.dir());
    EXPECT_EQ(DialogStartFolder("clips/", docs), dir.dir());
    EXPECT_FALSE(DirectoryExists(docs));
    EXPECT_EQ(DialogStartFolder(docs, docs), docs);
    EXPECT_TRUE(DirectoryExists(docs));
    // A documents folder that cannot be made falls back to home as well.
    dir.write("blocked");
    EXPECT_EQ(DialogStartFolder(dir.dir() + "blocked/Docs/", dir.dir() + "blocked/Docs"), dir.dir());
}

TEST(Settings, UserDataFolderAndShellFolders) {
    TempDir dir;
    EXPECT_EQ(FindUserDataFolder(dir.path(), "A/B"), dir.dir() + "A B/");
    EXPECT_TRUE(DirectoryExists(dir.file("A B")));
    // The application data folder itself when the folder cannot be made.
    dir.write("blocked");
    EXPECT_EQ(FindUserDataFolder(dir.file("blocked"), "X"), dir.dir() + "blocked/");

    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(ReadShellFolder("AppData"), dir.path());
    ::setenv("HOME", "/home/someone", 1);
    ::unsetenv("XDG_DOCUMENTS_DIR");
    EXPECT_EQ(ReadShellFolder("Personal"), "/home/someone/Documents");
    dir.write("user-dirs.dirs", "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(ReadShellFolder("Personal"), "/home/someone/Dokumente");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ReadShellFolder("AppData"), "/home/someone/.config");
}
