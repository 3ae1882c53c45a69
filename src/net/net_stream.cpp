#include "net_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

std::string TStream::ReadToEnd() {
    std::string out;
    char buffer[65536];
    for (;;) {
        const int64_t n = Read(buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || position_ >= Size()) return 0;
    const int64_t n = std::min(count, Size() - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const auto pos = static_cast<size_t>(position_);
    const auto n = static_cast<size_t>(count);
    if (pos == data_.size())
        data_.append(static_cast<const char*>(buffer), n);
    else {
        if (pos + n > data_.size()) data_.resize(pos + n);
        std::memcpy(data_.data() + pos, buffer, n);
    }
    position_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : Size();
    const int64_t target = base + offset;
    if (target < 0) return -1;
    if (target > Size()) data_.resize(static_cast<size_t>(target));
    position_ = target;
    return position_;
}

void TMemoryStream::Reserve(int64_t size) {
    if (size > 0) data_.reserve(static_cast<size_t>(size));
}

TWinHTTPFileStream::TWinHTTPFileStream(const std::string& fileName, bool truncate) {
    int flags = O_RDWR | O_CREAT | O_CLOEXEC;
    if (truncate) flags |= O_TRUNC;
    fd_ = ::open(fileName.c_str(), flags, 0666);
}

TWinHTTPFileStream::~TWinHTTPFileStream() { Close(); }

void TWinHTTPFileStream::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int64_t TWinHTTPFileStream::Read(void* buffer, int64_t count) {
    if (fd_ < 0) return -1;
    ssize_t n;
    do n = ::read(fd_, buffer, static_cast<size_t>(count));
    while (n < 0 && errno == EINTR);
    return n;
}

int64_t TWinHTTPFileStream::Write(const void* buffer, int64_t count) {
    if (fd_ < 0) return -1;
    auto p = static_cast<const char*>(buffer);
    int64_t left = count;
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return count - left > 0 ? count - left : -1;
        }
        p += n;
        left -= n;
    }
    return count;
}

int64_t TWinHTTPFileStream::WriteAt(const void* buffer, int64_t count, int64_t offset) {
    if (fd_ < 0) return -1;
    auto p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fd_, p + done, static_cast<size_t>(count - done), offset + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? done : -1;
        }
        done += n;
    }
    return count;
}

int64_t TWinHTTPFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    if (fd_ < 0) return -1;
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    return ::lseek(fd_, offset, whence);
}

int64_t TWinHTTPFileStream::Size() {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}
