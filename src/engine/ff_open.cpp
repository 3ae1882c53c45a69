// Opening a task's inputs and creating its outputs with their streams, while
// the task is built on the caller's thread.
#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_interrupt.h"
#include "ff_legacy.h"
#include "ff_task_tables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

namespace {
[[noreturn]] void Raise(const std::string& message) { throw FFmpegException(message); }

bool ValidRate(AVRational r) { return r.num > 0 && r.den > 0; }

int KindFlags(AVMediaType kind) {
    switch (kind) {
        case AVMEDIA_TYPE_VIDEO: return OptFlagsOutputVideo;
        case AVMEDIA_TYPE_AUDIO: return OptFlagsOutputAudio;
        default: return OptFlagsOutputSubtitle;
    }
}

const char* KindWord(AVMediaType kind) {
    switch (kind) {
        case AVMEDIA_TYPE_VIDEO: return "video";
        case AVMEDIA_TYPE_AUDIO: return "audio";
        default: return "subtitle";
    }
}

bool IsFullRangeJpeg(AVPixelFormat f) {
    return f == AV_PIX_FMT_YUVJ420P || f == AV_PIX_FMT_YUVJ422P || f == AV_PIX_FMT_YUVJ444P ||
           f == AV_PIX_FMT_YUVJ440P || f == AV_PIX_FMT_YUVJ411P;
}

// The pixel format the encoder will get: the wanted one when the encoder takes
// it, else the encoder's closest.
AVPixelFormat ChoosePixelFormat(const AVCodec* codec, AVPixelFormat wanted) {
    if (!codec || !codec->pix_fmts) return wanted == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : wanted;
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
        if (*p == wanted) {
            // JPEG encoders take limited-range pictures only as an unofficial extension.
            if ((codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_LJPEG) && !IsFullRangeJpeg(wanted)) break;
            return wanted;
        }
    if (codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_LJPEG || wanted == AV_PIX_FMT_NONE)
        return codec->pix_fmts[0];
    const AVPixelFormat best = FF.avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, wanted, 0, nullptr);
    return best == AV_PIX_FMT_NONE ? codec->pix_fmts[0] : best;
}

// The pixel format for an output that asked for none. Today's encoders also
// take the input's 4:2:2, 4:4:4 and 10-bit formats, but few players decode
// those profiles (an H.264 High 4:4:4 file does not play on a phone), so the
// common 4:2:0 wins wherever the encoder has it.
AVPixelFormat ChooseInputPixelFormat(const AVCodec* codec, AVPixelFormat input) {
    if (codec && codec->pix_fmts && codec->id != AV_CODEC_ID_MJPEG && codec->id != AV_CODEC_ID_LJPEG)
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
        if (q > 0) {
            o.qscale = q;
            o.quality_factor = 1.0f;
        } else {
            o.qscale = 0;
            o.quality_factor = -q / 100.0f;
        }
        list.push_back(o);
        p = std::strchr(p, '/');
        if (!p) break;
        ++p;
    }
    // The codec context takes the list over and frees it.
    enc->rc_override = static_cast<RcOverride*>(FF.av_mallocz(list.size() * sizeof(RcOverride)));
    if (!enc->rc_override) Raise("Out of memory");
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
        if (FF.av_parse_time(&us, item.c_str(), 1) < 0) Raise("Invalid force_key_frames time: " + item);
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
    if (!target) Raise("Out of memory");
    std::memcpy(target, values.data(), 64 * sizeof(uint16_t));
}
}  // namespace

// ---------------------------------------------------------------------------
// Inputs

bool TCustomFFmpeg::OpenInput(const std::string& fileName) {
    openErrorMessage_.clear();
    TOptionState& o = options_;
    const AVInputFormat* format = nullptr;
    if (!o.FileFormat.empty()) {
        const std::string name = o.FileFormat;
        o.FileFormat.clear();
        format = FF.av_find_input_format(name.c_str());
        if (!format) Raise(FormatText("Unknown input format: \"%s\"", name.c_str()));
    }

    TFormatContextPtr pending(FF.avformat_alloc_context());
    if (!pending) Raise("avformat_alloc_context failed");
    AVFormatContext* ic = pending.get();
    // Parameters for formats that cannot find them in the data (raw audio and
    // video, capture devices); other formats ignore them.
    TDictionary params;
    if (o.AudioSampleRate > 0) params.Set("sample_rate", std::to_string(o.AudioSampleRate).c_str());
    if (o.AudioChannels > 0) params.Set("channels", std::to_string(o.AudioChannels).c_str());
    if (ValidRate(o.FrameRate)) params.Set("framerate", FormatText("%d/%d", o.FrameRate.num, o.FrameRate.den).c_str());
    if (o.FrameWidth > 0 && o.FrameHeight > 0)
        params.Set("video_size", FormatText("%dx%d", o.FrameWidth, o.FrameHeight).c_str());
    const AVPixelFormat pixelFormat = o.PixelFormat != AV_PIX_FMT_NONE ? o.PixelFormat : inputPixelFormat_;
    if (pixelFormat != AV_PIX_FMT_NONE)
        if (const char* name = FF.av_get_pix_fmt_name(pixelFormat)) params.Set("pixel_format", name);
    if (o.VideoChannel) params.Set("channel", std::to_string(o.VideoChannel).c_str());
    if (!o.VideoStandard.empty()) params.Set("standard", o.VideoStandard.c_str());
    if (o.LoopInput) params.Set("loop", "1");
    ApplyStoredFormatOptions(o, ic, OptFlagsInputContainer);

    // Forced decoders.
    std::array<const AVCodec*, 3> forced{};
    const std::string* names[3] = {&o.VideoCodecName, &o.AudioCodecName, &o.SubtitleCodecName};
    const AVMediaType kinds[3] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE};
    for (int k = 0; k < 3; ++k) {
        if (names[k]->empty()) continue;
        forced[k] = FF.avcodec_find_decoder_by_name(names[k]->c_str());
        if (!forced[k] || forced[k]->type != kinds[k]) {
            const std::string name = *names[k];
            ConsumeInputSettings(o);
            Raise(FormatText("Unknown decoder '%s'", name.c_str()));
        }
    }
    ic->video_codec = forced[0];
    ic->audio_codec = forced[1];
    ic->subtitle_codec = forced[2];
    if (forced[0]) ic->video_codec_id = forced[0]->id;
    if (forced[1]) ic->audio_codec_id = forced[1]->id;
    if (forced[2]) ic->subtitle_codec_id = forced[2]->id;
    ic->flags |= AVFMT_FLAG_NONBLOCK;
    ic->interrupt_callback.callback = FFInterruptCallback;

    TInterruptScope timeout(this, &TCustomFFmpeg::CheckTimeout, this);
    interruptReason_.clear();
    ioStartTime_ = FF.av_gettime_relative();
    // The open call takes the context over: it frees it when it fails.
    pending.release();
    int r = FF.avformat_open_input(&ic, fileName.c_str(), format, params.Address());
    TInputContextPtr opened(r < 0 ? nullptr : ic);
    if (r < 0) {
        ioStartTime_ = INT64_MAX;
        openErrorMessage_ = OpenFailure(fileName, r);
        ConsumeInputSettings(o);
        return false;
    }
    const auto fail = [&](const std::string& message) {
        ioStartTime_ = INT64_MAX;
        openErrorMessage_ = message;
        ConsumeInputSettings(o);
        return false;
    };

    if (o.ProgramId) {
        bool found = false;
        for (unsigned i = 0; i < ic->nb_streams; ++i) ic->streams[i]->discard = AVDISCARD_ALL;
        for (unsigned p = 0; p < ic->nb_programs; ++p) {
            if (ic->programs[p]->id != o.ProgramId) continue;
            found = true;
            for (unsigned j = 0; j < ic->programs[p]->nb_stream_indexes; ++j)
                ic->streams[ic->programs[p]->stream_index[j]]->discard = AVDISCARD_DEFAULT;
        }
        if (!found) return fail("Specified program id not found");
    }

    if (BeforeFindStreamInfoCallback) BeforeFindStreamInfoCallback(this, ic);

    ioStartTime_ = FF.av_gettime_relative();
    r = FF.avformat_find_stream_info(ic, nullptr);
    if (r < 0 && o.Verbosity >= 0) {
        const std::string message = !interruptReason_.empty()
                                        ? OpenFailure(fileName, r)
                                        : FormatText("%s: could not find codec parameters", fileName.c_str());
        Log(llVerbose, message);
        return fail(message);
    }

    int64_t startTimestamp = o.StartTime;
    if (ic->start_time != AV_NOPTS_VALUE) startTimestamp += ic->start_time;
    if (o.StartTime != 0) {
        if (FF.av_seek_frame(ic, -1, startTimestamp, AVSEEK_FLAG_BACKWARD) < 0 && o.Verbosity > 0)
            LogFmt(llVerbose, "%s: could not seek to position %0.3f", fileName.c_str(), startTimestamp / 1000000.0);
    }
    ioStartTime_ = INT64_MAX;

    InputFile in;
    in.fileName = fileName;
    in.startTimestamp = startTimestamp;
    in.tsScale = o.TsScale;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        AVStream* st = ic->streams[i];
        const AVCodecParameters* par = st->codecpar;
        const AVCodec* dec = nullptr;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            // A song's cover picture is no video: its one frame and made-up
            // rate would give a joined output the cover's size and hundreds
            // of frames a second.
            st->discard = AVDISCARD_ALL;
            in.forcedDecoders.push_back(nullptr);
            continue;
        }
        switch (par->codec_type) {
            case AVMEDIA_TYPE_VIDEO: {
                dec = forced[0];
                o.FrameWidth = par->width;
                o.FrameHeight = par->height;
                AVRational sar = st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : par->sample_aspect_ratio;
                if (sar.num <= 0 || sar.den <= 0) sar = AVRational{1, 1};
                o.FrameAspectRatio = par->height > 0 ? av_q2d(sar) * par->width / par->height : 4.0 / 3.0;
                // Kept apart from a pixel format an option asks for.
                inputPixelFormat_ = static_cast<AVPixelFormat>(par->format);
                o.PixelFormat = AV_PIX_FMT_NONE;
                const AVRational avg = st->avg_frame_rate, real = st->r_frame_rate;
                if (ValidRate(avg) && ValidRate(real) && av_cmp_q(avg, real) != 0 && o.Verbosity >= 0)
                    LogFmt(llInfo,
                           "Seems stream %d codec frame rate differs from container frame rate: %2.2f (%d/%d) -> "
                           "%2.2f (%d/%d)",
                           static_cast<int>(i), av_q2d(avg), avg.num, avg.den, av_q2d(real), real.num, real.den);
                if (ValidRate(avg))
                    o.FrameRate = avg;
                else if (ValidRate(real))
                    o.FrameRate = real;
                if (o.VideoDisable)
                    st->discard = AVDISCARD_ALL;
                else if (o.VideoDiscard)
                    st->discard = static_cast<AVDiscard>(o.VideoDiscard);
                break;
            }
            case AVMEDIA_TYPE_AUDIO:
                dec = forced[1];
                o.AudioChannels = par->ch_layout.nb_channels;
                o.AudioSampleRate = par->sample_rate;
                o.SampleFormat = static_cast<AVSampleFormat>(par->format);
                if (o.AudioDisable) st->discard = AVDISCARD_ALL;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                dec = forced[2];
                if (o.SubtitleDisable) st->discard = AVDISCARD_ALL;
                break;
            default:
                // Data and attachment streams (time codes, fonts) are common in
                // today's files; they are left unread instead of refusing the file.
                st->discard = AVDISCARD_ALL;
                break;
        }
        in.forcedDecoders.push_back(dec);
    }

    if (ic->duration != AV_NOPTS_VALUE && ic->duration > 0) {
        in.duration = ic->duration;
        if (ic->duration > totalDuration_) totalDuration_ = ic->duration;
    }
    in.tsOffset = o.CopyTimestamps ? o.InputTsOffset : o.InputTsOffset - startTimestamp;
    o.InputTsOffset = 0;
    if (o.Verbosity >= 0) FF.av_dump_format(ic, InputCount(), fileName.c_str(), 0);
    in.ctx = std::move(opened);
    inputs_.push_back(std::move(in));
    ConsumeInputSettings(o);
    return true;
}

std::vector<AVRational> TCustomFFmpeg::InputVideoFrameRates() const {
    std::vector<AVRational> rates;
    for (const InputFile& in : inputs_)
        for (unsigned i = 0; i < in.ctx->nb_streams; ++i) {
            const AVStream* st = in.ctx->streams[i];
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
                rates.push_back(ValidRate(st->r_frame_rate) ? st->r_frame_rate : st->avg_frame_rate);
        }
    return rates;
}

// ---------------------------------------------------------------------------
// Outputs

void TCustomFFmpeg::CreateStream(OutputFile& out, AVMediaType kind) {
    TOptionState& o = options_;
    AVFormatContext* oc = out.ctx.get();
    AVStream* st = FF.avformat_new_stream(oc, nullptr);
    if (!st) Raise("Could not alloc stream");
    auto track = std::make_unique<OutputTrack>();
    track->file = &out;
    track->index = st->index;
    track->st = st;
    track->kind = kind;
    if (static_cast<size_t>(st->index) < o.StreamIds.size() && o.StreamIds[static_cast<size_t>(st->index)])
        st->id = o.StreamIds[static_cast<size_t>(st->index)];

    const bool video = kind == AVMEDIA_TYPE_VIDEO, audio = kind == AVMEDIA_TYPE_AUDIO;
    const bool copy = video ? o.VideoStreamCopy : audio ? o.AudioStreamCopy : o.SubtitleStreamCopy;
    const std::string codecName = video ? o.VideoCodecName : audio ? o.AudioCodecName : o.SubtitleCodecName;
    const std::string language = video ? o.VideoLanguage : audio ? o.AudioLanguage : o.SubtitleLanguage;
    const uint32_t tag = video ? o.VideoCodecTag : audio ? o.AudioCodecTag : o.SubtitleCodecTag;
    track->bsfSpecs = video ? o.VideoBitstreamFilters : audio ? o.AudioBitstreamFilters : o.SubtitleBitstreamFilters;
    st->codecpar->codec_type = kind;

    if (copy) {
        track->copy = true;
        st->codecpar->codec_tag = tag;
    } else {
        const AVCodec* codec = nullptr;
        AVCodecID id = AV_CODEC_ID_NONE;
        if (!codecName.empty()) {
            codec = FindEncoderAdapted(codecName);
            if (!codec) Raise(FormatText("Unknown encoder '%s'", codecName.c_str()));
            if (codec->type != kind) Raise(FormatText("Invalid encoder type '%s'", codecName.c_str()));
            id = codec->id;
        } else {
            id = FF.av_guess_codec(oc->oformat, nullptr, out.fileName.c_str(), nullptr, kind);
            codec = DefaultEncoderAdapted(oc->oformat, id, kind);
            if (codec) id = codec->id;
        }
        track->codec = codec;
        track->savedCodecId = id;
        track->enc.reset(FF.avcodec_alloc_context3(codec));
        if (!track->enc) Raise("Could not alloc stream");
        AVCodecContext* enc = track->enc.get();
        enc->codec_type = kind;
        enc->codec_id = id;
        ApplyStoredCodecOptions(o, enc, KindFlags(kind));
        enc->thread_count = o.ThreadCount;
        enc->codec_tag = tag;
        if (oc->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (video) {
            int w = o.FrameWidth, h = o.FrameHeight;
            if (codec && w > 0 && h > 0) AdaptFrameSize(codec, w, h);
            enc->width = w;
            enc->height = h;
            AVRational rate = ValidRate(o.FrameRate) ? o.FrameRate : AVRational{25, 1};
            if (codec && codec->supported_framerates)
                rate = codec->supported_framerates[FF.av_find_nearest_q_idx(rate, codec->supported_framerates)];
            // Encoders of the MPEG family keep the time base within 16 bits.
            int num = 0, den = 0;
            FF.av_reduce(&num, &den, rate.den, rate.num, 65535);
            enc->time_base = AVRational{num, den};
            enc->framerate = AVRational{den, num};
            if (o.FrameAspectRatio > 0 && w > 0 && h > 0) {
                enc->sample_aspect_ratio = FF.av_d2q(o.FrameAspectRatio * h / w, 255);
                st->sample_aspect_ratio = enc->sample_aspect_ratio;
            }
            enc->pix_fmt = o.PixelFormat != AV_PIX_FMT_NONE ? ChoosePixelFormat(codec, o.PixelFormat)
                                                            : ChooseInputPixelFormat(codec, inputPixelFormat_);
            inputPixelFormat_ = AV_PIX_FMT_NONE;  // used up like the other pending settings
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
            track->filters = o.VideoFilters;
            track->forcedKeyTimes = ParseForcedKeyFrames(o.ForcedKeyFrames);
        } else if (audio) {
            const int rate = o.AudioSampleRate > 0 ? o.AudioSampleRate : 44100;
            enc->sample_rate = codec ? NearestSupportedSampleRate(codec, rate) : rate;
            enc->bit_rate = NearestSupportedBitRate(codec, enc->sample_rate, enc->bit_rate);
            enc->time_base = AVRational{1, enc->sample_rate};
            const int channels = o.AudioChannels > 0 ? o.AudioChannels : 2;
            FF.av_channel_layout_default(&enc->ch_layout, channels);
            if (codec && codec->ch_layouts) {
                bool supported = false;
                for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l)
                    supported = supported || FF.av_channel_layout_compare(l, &enc->ch_layout) == 0;
                if (!supported) {
                    const AVChannelLayout* pick = codec->ch_layouts;
                    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l)
                        if (l->nb_channels == channels) {
                            pick = l;
                            break;
                        }
                    if (pick->nb_channels != channels)
                        LogFmt(llWarning, "Encoder %s takes no %d channels; using %d", codec->name, channels,
                               pick->nb_channels);
                    FF.av_channel_layout_copy(&enc->ch_layout, pick);  // replaces the default
                }
            }
            enc->sample_fmt = ChooseSampleFormat(codec, o.SampleFormat);
            if (o.AudioQScale > -99999.0f) {
                enc->flags |= AV_CODEC_FLAG_QSCALE;
                enc->global_quality = static_cast<int>(FF_QP2LAMBDA * o.AudioQScale);
            }
            track->volume = o.AudioVolume;
        } else {
            // Subtitle times are carried in milliseconds.
            enc->time_base = AVRational{1, 1000};
        }
    }
    if (!language.empty()) FF.av_dict_set(&st->metadata, "language", language.c_str(), 0);
    out.tracks.push_back(std::move(track));
    if (video)
        ConsumeVideoStreamSettings(o);
    else if (audio)
        ConsumeAudioStreamSettings(o);
    else
        ConsumeSubtitleStreamSettings(o);
}

void TCustomFFmpeg::NewStream(AVMediaType kind) {
    if (outputs_.empty()) Raise("At least one output file must be specified");
    CreateStream(*outputs_.back(), kind);
}

int TCustomFFmpeg::OpenOutput(const std::string& fileName, bool joinRequest) {
    openErrorMessage_.clear();
    if (join_) {
        openErrorMessage_ = "Cannot join more than one output file.";
        return -1;
    }
    TOptionState& o = options_;
    const AVOutputFormat* format = nullptr;
    if (!o.FileFormat.empty()) {
        format = FF.av_guess_format(o.FileFormat.c_str(), nullptr, nullptr);
        if (!format) Raise(FormatText("Requested output format '%s' is not a suitable output format", o.FileFormat.c_str()));
    } else {
        format = FF.av_guess_format(nullptr, fileName.c_str(), nullptr);
        if (!format) Raise(FormatText("Unable to find a suitable output format for '%s'", fileName.c_str()));
    }
    auto out = std::make_unique<OutputFile>();
    out->fileName = fileName;
    AVFormatContext* made = nullptr;
    const int allocated = FF.avformat_alloc_output_context2(&made, format, nullptr, fileName.c_str());
    out->ctx.reset(made);
    if (allocated < 0 || !out->ctx) Raise("avformat_alloc_context failed");
    out->ctx->interrupt_callback.callback = FFInterruptCallback;
    out->ctx->interrupt_callback.opaque = &outputInterruptible_;

    try {
        // Which kinds of streams: those the format or the options want, and
        // that the inputs have (only the first input decides for a join).
        bool useVideo = format->video_codec != AV_CODEC_ID_NONE || !o.VideoCodecName.empty() || o.VideoStreamCopy;
        bool useAudio = format->audio_codec != AV_CODEC_ID_NONE || !o.AudioCodecName.empty() || o.AudioStreamCopy;
        bool useSubtitle =
            format->subtitle_codec != AV_CODEC_ID_NONE || !o.SubtitleCodecName.empty() || o.SubtitleStreamCopy;
        if (!inputs_.empty()) {
            bool hasVideo = false, hasAudio = false, hasSubtitle = false;
            const size_t examined = joinRequest ? 1 : inputs_.size();
            for (size_t f = 0; f < examined; ++f) {
                const AVFormatContext* ic = inputs_[f].ctx.get();
                for (unsigned i = 0; i < ic->nb_streams; ++i) {
                    if (ic->streams[i]->discard == AVDISCARD_ALL) continue;
                    switch (ic->streams[i]->codecpar->codec_type) {
                        case AVMEDIA_TYPE_VIDEO: hasVideo = true; break;
                        case AVMEDIA_TYPE_AUDIO: hasAudio = true; break;
                        case AVMEDIA_TYPE_SUBTITLE: hasSubtitle = true; break;
                        default: break;
                    }
                }
            }
            useVideo = useVideo && hasVideo;
            useAudio = useAudio && hasAudio;
            useSubtitle = useSubtitle && hasSubtitle;
        }
        if (o.VideoDisable) useVideo = false;
        if (o.AudioDisable) useAudio = false;
        if (o.SubtitleDisable) useSubtitle = false;

        const struct {
            bool use;
            AVMediaType kind;
        } kinds[] = {{useVideo, AVMEDIA_TYPE_VIDEO}, {useAudio, AVMEDIA_TYPE_AUDIO}, {useSubtitle, AVMEDIA_TYPE_SUBTITLE}};
        for (const auto& k : kinds) {
            if (!k.use) continue;
            try {
                CreateStream(*out, k.kind);
            } catch (const std::exception& e) {
                Raise(FormatText("new_%s_stream fail: %s", KindWord(k.kind), e.what()));
            }
        }
        // Per-stream settings of kinds that got no stream are used up too.
        if (!useVideo) ConsumeVideoStreamSettings(o);
        if (!useAudio) ConsumeAudioStreamSettings(o);
        if (!useSubtitle) ConsumeSubtitleStreamSettings(o);

        if (o.RecordingTimestamp) {
            const time_t t = static_cast<time_t>(o.RecordingTimestamp);
            struct tm utc {};
            gmtime_r(&t, &utc);
            char text[32];
            std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
            FF.av_dict_set(&out->ctx->metadata, "creation_time", text, 0);
        }
        for (const auto& [key, value] : o.Metadata) FF.av_dict_set(&out->ctx->metadata, key.c_str(), value.c_str(), 0);
    } catch (...) {
        ConsumeOutputSettings(o);
        throw;
    }

    AVFormatContext* oc = out->ctx.get();
    if ((format->flags & AVFMT_NEEDNUMBER) && !FF.av_filename_number_test(fileName.c_str())) {
        openErrorMessage_ = ErrorText(fileName, -33);
        ConsumeOutputSettings(o);
        return -1;
    }
    if (!(format->flags & AVFMT_NOFILE)) {
        TInterruptScope timeout(this, &TCustomFFmpeg::CheckTimeout, this);
        interruptReason_.clear();
        ioStartTime_ = FF.av_gettime_relative();
        outputInterruptible_ = true;
        const int r = FF.avio_open2(&oc->pb, fileName.c_str(), AVIO_FLAG_WRITE, &oc->interrupt_callback, nullptr);
        outputInterruptible_ = false;
        ioStartTime_ = INT64_MAX;
        if (r < 0) {
            openErrorMessage_ = OpenFailure(fileName, r);
            ConsumeOutputSettings(o);
            return -1;
        }
        out->ioOpened = true;
    }
    oc->max_delay = static_cast<int>(o.MuxMaxDelay * AV_TIME_BASE);
    FF.av_opt_set_int(oc, "preload", static_cast<int64_t>(o.MuxPreload * AV_TIME_BASE), AV_OPT_SEARCH_CHILDREN);
    if (o.LoopOutput >= 0) FF.av_opt_set_int(oc, "loop", o.LoopOutput, AV_OPT_SEARCH_CHILDREN);
    oc->flags |= AVFMT_FLAG_NONBLOCK;
    ApplyStoredFormatOptions(o, oc, OptFlagsOutputContainer);
    ConsumeOutputSettings(o);

    outputs_.push_back(std::move(out));
    Slot slot;
    slot.file = outputs_.back().get();
    slots_.push_back(std::move(slot));
    if (joinRequest && InputCount() > 1) join_ = true;
    return OutputCount() - 1;
}

void TCustomFFmpeg::PrepareJoin() {
    if (!join_ || slots_.empty()) return;
    int64_t sum = 0;
    for (const InputFile& in : inputs_)
        if (in.duration > 0) sum += in.duration;
    totalDuration_ = sum == 0 ? -1 : sum;
    while (slots_.size() < inputs_.size()) {
        Slot slot;
        slot.file = slots_.front().file;
        slots_.push_back(std::move(slot));
    }
}
