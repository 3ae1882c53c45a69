#include "ff_local_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::unique_ptr<TLocalFileIo> TLocalFileIo::ForFile(const std::string& fileName, int bufferSize) {
    struct stat st {};
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    std::unique_ptr<TLocalFileIo> io(new TLocalFileIo(fileName));
    if (io->Reopen() < 0) return nullptr;  // the library's opening reports why
    TAvMemoryPtr<unsigned char> buffer(static_cast<unsigned char*>(FF.av_malloc(static_cast<size_t>(bufferSize))));
    if (!buffer) return nullptr;
    io->io_.reset(FF.avio_alloc_context(buffer.get(), bufferSize, 0, io.get(), &TLocalFileIo::Read, nullptr,
                                        &TLocalFileIo::Seek));
    if (!io->io_) return nullptr;
    buffer.release();  // the context owns its buffer now
    return io;
}

TLocalFileIo::~TLocalFileIo() {
    io_.reset();
    Rest();
}

void TLocalFileIo::Rest() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int TLocalFileIo::Reopen() {
    fd_ = ::open(fileName_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0 || ::lseek(fd_, position_, SEEK_SET) < 0) {
        reopenError_ = AVERROR(errno);
        Rest();
        return reopenError_;
    }
    reopenError_ = 0;
    return 0;
}

int64_t TLocalFileIo::Size() const {
    struct stat st {};
    const int r = fd_ >= 0 ? ::fstat(fd_, &st) : ::stat(fileName_.c_str(), &st);
    return r == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
}

int TLocalFileIo::Read(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<TLocalFileIo*>(opaque);
    if (self->fd_ < 0) {
        const int r = self->Reopen();
        if (r < 0) return r;
    }
    ssize_t n;
    do {
        n = ::read(self->fd_, buffer, static_cast<size_t>(size));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR_EOF;
    self->position_ += n;
    return static_cast<int>(n);
}

int64_t TLocalFileIo::Seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<TLocalFileIo*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return self->Size();
    int64_t target;
    switch (whence) {
        case SEEK_SET: target = offset; break;
        case SEEK_CUR: target = self->position_ + offset; break;
        case SEEK_END: {
            const int64_t size = self->Size();
            if (size < 0) return size;
            target = size + offset;
            break;
        }
        default: return AVERROR(EINVAL);
    }
    if (target < 0) return AVERROR(EINVAL);
    // A resting file is placed when it is opened again.
    if (self->fd_ >= 0 && ::lseek(self->fd_, target, SEEK_SET) < 0) return AVERROR(errno);
    self->position_ = target;
    return target;
}
