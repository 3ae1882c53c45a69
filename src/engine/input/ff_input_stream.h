#pragma once
// One stream of an input during a run: whether an output uses it, its decoder
// and where it is in time.
#include "ff_options.h"
#include "ff_owned.h"
#include "ff_video_conversion.h"

#include <cstdint>
#include <functional>

class TInputStream {
public:
    TInputStream(int file, int index, AVStream* stream) : File(file), Index(index), Stream(stream) {}

    const int File;
    const int Index;
    AVStream* const Stream;
    AVMediaType Kind() const { return Stream->codecpar->codec_type; }

    bool Used = false;            // an output stream takes it
    bool DecodingNeeded = false;  // an output stream encodes it (else it is copied)
    int64_t Pts = 0;                     // microseconds: the last frame's or packet's time
    int64_t NextPts = AV_NOPTS_VALUE;    // microseconds: where the next one is expected
    bool PastRecordingTime = false;
    int64_t PastTrimEndBy = -1;  // microseconds its last packet lay past its input's trim end; -1: not past
    bool Flushed = false;  // drained at its input's joint
    bool CutCopy = false;  // the packet in hand lies in its clip's copied part
    int64_t FramesDecoded = 0;

    // The decoder: the forced one or the stream's own, with the input options
    // and the task's thread count. Raises FFmpegException when there is none
    // or it cannot be opened.
    void OpenDecoder(const AVCodec* forced, TOptionState& options);
    bool Decoding() const { return decoder_ != nullptr; }
    void CloseDecoder() { decoder_.reset(); }

    // Decodes a packet (null: drains the decoder) and hands each frame to take.
    // 0, or the library's error code when the data was damaged (the packet is
    // then skipped).
    int Decode(const AVPacket* packet, AVFrame* frame, const std::function<void(AVFrame*)>& take);
    // A subtitle packet; take gets a decoded subtitle. 0 or the error code.
    int DecodeSubtitle(AVPacket* packet, const std::function<void(AVSubtitle&)>& take);
    // Drops what the decoder holds after a drain.
    void FlushDecoder();
    const AVCodecContext* Decoder() const { return decoder_.get(); }

    // Pictures stored turned or mirrored (a display matrix) are turned
    // upright, as players show them; take gets each upright picture.
    bool Turned() const { return !upright_.Empty(); }
    void TurnUpright(AVFrame* frame, const std::function<void(AVFrame*)>& take);

    // The time of a decoded frame: its own, else the expected one; the next
    // is expected one frame's duration later.
    void TakeFrameTime(const AVFrame* frame);
    // The time of a packet that is copied: its decoding time.
    void TakePacketTime(const AVPacket* packet);
    // The next expected time after a copied packet, when it has a duration.
    void AdvancePastPacket(const AVPacket* packet);
    // A copied picture without a decoding time (a Matroska file's first
    // ones) gets the one before it plus its duration, or as the stream's
    // first its presentation time less the pictures the codec holds back:
    // taking its presentation time would push the pictures after it out of
    // order.
    void FillCopiedDts(AVPacket* packet);

private:
    TCodecContextPtr decoder_;
    TVideoFilter upright_;
    int64_t copiedDts_ = AV_NOPTS_VALUE;  // the last copied packet's, in the stream's time base
};
