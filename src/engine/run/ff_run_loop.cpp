// The loop of a task's run: each packet read from the input the time line
// chooses, placed on the output's time line, decoded and handed to the tracks
// (or copied); the joints of a join; the end of the run.
#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_interrupt.h"
#include "ff_io_watch.h"
#include "ff_logger.h"
#include "ff_output_file.h"
#include "ff_parameter_sets.h"
#include "ff_stream_map.h"
#include "ff_task.h"
#include "ff_task_run.h"
#include "ff_verify.h"

#include <chrono>
#include <optional>
#include <thread>

namespace {
// One read of an input in blocking mode; the input is non-blocking otherwise.
class TBlockingRead {
public:
    explicit TBlockingRead(AVFormatContext* ic) : ic_(ic) { ic_->flags &= ~AVFMT_FLAG_NONBLOCK; }
    ~TBlockingRead() { ic_->flags |= AVFMT_FLAG_NONBLOCK; }
    TBlockingRead(const TBlockingRead&) = delete;
    TBlockingRead& operator=(const TBlockingRead&) = delete;

private:
    AVFormatContext* ic_;
};
}  // namespace

TTaskRun::TTaskRun(TCustomFFmpeg& task)
    : task_(task),
      media_(task.Media()),
      options_(task.Media().Options),
      trackRun_{options_, mux_, *this, &task},
      timeline_(task.Media().Join, task.Media().Inputs) {}

TTaskRun::~TTaskRun() = default;

bool TTaskRun::StopRequested() const { return task_.StopRequested(); }

void TTaskRun::Loop() {
    startTime_ = FF.av_gettime_relative();
    lastReportTime_ = startTime_;
    lastPreviewTime_ = 0;
    timeline_.ClearWouldBlock();
    // A run on a worker thread ends a blocking read at a stop request; an
    // inline run through the time-out check, which a stop makes fire at once.
    std::optional<TInterruptScope> interrupt;
    if (task_.Threaded())
        interrupt.emplace(&task_, &TCustomFFmpeg::CheckStop, &task_);
    else
        interrupt.emplace(&task_, &TIoWatch::CheckTimeout, &media_.Io);
    while (!task_.StopRequested()) {
        int input = timeline_.ChooseInput(slots_, options_);
        std::optional<TBlockingRead> waiting;
        if (input < 0 && !timeline_.Joining() && timeline_.AnyWouldBlock()) {
            // No open input has data yet (a device): the one whose turn it is
            // is read blocking, so the library waits for its data; a stop
            // request ends that wait through the interrupt callback.
            timeline_.ClearWouldBlock();
            input = timeline_.ChooseInput(slots_, options_);
            if (input >= 0) waiting.emplace(media_.Inputs[static_cast<size_t>(input)]->Context.get());
        }
        if (input < 0) break;
        const TOutputFile& first = *media_.Outputs[0];
        if (options_.LimitFileSize > 0 && first.Context->pb &&
            FF.avio_seek(first.Context->pb, 0, SEEK_CUR) >= options_.LimitFileSize)
            break;
        const TRead read = ReadPacket(input);
        if (read == rdEnd) break;
        if (read == rdPacket && FF.av_gettime_relative() - lastReportTime_ > task_.ReportInterval) {
            Report(false, input);
            lastReportTime_ = FF.av_gettime_relative();
        }
    }
}

TTaskRun::TRead TTaskRun::ReadPacket(int input) {
    const TOptionState& o = options_;
    AVFormatContext* ic = media_.Inputs[static_cast<size_t>(input)]->Context.get();
    AVPacket* pkt = packet_.get();
    const int r = FF.av_read_frame(ic, pkt);
    const TPacketUnref read(pkt);
    if (r == AVERROR(EAGAIN)) {
        timeline_.MarkWouldBlock(input);
        ++wouldBlockCount_;
        return rdNothing;
    }
    if (r < 0) {
        TInputFile& file = *media_.Inputs[static_cast<size_t>(input)];
        // A file that could not be opened again for its turn has not ended: the run fails, naming it.
        if (const int reopen = file.ReopenError(); reopen < 0) {
            lastFileIndex_ = input;
            throw FFmpegException(ErrorText(file.FileName, reopen), reopen, file.FileName);
        }
        return EndReading(input, r != AVERROR_EOF);
    }
    timeline_.ClearWouldBlock();
    lastFileIndex_ = input;
    if (o.PacketDump) FF.av_pkt_dump_log2(nullptr, AV_LOG_INFO, pkt, o.HexDump, ic->streams[pkt->stream_index]);
    TInputStream* ist = pkt->stream_index < static_cast<int>(ic->nb_streams) ? FindStream(input, pkt->stream_index)
                                                                             : nullptr;
    if (!ist || !ist->Used) return rdNothing;
    if (RouteCutPacket(*ist, pkt) == crDrop) return rdNothing;
    timeline_.PlacePacket(input, *ist, pkt, o, &task_);
    if (PastTrimEnd(*ist, pkt)) return AllPastTrimEnd(input) ? EndReading(input, false) : rdNothing;
    if (o.RecordingTime != INT64_MAX && pkt->pts != AV_NOPTS_VALUE &&
        FF.av_rescale_q(pkt->pts, ist->Stream->time_base, AVRational{1, AV_TIME_BASE}) >= o.StartTime + o.RecordingTime) {
        ist->PastRecordingTime = true;
        return rdNothing;
    }
    const int error = ProcessPacket(*ist, pkt);
    if (error < 0) {
        const std::string message =
            FormatText("Error while decoding stream #%d.%d (%s)", ist->File, ist->Index, KindName(ist->Kind()));
        if (o.ExitOnError) throw FFmpegException(message, error, ic->url ? ic->url : "");
        if (o.Verbosity >= 0) FFLogger().Log(&task_, llVerbose, message);
    }
    return rdPacket;
}

TTaskRun::TRead TTaskRun::EndReading(int input, bool damaged) {
    // Read to its end (or its trim's): the file is given back.
    media_.Inputs[static_cast<size_t>(input)]->RestIo();
    timeline_.MarkEnded(input);
    if (damaged) timeline_.MarkDamaged(input);
    bool over = options_.Shortest;
    if (timeline_.Joining())
        over = timeline_.EndInput(input, streams_, slots_, [this](TInputStream& ist) { DrainDecoder(ist); });
    if (!over && timeline_.Joining()) OpenDecoders(timeline_.CurrentInput());
    return over ? rdEnd : rdNothing;
}

bool TTaskRun::PastTrimEnd(TInputStream& ist, const AVPacket* pkt) {
    const int64_t end = timeline_.InputEnd(ist.File);
    const int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
    if (end == INT64_MAX || ts == AV_NOPTS_VALUE) return false;
    // A packet decoded at or after the end: every picture before the end has
    // been read (pictures are shown no earlier than they are decoded).
    const int64_t us = FF.av_rescale_q(ts, ist.Stream->time_base, AVRational{1, AV_TIME_BASE});
    if (us < end) return false;
    ist.PastTrimEndBy = std::max(ist.PastTrimEndBy, us - end);
    return true;
}

bool TTaskRun::AllPastTrimEnd(int input) const {
    bool all = true;
    for (const auto& ist : streams_) {
        if (ist->File != input || !ist->Used) continue;
        // Files interleave their streams within a second or two: a stream
        // that far past the end stands for one that has no more before it.
        if (ist->PastTrimEndBy >= 2 * AV_TIME_BASE) return true;
        all = all && ist->PastTrimEndBy >= 0;
    }
    return all;
}

int TTaskRun::ProcessPacket(TInputStream& ist, AVPacket* pkt) {
    if (ist.NextPts == AV_NOPTS_VALUE) {
        // A stream without timestamps (raw H.264, for one) counts from where
        // its input begins in the output, not from the output's start.
        if (ist.FramesDecoded == 0) ist.Pts = timeline_.StartOf(ist.File);
        ist.NextPts = ist.Pts;
    }
    if (!ist.DecodingNeeded || !ist.Decoding() || ist.CutCopy) {
        // Stream copy: the packet goes on as it is.
        if (!pkt) return 0;
        if (ist.Kind() == AVMEDIA_TYPE_VIDEO) ist.FillCopiedDts(pkt);
        ist.TakePacketTime(pkt);
        // Sound past its clip's pictures is left out, and a trimmed input's
        // packets before its start (it was read from the key frame before).
        const int64_t limit = ist.Kind() == AVMEDIA_TYPE_AUDIO ? SoundLimit(ist) : timeline_.InputEnd(ist.File);
        const int64_t us = pkt->pts != AV_NOPTS_VALUE
                               ? FF.av_rescale_q(pkt->pts, ist.Stream->time_base, AVRational{1, AV_TIME_BASE})
                               : AV_NOPTS_VALUE;
        const bool past = us != AV_NOPTS_VALUE &&
                          (us >= limit || (media_.Inputs[static_cast<size_t>(ist.File)]->Trimmed &&
                                           us < timeline_.StartOf(ist.File)));
        for (TStreamLink* link : LinksFedBy(ist))
            if (link->Active && link->Track->Copy() && !past)
                link->Wrote(link->Track->WriteCopy(pkt, ist.Stream->time_base, InBandSets(*link, ist)));
        ist.AdvancePastPacket(pkt);
        return 0;
    }
    if (ist.Kind() == AVMEDIA_TYPE_SUBTITLE) {
        if (!pkt) return 0;
        return ist.DecodeSubtitle(pkt, [&](AVSubtitle& sub) {
            for (TStreamLink* link : LinksFedBy(ist))
                if (link->Active && !link->Track->Copy()) link->Track->WriteSubtitle(sub);
        });
    }
    return ist.Decode(pkt, frame_.get(), [&](AVFrame* frame) { HandleFrame(ist, frame); });
}

void TTaskRun::HandleFrame(TInputStream& ist, AVFrame* frame) {
    const TOptionState& o = options_;
    ist.TakeFrameTime(frame);
    const AVMediaType kind = ist.Kind();
    if (kind == AVMEDIA_TYPE_AUDIO && task_.AudioHookCallback) {
        const int bytes = FF.av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame->format));
        const int planar = FF.av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
        const int size = frame->nb_samples * bytes * (planar ? 1 : frame->ch_layout.nb_channels);
        task_.AudioHookCallback(&task_, ist.Pts, frame->extended_data[0], size, frame->sample_rate,
                                frame->ch_layout.nb_channels, frame->format);
    }
    if (o.RateEmulation) {
        // Reading at the input's own pace is the point here: a pause for a
        // time, not a wait for a state.
        const int64_t ahead = (ist.Pts - o.StartTime) - (FF.av_gettime_relative() - startTime_);
        if (ahead > 1000) std::this_thread::sleep_for(std::chrono::microseconds(ahead));
    }
    // A trimmed input's pictures outside its range are left out; its sound
    // before the range is cut where the output places it (the first sound's
    // placement drops what lies before the input's start).
    if (timeline_.Trimmed(ist.File)) {
        const int64_t start = timeline_.StartOf(ist.File);
        // The start is a picture's own time; the input may have been placed a
        // little after it (its sound before ran longer), so half a frame is
        // allowed: pictures before the start lie a whole frame or more before it.
        const AVRational rate = ist.Stream->avg_frame_rate.num > 0 ? ist.Stream->avg_frame_rate : ist.Stream->r_frame_rate;
        const int64_t slack = rate.num > 0 && rate.den > 0 ? FF.av_rescale_q(1, AVRational{rate.den, 2 * rate.num}, AVRational{1, AV_TIME_BASE}) : 1000;
        if (kind == AVMEDIA_TYPE_VIDEO && (ist.Pts < start - slack || ist.Pts >= timeline_.InputEnd(ist.File))) return;
        if (kind == AVMEDIA_TYPE_AUDIO && ist.NextPts <= start) return;
    }
    // Sound past its clip's pictures (or its trim) is cut off.
    if (kind == AVMEDIA_TYPE_AUDIO && frame->sample_rate > 0) {
        const int64_t limit = SoundLimit(ist);
        if (ist.Pts >= limit) return;
        const int64_t room = limit == INT64_MAX ? INT64_MAX : (limit - ist.Pts) * frame->sample_rate / AV_TIME_BASE;
        if (room < frame->nb_samples) frame->nb_samples = static_cast<int>(std::max<int64_t>(room, 1));
    }
    const auto feed = [&](AVFrame* f) {
        if (kind == AVMEDIA_TYPE_VIDEO) RunInputHooks(ist, f);
        for (TStreamLink* fed : LinksFedBy(ist)) {
            TStreamLink& link = *fed;
            if (!link.Active) continue;
            if (ist.Pts < o.StartTime) continue;  // before the output's start
            if (link.Track->Copy()) {
                // A clip the plan re-encodes into a copied stream.
                if (kind == AVMEDIA_TYPE_VIDEO && (link.Action == paEncode || link.SmartCut))
                    link.Wrote(link.Track->EncodeSegment(f, ist.Pts, ist.File, ist.Index));
                continue;
            }
            if (kind == AVMEDIA_TYPE_VIDEO)
                link.Wrote(link.Track->EncodeVideo(f, ist.Pts, ist.File, ist.Index));
            else if (kind == AVMEDIA_TYPE_AUDIO)
                link.Wrote(link.Track->EncodeAudio(f, ist.Pts, link.Started, ist.File, ist.Index));
        }
    };
    if (kind == AVMEDIA_TYPE_VIDEO && ist.Turned())
        ist.TurnUpright(frame, feed);
    else
        feed(frame);
}

int64_t TTaskRun::SoundLimit(const TInputStream& ist) const {
    const int64_t trimEnd = timeline_.InputEnd(ist.File);
    if (ist.Kind() != AVMEDIA_TYPE_AUDIO || !timeline_.Joining()) return trimEnd;
    for (const TStreamLink& link : slots_[static_cast<size_t>(ist.File)].Links)
        // Copied pictures cannot stand longer for it (encoded ones hold the last).
        if (link.Track->Kind == AVMEDIA_TYPE_VIDEO && link.Source && link.Track->Copy())
            return std::min(trimEnd, timeline_.SoundEnd(ist.File, link.Source));
    return trimEnd;
}

TInBandSets* TTaskRun::InBandSets(TStreamLink& link, const TInputStream& ist) {
    if (link.Action != paCopyInBand) return nullptr;
    if (!link.InBand) {
        link.InBand = std::make_shared<TInBandSets>();
        link.InBand->Init(ist.Stream->codecpar, link.Track->NalLength());
    }
    return link.InBand.get();
}

void TTaskRun::RunInputHooks(TInputStream& ist, AVFrame* frame) {
    if (!videoInputHook_ || !task_.VideoInputHookCallback) return;
    bool update = true, stopHook = false;
    TFormatConverter& converter = task_.HookConverter();
    if (converter.PictureToBitmap(frame, hookBitmap_)) {
        try {
            task_.VideoInputHookCallback(&task_, &hookBitmap_, static_cast<int>(ist.FramesDecoded), ist.Pts, update,
                                         stopHook);
        } catch (const std::exception& e) {
            FFLogger().Log(&task_, llError, std::string("Error occurs VideoHook event: ") + e.what());
            update = false;
        }
        if (update && FF.av_frame_make_writable(frame) >= 0) converter.BitmapToPicture(hookBitmap_, frame);
    }
    if (stopHook) videoInputHook_ = false;
}

void TTaskRun::OnOutputPicture(AVFrame* pic, int frameNumber, int64_t ptsUs) {
    if (videoOutputHook_ && task_.VideoOutputHookCallback) {
        bool update = true, stopHook = false;
        TFormatConverter& converter = task_.HookConverter();
        if (converter.PictureToBitmap(pic, hookBitmap_)) {
            task_.VideoOutputHookCallback(&task_, &hookBitmap_, frameNumber, ptsUs, update, stopHook);
            if (update && FF.av_frame_make_writable(pic) >= 0) converter.BitmapToPicture(hookBitmap_, pic);
        }
        if (stopHook) videoOutputHook_ = false;
    }
    if (!(task_.PreviewFlags() & 2) || !task_.PreviewBitmapCallback) return;
    const int64_t now = FF.av_gettime_relative();
    if (now - lastPreviewTime_ < task_.PreviewInterval) return;
    lastPreviewTime_ = now;
    if (task_.PreviewConverter().PictureToBitmap(pic, previewBitmap_))
        task_.PreviewBitmapCallback(&task_, &previewBitmap_, frameNumber, ptsUs);
}

void TTaskRun::DrainDecoder(TInputStream& ist) {
    ist.CutCopy = false;
    if (!ist.Decoding() || ist.Flushed) return;
    ProcessPacket(ist, nullptr);
    ist.FlushDecoder();
    ist.Flushed = true;
}

void TTaskRun::End() {
    for (const auto& ist : streams_)
        if (ist->Used && ist->DecodingNeeded && !ist->Flushed) DrainDecoder(*ist);
    for (const auto& out : media_.Outputs)
        for (const auto& track : out->Tracks) track->Flush();
    if (JointChapters()) AddJointChapters();
    for (const auto& out : media_.Outputs) out->WriteTrailer();
    Report(true, -1);
    CloseCodecs();
    if (StopRequested()) return;
    CheckSomethingWritten();
    CheckNotCutShort();
    NoteEndedEarly();
    Verify();
}

void TTaskRun::Verify() {
    if (!media_.Verify || media_.Outputs.empty()) return;
    TOutputFile& out = *media_.Outputs[0];
    FFLogger().Log(&task_, llInfo, "Verifying " + out.FileName);
    TVerifyTarget target;
    target.Path = out.WrittenName;
    // What the inputs last together: their pictures where the output has any.
    target.ExpectedUs = 0;
    for (size_t i = 0; i < media_.Inputs.size() && target.ExpectedUs >= 0; ++i) {
        int64_t length = media_.Inputs[i]->Duration;
        for (const TStreamLink& link : slots_[i].Links) {
            const AVStream* st = link.Source ? link.Source->Stream : nullptr;
            if (link.Track->Kind == AVMEDIA_TYPE_VIDEO && st && st->duration > 0)
                length = FF.av_rescale_q(st->duration, st->time_base, AVRational{1, AV_TIME_BASE});
        }
        target.ExpectedUs = length > 0 ? target.ExpectedUs + length : -1;
    }
    if (!timeline_.Joining()) target.ExpectedUs = -1;
    target.InputAt = [this](int64_t us) {
        size_t at = 0;
        for (size_t i = 0; i < media_.Inputs.size(); ++i)
            if (timeline_.StartOf(static_cast<int>(i)) <= us) at = i;
        const TJoinPlan& plan = media_.Plan;
        const int number = at < plan.Numbers.size() ? plan.Numbers[at] : static_cast<int>(at) + 1;
        const std::string& name = media_.Inputs[at]->FileName;
        return "File (" + std::to_string(number) + ") " + name.substr(name.find_last_of('/') + 1);
    };
    target.Stopped = [this] { return task_.StopRequested(); };
    const std::string failure = VerifyOutput(target);
    if (!failure.empty()) throw FFmpegException(failure, AVERROR_INVALIDDATA, out.FileName);
}

// An input that ended on damage far short of its length gives an output that
// looks whole and is not: no result either.
void TTaskRun::CheckNotCutShort() {
    const TJoinTimeline::TCutShort cut = timeline_.CutShort();
    if (cut.Input < 0) return;
    cutShortInput_ = cut.Input;
    throw FFmpegException(
        FormatText("ends after %.1f s of its %.1f s: the file is damaged or cut short", cut.Read, cut.Length),
        AVERROR_INVALIDDATA, media_.Inputs[static_cast<size_t>(cut.Input)]->FileName);
}

// An input that ends early with no damage (or little) is joined as read,
// but the user is told: its length was promised by the file.
void TTaskRun::NoteEndedEarly() {
    for (const TJoinTimeline::TCutShort& early : timeline_.EndedEarly()) {
        const std::string message =
            FormatText("ends after %.1f s of its %.1f s: the rest could not be read and is missing from the output", early.Read,
                       early.Length);
        FFLogger().Log(&task_, llWarning, media_.Inputs[static_cast<size_t>(early.Input)]->FileName + ": " + message);
        task_.AddWarning({early.Input, message});
    }
}

// An output without a single picture or sound of a kind it was made for is
// no result, however well its container was finished (an input cut short
// before its first frame gives a bare header).
void TTaskRun::CheckSomethingWritten() const {
    for (const auto& out : media_.Outputs)
        for (const auto& track : out->Tracks) {
            if (track->Bytes() > 0 || (track->Kind != AVMEDIA_TYPE_VIDEO && track->Kind != AVMEDIA_TYPE_AUDIO))
                continue;
            const char* what = track->Kind == AVMEDIA_TYPE_VIDEO ? "picture" : "sound";
            throw FFmpegException(
                FormatText("no %s could be read from the input, so the output would be empty", what),
                AVERROR_INVALIDDATA, out->FileName);
        }
}

void TTaskRun::CloseCodecs() {
    for (const auto& out : media_.Outputs)
        for (const auto& track : out->Tracks) track->CloseCodec();
    for (const auto& ist : streams_) ist->CloseDecoder();
}
