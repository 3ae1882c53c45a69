#pragma once
// H.264 and HEVC parameter sets put in-band: a joined clip whose sets differ
// from the output's brings its own in front of each of its key frames, so a
// decoder reads every clip with the sets it was coded with. Packets come out
// in the output stream's framing: NAL units with a length prefix of the
// output's size (MP4, Matroska), or Annex B start codes (MPEG, AVI).
// One per clip, on the task's worker thread.
#include "ff_owned.h"

#include <cstdint>
#include <vector>

// The NAL length size of a stream's out-of-band data: 1 to 4 for avcC/hvcC,
// 0 for Annex B (or no data).
int NalLengthSize(const AVCodecParameters* par);

// The number of the first H.264 sequence parameter set in the stream's
// out-of-band data, -1 when there is none.
int FirstSpsId(const AVCodecParameters* par);

class TInBandSets {
public:
    // source: the clip's codec parameters (its sets out of band, or none);
    // outputLengthSize: the output's NAL length size, 0 for Annex B.
    void Init(const AVCodecParameters* source, int outputLengthSize);
    // The packet in the output's framing, the clip's sets before a key
    // frame's first unit. False when the packet cannot be read as NAL units
    // (out keeps nothing then).
    bool Rewrite(const AVPacket* in, AVPacket* out);

private:
    // The units of a packet in its input framing.
    bool Split(const uint8_t* data, size_t size, std::vector<std::pair<const uint8_t*, size_t>>& units) const;
    void Append(std::vector<uint8_t>& to, const uint8_t* unit, size_t size) const;

    int inputLengthSize_ = 0;  // 0: Annex B
    int outputLengthSize_ = 0;
    std::vector<std::vector<uint8_t>> sets_;
    std::vector<uint8_t> buffer_;
};
