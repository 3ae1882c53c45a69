#pragma once
// Sound on its way into an encoder: a resampler to the encoder's rate, layout
// and sample format (made when the input's format differs from the encoder's,
// and made anew when the input's format changes), the volume, and a queue that
// hands the encoder whole frames.
#include "ff_owned.h"

#include <cstdint>
#include <functional>

class TAudioConversion {
public:
    // Each whole frame of samples in the encoder's format, timed in samples.
    using TEncode = std::function<void(AVFrame* frame)>;

    // Before the run: the open encoder, the volume (256: unchanged) and where
    // the frames go. False when out of memory.
    bool Open(AVCodecContext* encoder, int volume, TEncode encode);

    // Makes the resampler for the frame's format when it is the first frame or
    // the format changed (the old resampler's rest goes out first); each change
    // logs one line naming input stream #file.index. resampleAlways keeps a
    // resampler even when the formats agree (drift compensation needs one).
    void Prepare(const AVFrame* frame, int file, int index, bool resampleAlways, void* logSender);

    // Samples given to the queue since the start, and those the resampler holds.
    int64_t Queued() const { return queued_; }
    int64_t Delay() const;
    bool Resampling() const { return swr_ != nullptr; }
    // Stretches or squeezes the resampler's output by that many samples.
    void Compensate(int samples);

    // Converts the frame and queues it, dropping its first skip samples;
    // encodes every whole frame queued.
    void Convert(AVFrame* frame, int64_t skip);
    // Silence up to the sample position (nothing when the queue is there).
    void PadTo(int64_t targetSamples, int verbosity, void* logSender);
    // What the resampler holds back goes out; the next frame makes a new one.
    void Flush();
    // Encodes what is queued: whole frames, and with flush the rest too.
    void EncodeQueued(bool flush);

private:
    void Feed(uint8_t* const* data, int offset, int count);
    void Reserve(int samples);

    AVCodecContext* encoder_ = nullptr;
    int volume_ = 256;
    TEncode encode_;
    TResamplerPtr swr_;
    bool known_ = false;  // a frame's format was seen (the resampler was decided)
    int rate_ = 0, format_ = -1;
    TChannelLayout layout_;
    TAudioFifoPtr fifo_;
    TFramePtr frame_;
    TSampleBuffer buffer_;
    int64_t queued_ = 0;   // samples given to the queue since the start
    int64_t encoded_ = 0;  // samples handed to the encoder: the next frame's time
};

// Float samples to [-8, 8] (18 dB over full scale: a loud master's overs
// pass), anything not a number to silence: a damaged stream decodes to
// values in the millions, on which encoders (AAC's quantiser) search for
// minutes per frame.
void ClampFloatSamples(AVFrame* frame);

// Scales samples by volume / 256 with rounding, clipped to the sample type.
void ApplyVolume(uint8_t* const* data, int count, AVSampleFormat format, int channels, int volume);
