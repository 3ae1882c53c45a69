#include "ff_input_file.h"

#include <algorithm>
#include <cstring>

#include "ff_exception.h"
#include "ff_interrupt.h"
#include "ff_io_watch.h"
#include "ff_local_io.h"
#include "ff_join_plan.h"
#include "ff_logger.h"
#include "ff_mp3_start.h"
#include "ff_orientation.h"

namespace {
bool ValidRate(AVRational r) { return r.num > 0 && r.den > 0; }

// The failure of an opening: the pending settings are used up all the same.
[[noreturn]] void Refuse(TOptionState& o, const std::string& message, int code, const std::string& fileName) {
    ConsumeInputSettings(o);
    throw FFmpegException(message, code, fileName);
}

// Parameters for formats that cannot find them in the data (raw audio and
// video, capture devices); other formats ignore them.
void FillParameters(const TOptionState& o, AVPixelFormat lastPixelFormat, TDictionary& params) {
    if (o.AudioSampleRate > 0) params.Set("sample_rate", std::to_string(o.AudioSampleRate).c_str());
    if (o.AudioChannels > 0) params.Set("channels", std::to_string(o.AudioChannels).c_str());
    if (ValidRate(o.FrameRate)) params.Set("framerate", FormatText("%d/%d", o.FrameRate.num, o.FrameRate.den).c_str());
    if (o.FrameWidth > 0 && o.FrameHeight > 0)
        params.Set("video_size", FormatText("%dx%d", o.FrameWidth, o.FrameHeight).c_str());
    const AVPixelFormat pixelFormat = o.PixelFormat != AV_PIX_FMT_NONE ? o.PixelFormat : lastPixelFormat;
    if (pixelFormat != AV_PIX_FMT_NONE)
        if (const char* name = FF.av_get_pix_fmt_name(pixelFormat)) params.Set("pixel_format", name);
    if (o.VideoChannel) params.Set("channel", std::to_string(o.VideoChannel).c_str());
    if (!o.VideoStandard.empty()) params.Set("standard", o.VideoStandard.c_str());
    if (o.LoopInput) params.Set("loop", "1");
}

// The decoders the settings force, for video, audio and subtitles.
std::array<const AVCodec*, 3> ForcedDecoders(TOptionState& o, const std::string& fileName) {
    std::array<const AVCodec*, 3> forced{};
    const std::string* names[3] = {&o.VideoCodecName, &o.AudioCodecName, &o.SubtitleCodecName};
    const AVMediaType kinds[3] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE};
    for (int k = 0; k < 3; ++k) {
        if (names[k]->empty()) continue;
        forced[k] = FF.avcodec_find_decoder_by_name(names[k]->c_str());
        if (!forced[k] || forced[k]->type != kinds[k]) {
            const std::string name = *names[k];
            Refuse(o, FormatText("Unknown decoder '%s'", name.c_str()), AVERROR_DECODER_NOT_FOUND, fileName);
        }
    }
    return forced;
}

// With a program id only the streams of that program are read.
bool SelectProgram(AVFormatContext* ic, int programId) {
    bool found = false;
    for (unsigned i = 0; i < ic->nb_streams; ++i) ic->streams[i]->discard = AVDISCARD_ALL;
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
        if (ic->programs[p]->id != programId) continue;
        found = true;
        for (unsigned j = 0; j < ic->programs[p]->nb_stream_indexes; ++j)
            ic->streams[ic->programs[p]->stream_index[j]]->discard = AVDISCARD_DEFAULT;
    }
    return found;
}

// A video stream's facts become the pending size (as the picture is shown)
// and rate. Its aspect does not: an output has square pixels unless its
// settings ask for an aspect, and every input's picture is fitted into it
// with its own shape.
void TakeVideoFacts(TOptionState& o, AVStream* st, int index, bool clip, AVPixelFormat& lastPixelFormat,
                    void* logSender) {
    const AVCodecParameters* par = st->codecpar;
    if (o.VideoDisable)
        st->discard = AVDISCARD_ALL;
    else if (o.VideoDiscard)
        st->discard = static_cast<AVDiscard>(o.VideoDiscard);
    // Only the clip's: a still picture stored beside it is not what plays.
    if (!clip) return;
    ShownSize(st, o.FrameWidth, o.FrameHeight);
    // Kept apart from a pixel format an option asks for.
    lastPixelFormat = static_cast<AVPixelFormat>(par->format);
    o.PixelFormat = AV_PIX_FMT_NONE;
    const AVRational avg = st->avg_frame_rate, real = st->r_frame_rate;
    if (ValidRate(avg) && ValidRate(real) && av_cmp_q(avg, real) != 0 && o.Verbosity >= 0)
        FFLogger().LogFmt(logSender, llInfo,
                          "Seems stream %d codec frame rate differs from container frame rate: %2.2f (%d/%d) -> "
                          "%2.2f (%d/%d)",
                          index, av_q2d(avg), avg.num, avg.den, av_q2d(real), real.num, real.den);
    if (ValidRate(avg))
        o.FrameRate = avg;
    else if (ValidRate(real))
        o.FrameRate = real;
}

// The file's clip among its video streams, -1 for none.
int ClipStream(const AVFormatContext* ic) {
    int clip = -1;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        if (clip < 0 || ClipWeight(st) > ClipWeight(ic->streams[clip])) clip = static_cast<int>(i);
    }
    return clip;
}

// Each stream's forced decoder, and its facts written back into the settings.
void ReadStreams(TOptionState& o, AVFormatContext* ic, const std::array<const AVCodec*, 3>& forced, TInputFile& in,
                 AVPixelFormat& lastPixelFormat, void* logSender) {
    const int clip = ClipStream(ic);
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        AVStream* st = ic->streams[i];
        const AVCodecParameters* par = st->codecpar;
        const AVCodec* dec = nullptr;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            // A song's cover picture is no video: its one frame and made-up
            // rate would give a joined output the cover's size and hundreds
            // of frames a second.
            st->discard = AVDISCARD_ALL;
        } else if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            dec = forced[0];
            TakeVideoFacts(o, st, static_cast<int>(i), static_cast<int>(i) == clip, lastPixelFormat, logSender);
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            dec = forced[1];
            o.AudioChannels = par->ch_layout.nb_channels;
            o.AudioSampleRate = par->sample_rate;
            o.SampleFormat = static_cast<AVSampleFormat>(par->format);
            if (o.AudioDisable) st->discard = AVDISCARD_ALL;
        } else if (par->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            dec = forced[2];
            if (o.SubtitleDisable) st->discard = AVDISCARD_ALL;
        } else {
            // Data and attachment streams (time codes, fonts) are common in
            // today's files; they are left unread instead of refusing the file.
            st->discard = AVDISCARD_ALL;
        }
        in.ForcedDecoders.push_back(dec);
    }
}

// Every input's read buffer lives through the run: the library's size (32 KB)
// for the first inputs, a page for the rest, so that a join of a thousand
// clips does not hold 32 MB of buffers (clips that many are short).
int ReadBufferSize(int number) { return number < 32 ? 32768 : 4096; }

// The container opened, probed and sought to the pending start, which
// (plus the container's own start) becomes the input's start timestamp.
TInputContextPtr OpenContainer(TOptionState& o, const std::string& fileName, const TInputOpening& how,
                               const std::array<const AVCodec*, 3>& forced, const AVInputFormat* format,
                               TFormatContextPtr pending, TDictionary& params, TInputFile& in) {
    AVFormatContext* ic = pending.get();
    // Formats that read no file (image sequences, devices) open their own.
    if (!format || !(format->flags & AVFMT_NOFILE)) in.Io = TLocalFileIo::ForFile(fileName, ReadBufferSize(how.Number));
    if (in.Io) ic->pb = in.Io->Context();
    ic->video_codec = forced[0];
    ic->audio_codec = forced[1];
    ic->subtitle_codec = forced[2];
    if (forced[0]) ic->video_codec_id = forced[0]->id;
    if (forced[1]) ic->audio_codec_id = forced[1]->id;
    if (forced[2]) ic->subtitle_codec_id = forced[2]->id;
    ic->flags |= AVFMT_FLAG_NONBLOCK;
    ic->interrupt_callback.callback = FFInterruptCallback;
    SkipMp3Junk(ic, fileName, format);
    const TInterruptScope timeout(how.Owner, &TIoWatch::CheckTimeout, &how.Io);
    how.Io.Begin();
    // The open call takes the context over: it frees it when it fails.
    pending.release();
    int r = FF.avformat_open_input(&ic, fileName.c_str(), format, params.Address());
    if (r < 0) {
        how.Io.End();
        Refuse(o, how.Io.Failure(fileName, r), r, fileName);
    }
    TInputContextPtr opened(ic);
    if (o.ProgramId && !SelectProgram(ic, o.ProgramId)) {
        how.Io.End();
        Refuse(o, "Specified program id not found", AVERROR_STREAM_NOT_FOUND, fileName);
    }
    if (how.BeforeFindStreamInfo) how.BeforeFindStreamInfo(ic);
    how.Io.Begin();
    r = FF.avformat_find_stream_info(ic, nullptr);
    if (r < 0 && o.Verbosity >= 0) {
        const std::string message = how.Io.Interrupted()
                                        ? how.Io.Failure(fileName, r)
                                        : FormatText("%s: could not find codec parameters", fileName.c_str());
        FFLogger().Log(how.LogSender, llVerbose, message);
        how.Io.End();
        Refuse(o, message, r, fileName);
    }
    in.StartTimestamp = o.StartTime + (ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0);
    if (o.StartTime != 0 && FF.av_seek_frame(ic, -1, in.StartTimestamp, AVSEEK_FLAG_BACKWARD) < 0 && o.Verbosity > 0)
        FFLogger().LogFmt(how.LogSender, llVerbose, "%s: could not seek to position %0.3f", fileName.c_str(),
                          in.StartTimestamp / 1000000.0);
    how.Io.End();
    return opened;
}
}  // namespace

TInputFile::TInputFile() = default;
TInputFile::~TInputFile() = default;

void TInputFile::RestIo() {
    if (Io) Io->Rest();
}

void TInputFile::DropProbedPackets() {
    AVFormatContext* ic = Context.get();
    // A trimmed input has already been put at its start. The MP4 family (what
    // cameras write) finds its first packet again from its index; others may
    // land elsewhere or fail, and keep what they read.
    if (Trimmed || !Io || std::strcmp(ic->iformat->name, "mov,mp4,m4a,3gp,3g2,mj2") != 0 ||
        !(ic->pb->seekable & AVIO_SEEKABLE_NORMAL))
        return;
    if (FF.av_seek_frame(ic, -1, StartTimestamp, AVSEEK_FLAG_BACKWARD) < 0)
        throw FFmpegException("Cannot go back to the start of the input", AVERROR_INVALIDDATA, FileName);
    RestIo();
}

int TInputFile::ReopenError() const { return Io ? Io->ReopenError() : 0; }

TStreamKinds TInputFile::Kinds() const {
    TStreamKinds kinds;
    for (unsigned i = 0; i < Context->nb_streams; ++i) {
        if (Context->streams[i]->discard == AVDISCARD_ALL) continue;
        switch (Context->streams[i]->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO: kinds.Video = true; break;
            case AVMEDIA_TYPE_AUDIO:
                kinds.Audio = true;
                ++kinds.Sounds;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                kinds.Subtitle = true;
                ++kinds.Subtitles;
                break;
            default: break;
        }
    }
    return kinds;
}

std::vector<AVRational> TInputFile::VideoFrameRates() const {
    std::vector<AVRational> rates;
    for (unsigned i = 0; i < Context->nb_streams; ++i) {
        const AVStream* st = Context->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            rates.push_back(ValidRate(st->r_frame_rate) ? st->r_frame_rate : st->avg_frame_rate);
    }
    return rates;
}

namespace {
// A trim starts at its first picture: the time of the earliest picture at or
// after the start asked for, found among the packets read from the key frame
// before it (the file is put back there); the start itself when there is none.
int64_t FirstPictureFrom(AVFormatContext* ic, int64_t startUs) {
    const int stream = ClipStream(ic);
    if (stream < 0) return startUs;
    const AVRational tb = ic->streams[stream]->time_base;
    TPacketPtr packet = NewPacket();
    int64_t first = INT64_MAX;
    for (int n = 0; packet && n < 10000 && FF.av_read_frame(ic, packet.get()) >= 0; ++n) {
        const TPacketUnref read(packet.get());
        if (packet->stream_index != stream || packet->pts == AV_NOPTS_VALUE) continue;
        const int64_t us = FF.av_rescale_q(packet->pts, tb, AVRational{1, AV_TIME_BASE});
        if (us >= startUs) first = std::min(first, us);
        // Pictures come at most a few frames out of order.
        if (packet->dts != AV_NOPTS_VALUE && FF.av_rescale_q(packet->dts, tb, AVRational{1, AV_TIME_BASE}) > startUs + AV_TIME_BASE && first != INT64_MAX)
            break;
    }
    FF.av_seek_frame(ic, -1, startUs, AVSEEK_FLAG_BACKWARD);
    return first == INT64_MAX ? startUs : first;
}
}  // namespace

std::unique_ptr<TInputFile> OpenInputFile(TOptionState& o, const std::string& fileName, const TInputOpening& how) {
    const AVInputFormat* format = nullptr;
    if (!o.FileFormat.empty()) {
        const std::string name = o.FileFormat;
        o.FileFormat.clear();
        format = FF.av_find_input_format(name.c_str());
        if (!format) throw FFmpegException(FormatText("Unknown input format: \"%s\"", name.c_str()), AVERROR_DEMUXER_NOT_FOUND);
    }
    TFormatContextPtr pending(FF.avformat_alloc_context());
    if (!pending) throw FFmpegException("avformat_alloc_context failed", AVERROR(ENOMEM));
    TDictionary params;
    FillParameters(o, how.LastPixelFormat, params);
    ApplyStoredFormatOptions(o, pending.get(), OptFlagsInputContainer);
    const std::array<const AVCodec*, 3> forced = ForcedDecoders(o, fileName);
    auto in = std::make_unique<TInputFile>();
    in->Context = OpenContainer(o, fileName, how, forced, format, std::move(pending), params, *in);
    AVFormatContext* ic = in->Context.get();
    in->FileName = fileName;
    in->TimestampScale = o.TsScale;
    ReadStreams(o, ic, forced, *in, how.LastPixelFormat, how.LogSender);
    if (ic->duration != AV_NOPTS_VALUE && ic->duration > 0) in->Duration = ic->duration;
    // A trim: the length between its start and its end.
    const int64_t start = std::max<int64_t>(o.StartTime, 0);
    in->Trimmed = start > 0 || o.InputEndTime != INT64_MAX;
    const int64_t end = o.InputEndTime;
    if (end != INT64_MAX) in->TrimLength = std::max<int64_t>(end - start, 0);
    if (start > 0) {
        const int64_t late = FirstPictureFrom(ic, in->StartTimestamp) - in->StartTimestamp;
        in->StartTimestamp += late;
        if (in->TrimLength >= 0) in->TrimLength = std::max<int64_t>(in->TrimLength - late, 0);
        if (in->Duration > 0) in->Duration = std::max<int64_t>(in->Duration - late, 0);
    }
    if (in->Trimmed && in->Duration > 0) {
        in->Duration = std::max<int64_t>(in->Duration - start, 0);
        if (in->TrimLength >= 0) in->Duration = std::min(in->Duration, in->TrimLength);
    }
    in->TimestampOffset = o.CopyTimestamps ? o.InputTsOffset : o.InputTsOffset - in->StartTimestamp;
    o.InputTsOffset = 0;
    if (o.Verbosity >= 0) FF.av_dump_format(ic, how.Number, fileName.c_str(), 0);
    ConsumeInputSettings(o);
    if (end != INT64_MAX && end <= start)
        throw FFmpegException("The end of the input is not after its start", AVERROR(EINVAL), fileName);
    // Until its turn comes.
    in->RestIo();
    return in;
}

int64_t ClipWeight(const AVStream* st) {
    const AVRational rate = ValidRate(st->avg_frame_rate) ? st->avg_frame_rate : st->r_frame_rate;
    const int64_t durationUs = st->duration > 0 && st->time_base.den > 0
                                   ? FF.av_rescale_q(st->duration, st->time_base, AVRational{1, AV_TIME_BASE})
                                   : 0;
    return VideoStreamWeight(st->nb_frames, durationUs, ValidRate(rate) ? av_q2d(rate) : 0, st->codecpar->width,
                             st->codecpar->height);
}
