// The user settings file: INI text read into the settings and the window
// placements, and the INI reader's own round trip.
#include "fuzz_common.h"
#include "ini_file.h"
#include "settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile ini;
    ini.Parse(text);
    // What is written back reads back the same.
    const std::string written = ini.Text();
    IniFile again;
    again.Parse(written);
    FUZZ_CHECK(again.Text() == written);
    ini.ReadInteger("System", "OutputFormatClass", 0);
    ini.ReadBool("System", "PreferYouTubeQuality", true);
    ini.Set("System", "LastOpenDir", "/tmp");
    ini.Text();

    MemoryFile file(data, size);
    TUserSettings settings;
    SetDefaultSettings(settings);
    LoadSettings(settings, file.Path());
    for (const uint8_t code : settings.PreferYouTube) FUZZ_CHECK(code < PreferenceSlotCount);
    settings.CurrentFormatCode();
    ReadFormPlacement(file.Path(), "Form", {10, 20, 640, 480, false});
    ClampPlacement(ReadFormPlacement(file.Path(), "FormLog", {}), 1024, 768);
    return 0;
}
