#include "ff_decoder.h"

#include "ff_decoder_state.h"
#include "ff_input_file.h"
#include "ff_mp3_start.h"

#include "ff_api.h"
#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_interrupt.h"
#include "ff_loader.h"
#include "ff_orientation.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cstring>

namespace {
// A time base fit for conversions: n/0 counts as n/1 and 0/0 as 1/1.
AVRational SaneTimeBase(AVRational tb) {
    if (tb.den == 0) tb = tb.num == 0 ? AVRational{1, 1} : AVRational{tb.num, 1};
    return tb;
}

int64_t ToMicroseconds(int64_t value, AVRational tb) {
    if (value == AV_NOPTS_VALUE) return -1;
    return FF.av_rescale_q(value, SaneTimeBase(tb), AVRational{1, AV_TIME_BASE});
}

std::string MetadataText(AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* e = FF.av_dict_get(metadata, key, nullptr, 0);
    return e && e->value ? e->value : "";
}

int32_t ClampInt32(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

int32_t LeadingNumber(const std::string& text) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return -1;
    return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
}
}  // namespace

// ---------------------------------------------------------------------------
// TCustomDecoder

TCustomDecoder::TCustomDecoder() : state_(std::make_unique<TDecoderState>()) { version_ = "3.9"; }

TCustomDecoder::~TCustomDecoder() = default;

void TCustomDecoder::Report(TLogLevel level, const std::string& message) {
    lastError_ = message;
    FFLogger().Log(this, level, message);
}

void TCustomDecoder::ClearFacts() {
    fileSize_ = -1;
    streamCount_ = programCount_ = -1;
    audioCount_ = videoCount_ = subtitleCount_ = -1;
    firstAudio_ = firstVideo_ = firstSubtitle_ = -1;
}

bool TCustomDecoder::LoadFile(const std::string& fileName, const std::string& formatName) {
    TFFLoader& loader = FFLoader();
    if (!loader.IsLoaded(liAvCodec)) throw FFmpegException("LibAVCodec not loaded.");
    if (!loader.IsLoaded(liAvFormat)) throw FFmpegException("LibAVFormat not loaded.");
    if (!loader.IsLoaded(liAvUtil)) throw FFmpegException("LibAVUtil not loaded.");
    if (!loader.IsLoaded(liSwScale)) throw FFmpegException("LibSwScale not loaded.");
    CloseFile();
    lastError_.clear();

    const AVInputFormat* format = nullptr;
    if (!formatName.empty()) {
        format = FF.av_find_input_format(formatName.c_str());
        if (!format) {
            Report(llError, "Unknown input format: " + formatName);
            return false;
        }
    }
    // Opening a pipe or socket waits for a writer that may never come.
    struct stat st {};
    if (fileName.find("://") == std::string::npos && ::stat(fileName.c_str(), &st) == 0 &&
        (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        Report(llError, ErrorText(fileName, AVERROR(ESPIPE)));
        return false;
    }
    AVFormatContext* ctx = FF.avformat_alloc_context();
    if (!ctx) {
        Report(llError, "avformat_alloc_context failed");
        return false;
    }
    ctx->flags |= AVFMT_FLAG_NONBLOCK;
    ctx->interrupt_callback.callback = FFInterruptCallback;
    SkipMp3Junk(ctx, fileName, format);
    // The open call takes the context over: it frees it when it fails.
    int r = FF.avformat_open_input(&ctx, fileName.c_str(), format, nullptr);
    if (r < 0) {
        Report(llError, ErrorText(fileName, r));
        CloseFile();
        return false;
    }
    state_->Owned.reset(ctx);
    state_->Context = ctx;
    r = FF.avformat_find_stream_info(ctx, nullptr);
    if (r < 0) {
        Report(llError, fileName + ": could not find codec parameters");
        CloseFile();
        return false;
    }
    ScanStreams();
    formatName_ = formatName;
    return true;
}

void TDecoderAccess::AttachContainer(TCustomDecoder& decoder, AVFormatContext* context) {
    decoder.CloseFile();
    decoder.state_->Context = context;
    decoder.ScanStreams();
}

bool TCustomDecoder::IsOpen() const { return state_->Context != nullptr; }

bool TCustomDecoder::OwnsContainer() const { return state_->Owned != nullptr; }

void TCustomDecoder::CloseFile() {
    formatName_.clear();
    state_->Context = nullptr;
    state_->Owned.reset();
    ClearFacts();
}

void TCustomDecoder::ScanStreams() {
    ClearFacts();
    const AVFormatContext* context_ = state_->Context;
    if (!context_) return;
    int64_t size = context_->pb ? FF.avio_size(context_->pb) : -1;
    if (size <= 0) {
        struct stat st {};
        const std::string name = FileName();
        if (!name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) size = st.st_size;
    }
    fileSize_ = size;
    streamCount_ = static_cast<int>(context_->nb_streams);
    programCount_ = static_cast<int>(context_->nb_programs);
    audioCount_ = videoCount_ = subtitleCount_ = 0;
    for (unsigned i = 0; i < context_->nb_streams; ++i) {
        const AVStream* st = context_->streams[i];
        switch (st->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                // Cover art of a song is one still picture read once at the
                // start, not a video: the file is an audio file.
                if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) break;
                // The clip, not a still picture stored beside it (motion photos).
                if (firstVideo_ < 0 || ClipWeight(st) > ClipWeight(context_->streams[firstVideo_]))
                    firstVideo_ = static_cast<int>(i);
                ++videoCount_;
                break;
            case AVMEDIA_TYPE_AUDIO:
                if (firstAudio_ < 0) firstAudio_ = static_cast<int>(i);
                ++audioCount_;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                if (firstSubtitle_ < 0) firstSubtitle_ = static_cast<int>(i);
                ++subtitleCount_;
                break;
            default: break;
        }
    }
}

std::string TCustomDecoder::FileName() const {
    const AVFormatContext* context = state_->Context;
    return context && context->url ? context->url : "";
}

TFileStreamInfo TCustomDecoder::GetFileStreamInfo() {
    TFileStreamInfo info;
    const AVFormatContext* context_ = state_->Context;
    if (!context_) {
        Report(llWarning, "file not loaded.");
        return info;
    }
    info.StartTime = context_->start_time == AV_NOPTS_VALUE ? -1 : context_->start_time;
    info.Duration = context_->duration == AV_NOPTS_VALUE ? -1 : context_->duration;
    info.BitRate = ClampInt32(context_->bit_rate);
    info.TimeStamp = 0;
    const std::string created = MetadataText(context_->metadata, "creation_time");
    int64_t us = 0;
    if (!created.empty() && FF.av_parse_time(&us, created.c_str(), 0) >= 0) info.TimeStamp = us / 1000000;
    std::string year = MetadataText(context_->metadata, "year");
    if (year.empty()) year = MetadataText(context_->metadata, "date");
    info.Year = std::max(LeadingNumber(year), 0);
    info.Track = std::max(LeadingNumber(MetadataText(context_->metadata, "track")), 0);
    info.Title = MetadataText(context_->metadata, "title");
    info.Author = MetadataText(context_->metadata, "author");
    if (info.Author.empty()) info.Author = MetadataText(context_->metadata, "artist");
    info.Copyright = MetadataText(context_->metadata, "copyright");
    info.Comment = MetadataText(context_->metadata, "comment");
    info.Album = MetadataText(context_->metadata, "album");
    info.Genre = MetadataText(context_->metadata, "genre");
    return info;
}

namespace {
// The codec text of a stream ("h264(H.264 / ...)", "mpeg2ts", a tag, ...).
std::string CodecNameOf(int streamIndex, const AVFormatContext* context) {
    const AVCodecParameters* par = context->streams[streamIndex]->codecpar;
    if (const AVCodec* dec = FF.avcodec_find_decoder(par->codec_id)) {
        if (dec->long_name && *dec->long_name) return FormatText("%s(%s)", dec->name, dec->long_name);
        return dec->name;
    }
    if (par->codec_id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
    if (par->codec_id != AV_CODEC_ID_NONE)
        if (const AVCodecDescriptor* d = FF.avcodec_descriptor_get(par->codec_id)) return d->name;
    const uint32_t tag = par->codec_tag;
    const int c[4] = {static_cast<int>(tag & 0xFF), static_cast<int>((tag >> 8) & 0xFF),
                      static_cast<int>((tag >> 16) & 0xFF), static_cast<int>((tag >> 24) & 0xFF)};
    bool printable = true;
    for (int ch : c) printable = printable && ch >= 32 && ch <= 126;
    if (printable) return FormatText("%c%c%c%c / 0x%04X", c[0], c[1], c[2], c[3], tag);
    return FormatText("0x%04x", tag);
}
}  // namespace

bool TCustomDecoder::CheckStreamOfKind(int& streamIndex, int kind) {
    const bool audio = kind == AVMEDIA_TYPE_AUDIO;
    const AVFormatContext* context_ = state_->Context;
    if (!context_) {
        Report(llWarning, "file not loaded.");
        return false;
    }
    if (streamIndex == -1) {
        streamIndex = audio ? firstAudio_ : firstVideo_;
        if (streamIndex < 0) {
            Report(llError, audio ? "no audio stream." : "no video stream.");
            return false;
        }
    }
    if (streamIndex < 0 || streamIndex >= static_cast<int>(context_->nb_streams)) {
        Report(llError, FormatText("stream index #%d is invalid.", streamIndex));
        return false;
    }
    if (context_->streams[streamIndex]->codecpar->codec_type != kind) {
        Report(llError, FormatText("stream #%d is not %s stream.", streamIndex, audio ? "audio" : "video"));
        return false;
    }
    return true;
}

namespace {
// The facts both kinds of stream report.
template <typename TInfo>
void FillCommonStreamInfo(TInfo& info, const AVStream* st, const std::string& codecName) {
    info.Language = MetadataText(st->metadata, "language");
    info.CodecName = codecName;
    info.StartTime = st->start_time == AV_NOPTS_VALUE ? -1 : st->start_time;
    info.StartTimeUs = ToMicroseconds(st->start_time, st->time_base);
    info.Duration = st->duration == AV_NOPTS_VALUE ? -1 : st->duration;
    info.DurationUs = ToMicroseconds(st->duration, st->time_base);
    info.BitRate = ClampInt32(st->codecpar->bit_rate);
}
}  // namespace

TAudioStreamInfo TCustomDecoder::GetAudioStreamInfo(int streamIndex) {
    TAudioStreamInfo info;
    if (!CheckStreamOfKind(streamIndex, AVMEDIA_TYPE_AUDIO)) return info;
    const AVStream* st = state_->Context->streams[streamIndex];
    FillCommonStreamInfo(info, st, CodecNameOf(streamIndex, state_->Context));
    info.Channels = st->codecpar->ch_layout.nb_channels;
    info.SampleRate = st->codecpar->sample_rate;
    info.SampleFormat = st->codecpar->format;
    return info;
}

TVideoStreamInfo TCustomDecoder::GetVideoStreamInfo(int streamIndex) {
    TVideoStreamInfo info;
    if (!CheckStreamOfKind(streamIndex, AVMEDIA_TYPE_VIDEO)) return info;
    const AVStream* st = state_->Context->streams[streamIndex];
    const AVCodecParameters* par = st->codecpar;
    FillCommonStreamInfo(info, st, CodecNameOf(streamIndex, state_->Context));
    info.Height = par->height;
    info.Width = par->width;
    if (par->width > 0 && par->height > 0) {
        // Containers leave the sample aspect at 0 for square pixels.
        AVRational sar = st->sample_aspect_ratio;
        if (sar.num <= 0 || sar.den <= 0) sar = par->sample_aspect_ratio;
        if (sar.num <= 0 || sar.den <= 0) sar = AVRational{1, 1};
        info.DisplayAspectRatio = static_cast<float>(av_q2d(sar) * par->width / par->height);
    }
    // A stream shown turned a quarter way is described as shown.
    if (StreamOrientation(st).QuarterTurn()) {
        std::swap(info.Width, info.Height);
        if (info.DisplayAspectRatio > 0) info.DisplayAspectRatio = 1.0f / info.DisplayAspectRatio;
    }
    info.PixelFormat = par->format;
    const AVRational rate = (st->avg_frame_rate.num && st->avg_frame_rate.den) ? st->avg_frame_rate : st->r_frame_rate;
    info.FrameRateNum = rate.num;
    info.FrameRateDen = rate.den;
    return info;
}

// ---------------------------------------------------------------------------
// TFFDecoder

TFFDecoder::TFFDecoder() = default;

TFFDecoder::~TFFDecoder() = default;

void TFFDecoder::ResetPicture() {
    havePicture_ = false;
    picturePTS_ = 0;
    pictureKey_ = false;
    pictureType_ = 0;
    eof_ = false;
    draining_ = false;
}

void TFFDecoder::CloseCodec() {
    state_->Codec.reset();
    draining_ = false;
}

void TFFDecoder::CloseFile() {
    ResetPicture();
    CloseCodec();
    // The pictures go with the codec whose buffers they use.
    state_->Frame.reset();
    state_->Picture.reset();
    selected_ = -1;
    streamStart_ = 0;
    state_->Converter.Release();
    TCustomDecoder::CloseFile();
}

void TFFDecoder::ScanStreams() {
    TCustomDecoder::ScanStreams();
    selected_ = -1;
    streamStart_ = 0;
    if (!state_->Context) return;
    selected_ = FirstVideoStream() >= 0 ? FirstVideoStream() : FirstAudioStream();
    if (selected_ >= 0) {
        const AVStream* st = state_->Context->streams[selected_];
        const int64_t start = ToMicroseconds(st->start_time, st->time_base);
        streamStart_ = start < 0 ? 0 : start;
    } else {
        streamStart_ = state_->Context->start_time == AV_NOPTS_VALUE ? 0 : state_->Context->start_time;
    }
}

int TFFDecoder::SeekFrame(int streamIndex, int64_t timestamp, int flags) {
    return FF.av_seek_frame(state_->Context, streamIndex, timestamp, flags);
}

bool TFFDecoder::Seek(uint8_t flags, int64_t position) {
    if (!state_->Context) {
        Report(llWarning, "file not loaded.");
        return false;
    }
    if (!state_->Owned) throw FFmpegException("file cannot be seeked, handle is readonly.");
    if (state_->Context->iformat && std::strcmp(state_->Context->iformat->name, "image2") == 0) {
        Report(llInfo, "\"image2\" format cannot to be seeked.");
        return false;
    }
    if (position < 0) position = 0;
    static_assert(SeekByBytes == AVSEEK_FLAG_BYTE);
    const bool byBytes = (flags & SeekByBytes) != 0;
    int64_t timestamp = position;
    if (!byBytes) {
        if (selected_ >= 0) {
            const AVStream* st = state_->Context->streams[selected_];
            const AVRational tb = SaneTimeBase(st->time_base);
            timestamp = FF.av_rescale_q(position, AVRational{1, AV_TIME_BASE}, tb);
            if (st->start_time != AV_NOPTS_VALUE) timestamp += st->start_time;
        } else if (state_->Context->start_time != AV_NOPTS_VALUE) {
            timestamp += state_->Context->start_time;
        }
    }
    if (state_->Codec) FF.avcodec_flush_buffers(state_->Codec.get());
    ResetPicture();
    if (state_->Context->pb)
        FFLogger().LogFmt(this, llDebug, "current position %" PRId64 " bytes", FF.avio_seek(state_->Context->pb, 0, SEEK_CUR));
    // The key frame at or before the position: a forward seek would land past
    // the last key frame of files with long key-frame intervals and leave
    // nothing to decode. A file that refuses it gets the plain seek.
    const int low = flags & 0x0F;
    int r = SeekFrame(selected_, timestamp, low | AVSEEK_FLAG_BACKWARD);
    if (r < 0) r = SeekFrame(selected_, timestamp, low);
    if (r < 0) {
        if (byBytes)
            Report(llError, FormatText("could not seek to position %" PRId64 " bytes", position));
        else
            Report(llError, FormatText("could not seek to position %0.3f seconds", position / 1000000.0));
        return false;
    }
    // The end of the file is not judged here: demuxers that seek by their index
    // (MP4 with the index at the end) leave the I/O layer's end flag set after a
    // good seek. Decode reports "stream eof reached." when reading hits the end.
    if (state_->Context->pb)
        FFLogger().LogFmt(this, llDebug, "seek to position %" PRId64 " bytes", FF.avio_seek(state_->Context->pb, 0, SEEK_CUR));
    return true;
}

bool TFFDecoder::SelectStream(int index) {
    if (index == -1) {
        if (selected_ >= 0 && state_->Context->streams[selected_]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            index = selected_;
        else
            index = FirstVideoStream();
        if (index < 0) {
            Report(llError, "no video stream.");
            return false;
        }
    }
    if (index < 0 || index >= static_cast<int>(state_->Context->nb_streams)) {
        Report(llError, FormatText("stream index #%d is invalid.", index));
        return false;
    }
    if (state_->Context->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        Report(llError, FormatText("stream #%d is not video stream.", index));
        return false;
    }
    if (index != selected_) {
        CloseCodec();
        ResetPicture();
        selected_ = index;
        const AVStream* st = state_->Context->streams[index];
        const int64_t start = ToMicroseconds(st->start_time, st->time_base);
        streamStart_ = start < 0 ? 0 : start;
    }
    return true;
}

bool TFFDecoder::OpenCodec() {
    const AVStream* st = state_->Context->streams[selected_];
    const AVCodecParameters* par = st->codecpar;
    if (par->width <= 0 || par->height <= 0) {
        Report(llError, "frame size of codec is invalid.");
        return false;
    }
    const AVCodec* dec = FF.avcodec_find_decoder(par->codec_id);
    if (!dec) {
        Report(llError, FormatText("Unsupported codec (id=%d) for input file stream #%d", par->codec_id, selected_));
        return false;
    }
    state_->Codec.reset(FF.avcodec_alloc_context3(dec));
    if (!state_->Codec || FF.avcodec_parameters_to_context(state_->Codec.get(), par) < 0) {
        CloseCodec();
        Report(llError, FormatText("Error while opening codec for input file stream #%d", selected_));
        return false;
    }
    state_->Codec->pkt_timebase = st->time_base;
    // One picture at a time: frame threads would only add latency here.
    state_->Codec->thread_count = 1;
    if (FF.avcodec_open2(state_->Codec.get(), dec, nullptr) < 0) {
        CloseCodec();
        Report(llError, FormatText("Error while opening codec for input file stream #%d", selected_));
        return false;
    }
    if (!state_->Frame) state_->Frame = NewFrame();
    if (!state_->Picture) state_->Picture = NewFrame();
    if (!state_->Packet) state_->Packet = NewPacket();
    if (!state_->Frame || !state_->Picture || !state_->Packet) {
        CloseCodec();
        Report(llError, "Out of memory");
        return false;
    }
    return true;
}

int TFFDecoder::ReceivePicture() {
    const int r = FF.avcodec_receive_frame(state_->Codec.get(), state_->Frame.get());
    if (r == AVERROR(EAGAIN)) return 0;
    if (r < 0) return r;
    const AVStream* st = state_->Context->streams[selected_];
    FFLogger().LogFmt(this, llDebug, "pkt.st_idx=%d, dts=%" PRId64 ", pts=%" PRId64 ", flags=%d, pict_type=%d",
                      selected_, state_->Frame->pkt_dts, state_->Frame->pts, state_->Frame->flags, static_cast<int>(state_->Frame->pict_type));
    // The new picture takes the last one's place; the next receive drops the
    // last one's data.
    std::swap(state_->Picture, state_->Frame);
    havePicture_ = true;
    pictureKey_ = state_->Picture->key_frame != 0;
    pictureType_ = static_cast<int>(state_->Picture->pict_type);
    const int64_t best = state_->Picture->best_effort_timestamp != AV_NOPTS_VALUE ? state_->Picture->best_effort_timestamp : state_->Picture->pts;
    const int64_t us = ToMicroseconds(best, st->time_base);
    picturePTS_ = us < 0 ? 0 : us - streamStart_;
    FFLogger().LogFmt(this, llDebug, "decode PTS: %0.3f", picturePTS_ / 1000000.0);
    return 1;
}

bool TFFDecoder::Decode(int videoStreamIndex) {
    if (!state_->Context) {
        Report(llWarning, "file not loaded.");
        return false;
    }
    if (!SelectStream(videoStreamIndex)) return false;
    if (eof_) {
        Report(llInfo, "stream eof reached.");
        return false;
    }
    if (!state_->Codec && !OpenCodec()) return false;
    for (;;) {
        const int got = ReceivePicture();
        if (got > 0) return true;
        if (got < 0 || draining_) {
            Report(llInfo, "stream eof reached.");
            eof_ = true;
            return false;
        }
        const int r = FF.av_read_frame(state_->Context, state_->Packet.get());
        const TPacketUnref read(state_->Packet.get());
        if (r == AVERROR(EAGAIN)) {
            Report(llInfo, "no data, please try again.");
            return false;
        }
        if (r < 0) {
            if (r != AVERROR_EOF && !(state_->Context->pb && FF.avio_feof(state_->Context->pb))) {
                Report(llError, FormatText("unknown error #%d.", r));
                return false;
            }
            // Drain the pictures the decoder still holds back.
            FF.avcodec_send_packet(state_->Codec.get(), nullptr);
            draining_ = true;
            continue;
        }
        if (state_->Packet->stream_index == selected_) {
            // A packet the decoder refuses (damaged data) is skipped.
            FF.avcodec_send_packet(state_->Codec.get(), state_->Packet.get());
        }
    }
}

bool TFFDecoder::CopyToBitmap(TFFBitmap& bitmap) {
    if (!havePicture_) {
        Report(llError, "picture not ready, please decode first");
        return false;
    }
    const TOrientation shown = selected_ >= 0 && state_->Context ? StreamOrientation(state_->Context->streams[selected_]) : TOrientation{};
    if (!state_->Converter.PictureToBitmap(state_->Picture.get(), bitmap)) {
        bitmap.Reset(state_->Picture->width, state_->Picture->height, state_->Converter.BitsPixel());
        TurnBitmap(bitmap, shown);
        Report(llError, state_->Converter.LastErrorMessage());
        return false;
    }
    TurnBitmap(bitmap, shown);
    return true;
}
