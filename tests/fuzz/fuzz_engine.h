#pragma once
// The engine's libraries for a fuzz target that reaches them: loaded once
// from the system's library path, with the library log silenced.
#include "ff_loader.h"
#include "ff_logger.h"

#include <cstdio>
#include <cstdlib>

inline void LoadEngineLibrariesForFuzzing() {
    if (!FFLoader().LoadSet(EngineLibrarySet)) {
        std::fprintf(stderr, "cannot load the FFmpeg libraries: %s\n", FFLoader().LastError().c_str());
        std::abort();
    }
    FFLogger().SetLogLevel(llQuiet);
}
