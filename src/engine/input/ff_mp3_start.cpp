#include "ff_mp3_start.h"

#include "ff_owned.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <vector>

namespace {
// The bytes looked at: junk larger than this is left to the libraries.
constexpr size_t kScanBytes = 4 << 20;
// Frames in a row that make a real start; a false sync in junk rarely
// chains even twice.
constexpr int kFramesInARow = 4;

struct TFrameHeader {
    int Version = 0;  // 0: MPEG 2.5, 2: MPEG 2, 3: MPEG 1
    int Layer = 0;    // 1: layer III, 2: layer II, 3: layer I
    int SampleRate = 0;
    size_t Length = 0;
};

bool ReadHeader(const uint8_t* p, TFrameHeader& h) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    h.Version = (p[1] >> 3) & 3;
    h.Layer = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3, padding = (p[2] >> 1) & 1;
    if (h.Version == 1 || h.Layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    static const int kbps[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG 1 layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG 1 layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG 1 layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG 2 layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};         // MPEG 2 layers II, III
    static const int rates[3] = {44100, 48000, 32000};
    const bool mpeg1 = h.Version == 3;
    const int row = mpeg1 ? 3 - h.Layer : (h.Layer == 3 ? 3 : 4);
    const int64_t bitrate = kbps[row][bitrateIndex] * 1000LL;
    h.SampleRate = rates[rateIndex] >> (mpeg1 ? 0 : h.Version == 2 ? 1 : 2);
    if (h.Layer == 3)
        h.Length = static_cast<size_t>((12 * bitrate / h.SampleRate + padding) * 4);
    else
        h.Length = static_cast<size_t>((h.Layer == 1 && !mpeg1 ? 72 : 144) * bitrate / h.SampleRate + padding);
    return h.Length >= 4;
}

bool FramesFollow(const uint8_t* data, size_t size, size_t at) {
    TFrameHeader first, next;
    for (int n = 0; n < kFramesInARow; ++n) {
        if (at + 4 > size) return false;
        if (!ReadHeader(data + at, n == 0 ? first : next)) return false;
        if (n > 0 && (next.Version != first.Version || next.Layer != first.Layer ||
                      next.SampleRate != first.SampleRate))
            return false;
        at += n == 0 ? first.Length : next.Length;
    }
    return true;
}

bool EndsWithMp3(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".mp3";
}
}  // namespace

int64_t FirstMpegAudioFrames(const uint8_t* data, size_t size) {
    for (size_t at = 0; at + 4 <= size; ++at)
        if (data[at] == 0xFF && FramesFollow(data, size, at)) return static_cast<int64_t>(at);
    return -1;
}

int64_t Mp3JunkBytes(const std::string& fileName) {
    if (!EndsWithMp3(fileName)) return 0;
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    std::vector<uint8_t> data(kScanBytes);
    size_t size = 0;
    const auto readUpTo = [&](size_t limit) {
        for (ssize_t n; size < limit && (n = ::read(fd, data.data() + size, limit - size)) > 0;)
            size += static_cast<size_t>(n);
    };
    // The common file is settled by its first bytes: a tag first is the
    // libraries' to read, and so is a file that starts with its frames.
    readUpTo(16384);
    const bool plain = (size >= 3 && data[0] == 'I' && data[1] == 'D' && data[2] == '3') ||
                       FramesFollow(data.data(), size, 0);
    if (!plain) readUpTo(data.size());
    ::close(fd);
    if (plain) return 0;
    const int64_t first = FirstMpegAudioFrames(data.data(), size);
    return first > 0 ? first : 0;
}

void SkipMp3Junk(AVFormatContext* ic, const std::string& fileName, const AVInputFormat*& format) {
    if (!ic || format) return;
    const int64_t junk = Mp3JunkBytes(fileName);
    if (junk <= 0) return;
    ic->skip_initial_bytes = junk;
    format = FF.av_find_input_format("mp3");
}
