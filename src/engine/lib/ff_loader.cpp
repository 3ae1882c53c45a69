#include "ff_loader.h"

#include "ff_logger.h"
#include "util_funcs.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

TFFApi FF;

namespace {
constexpr int LibIdx_avutil = liAvUtil;
constexpr int LibIdx_swresample = liSwResample;
constexpr int LibIdx_avcodec = liAvCodec;
constexpr int LibIdx_avformat = liAvFormat;
constexpr int LibIdx_swscale = liSwScale;
constexpr int LibIdx_avfilter = liAvFilter;
constexpr int LibIdx_avdevice = liAvDevice;
constexpr size_t MaxLibraryAllocation = size_t{512} << 20;  // bytes

struct SymbolEntry {
    int library;
    const char* name;
    void* slot;  // the member of FF that receives the address
};

const SymbolEntry kSymbols[] = {
#define OV_FF_ENTRY(lib, name) {LibIdx_##lib, #name, static_cast<void*>(&FF.name)},
    OV_FF_SYMBOLS(OV_FF_ENTRY)
#undef OV_FF_ENTRY
};

struct LibraryInfo {
    const char* baseName;
    int major;
};

// The majors of the headers the engine was built against.
const LibraryInfo kLibraries[LibraryCount] = {
    {"avutil", LIBAVUTIL_VERSION_MAJOR},       {"swresample", LIBSWRESAMPLE_VERSION_MAJOR},
    {"avcodec", LIBAVCODEC_VERSION_MAJOR},     {"avformat", LIBAVFORMAT_VERSION_MAJOR},
    {"swscale", LIBSWSCALE_VERSION_MAJOR},     {"avfilter", LIBAVFILTER_VERSION_MAJOR},
    {"avdevice", LIBAVDEVICE_VERSION_MAJOR},
};

bool ValidIndex(int index) { return index >= 0 && index < LibraryCount; }

std::string DlError() {
    const char* e = dlerror();
    return e ? e : "unknown error";
}
}  // namespace

TFFLoader::TFFLoader() = default;

TFFLoader::~TFFLoader() = default;

const char* TFFLoader::BaseName(int index) { return ValidIndex(index) ? kLibraries[index].baseName : ""; }

void TFFLoader::SetSearchFolder(const std::string& folder) {
    std::lock_guard lock(mutex_);
    searchFolder_ = folder;
}

std::string TFFLoader::SearchFolder() const {
    std::lock_guard lock(mutex_);
    return searchFolder_;
}

std::string TFFLoader::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

std::string TFFLoader::LibraryFileName(int index) const {
    if (!ValidIndex(index)) return {};
    std::lock_guard lock(mutex_);
    if (!status_[index].overrideName.empty()) return status_[index].overrideName;
    return std::string("lib") + kLibraries[index].baseName + ".so." + std::to_string(kLibraries[index].major);
}

void TFFLoader::SetLibraryFileName(int index, const std::string& fileName) {
    if (!ValidIndex(index)) return;
    std::lock_guard lock(mutex_);
    status_[index].overrideName = fileName;
}

bool TFFLoader::LoadLibrary(int index) {
    std::lock_guard lock(mutex_);
    return LoadLibraryLocked(index);
}

bool TFFLoader::LoadLibraryLocked(int index) {
    if (!ValidIndex(index)) return false;
    Status& st = status_[index];
    const std::string fileName = LibraryFileName(index);
    if (!st.handle) {
        // SVT-AV1 prints its whole configuration on the terminal for every
        // encoder it opens; its warnings and errors are enough. A value the
        // user set is kept.
        if (index == liAvCodec) ::setenv("SVT_LOG", "2", 0);
        // A name with a folder is taken as it is; a bare name is looked for in
        // the search folder first, then through the system's library path.
        std::string path = fileName;
        if (fileName.find('/') == std::string::npos && !searchFolder_.empty()) {
            const std::string inFolder = IncludeTrailingSeparator(searchFolder_) + fileName;
            if (::access(inFolder.c_str(), F_OK) == 0) path = inFolder;
        }
        // RTLD_NODELETE: the code stays mapped after unloading, so a thread or
        // callback the library left behind never runs into unmapped memory.
        st.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!st.handle) {
            lastError_ = "Load library " + path + " error: " + DlError();
            return false;
        }
    }
    if (!st.symbolsLoaded) {
        std::string error;
        if (ResolveSymbols(index, error)) {
            st.symbolsLoaded = true;
        } else {
            lastError_ = error;
        }
    }
    if (!st.symbolsLoaded) {
        UnloadLibraryLocked(index);
        return false;
    }
    if (index == liAvUtil) {
        InstallLibraryLogHook();
        // A damaged header can ask for gigabytes in one piece (a WAV chunk
        // size, for one); no frame or packet we handle needs this much.
        FF.av_max_alloc(MaxLibraryAllocation);
    }
    return true;
}

bool TFFLoader::ResolveSymbols(int index, std::string& error) {
    void* handle = status_[index].handle;
    dlerror();
    for (const SymbolEntry& s : kSymbols) {
        if (s.library != index) continue;
        void* address = dlsym(handle, s.name);
        if (!address) {
            error = std::string("Load function ") + s.name + "@" + LibraryFileName(index) + " error: " + DlError();
            ClearSymbols(index);
            return false;
        }
        std::memcpy(s.slot, &address, sizeof address);
    }
    return true;
}

void TFFLoader::ClearSymbols(int index) {
    void* none = nullptr;
    for (const SymbolEntry& s : kSymbols)
        if (s.library == index) std::memcpy(s.slot, &none, sizeof none);
}

bool TFFLoader::LoadSet(uint32_t mask) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < LibraryCount; ++i) {
        if (!(mask & (1u << i))) continue;
        if (!LoadLibraryLocked(i)) {
            for (int j = LibraryCount - 1; j >= 0; --j)
                if (mask & (1u << j)) UnloadLibraryLocked(j);
            return false;
        }
    }
    return true;
}

bool TFFLoader::IsLoaded(int index) const {
    if (!ValidIndex(index)) return false;
    std::lock_guard lock(mutex_);
    return status_[index].handle && status_[index].symbolsLoaded;
}

bool TFFLoader::SetLoaded(uint32_t mask) const {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < LibraryCount; ++i)
        if ((mask & (1u << i)) && !(status_[i].handle && status_[i].symbolsLoaded)) return false;
    return true;
}

void TFFLoader::UnloadLibrary(int index) {
    std::lock_guard lock(mutex_);
    UnloadLibraryLocked(index);
}

void TFFLoader::UnloadLibraryLocked(int index) {
    if (!ValidIndex(index)) return;
    Status& st = status_[index];
    if (st.symbolsLoaded) {
        if (index == liAvUtil) RemoveLibraryLogHook();
        ClearSymbols(index);
        st.symbolsLoaded = false;
    }
    if (st.handle) {
        dlclose(st.handle);
        st.handle = nullptr;
    }
}

void TFFLoader::UnloadSet(uint32_t mask) {
    std::lock_guard lock(mutex_);
    for (int i = LibraryCount - 1; i >= 0; --i)
        if (mask & (1u << i)) UnloadLibraryLocked(i);
}

TFFLoader& FFLoader() {
    // Never destroyed: objects torn down at exit may still call through FF.
    static TFFLoader* loader = new TFFLoader;
    return *loader;
}
