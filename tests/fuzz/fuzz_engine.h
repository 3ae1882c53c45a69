#pragma once
// The engine's libraries for a fuzz target that reaches them: loaded once
// from the system's library path, with the library log silenced.
#include "ff_libraries.h"
#include "ff_logger.h"

#include <cstdio>
#include <cstdlib>

inline void LoadEngineLibrariesForFuzzing() {
    if (std::string error; !LoadCodecLibraries("", error)) {
        std::fprintf(stderr, "cannot load the FFmpeg libraries: %s\n", error.c_str());
        std::abort();
    }
    FFLogger().SetLogLevel(llQuiet);
}
