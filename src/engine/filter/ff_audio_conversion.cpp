#include "ff_audio_conversion.h"

#include "ff_exception.h"
#include "ff_logger.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

namespace {
[[noreturn]] void Raise(const std::string& message) { throw FFmpegException(message); }

// A layout swresample accepts: unknown orders become the default for the count.
void UsableLayout(const AVChannelLayout& in, TChannelLayout& out) {
    if (in.order == AV_CHANNEL_ORDER_UNSPEC || FF.av_channel_layout_check(&in) == 0)
        out.AssignDefault(in.nb_channels > 0 ? in.nb_channels : 2);
    else
        out.Assign(in);
}

template <typename T>
T Clip(int64_t v, int64_t lo, int64_t hi) {
    return static_cast<T>(v < lo ? lo : v > hi ? hi : v);
}

const char* SampleFormatName(int format) {
    const char* name = FF.av_get_sample_fmt_name(static_cast<AVSampleFormat>(format));
    return name ? name : "none";
}
}  // namespace

void ClampFloatSamples(AVFrame* frame) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const AVSampleFormat packed = FF.av_get_packed_sample_fmt(format);
    if (packed != AV_SAMPLE_FMT_FLT && packed != AV_SAMPLE_FMT_DBL) return;
    const bool planar = FF.av_sample_fmt_is_planar(format) != 0;
    const int channels = frame->ch_layout.nb_channels;
    const int planes = planar ? channels : 1;
    const int perPlane = planar ? frame->nb_samples : frame->nb_samples * channels;
    const auto clamp = [](auto* s, int n) {
        using T = std::remove_pointer_t<decltype(s)>;
        for (int i = 0; i < n; ++i) s[i] = std::isfinite(s[i]) ? std::clamp(s[i], T(-8), T(8)) : T(0);
    };
    for (int p = 0; p < planes; ++p) {
        if (packed == AV_SAMPLE_FMT_FLT)
            clamp(reinterpret_cast<float*>(frame->data[p]), perPlane);
        else
            clamp(reinterpret_cast<double*>(frame->data[p]), perPlane);
    }
}

void ApplyVolume(uint8_t* const* data, int count, AVSampleFormat format, int channels, int volume) {
    const int planar = FF.av_sample_fmt_is_planar(format);
    const int planes = planar ? channels : 1;
    const int perPlane = planar ? count : count * channels;
    const int64_t vol = volume;
    for (int p = 0; p < planes; ++p) {
        switch (FF.av_get_packed_sample_fmt(format)) {
            case AV_SAMPLE_FMT_U8: {
                uint8_t* s = data[p];
                for (int i = 0; i < perPlane; ++i) s[i] = Clip<uint8_t>((((s[i] - 128) * vol + 128) >> 8) + 128, 0, 255);
                break;
            }
            case AV_SAMPLE_FMT_S16: {
                auto* s = reinterpret_cast<int16_t*>(data[p]);
                for (int i = 0; i < perPlane; ++i) s[i] = Clip<int16_t>((s[i] * vol + 128) >> 8, -32768, 32767);
                break;
            }
            case AV_SAMPLE_FMT_S32: {
                auto* s = reinterpret_cast<int32_t*>(data[p]);
                for (int i = 0; i < perPlane; ++i) s[i] = Clip<int32_t>((s[i] * vol + 128) >> 8, INT32_MIN, INT32_MAX);
                break;
            }
            case AV_SAMPLE_FMT_FLT: {
                auto* s = reinterpret_cast<float*>(data[p]);
                for (int i = 0; i < perPlane; ++i) s[i] = s[i] * static_cast<float>(vol) / 256.0f;
                break;
            }
            case AV_SAMPLE_FMT_DBL: {
                auto* s = reinterpret_cast<double*>(data[p]);
                for (int i = 0; i < perPlane; ++i) s[i] = s[i] * static_cast<double>(vol) / 256.0;
                break;
            }
            default: break;
        }
    }
}

bool TAudioConversion::Open(AVCodecContext* encoder, int volume, TEncode encode) {
    encoder_ = encoder;
    volume_ = volume;
    encode_ = std::move(encode);
    const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
    fifo_.reset(FF.av_audio_fifo_alloc(encoder->sample_fmt, encoder->ch_layout.nb_channels, frameSize * 2));
    frame_ = NewFrame();
    return fifo_ && frame_;
}

void TAudioConversion::Reserve(int samples) {
    if (!buffer_.Reserve(encoder_->ch_layout.nb_channels, samples, encoder_->sample_fmt))
        Raise("Out of memory in do_audio_out");
}

int64_t TAudioConversion::Delay() const { return swr_ ? FF.swr_get_delay(swr_.get(), encoder_->sample_rate) : 0; }

void TAudioConversion::Compensate(int samples) {
    FF.swr_set_compensation(swr_.get(), samples, encoder_->sample_rate);
}

void TAudioConversion::Prepare(const AVFrame* frame, int file, int index, bool resampleAlways, void* logSender) {
    TChannelLayout usable;
    UsableLayout(frame->ch_layout, usable);
    const AVChannelLayout& layout = usable.Get();
    if (known_ && (rate_ != frame->sample_rate || format_ != frame->format ||
                   FF.av_channel_layout_compare(&layout_.Get(), &layout) != 0)) {
        FFLogger().LogFmt(logSender, llInfo,
                          "Input stream #%d.%d frame changed from rate:%d fmt:%s ch:%d to rate:%d fmt:%s ch:%d", file,
                          index, rate_, SampleFormatName(format_), layout_.Get().nb_channels, frame->sample_rate,
                          SampleFormatName(frame->format), layout.nb_channels);
        Flush();
    }
    if (known_) return;
    rate_ = frame->sample_rate;
    format_ = frame->format;
    layout_.Assign(layout);
    known_ = true;
    const bool same = frame->format == encoder_->sample_fmt && frame->sample_rate == encoder_->sample_rate &&
                      FF.av_channel_layout_compare(&layout, &encoder_->ch_layout) == 0;
    if (same && !resampleAlways) return;
    SwrContext* made = nullptr;
    // The layouts are only read (this library generation declares them writable).
    const int r = FF.swr_alloc_set_opts2(&made, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate,
                                         const_cast<AVChannelLayout*>(&layout),
                                         static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    swr_.reset(made);
    if (r < 0 || FF.swr_init(swr_.get()) < 0) {
        swr_.reset();
        throw FFmpegException(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                         layout.nb_channels, rate_, encoder_->ch_layout.nb_channels,
                                         encoder_->sample_rate),
                              r < 0 ? r : AVERROR(EINVAL), "swr_init");
    }
}

void TAudioConversion::Convert(AVFrame* frame, int64_t skip) {
    uint8_t* const* data = frame->extended_data;
    int count = frame->nb_samples;
    if (swr_) {
        const int room = FF.swr_get_out_samples(swr_.get(), frame->nb_samples) + 32;
        Reserve(room);
        count = FF.swr_convert(swr_.get(), buffer_.Planes(), room, const_cast<const uint8_t**>(frame->extended_data),
                               frame->nb_samples);
        if (count < 0) throw FFmpegException("av_audio_convert() failed", count, "swr_convert");
        data = buffer_.Planes();
    } else if (volume_ != 256) {
        if (FF.av_frame_make_writable(frame) < 0) Raise("Out of memory in do_audio_out");
        data = frame->extended_data;
    }
    if (volume_ != 256) ApplyVolume(data, count, encoder_->sample_fmt, encoder_->ch_layout.nb_channels, volume_);
    const int drop = static_cast<int>(std::min<int64_t>(skip, count));
    Feed(data, drop, count - drop);
}

void TAudioConversion::Flush() {
    if (swr_) {
        for (;;) {
            const int room = 4096;
            Reserve(room);
            const int n = FF.swr_convert(swr_.get(), buffer_.Planes(), room, nullptr, 0);
            if (n <= 0) break;
            if (volume_ != 256) ApplyVolume(buffer_.Planes(), n, encoder_->sample_fmt, encoder_->ch_layout.nb_channels, volume_);
            Feed(buffer_.Planes(), 0, n);
        }
        swr_.reset();
    }
    known_ = false;
}

void TAudioConversion::PadTo(int64_t targetSamples, int verbosity, void* logSender) {
    int64_t missing = targetSamples - queued_;
    if (missing <= 0) return;
    if (verbosity > 2) FFLogger().LogFmt(logSender, llVerbose, "adding %d audio samples of silence", static_cast<int>(missing));
    const int chunk = 4096;
    Reserve(chunk);
    FF.av_samples_set_silence(buffer_.Planes(), 0, chunk, encoder_->ch_layout.nb_channels, encoder_->sample_fmt);
    while (missing > 0) {
        const int n = static_cast<int>(std::min<int64_t>(missing, chunk));
        Feed(buffer_.Planes(), 0, n);
        missing -= n;
    }
}

void TAudioConversion::Feed(uint8_t* const* data, int offset, int count) {
    if (count <= 0) return;
    const AVSampleFormat format = encoder_->sample_fmt;
    const int channels = encoder_->ch_layout.nb_channels;
    const int bytes = FF.av_get_bytes_per_sample(format);
    const bool planar = FF.av_sample_fmt_is_planar(format) != 0;
    std::vector<void*> planes(static_cast<size_t>(planar ? channels : 1));
    for (size_t p = 0; p < planes.size(); ++p)
        planes[p] = data[p] + static_cast<ptrdiff_t>(offset) * bytes * (planar ? 1 : channels);
    if (FF.av_audio_fifo_write(fifo_.get(), planes.data(), count) < count) Raise("av_fifo_realloc2() failed");
    queued_ += count;
    EncodeQueued(false);
}

void TAudioConversion::EncodeQueued(bool flush) {
    const bool variable =
        (encoder_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || encoder_->frame_size <= 0;
    const int frameSize = variable ? 1024 : encoder_->frame_size;
    AVAudioFifo* fifo = fifo_.get();
    while (FF.av_audio_fifo_size(fifo) >= frameSize || (flush && FF.av_audio_fifo_size(fifo) > 0)) {
        const int n = std::min(FF.av_audio_fifo_size(fifo), frameSize);
        AVFrame* af = frame_.get();
        const TFrameUnref sent(af);
        af->nb_samples = n;
        af->format = encoder_->sample_fmt;
        af->sample_rate = encoder_->sample_rate;
        FF.av_channel_layout_copy(&af->ch_layout, &encoder_->ch_layout);
        if (FF.av_frame_get_buffer(af, 0) < 0) Raise("Out of memory in do_audio_out");
        if (FF.av_audio_fifo_read(fifo, reinterpret_cast<void**>(af->data), n) < n) Raise("Audio encoding failed");
        ClampFloatSamples(af);
        af->pts = encoded_;
        encoded_ += n;
        encode_(af);
    }
}
