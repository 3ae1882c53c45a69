// The product configuration "lamecore.dll": scrambled INI text.
#include "fuzz_common.h"
#include "global_vars.h"
#include "product_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Scrambling is its own inverse for every text the configuration tool
    // stores (it refuses bytes F2 and F5, which would become line breaks).
    if (bytes.find_first_of("\xF2\xF5") == std::string_view::npos)
        FUZZ_CHECK(ScrambleText(ScrambleText(bytes)) == bytes);
    DescrambleLine(bytes);

    MemoryFile file(data, size);
    TGlobalVars g;
    TProductDefaults defaults;
    if (ReadProductConfig(file.Path(), g, defaults).empty()) ApplyProductDefaults(defaults, g);
    FUZZ_CHECK(!g.VideoSiteHost.empty());
    // The plain text as well, as the configuration tool reads it.
    TGlobalVars plain;
    ParseProductConfig(bytes, plain, defaults);
    return 0;
}
