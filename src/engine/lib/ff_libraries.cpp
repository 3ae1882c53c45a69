#include "ff_libraries.h"

#include "ff_loader.h"

bool LoadCodecLibraries(const std::string& executableFolder, std::string& error) {
    TFFLoader& loader = FFLoader();
    if (loader.SetLoaded(EngineLibrarySet)) return true;
    if (executableFolder.empty()) {
        loader.SetSearchFolder("");
        if (loader.LoadSet(EngineLibrarySet)) return true;
    } else {
        std::string folder = executableFolder;
        if (folder.back() != '/') folder += '/';
        for (const char* sub : {"lib", "../lib"}) {
            loader.SetSearchFolder(folder + sub);
            if (loader.LoadSet(EngineLibrarySet)) return true;
        }
    }
    error = loader.LastError();
    return false;
}

bool CodecLibrariesLoaded() { return FFLoader().SetLoaded(EngineLibrarySet); }
