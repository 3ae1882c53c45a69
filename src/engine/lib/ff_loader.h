#pragma once
// Run-time loading of the FFmpeg shared libraries into the table FF.
//
// A library is taken from the search folder when the folder holds it, else from
// the system's library path. A missing library or entry point fails the load
// with a message; LoadSet unloads the whole set again on the first failure, so
// the engine either has every library of its set or none.
#include "ff_api.h"

#include <cstdint>
#include <mutex>
#include <string>

// The libraries the engine needs: all but avdevice.
inline constexpr uint32_t EngineLibrarySet = ((1u << LibraryCount) - 1) & ~(1u << liAvDevice);

class TFFLoader {
public:
    TFFLoader();
    ~TFFLoader();
    TFFLoader(const TFFLoader&) = delete;
    TFFLoader& operator=(const TFFLoader&) = delete;

    void SetSearchFolder(const std::string& folder);
    std::string SearchFolder() const;
    std::string LastError() const;

    // "libavcodec.so.59", or the override name when one was set.
    std::string LibraryFileName(int index) const;
    // Replaces the file name of a library (empty: back to the default name).
    void SetLibraryFileName(int index, const std::string& fileName);

    bool LoadLibrary(int index);
    // Loads the libraries of the bit mask in index order; on the first failure
    // every library of the mask is unloaded again and false returned.
    bool LoadSet(uint32_t mask);
    bool IsLoaded(int index) const;
    // True when every library of the mask is loaded.
    bool SetLoaded(uint32_t mask) const;
    void UnloadLibrary(int index);
    void UnloadSet(uint32_t mask);

    static const char* BaseName(int index);

private:
    bool LoadLibraryLocked(int index);
    void UnloadLibraryLocked(int index);
    bool ResolveSymbols(int index, std::string& error);
    void ClearSymbols(int index);

    struct Status {
        std::string overrideName;
        void* handle = nullptr;
        bool symbolsLoaded = false;
    };
    mutable std::recursive_mutex mutex_;  // guards everything below and the table FF while it changes
    Status status_[LibraryCount];
    std::string searchFolder_;
    std::string lastError_;
};

// The one loader of the process.
TFFLoader& FFLoader();
