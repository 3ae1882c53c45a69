// The product configuration "lamecore.dll": scrambled INI text.
#include "fuzz_common.h"
#include "product_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Scrambling is its own inverse for every text the configuration tool
    // stores (it refuses bytes F2 and F5, which would become line breaks).
    if (bytes.find_first_of("\xF2\xF5") == std::string_view::npos)
        FUZZ_CHECK(ScrambleText(ScrambleText(bytes)) == bytes);
    DescrambleLine(bytes);

    MemoryFile file(data, size);
    TProductConfig config;
    TUserSettings settings;
    if (ReadProductConfig(file.Path(), config).empty()) ApplyProductDefaults(config.Defaults, settings);
    FUZZ_CHECK(!config.VideoSiteHost.empty());
    // The plain text as well, as the configuration tool reads it.
    TProductConfig plain;
    ParseProductConfig(bytes, plain);
    return 0;
}
