#pragma once
// Byte streams handed to the transfer events: a memory body or an output file.
#include <cstdint>
#include <string>

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // The new position, or -1 when the stream cannot move there.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size() = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    // Everything from the current position to the end.
    std::string ReadToEnd();
};

class TMemoryStream final : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    // Room for the given size, so that writing up to it never reallocates.
    void Reserve(int64_t size);
    const char* Memory() const { return data_.data(); }
    // The whole content, whatever the position.
    const std::string& Data() const { return data_; }

private:
    std::string data_;
    int64_t position_ = 0;
};

// A file opened for reading and writing; IsOpen() tells whether it worked.
class TWinHTTPFileStream final : public TStream {
public:
    // Truncate: create anew; otherwise open or create.
    TWinHTTPFileStream(const std::string& fileName, bool truncate);
    ~TWinHTTPFileStream() override;
    TWinHTTPFileStream(const TWinHTTPFileStream&) = delete;
    TWinHTTPFileStream& operator=(const TWinHTTPFileStream&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Handle() const { return fd_; }
    void Close();

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    // Writes all bytes at the offset without moving the position; the count
    // written, or -1 (errno set) when nothing could be.
    int64_t WriteAt(const void* buffer, int64_t count, int64_t offset);

private:
    int fd_ = -1;
};
