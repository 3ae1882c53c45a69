// A new output stream and its encoder, set up from the pending settings of
// its kind: the encoder's choice, the picture size, rate and format, the sound
// rate, layout and sample format, and the other per-stream settings.
#include "ff_exception.h"
#include "ff_legacy.h"
#include "ff_logger.h"
#include "ff_output_file.h"
#include "ff_output_track.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
[[noreturn]] void Raise(const std::string& message, int code = 0) { throw FFmpegException(message, code); }

bool ValidRate(AVRational r) { return r.num > 0 && r.den > 0; }

int KindFlags(AVMediaType kind) {
    switch (kind) {
        case AVMEDIA_TYPE_VIDEO: return OptFlagsOutputVideo;
        case AVMEDIA_TYPE_AUDIO: return OptFlagsOutputAudio;
        default: return OptFlagsOutputSubtitle;
    }
}

bool IsFullRangeJpeg(AVPixelFormat f) {
    return f == AV_PIX_FMT_YUVJ420P || f == AV_PIX_FMT_YUVJ422P || f == AV_PIX_FMT_YUVJ444P ||
           f == AV_PIX_FMT_YUVJ440P || f == AV_PIX_FMT_YUVJ411P;
}

bool IsJpeg(const AVCodec* codec) { return codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_LJPEG; }

// The pixel format the encoder will get: the wanted one when the encoder takes
// it, else the encoder's closest.
AVPixelFormat ChoosePixelFormat(const AVCodec* codec, AVPixelFormat wanted) {
    if (!codec || !codec->pix_fmts) return wanted == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : wanted;
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
        if (*p == wanted) {
            // JPEG encoders take limited-range pictures only as an unofficial extension.
            if (IsJpeg(codec) && !IsFullRangeJpeg(wanted)) break;
            return wanted;
        }
    if (IsJpeg(codec) || wanted == AV_PIX_FMT_NONE) return codec->pix_fmts[0];
    const AVPixelFormat best = FF.avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, wanted, 0, nullptr);
    return best == AV_PIX_FMT_NONE ? codec->pix_fmts[0] : best;
}

// The pixel format for an output that asked for none. Today's encoders also
// take the input's 4:2:2, 4:4:4 and 10-bit formats, but few players decode
// those profiles (an H.264 High 4:4:4 file does not play on a phone), so the
// common 4:2:0 wins wherever the encoder has it.
AVPixelFormat ChooseInputPixelFormat(const AVCodec* codec, AVPixelFormat input) {
    if (codec && codec->pix_fmts && !IsJpeg(codec))
        for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
            if (*p == AV_PIX_FMT_YUV420P) return AV_PIX_FMT_YUV420P;
    return ChoosePixelFormat(codec, input);
}

AVSampleFormat ChooseSampleFormat(const AVCodec* codec, AVSampleFormat wanted) {
    if (!codec || !codec->sample_fmts) return wanted == AV_SAMPLE_FMT_NONE ? AV_SAMPLE_FMT_S16 : wanted;
    for (const AVSampleFormat* p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
        if (*p == wanted) return wanted;
    // The same sample type in the other layout (planar or packed), else the first.
    if (wanted != AV_SAMPLE_FMT_NONE) {
        const AVSampleFormat packed = FF.av_get_packed_sample_fmt(wanted);
        for (const AVSampleFormat* p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
            if (FF.av_get_packed_sample_fmt(*p) == packed) return *p;
    }
    return codec->sample_fmts[0];
}

// "start,end,q/start,end,q..." for the rate-control override.
void ParseRcOverride(AVCodecContext* enc, const std::string& text) {
    if (text.empty()) return;
    std::vector<RcOverride> list;
    const char* p = text.c_str();
    while (*p) {
        int start = 0, end = 0, q = 0;
        if (std::sscanf(p, "%d,%d,%d", &start, &end, &q) != 3) Raise("error parsing rc_override");
        RcOverride o{};
        o.start_frame = start;
        o.end_frame = end;
        o.qscale = q > 0 ? q : 0;
        o.quality_factor = q > 0 ? 1.0f : -q / 100.0f;
        list.push_back(o);
        p = std::strchr(p, '/');
        if (!p) break;
        ++p;
    }
    // The codec context takes the list over and frees it.
    enc->rc_override = static_cast<RcOverride*>(FF.av_mallocz(list.size() * sizeof(RcOverride)));
    if (!enc->rc_override) Raise("Out of memory", AVERROR(ENOMEM));
    std::memcpy(enc->rc_override, list.data(), list.size() * sizeof(RcOverride));
    enc->rc_override_count = static_cast<int>(list.size());
}

// "force_key_frames": times separated by commas.
std::vector<int64_t> ParseForcedKeyFrames(const std::string& text) {
    std::vector<int64_t> times;
    size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int64_t us = 0;
        const int r = FF.av_parse_time(&us, item.c_str(), 1);
        if (r < 0) Raise("Invalid force_key_frames time: " + item, r);
        times.push_back(us);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::sort(times.begin(), times.end());
    return times;
}

// The codec context takes the matrix over and frees it.
void SetMatrix(uint16_t*& target, const std::array<uint16_t, 64>& values) {
    target = static_cast<uint16_t*>(FF.av_mallocz(64 * sizeof(uint16_t)));
    if (!target) Raise("Out of memory", AVERROR(ENOMEM));
    std::memcpy(target, values.data(), 64 * sizeof(uint16_t));
}

// The picture rate the encoder takes, as a time base its 16 bits can hold
// (encoders of the MPEG family need that).
void SetPictureRate(AVCodecContext* enc, const AVCodec* codec, AVRational wanted) {
    AVRational rate = ValidRate(wanted) ? wanted : AVRational{25, 1};
    if (codec && codec->supported_framerates)
        rate = codec->supported_framerates[FF.av_find_nearest_q_idx(rate, codec->supported_framerates)];
    int num = 0, den = 0;
    FF.av_reduce(&num, &den, rate.den, rate.num, 65535);
    enc->time_base = AVRational{num, den};
    enc->framerate = AVRational{den, num};
}

// The layout for the channel count, or the encoder's nearest when it does not
// take that one.
void SetChannelLayout(AVCodecContext* enc, const AVCodec* codec, int channels, void* logSender) {
    FF.av_channel_layout_default(&enc->ch_layout, channels);
    if (!codec || !codec->ch_layouts) return;
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l)
        if (FF.av_channel_layout_compare(l, &enc->ch_layout) == 0) return;
    const AVChannelLayout* pick = codec->ch_layouts;
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l)
        if (l->nb_channels == channels) {
            pick = l;
            break;
        }
    if (pick->nb_channels != channels)
        FFLogger().LogFmt(logSender, llWarning, "Encoder %s takes no %d channels; using %d", codec->name, channels,
                          pick->nb_channels);
    FF.av_channel_layout_copy(&enc->ch_layout, pick);  // replaces the default
}
}  // namespace

// The set-up steps of the tracks' encoders; a friend of the track.
struct TTrackSetup {
    static void ChooseEncoder(TOutputTrack& t, const std::string& codecName);
    static void SetupVideo(TOutputTrack& t, TOptionState& o, AVPixelFormat& lastPixelFormat);
    static void SetupAudio(TOutputTrack& t, TOptionState& o, void* logSender);
};

void TTrackSetup::ChooseEncoder(TOutputTrack& t, const std::string& codecName) {
    const AVCodec* codec = nullptr;
    AVCodecID id = AV_CODEC_ID_NONE;
    if (!codecName.empty()) {
        codec = FindEncoderAdapted(codecName);
        if (!codec) Raise(FormatText("Unknown encoder '%s'", codecName.c_str()), AVERROR_ENCODER_NOT_FOUND);
        if (codec->type != t.Kind) Raise(FormatText("Invalid encoder type '%s'", codecName.c_str()), AVERROR(EINVAL));
        id = codec->id;
    } else {
        const AVOutputFormat* format = t.File.Context->oformat;
        id = FF.av_guess_codec(format, nullptr, t.File.FileName.c_str(), nullptr, t.Kind);
        // MP4 and MOV carry subtitles as timed text.
        if (id == AV_CODEC_ID_NONE && t.Kind == AVMEDIA_TYPE_SUBTITLE) id = AV_CODEC_ID_MOV_TEXT;
        codec = DefaultEncoderAdapted(format, id, t.Kind);
        if (codec) id = codec->id;
    }
    t.codec_ = codec;
    t.codecId_ = id;
    t.encoder_.reset(FF.avcodec_alloc_context3(codec));
    if (!t.encoder_) Raise("Could not alloc stream", AVERROR(ENOMEM));
    t.encoder_->codec_type = t.Kind;
    t.encoder_->codec_id = id;
}

void TTrackSetup::SetupVideo(TOutputTrack& t, TOptionState& o, AVPixelFormat& lastPixelFormat) {
    AVCodecContext* enc = t.encoder_.get();
    const AVCodec* codec = t.codec_;
    int w = o.FrameWidth, h = o.FrameHeight;
    if (codec && w > 0 && h > 0) AdaptFrameSize(codec, w, h);
    enc->width = w;
    enc->height = h;
    SetPictureRate(enc, codec, o.FrameRate);
    if (o.FrameAspectRatio > 0 && w > 0 && h > 0) {
        enc->sample_aspect_ratio = FF.av_d2q(o.FrameAspectRatio * h / w, 255);
        t.Stream->sample_aspect_ratio = enc->sample_aspect_ratio;
    }
    enc->pix_fmt = o.PixelFormat != AV_PIX_FMT_NONE ? ChoosePixelFormat(codec, o.PixelFormat)
                                                    : ChooseInputPixelFormat(codec, lastPixelFormat);
    lastPixelFormat = AV_PIX_FMT_NONE;  // used up like the other pending settings
    if (o.VideoQScale > 0) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = static_cast<int>(FF_QP2LAMBDA * o.VideoQScale);
    }
    if (o.IntraMatrixSet) SetMatrix(enc->intra_matrix, o.IntraMatrix);
    if (o.InterMatrixSet) SetMatrix(enc->inter_matrix, o.InterMatrix);
    if (o.IntraOnly) enc->gop_size = 0;
    if (o.IntraDcPrecision != 8) enc->intra_dc_precision = o.IntraDcPrecision - 8;
    if (o.VideoGlobalHeader & 1) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (o.Psnr) enc->flags |= AV_CODEC_FLAG_PSNR;
    if (o.Pass == 1) enc->flags |= AV_CODEC_FLAG_PASS1;
    if (o.Pass == 2) enc->flags |= AV_CODEC_FLAG_PASS2;
    ParseRcOverride(enc, o.RcOverride);
    t.filter_ = TVideoFilter(o.VideoFilters);
    t.forcedKeyTimes_ = ParseForcedKeyFrames(o.ForcedKeyFrames);
}

void TTrackSetup::SetupAudio(TOutputTrack& t, TOptionState& o, void* logSender) {
    AVCodecContext* enc = t.encoder_.get();
    const AVCodec* codec = t.codec_;
    const int rate = o.AudioSampleRate > 0 ? o.AudioSampleRate : 44100;
    enc->sample_rate = codec ? NearestSupportedSampleRate(codec, rate) : rate;
    enc->bit_rate = NearestSupportedBitRate(codec, enc->sample_rate, enc->bit_rate);
    enc->time_base = AVRational{1, enc->sample_rate};
    SetChannelLayout(enc, codec, o.AudioChannels > 0 ? o.AudioChannels : 2, logSender);
    enc->sample_fmt = ChooseSampleFormat(codec, o.SampleFormat);
    if (o.AudioQScale > -99999.0f) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = static_cast<int>(FF_QP2LAMBDA * o.AudioQScale);
    }
    t.volume_ = o.AudioVolume;
}

std::unique_ptr<TOutputTrack> TOutputTrack::Create(TOutputFile& file, AVMediaType kind, TOptionState& o,
                                                   AVPixelFormat& lastPixelFormat, void* logSender) {
    AVStream* st = FF.avformat_new_stream(file.Context.get(), nullptr);
    if (!st) Raise("Could not alloc stream", AVERROR(ENOMEM));
    auto track = std::make_unique<TOutputTrack>(file, st, kind);
    TOutputTrack& t = *track;
    if (static_cast<size_t>(st->index) < o.StreamIds.size() && o.StreamIds[static_cast<size_t>(st->index)])
        st->id = o.StreamIds[static_cast<size_t>(st->index)];
    const bool video = kind == AVMEDIA_TYPE_VIDEO, audio = kind == AVMEDIA_TYPE_AUDIO;
    t.copy_ = video ? o.VideoStreamCopy : audio ? o.AudioStreamCopy : o.SubtitleStreamCopy;
    t.tag_ = video ? o.VideoCodecTag : audio ? o.AudioCodecTag : o.SubtitleCodecTag;
    t.bsfSpecs_ = video ? o.VideoBitstreamFilters : audio ? o.AudioBitstreamFilters : o.SubtitleBitstreamFilters;
    st->codecpar->codec_type = kind;
    if (t.copy_) {
        st->codecpar->codec_tag = t.tag_;
    } else {
        TTrackSetup::ChooseEncoder(t, video ? o.VideoCodecName : audio ? o.AudioCodecName : o.SubtitleCodecName);
        AVCodecContext* enc = t.encoder_.get();
        ApplyStoredCodecOptions(o, enc, KindFlags(kind));
        enc->thread_count = o.ThreadCount;
        enc->codec_tag = t.tag_;
        if (file.Context->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (video)
            TTrackSetup::SetupVideo(t, o, lastPixelFormat);
        else if (audio)
            TTrackSetup::SetupAudio(t, o, logSender);
        else
            enc->time_base = AVRational{1, 1000};  // subtitle times are carried in milliseconds
    }
    const std::string& language = video ? o.VideoLanguage : audio ? o.AudioLanguage : o.SubtitleLanguage;
    if (!language.empty()) FF.av_dict_set(&st->metadata, "language", language.c_str(), 0);
    return track;
}
