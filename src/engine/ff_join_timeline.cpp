#include "ff_join_timeline.h"

#include "ff_input_stream.h"
#include "ff_logger.h"
#include "ff_output_track.h"

#include <cinttypes>
#include <cmath>
#include <cstdlib>

namespace {
constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

bool AtFrameLimit(const TStreamLink& link, const TOptionState& o) {
    return link.Track->FrameNumber() >= o.MaxFrames[static_cast<size_t>(link.Track->Kind) & 3];
}
}  // namespace

TJoinTimeline::TJoinTimeline(bool join, const std::vector<std::unique_ptr<TInputFile>>& inputs) : join_(join) {
    for (const auto& in : inputs) {
        TPlace place;
        place.File = in.get();
        place.Offset = in->TimestampOffset;
        places_.push_back(place);
    }
}

int64_t TJoinTimeline::JoinedDuration(const std::vector<std::unique_ptr<TInputFile>>& inputs) {
    int64_t sum = 0;
    for (const auto& in : inputs)
        if (in->Duration > 0) sum += in->Duration;
    return sum == 0 ? -1 : sum;
}

bool TJoinTimeline::AnyWouldBlock() const {
    for (const TPlace& p : places_)
        if (p.WouldBlock) return true;
    return false;
}

void TJoinTimeline::ClearWouldBlock() {
    for (TPlace& p : places_) p.WouldBlock = false;
}

int TJoinTimeline::ChooseInput(const std::vector<TRunSlot>& slots, const TOptionState& o) const {
    if (join_) {
        bool anySource = false, anyLeft = false;
        for (const TStreamLink& link : slots[static_cast<size_t>(current_)].Links) {
            if (AtFrameLimit(link, o)) return -1;
            anySource = anySource || link.Source;
            anyLeft = anyLeft || (link.Source && !link.Source->PastRecordingTime);
        }
        // Past the recording time on every stream: nothing more to write.
        return anySource && !anyLeft ? -1 : current_;
    }
    int best = -1;
    double bestTime = 1e30;
    for (const TRunSlot& slot : slots)
        for (const TStreamLink& link : slot.Links) {
            const TInputStream* ist = link.Source;
            if (!ist) continue;
            const TPlace& place = places_[static_cast<size_t>(ist->File)];
            if (ist->PastRecordingTime || place.Ended || place.WouldBlock) continue;
            if (AtFrameLimit(link, o)) return -1;
            const double t = o.InputSync ? ist->Pts / 1000000.0 : link.Track->Time();
            if (t < bestTime) {
                bestTime = t;
                best = ist->File;
            }
        }
    return best;
}

void TJoinTimeline::PlacePacket(int input, const TInputStream& ist, AVPacket* pkt, const TOptionState& o,
                                void* logSender) {
    TPlace& place = places_[static_cast<size_t>(input)];
    const AVRational tb = ist.Stream->time_base;
    if (place.AlignFirstPacket && pkt->dts != AV_NOPTS_VALUE) {
        place.AlignFirstPacket = false;
        place.Offset = place.Start - FF.av_rescale_q(pkt->dts, tb, MicrosecondBase);
    }
    const int64_t offset = FF.av_rescale_q(place.Offset, MicrosecondBase, tb);
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
    const double scale = ist.Index < MaxStreams ? place.File->TimestampScale[static_cast<size_t>(ist.Index)] : 0.0;
    if (scale > 0) {
        if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = static_cast<int64_t>(pkt->dts * scale);
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = static_cast<int64_t>(pkt->pts * scale);
    }
    const bool jumps = (place.File->Context->iformat->flags & AVFMT_TS_DISCONT) != 0;
    if (!jumps || pkt->dts == AV_NOPTS_VALUE || ist.NextPts == AV_NOPTS_VALUE || o.CopyTimestamps) return;
    const int64_t dtsUs = FF.av_rescale_q(pkt->dts, tb, MicrosecondBase);
    const int64_t delta = dtsUs - ist.NextPts;
    if (std::llabs(delta) <= static_cast<int64_t>(o.DtsDeltaThreshold * AV_TIME_BASE) && dtsUs + 1 >= ist.Pts) return;
    place.Offset -= delta;
    const int64_t d = FF.av_rescale_q(delta, MicrosecondBase, tb);
    pkt->dts -= d;
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= d;
    if (o.Verbosity > 2)
        FFLogger().LogFmt(logSender, llVerbose, "timestamp discontinuity %" PRId64 ", new offset= %" PRId64, delta,
                          place.Offset);
}

bool TJoinTimeline::EndInput(int input, const std::vector<std::unique_ptr<TInputStream>>& streams,
                             std::vector<TRunSlot>& slots, const std::function<void(TInputStream&)>& drain) {
    // The input's decoders give what they hold back; they are not needed any more.
    for (const auto& ist : streams) {
        if (ist->File != input || !ist->Used || !ist->DecodingNeeded) continue;
        drain(*ist);
        ist->CloseDecoder();
    }
    // Where the longest of the input's streams stopped...
    TRunSlot& slot = slots[static_cast<size_t>(input)];
    double end = 0, copiedPictures = -1;
    bool fed = false;
    for (TStreamLink& link : slot.Links) {
        link.Track->FlushConversion();
        end = std::max(end, link.Track->Time());
        fed = fed || link.Source;
        if (link.Track->Copy() && link.Track->Kind == AVMEDIA_TYPE_VIDEO)
            copiedPictures = std::max(copiedPictures, link.Track->Time());
    }
    // Copied pictures can be neither stretched nor filled: the next input
    // starts where they end, and its sound where its own timestamps put it.
    if (copiedPictures >= 0) end = copiedPictures;
    bool allCopied = !slot.Links.empty();
    for (const TStreamLink& link : slot.Links) allCopied = allCopied && link.Track->Copy();
    // An input with nothing the output holds (pictures in a join to sound)
    // still keeps its length: silence or black for it.
    const TPlace& place = places_[static_cast<size_t>(input)];
    if (!fed && place.File->Duration > 0) end = std::max(end, (place.Start + place.File->Duration) / 1000000.0);
    // ...is where every stream of the output continues, so that the next
    // input's sound and picture start together.
    for (TStreamLink& link : slot.Links) {
        link.Track->FillTo(end);
        link.Active = false;
    }
    if (input + 1 >= static_cast<int>(places_.size())) return true;
    TPlace& next = places_[static_cast<size_t>(input) + 1];
    next.Start = std::llround(1000000.0 * end);
    next.Offset += next.Start;
    next.AlignFirstPacket = allCopied && copiedPictures < 0;
    for (const TStreamLink& link : slots[static_cast<size_t>(input) + 1].Links)
        if (link.Track->Kind == AVMEDIA_TYPE_VIDEO) link.Track->ForceKeyFrame();
    current_ = input + 1;
    return false;
}

namespace {
TAudioStart PlaceAudio(int64_t expected, int64_t queued, int64_t delay, int64_t tolerance) {
    const int64_t have = queued + delay;
    TAudioStart start;
    if (expected - have > tolerance)
        start.PadTo = expected - delay;
    else if (have - expected > tolerance)
        start.Skip = have - expected;
    return start;
}
}  // namespace

TCopyPlace PlaceCopiedPacket(int64_t dts, int64_t pts, int64_t duration, int64_t lastDts, int64_t jointEnd,
                             bool sound) {
    TCopyPlace place{false, dts, pts};
    if (lastDts == AV_NOPTS_VALUE) return place;
    const int64_t start = pts != AV_NOPTS_VALUE ? pts : dts;
    if (sound && start != AV_NOPTS_VALUE && duration > 0 && start + duration <= jointEnd) {
        place.Drop = true;
        return place;
    }
    if (place.Dts == AV_NOPTS_VALUE || place.Dts <= lastDts) place.Dts = lastDts + 1;
    if (place.Pts != AV_NOPTS_VALUE && place.Pts < place.Dts) place.Pts = place.Dts;
    return place;
}

TAudioStart PlaceFirstAudio(int64_t expected, int64_t queued, int64_t delay, int64_t rate) {
    return PlaceAudio(expected, queued, delay, rate / 200);
}

TAudioStart PlaceLaterAudio(int64_t expected, int64_t queued, int64_t delay, int64_t rate) {
    return PlaceAudio(expected, queued, delay, rate / 10);
}
