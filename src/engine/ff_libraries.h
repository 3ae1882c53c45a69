#pragma once
// Loading the engine's codec libraries, the one way every program does it.
// Any thread; the first successful load stays for the life of the process.
#include <string>

// Loads the libraries the engine needs: from the folder "lib" beside the
// executable, then "../lib", then the system's library path (an empty
// executableFolder: the system's path only). True when they are loaded,
// also when they were before; false with the loader's reason in error.
bool LoadCodecLibraries(const std::string& executableFolder, std::string& error);
// Every library the engine needs is loaded.
bool CodecLibrariesLoaded();
