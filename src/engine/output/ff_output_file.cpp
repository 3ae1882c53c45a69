#include "ff_output_file.h"

#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_interrupt.h"
#include "ff_io_watch.h"
#include "ff_logger.h"
#include "ff_output_track.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {
[[noreturn]] void Raise(const std::string& message, int code = 0, const std::string& context = {}) {
    throw FFmpegException(message, code, context);
}

const char* KindWord(AVMediaType kind) {
    switch (kind) {
        case AVMEDIA_TYPE_VIDEO: return "video";
        case AVMEDIA_TYPE_AUDIO: return "audio";
        default: return "subtitle";
    }
}

const AVOutputFormat* ChooseFormat(const TOptionState& o, const std::string& fileName) {
    if (!o.FileFormat.empty()) {
        const AVOutputFormat* format = FF.av_guess_format(o.FileFormat.c_str(), nullptr, nullptr);
        if (!format)
            Raise(FormatText("Requested output format '%s' is not a suitable output format", o.FileFormat.c_str()),
                  AVERROR_MUXER_NOT_FOUND);
        return format;
    }
    const AVOutputFormat* format = FF.av_guess_format(nullptr, fileName.c_str(), nullptr);
    if (!format)
        Raise(FormatText("Unable to find a suitable output format for '%s'", fileName.c_str()), AVERROR_MUXER_NOT_FOUND);
    return format;
}

bool FormatIs(const AVOutputFormat* format, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (std::strcmp(format->name, n) == 0) return true;
    return false;
}

// Containers that keep every sound track and subtitle stream of the inputs.
bool KeepsEveryTrack(const AVOutputFormat* format) { return FormatIs(format, {"matroska", "webm", "mp4", "mov"}); }

TStreamKinds StreamKinds(const TOptionState& o, const AVOutputFormat* format, const std::vector<TStreamKinds>& inputs) {
    TOutputKindRequest request;
    // MP4 and MOV name no subtitle codec of their own, yet hold timed text.
    request.Format = {format->video_codec != AV_CODEC_ID_NONE, format->audio_codec != AV_CODEC_ID_NONE,
                      format->subtitle_codec != AV_CODEC_ID_NONE || FormatIs(format, {"mp4", "mov"})};
    request.Named = {!o.VideoCodecName.empty() || o.VideoStreamCopy, !o.AudioCodecName.empty() || o.AudioStreamCopy,
                     !o.SubtitleCodecName.empty() || o.SubtitleStreamCopy};
    request.Disabled = {o.VideoDisable, o.AudioDisable, o.SubtitleDisable};
    // Stream maps name every stream themselves.
    request.EveryTrack = KeepsEveryTrack(format) && o.StreamMaps.empty();
    return ChooseStreamKinds(request, inputs);
}

// The pending settings of a kind that adding a stream uses up, kept for the
// further streams of that kind.
struct TKindSettings {
    std::string CodecName;
    bool Copy = false;
    std::string Language;
    std::vector<TBitstreamFilterSpec> Filters;

    static TKindSettings Audio(const TOptionState& o) {
        return {o.AudioCodecName, o.AudioStreamCopy, o.AudioLanguage, o.AudioBitstreamFilters};
    }
    static TKindSettings Subtitle(const TOptionState& o) {
        return {o.SubtitleCodecName, o.SubtitleStreamCopy, o.SubtitleLanguage, o.SubtitleBitstreamFilters};
    }
    void RestoreAudio(TOptionState& o) const {
        o.AudioCodecName = CodecName;
        o.AudioStreamCopy = Copy;
        o.AudioLanguage = Language;
        o.AudioBitstreamFilters = Filters;
    }
    void RestoreSubtitle(TOptionState& o) const {
        o.SubtitleCodecName = CodecName;
        o.SubtitleStreamCopy = Copy;
        o.SubtitleLanguage = Language;
        o.SubtitleBitstreamFilters = Filters;
    }
};

// A join's further sound track as its plan says: copied, or encoded with the
// codec, rate and layout the plan chose. The first track follows the output's
// own settings, which the plan wrote.
void PlanSoundTrack(const TJoinPlan* plan, int track, TOptionState& o) {
    if (!plan || plan->Steps.empty() || track == 0) return;
    int seen = 0;
    for (const TPlanStream& s : plan->Streams) {
        if (s.Kind != skAudio || seen++ != track) continue;
        o.AudioStreamCopy = !s.Encoded;
        o.AudioCodecName = s.Encoded ? s.SoundCodec : std::string();
        if (s.Encoded && s.SoundRate > 0) o.AudioSampleRate = s.SoundRate;
        if (s.Encoded && s.SoundChannels > 0) o.AudioChannels = s.SoundChannels;
        return;
    }
}

void AddOneStream(TOutputFile& out, AVMediaType kind, TOptionState& o, const TOutputCreation& how) {
    try {
        out.AddStream(kind, o, how.LastPixelFormat, how.LogSender);
    } catch (const std::exception& e) {
        const auto* error = dynamic_cast<const FFmpegException*>(&e);
        Raise(FormatText("new_%s_stream fail: %s", KindWord(kind), e.what()), error ? error->Code() : 0,
              error ? error->Context() : std::string());
    }
}

void AddSoundTracks(TOutputFile& out, int count, TOptionState& o, const TOutputCreation& how) {
    const TKindSettings first = TKindSettings::Audio(o);
    const int rate = o.AudioSampleRate, channels = o.AudioChannels;
    for (int k = 0; k < count; ++k) {
        if (k > 0) first.RestoreAudio(o);
        PlanSoundTrack(how.Plan, k, o);
        AddOneStream(out, AVMEDIA_TYPE_AUDIO, o, how);
        o.AudioSampleRate = rate;
        o.AudioChannels = channels;
    }
}

// The streams in the order video, sound tracks, subtitle streams; the
// per-stream settings of kinds that get none are used up too.
void AddStreams(TOutputFile& out, const TStreamKinds& kinds, TOptionState& o, const TOutputCreation& how) {
    if (kinds.Video) AddOneStream(out, AVMEDIA_TYPE_VIDEO, o, how);
    if (kinds.Audio) AddSoundTracks(out, std::max(kinds.Sounds, 1), o, how);
    if (kinds.Subtitle) {
        const TKindSettings first = TKindSettings::Subtitle(o);
        for (int k = 0; k < std::max(kinds.Subtitles, 1); ++k) {
            if (k > 0) first.RestoreSubtitle(o);
            AddOneStream(out, AVMEDIA_TYPE_SUBTITLE, o, how);
        }
    }
    if (!kinds.Video) ConsumeVideoStreamSettings(o);
    if (!kinds.Audio) ConsumeAudioStreamSettings(o);
    if (!kinds.Subtitle) ConsumeSubtitleStreamSettings(o);
}

void SetMetadata(AVFormatContext* oc, const TOptionState& o) {
    if (o.RecordingTimestamp) {
        const time_t t = static_cast<time_t>(o.RecordingTimestamp);
        struct tm utc {};
        gmtime_r(&t, &utc);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
        FF.av_dict_set(&oc->metadata, "creation_time", text, 0);
    }
    for (const auto& [key, value] : o.Metadata) FF.av_dict_set(&oc->metadata, key.c_str(), value.c_str(), 0);
}

// Only plain files are written under a temporary name: a device, a pipe or a
// protocol address is written where it is.
bool WritesThroughRename(const std::string& fileName) {
    if (fileName.empty() || fileName == "-" || fileName.find("://") != std::string::npos ||
        fileName.rfind("pipe:", 0) == 0)
        return false;
    struct stat st {};
    return ::stat(fileName.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

void OpenFile(TOutputFile& out, const TOutputCreation& how) {
    AVFormatContext* oc = out.Context.get();
    if ((oc->oformat->flags & AVFMT_NEEDNUMBER) && !FF.av_filename_number_test(out.FileName.c_str()))
        Raise(ErrorText(out.FileName, -33), -33, out.FileName);
    if (oc->oformat->flags & AVFMT_NOFILE) return;
    out.WrittenName = out.FileName;
    if (WritesThroughRename(out.FileName)) {
        if (!out.Hidden.Create(out.FileName)) {
            const int r = AVERROR(errno);
            Raise(ErrorText(out.FileName, r), r, out.FileName);
        }
        out.WrittenName = out.Hidden.Path();
    }
    const TInterruptScope timeout(how.Owner, &TIoWatch::CheckTimeout, &how.Io);
    how.Io.Begin();
    out.Interruptible = true;
    const int r = FF.avio_open2(&oc->pb, out.WrittenName.c_str(), AVIO_FLAG_WRITE, &oc->interrupt_callback, nullptr);
    out.Interruptible = false;
    const std::string failure = how.Io.Failure(out.FileName, r);
    how.Io.End();
    if (r < 0) Raise(failure, r, out.FileName);
    out.FileOpened = true;
}

void SetMuxing(AVFormatContext* oc, TOptionState& o) {
    oc->max_delay = static_cast<int>(o.MuxMaxDelay * AV_TIME_BASE);
    FF.av_opt_set_int(oc, "preload", static_cast<int64_t>(o.MuxPreload * AV_TIME_BASE), AV_OPT_SEARCH_CHILDREN);
    if (o.LoopOutput >= 0) FF.av_opt_set_int(oc, "loop", o.LoopOutput, AV_OPT_SEARCH_CHILDREN);
    oc->flags |= AVFMT_FLAG_NONBLOCK;
    ApplyStoredFormatOptions(o, oc, OptFlagsOutputContainer);
}
}  // namespace

TOutputFile::TOutputFile() = default;

TOutputFile::~TOutputFile() {
    Tracks.clear();
    Context.reset();
    // Not finished well: nothing of the hidden file stays.
    Hidden.Discard();
    if (!FileOpened || Committed || WrittenName != FileName) return;
    struct stat st {};
    if (::stat(FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) ::unlink(FileName.c_str());
}

void TOutputFile::Commit() {
    if (!FileOpened || Committed) return;
    if (WrittenName != FileName) {
        std::string given = Hidden.Commit();
        if (given.empty()) {
            const int r = AVERROR(errno);
            Raise(ErrorText(FileName, r), r, FileName);
        }
        FileName = std::move(given);
    }
    Committed = true;
}

void TOutputFile::AddStream(AVMediaType kind, TOptionState& o, AVPixelFormat& lastPixelFormat, void* logSender) {
    Tracks.push_back(TOutputTrack::Create(*this, kind, o, lastPixelFormat, logSender));
    if (kind == AVMEDIA_TYPE_VIDEO)
        ConsumeVideoStreamSettings(o);
    else if (kind == AVMEDIA_TYPE_AUDIO)
        ConsumeAudioStreamSettings(o);
    else
        ConsumeSubtitleStreamSettings(o);
}

std::unique_ptr<TOutputFile> CreateOutputFile(TOptionState& o, const std::string& fileName,
                                              const TOutputCreation& how) {
    const AVOutputFormat* format = ChooseFormat(o, fileName);
    auto out = std::make_unique<TOutputFile>();
    out->FileName = fileName;
    AVFormatContext* made = nullptr;
    const int allocated = FF.avformat_alloc_output_context2(&made, format, nullptr, fileName.c_str());
    out->Context.reset(made);
    if (allocated < 0 || !out->Context) Raise("avformat_alloc_context failed", allocated < 0 ? allocated : AVERROR(ENOMEM));
    out->Context->interrupt_callback.callback = FFInterruptCallback;
    out->Context->interrupt_callback.opaque = &out->Interruptible;
    try {
        AddStreams(*out, StreamKinds(o, format, how.InputKinds), o, how);
        SetMetadata(out->Context.get(), o);
        OpenFile(*out, how);
    } catch (...) {
        ConsumeOutputSettings(o);  // what an output was given is used up even when it fails
        throw;
    }
    SetMuxing(out->Context.get(), o);
    ConsumeOutputSettings(o);
    out->Rest();
    return out;
}

void TOutputFile::Rest() {
    if (FileOpened && WrittenName != FileName && !HeaderWritten) CloseOutputIo(Context.get());
}

void TOutputFile::WriteHeader(int number, void* logSender) {
    if (FileOpened && !Context->pb) {
        // The empty file made while the task was built, opened for its run.
        Interruptible = true;
        const int opened =
            FF.avio_open2(&Context->pb, WrittenName.c_str(), AVIO_FLAG_WRITE, &Context->interrupt_callback, nullptr);
        Interruptible = false;
        if (opened < 0) Raise(ErrorText(FileName, opened), opened, FileName);
    }
    const int r = FF.avformat_write_header(Context.get(), nullptr);
    if (r < 0) {
        const std::string message =
            FormatText("Could not write header for output file #%d (incorrect codec parameters ?)", number);
        FFLogger().Log(logSender, llError, message);
        Raise(message, r, FileName);
    }
    HeaderWritten = true;
}

void TOutputFile::WriteTrailer() {
    if (!HeaderWritten) return;
    const int r = FF.av_write_trailer(Context.get());
    HeaderWritten = false;
    if (r < 0) Raise(ErrorText(FileName, r), r, FileName);
    AVIOContext* pb = Context->pb;
    if (!FileOpened || !pb) return;
    FF.avio_flush(pb);
    if (pb->error < 0) Raise(ErrorText(FileName, pb->error), pb->error, FileName);
    // A folder removed during the run takes the file with it; that is no
    // finished output.
    if (::access(WrittenName.c_str(), F_OK) != 0)
        Raise(ErrorText(FileName, AVERROR(ENOENT)), AVERROR(ENOENT), FileName);
}

int64_t TOutputFile::Size() const {
    AVIOContext* pb = Context ? Context->pb : nullptr;
    if (!pb) return 0;
    int64_t size = FF.avio_size(pb);
    if (size <= 0) size = FF.avio_seek(pb, 0, SEEK_CUR);
    return size < 0 ? 0 : size;
}
