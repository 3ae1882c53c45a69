#include "ff_parameter_sets.h"

#include <algorithm>
#include <cstring>

namespace {
// The parameter sets of avcC (H.264) or hvcC (HEVC) out-of-band data.
std::vector<std::vector<uint8_t>> SetsOf(const AVCodecParameters* par) {
    std::vector<std::vector<uint8_t>> sets;
    const uint8_t* d = par->extradata;
    const size_t size = par->extradata_size > 0 ? static_cast<size_t>(par->extradata_size) : 0;
    if (!d || size < 7 || d[0] != 1) return sets;
    size_t at = 0;
    const auto take = [&](size_t count) {
        for (size_t i = 0; i < count && at + 2 <= size; ++i) {
            const size_t length = (static_cast<size_t>(d[at]) << 8) | d[at + 1];
            at += 2;
            if (at + length > size) return false;
            sets.emplace_back(d + at, d + at + length);
            at += length;
        }
        return true;
    };
    if (par->codec_id == AV_CODEC_ID_H264) {
        at = 5;
        if (!take(d[at++] & 0x1f) || at >= size) return sets;
        take(d[at++]);
    } else if (par->codec_id == AV_CODEC_ID_HEVC && size >= 23) {
        const unsigned arrays = d[22];
        at = 23;
        for (unsigned a = 0; a < arrays && at + 3 <= size; ++a) {
            const unsigned type = d[at] & 0x3f;
            const size_t count = (static_cast<size_t>(d[at + 1]) << 8) | d[at + 2];
            at += 3;
            const size_t before = sets.size();
            if (!take(count)) break;
            // Only the parameter sets: VPS, SPS, PPS.
            if (type < 32 || type > 34) sets.resize(before);
        }
    }
    return sets;
}
}  // namespace

int FirstSpsId(const AVCodecParameters* par) {
    if (par->codec_id != AV_CODEC_ID_H264) return -1;
    const std::vector<std::vector<uint8_t>> sets = SetsOf(par);
    for (const auto& set : sets) {
        if (set.size() < 5 || (set[0] & 0x1f) != 7) continue;
        // After the header, profile, constraints and level: the number, ue(v).
        size_t bit = 32;
        const auto next = [&]() -> int {
            if (bit / 8 >= set.size()) return -1;
            const int b = (set[bit / 8] >> (7 - bit % 8)) & 1;
            ++bit;
            return b;
        };
        int zeros = 0;
        for (int b = next(); b == 0 && zeros < 6; b = next()) ++zeros;
        int value = 0;
        for (int i = 0; i < zeros; ++i) value = (value << 1) | std::max(next(), 0);
        return (1 << zeros) - 1 + value;
    }
    return -1;
}

int NalLengthSize(const AVCodecParameters* par) {
    const uint8_t* d = par->extradata;
    if (!d || par->extradata_size < 7 || d[0] != 1) return 0;
    if (par->codec_id == AV_CODEC_ID_H264) return (d[4] & 3) + 1;
    if (par->codec_id == AV_CODEC_ID_HEVC && par->extradata_size >= 23) return (d[21] & 3) + 1;
    return 0;
}

void TInBandSets::Init(const AVCodecParameters* source, int outputLengthSize) {
    inputLengthSize_ = NalLengthSize(source);
    outputLengthSize_ = outputLengthSize;
    sets_ = SetsOf(source);
}

bool TInBandSets::Split(const uint8_t* data, size_t size,
                        std::vector<std::pair<const uint8_t*, size_t>>& units) const {
    units.clear();
    if (inputLengthSize_ > 0) {
        size_t at = 0;
        while (at + static_cast<size_t>(inputLengthSize_) <= size) {
            size_t length = 0;
            for (int i = 0; i < inputLengthSize_; ++i) length = (length << 8) | data[at + static_cast<size_t>(i)];
            at += static_cast<size_t>(inputLengthSize_);
            if (length > size - at) return false;
            units.emplace_back(data + at, length);
            at += length;
        }
        return at == size;
    }
    // Annex B: units between start codes (00 00 01, or 00 00 00 01).
    size_t start = SIZE_MAX;
    for (size_t i = 0; i + 2 < size;) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (start != SIZE_MAX) {
                size_t end = i;
                while (end > start && data[end - 1] == 0) --end;
                units.emplace_back(data + start, end - start);
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start == SIZE_MAX) return false;
    if (start < size) units.emplace_back(data + start, size - start);
    return true;
}

void TInBandSets::Append(std::vector<uint8_t>& to, const uint8_t* unit, size_t size) const {
    if (outputLengthSize_ == 0) {
        static constexpr uint8_t startCode[] = {0, 0, 0, 1};
        to.insert(to.end(), startCode, startCode + 4);
    } else {
        for (int i = outputLengthSize_ - 1; i >= 0; --i) to.push_back(static_cast<uint8_t>(size >> (8 * i)));
    }
    to.insert(to.end(), unit, unit + size);
}

bool TInBandSets::Rewrite(const AVPacket* in, AVPacket* out) {
    std::vector<std::pair<const uint8_t*, size_t>> units;
    if (!in->data || !Split(in->data, static_cast<size_t>(in->size), units)) return false;
    buffer_.clear();
    if (in->flags & AV_PKT_FLAG_KEY)
        for (const auto& set : sets_) Append(buffer_, set.data(), set.size());
    for (const auto& [unit, size] : units) Append(buffer_, unit, size);
    if (FF.av_new_packet(out, static_cast<int>(buffer_.size())) < 0) return false;
    std::memcpy(out->data, buffer_.data(), buffer_.size());
    if (FF.av_packet_copy_props(out, in) < 0) return false;
    return true;
}
