#pragma once
// A local input file read through I/O of our own, whose descriptor is given
// back while the input waits: a task's inputs hold no open file between their
// opening and their turn, nor after it, so a join of hundreds of clips and a
// run of hundreds of files stay within the open-file limit. The next read
// opens the file again where the reading left off.
#include "ff_owned.h"

#include <cstdint>
#include <memory>
#include <string>

class TLocalFileIo {
public:
    // Null for anything but a regular local file (addresses, devices, pipes):
    // those keep the library's own I/O. The buffer lives as long as the input.
    static std::unique_ptr<TLocalFileIo> ForFile(const std::string& fileName, int bufferSize);
    ~TLocalFileIo();
    TLocalFileIo(const TLocalFileIo&) = delete;
    TLocalFileIo& operator=(const TLocalFileIo&) = delete;

    // For the container's pb; stays ours (the library sees custom I/O).
    AVIOContext* Context() const { return io_.get(); }
    // Closes the descriptor until the next read or seek.
    void Rest();
    bool Open() const { return fd_ >= 0; }
    // The library's code for why the file could not be opened again (0: it could).
    int ReopenError() const { return reopenError_; }

private:
    explicit TLocalFileIo(std::string fileName) : fileName_(std::move(fileName)) {}
    static int Read(void* opaque, uint8_t* buffer, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);
    // 0, or the library's code for the failure.
    int Reopen();
    int64_t Size() const;

    std::string fileName_;
    int fd_ = -1;
    int64_t position_ = 0;  // where the next read starts
    int reopenError_ = 0;
    TIoContextPtr io_;
};
