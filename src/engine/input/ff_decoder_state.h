#pragma once
// The library objects behind a TCustomDecoder/TFFDecoder, and the engine's
// way to lend a task's container to a decoder.
#include "ff_converter.h"
#include "ff_decoder.h"
#include "ff_owned.h"

struct TDecoderState {
    AVFormatContext* Context = nullptr;  // the owned container, or a task's
    TInputContextPtr Owned;
    // The picture decoder of TFFDecoder.
    TCodecContextPtr Codec;
    TPacketPtr Packet;
    TFramePtr Frame;    // decoder output
    TFramePtr Picture;  // the last picture
    TFormatConverter Converter;
};

struct TDecoderAccess {
    // Binds an already opened container without owning it.
    static void AttachContainer(TCustomDecoder& decoder, AVFormatContext* context);
    static AVFormatContext* Container(const TCustomDecoder& decoder) { return decoder.state_->Context; }
    // The last decoded picture (null before Decode succeeded).
    static const AVFrame* Picture(const TFFDecoder& decoder) {
        return decoder.HasPicture() ? decoder.state_->Picture.get() : nullptr;
    }
};
