#include "ff_input_stream.h"

#include "ff_exception.h"
#include "ff_logger.h"
#include "ff_orientation.h"
#include "ff_stream_map.h"

#include <algorithm>

namespace {
constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

int64_t ToMicroseconds(int64_t value, AVRational tb) { return FF.av_rescale_q(value, tb, MicrosecondBase); }
}  // namespace

void TInputStream::OpenDecoder(const AVCodec* forced, TOptionState& o) {
    const AVCodecParameters* par = Stream->codecpar;
    const char* kind = KindName(par->codec_type);
    const AVCodec* codec = forced ? forced : FF.avcodec_find_decoder(par->codec_id);
    if (!codec)
        throw FFmpegException(FormatText("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                                         static_cast<int>(par->codec_id), File, Index, kind),
                              AVERROR_DECODER_NOT_FOUND);
    const std::string failure = FormatText("Error while opening decoder for input stream #%d.%d (%s)", File, Index, kind);
    decoder_.reset(FF.avcodec_alloc_context3(codec));
    if (!decoder_) throw FFmpegException(failure, AVERROR(ENOMEM), "avcodec_alloc_context3");
    int r = FF.avcodec_parameters_to_context(decoder_.get(), par);
    if (r < 0) throw FFmpegException(failure, r, "avcodec_parameters_to_context");
    decoder_->pkt_timebase = Stream->time_base;
    decoder_->thread_count = o.ThreadCount;
    // "xerror": damaged data is an error instead of being concealed.
    // Frame threads of this library generation trip over their own
    // assertion when a damaged frame is refused, so those decode alone.
    if (o.ExitOnError) {
        decoder_->err_recognition |= AV_EF_EXPLODE;
        decoder_->thread_type = FF_THREAD_SLICE;
    }
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) ApplyStoredCodecOptions(o, decoder_.get(), OptFlagsInputVideo);
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) ApplyStoredCodecOptions(o, decoder_.get(), OptFlagsInputAudio);
    r = FF.avcodec_open2(decoder_.get(), codec, nullptr);
    if (r < 0) throw FFmpegException(failure, r, "avcodec_open2");
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) upright_ = TVideoFilter(StreamOrientation(Stream).Filters());
}

void TInputStream::TurnUpright(AVFrame* frame, const std::function<void(AVFrame*)>& take) {
    upright_.Filter(frame, Pts, [&take](AVFrame* upright, int64_t) { take(upright); });
}

int TInputStream::Decode(const AVPacket* packet, AVFrame* frame, const std::function<void(AVFrame*)>& take) {
    int error = 0;
    bool sent = false;
    while (!sent) {
        int r = FF.avcodec_send_packet(decoder_.get(), packet);
        if (r == AVERROR(EAGAIN)) {
            r = 0;  // take the waiting frames first, then send again
        } else {
            sent = true;
            if (r < 0 && r != AVERROR_EOF) error = r;  // damaged data: skip the packet
        }
        for (;;) {
            const int got = FF.avcodec_receive_frame(decoder_.get(), frame);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
            if (got < 0) {
                error = got;
                sent = true;
                break;
            }
            const TFrameUnref received(frame);
            take(frame);
        }
    }
    return error;
}

int TInputStream::DecodeSubtitle(AVPacket* packet, const std::function<void(AVSubtitle&)>& take) {
    TSubtitle subtitle;
    int got = 0;
    const int r = FF.avcodec_decode_subtitle2(decoder_.get(), &subtitle.Get(), &got, packet);
    if (r < 0) return r;
    if (got) take(subtitle.Get());
    return 0;
}

void TInputStream::FillCopiedDts(AVPacket* p) {
    if (p->dts == AV_NOPTS_VALUE && p->pts != AV_NOPTS_VALUE) {
        const AVRational rate = Stream->avg_frame_rate.num > 0 ? Stream->avg_frame_rate : Stream->r_frame_rate;
        int64_t step = p->duration;
        if (step <= 0 && rate.num > 0 && rate.den > 0)
            step = FF.av_rescale_q(1, AVRational{rate.den, rate.num}, Stream->time_base);
        step = std::max<int64_t>(step, 1);
        const int64_t guess = copiedDts_ != AV_NOPTS_VALUE ? copiedDts_ + step
                                                          : p->pts - Stream->codecpar->video_delay * step;
        p->dts = std::min(guess, p->pts);
    }
    if (p->dts != AV_NOPTS_VALUE) copiedDts_ = p->dts;
}

void TInputStream::FlushDecoder() {
    if (decoder_) FF.avcodec_flush_buffers(decoder_.get());
}

void TInputStream::TakeFrameTime(const AVFrame* frame) {
    const AVRational tb = Stream->time_base;
    const int64_t ts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (ts != AV_NOPTS_VALUE)
        Pts = ToMicroseconds(ts, tb);
    else if (NextPts != AV_NOPTS_VALUE)
        Pts = NextPts;
    int64_t duration = 0;
    if (Kind() == AVMEDIA_TYPE_VIDEO) {
        if (frame->pkt_duration > 0) {
            duration = ToMicroseconds(frame->pkt_duration, tb);
        } else {
            const AVRational rate = Stream->avg_frame_rate.num > 0 ? Stream->avg_frame_rate : Stream->r_frame_rate;
            if (rate.num > 0 && rate.den > 0)
                duration = static_cast<int64_t>(1000000.0 * rate.den / rate.num * (1 + frame->repeat_pict / 2.0));
        }
    } else if (frame->sample_rate > 0) {
        duration = static_cast<int64_t>(frame->nb_samples) * 1000000 / frame->sample_rate;
    }
    NextPts = Pts + duration;
    ++FramesDecoded;
}

void TInputStream::TakePacketTime(const AVPacket* packet) {
    if (packet->dts != AV_NOPTS_VALUE) Pts = ToMicroseconds(packet->dts, Stream->time_base);
}

void TInputStream::AdvancePastPacket(const AVPacket* packet) {
    if (packet->duration > 0) NextPts = Pts + ToMicroseconds(packet->duration, Stream->time_base);
}
