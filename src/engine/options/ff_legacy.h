#pragma once
// Options and encoder names of older libraries, and the values the encoders of
// today refuse, moved to what FFmpeg 5.1 accepts.
//
// The presets were written for libavcodec 52: several of their options are
// gone or became private options of the libx264 wrapper (deblockalpha,
// directpred, flags2=+dct8x8, partitions=+parti4x4, me_method, wpredp, ...).
// TranslateLegacyOption rewrites them before the generic lookup; an option
// with no equivalent is dropped with an llInfo line naming it.
//
// The encoder and value adaptations are called while an output stream is
// created; each one that changes something logs one llWarning line.
#include "ff_api.h"

#include <string>
#include <utility>
#include <vector>

struct TOptionState;

struct TLegacyTranslation {
    bool Legacy = false;  // false: the option is today's, use it as it is
    // Today's options replacing it; empty when it was dropped.
    std::vector<std::pair<std::string, std::string>> Options;
};

// Rewrites an option of the older libraries. Options that combine into one of
// today's (deblockalpha and deblockbeta into deblock) keep their halves in the
// state. A dropped option has been logged.
TLegacyTranslation TranslateLegacyOption(TOptionState& state, const std::string& name, const std::string& value);

// The encoder of that name, else its replacement (libfaac -> aac, or the
// encoder of the same codec); null when there is none.
const AVCodec* FindEncoderAdapted(const std::string& name);
// The encoder of a format's default codec, else the first encoder of the kind
// the format accepts (3GP without an AMR encoder); null when there is none.
const AVCodec* DefaultEncoderAdapted(const AVOutputFormat* format, AVCodecID codecId, AVMediaType kind);
// The rate itself when the encoder takes it, else the nearest it supports.
int NearestSupportedSampleRate(const AVCodec* codec, int sampleRate);
// Bit rates an encoder refuses move to the nearest it takes: MPEG audio
// layer II knows fixed rates per sample-rate family (448 kbit/s, which the DVD
// target asks for, is not one). Call once the sample rate is set.
int64_t NearestSupportedBitRate(const AVCodec* codec, int sampleRate, int64_t bitRate);
// Sizes an encoder refuses move to the nearest it takes: H.263's fixed
// sizes, multiples of 4 (RealVideo, H.263+) or 2 (WMV), whole chroma samples
// for H.264 once the pixel format is known. Call with the size the stream will
// have (the input's when none is pending); calling again changes nothing.
void AdaptFrameSize(const AVCodec* codec, int& width, int& height, AVPixelFormat pixelFormat = AV_PIX_FMT_NONE);
