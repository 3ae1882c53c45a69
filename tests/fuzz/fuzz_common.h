#pragma once
// Helpers of the fuzz targets: the input as a file that lives only in memory,
// and a failed check that libFuzzer reports as a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The bytes as a memory-backed file, named by a /proc/self/fd path.
class MemoryFile {
public:
    MemoryFile(const uint8_t* data, size_t size) {
        fd_ = ::memfd_create("fuzz-input", MFD_CLOEXEC);
        if (fd_ < 0) std::abort();
        for (size_t done = 0; done < size;) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0) std::abort();
            done += static_cast<size_t>(n);
        }
        ::lseek(fd_, 0, SEEK_SET);
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

// A property that must hold for every input.
#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
