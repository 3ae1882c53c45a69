#pragma once
// One clip of a copied picture stream re-encoded to the stream's own
// parameters: a joined clip whose pictures differ (size, rate, orientation,
// codec settings), or black pictures for a clip without any. Its pictures are
// turned to the stream's stored orientation, fitted into its size with bars,
// put on its frame rate and encoded with the parameter sets in-band, so the
// copied clips around it still decode. Made at the clip's first picture and
// finished at its joint, on the task's worker thread.
#include "ff_orientation.h"
#include "ff_owned.h"
#include "ff_parameter_sets.h"
#include "ff_video_conversion.h"

#include <cstdint>
#include <functional>
#include <string>

struct TSegmentTarget {
    const AVCodecParameters* Stream = nullptr;  // the output stream's parameters
    AVRational FrameRate{0, 1};
    AVRational SampleAspect{0, 1};
    TOrientation Shown;   // how the output stream is shown (its display matrix)
    std::string Encoder;  // "libx264", "libx265", "libvpx", "libvpx-vp9", "libsvtav1"
    int SwsFlags = 0;
};

class TSegmentEncoder {
public:
    // A packet in the output stream's framing, timed in the given time base.
    using TTake = std::function<void(AVPacket* packet, AVRational timeBase)>;

    // Opens the encoder; the clip starts at startUs of output time. Raises
    // FFmpegException when the encoder cannot be opened.
    TSegmentEncoder(const TSegmentTarget& target, int64_t startUs, void* logSender);
    // An upright picture of the clip at its output time (microseconds).
    void Encode(AVFrame* upright, int64_t ptsUs, int file, int index, const TTake& take);
    // Black pictures up to the output time.
    void FillTo(int64_t endUs, const TTake& take);
    // The last picture stands for its own length, then what the encoder
    // holds back comes out.
    void Finish(const TTake& take);

private:
    void Write(AVFrame* picture, int64_t count, const TTake& take);
    void Send(AVFrame* frame, const TTake& take);
    // A packet handed on in microseconds, moved by offsetUs_.
    void Take(AVPacket* packet, const TTake& take) const;

    TSegmentTarget target_;
    bool NalUnits() const {
        return target_.Stream->codec_id == AV_CODEC_ID_H264 || target_.Stream->codec_id == AV_CODEC_ID_HEVC;
    }
    void* logSender_;
    TCodecContextPtr encoder_;
    TVideoFilter turn_;  // upright to the stream's stored orientation
    TVideoScaler scaler_;
    TInBandSets framing_;  // H.264 and H.265 only (NalUnits): other codecs' packets go as they come
    TPacketPtr packet_;
    TPacketPtr framed_;
    int64_t nextPts_ = 0;  // in frames of the stream's rate
    int64_t offsetUs_ = 0;  // added to the encoder's times: the start's place between two frames
    TFramePtr last_;       // the last picture as encoded, until the end
    int64_t lastUs_ = INT64_MIN, stepUs_ = 0;  // its time and the step before it
};
