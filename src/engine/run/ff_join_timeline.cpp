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

// A stamp this far past the packet before it, and past its input's end by
// more than the margin, is damage; real gaps lie within the probed length.
constexpr int64_t JumpLimitUs = 2 * AV_TIME_BASE;
constexpr int64_t EndMarginUs = AV_TIME_BASE;

int64_t ContainerStart(const AVFormatContext* ic) { return ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0; }

// A length read from the header or the packets, not guessed from the bit rate.
bool KnownLength(const TInputFile& in) {
    return in.Duration > 0 && in.Context->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
}

// Microseconds an input can last: its length when known; else what its size
// holds at 1 kbit/s (below any real media), at least a minute. A header's
// length is believed up to what the size holds at 100 bit/s (a still
// picture shown for an hour is above that): a damaged header of a few
// kilobytes claims a thousand hours.
int64_t LengthBound(const TInputFile& in) {
    const int64_t bytes = in.Context->pb ? FF.avio_size(in.Context->pb) : -1;
    const auto held = [bytes](int64_t bitsPerSecond) {
        return std::max<int64_t>(60 * AV_TIME_BASE, bytes > 0 ? bytes * 8 / bitsPerSecond * AV_TIME_BASE : 0);
    };
    if (KnownLength(in)) return bytes > 0 ? std::min(in.Duration, held(100)) : in.Duration;
    return held(1000);
}

// Far past: compared in double, as damaged stamps reach the ends of int64.
bool FarPast(int64_t stamp, int64_t from, int64_t limit) {
    return static_cast<double>(stamp) - static_cast<double>(from) > static_cast<double>(limit);
}
}  // namespace

int64_t SaturatingSum(int64_t a, int64_t b) {
    int64_t sum;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? INT64_MAX : INT64_MIN;
}

bool TStampGuard::Check(AVPacket* p, int64_t start, int64_t end, int64_t jump) {
    const int64_t before = last_ != AV_NOPTS_VALUE ? last_ : start;
    const auto damaged = [&](int64_t t) { return t != AV_NOPTS_VALUE && FarPast(t, end, 0) && FarPast(t, before, jump); };
    bool moved = false;
    if (end != AV_NOPTS_VALUE && (damaged(p->dts) || damaged(p->pts))) {
        // Right after the packet before: one packet's length on, or as far as
        // the last step went.
        const int64_t step = p->duration > 0 && p->duration <= jump ? p->duration : std::max<int64_t>(step_, 1);
        const int64_t to = last_ != AV_NOPTS_VALUE ? SaturatingSum(last_, step) : start;
        if (damaged(p->dts)) {
            // The presentation time keeps its distance from the decoding time.
            if (p->pts != AV_NOPTS_VALUE) p->pts = damaged(p->pts) ? SaturatingSum(to, p->pts - p->dts) : std::max(to, p->pts);
            p->dts = to;
        }
        // The presentation time alone damaged: shown when decoded.
        if (damaged(p->pts)) p->pts = p->dts != AV_NOPTS_VALUE ? p->dts : to;
        moved = true;
    }
    const int64_t now = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
    if (now != AV_NOPTS_VALUE) {
        if (last_ != AV_NOPTS_VALUE && now > last_ && !FarPast(now, last_, jump)) step_ = now - last_;
        last_ = now;
    }
    return moved;
}

TJoinTimeline::TJoinTimeline(bool join, const std::vector<std::unique_ptr<TInputFile>>& inputs) : join_(join) {
    for (const auto& in : inputs) {
        TPlace place;
        place.File = in.get();
        place.Offset = in->TimestampOffset;
        place.Guards.resize(in->Context->nb_streams);
        place.Complaints = std::make_shared<TComplaintWatch>(in->Context.get());
        places_.push_back(place);
    }
}

int64_t TJoinTimeline::JoinedDuration(const std::vector<std::unique_ptr<TInputFile>>& inputs) {
    int64_t sum = 0;
    for (const auto& in : inputs)
        if (in->Duration > 0) sum = SaturatingSum(sum, in->Duration);
    return sum == 0 ? -1 : sum;
}

void TJoinTimeline::SetOutputEnd(const TOptionState& o, bool filtered) {
    outputEnd_ = INT64_MAX;
    // Copied timestamps, filters and scaled times make an output's length
    // something else than its inputs'.
    if (o.CopyTimestamps || filtered || places_.empty()) return;
    int64_t end = 0;
    for (const TPlace& place : places_) {
        const TInputFile& in = *place.File;
        if (!KnownLength(in)) return;
        for (double scale : in.TimestampScale)
            if (scale > 0 && scale != 1.0) return;
        const int64_t delay = std::max<int64_t>(SaturatingSum(in.TimestampOffset, in.StartTimestamp), 0);  // "itsoffset"
        const int64_t length = SaturatingSum(in.Duration, delay);
        end = join_ ? SaturatingSum(end, length) : std::max(end, length);
    }
    // The margin: rounding at joints, the last picture's length, sound
    // that runs on a little past the pictures.
    outputEnd_ = SaturatingSum(end, end / 20 + 2 * AV_TIME_BASE);
}

int64_t TJoinTimeline::InputEnd(int input) const {
    const TPlace& place = places_[static_cast<size_t>(input)];
    return place.File->TrimLength >= 0 ? SaturatingSum(place.Start, place.File->TrimLength) : INT64_MAX;
}

int64_t TJoinTimeline::SoundEnd(int input, const TInputStream* picture) const {
    if (!join_ || !picture) return INT64_MAX;
    const AVStream* st = picture->Stream;
    if (st->duration == AV_NOPTS_VALUE || st->duration <= 0 || st->time_base.den <= 0) return INT64_MAX;
    const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    const int64_t endUs = FF.av_rescale_q(SaturatingSum(start, st->duration), st->time_base, MicrosecondBase);
    return SaturatingSum(endUs, places_[static_cast<size_t>(input)].Offset);
}

bool TJoinTimeline::AnyWouldBlock() const { return blocked_ > 0; }

void TJoinTimeline::ClearWouldBlock() {
    // Called for every packet: a join of a thousand inputs is not walked each time.
    if (blocked_ == 0) return;
    for (TPlace& p : places_) p.WouldBlock = false;
    blocked_ = 0;
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

void TJoinTimeline::GuardPacket(TPlace& place, const TInputStream& ist, AVPacket* pkt, void* logSender) {
    if (static_cast<size_t>(ist.Index) >= place.Guards.size()) return;
    const AVFormatContext* ic = place.File->Context.get();
    const AVRational tb = ist.Stream->time_base;
    // Reading starts at a trim's start.
    const int64_t startUs = std::max(ContainerStart(ic), place.File->StartTimestamp);
    const int64_t start = FF.av_rescale_q(startUs, MicrosecondBase, tb);
    const int64_t end = FF.av_rescale_q(SaturatingSum(startUs, LengthBound(*place.File) + EndMarginUs),
                                        MicrosecondBase, tb);
    const int64_t was = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (!place.Guards[static_cast<size_t>(ist.Index)].Check(pkt, start, end,
                                                            FF.av_rescale_q(JumpLimitUs, MicrosecondBase, tb)))
        return;
    if (place.GuardLogged) return;
    place.GuardLogged = true;
    FFLogger().LogFmt(logSender, llWarning,
                      "%s: a packet of stream #%d is stamped at %.3f s, far beyond the file's length (%.3f s); "
                      "it is placed after the packet before it",
                      place.File->FileName.c_str(), ist.Index, static_cast<double>(was) * av_q2d(tb),
                      place.File->Duration / 1000000.0);
}

void TJoinTimeline::NoteRead(TPlace& place, const TInputStream& ist, const AVPacket* pkt) {
    if (pkt->flags & AV_PKT_FLAG_CORRUPT) place.Damaged = true;
    const int64_t at = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (at == AV_NOPTS_VALUE) return;
    const double end = (static_cast<double>(at) + static_cast<double>(std::max<int64_t>(pkt->duration, 0))) *
                       av_q2d(ist.Stream->time_base);
    const double start = ContainerStart(place.File->Context.get()) / 1e6;
    place.Reached = std::max(place.Reached, end - start);
    const AVStream* st = ist.Stream;
    if (st->duration > 0 && st->start_time != AV_NOPTS_VALUE)
        place.StreamsEnd = std::max(place.StreamsEnd,
                                    static_cast<double>(st->start_time + st->duration) * av_q2d(st->time_base) - start);
}

TJoinTimeline::TCutShort TJoinTimeline::CutShort() const {
    for (size_t i = 0; i < places_.size(); ++i) {
        const TPlace& place = places_[i];
        const TInputFile& in = *place.File;
        const double length = in.Duration / 1e6;
        if (!place.Ended || !KnownLength(in) || place.Reached * 2 >= length) continue;
        if (place.Damaged || place.Complaints->Count() > 0) return {static_cast<int>(i), place.Reached, length};
    }
    return {};
}

std::vector<TJoinTimeline::TCutShort> TJoinTimeline::EndedEarly() const {
    const TCutShort cut = CutShort();
    std::vector<TCutShort> early;
    for (size_t i = 0; i < places_.size(); ++i) {
        const TPlace& place = places_[i];
        if (!place.Ended || !KnownLength(*place.File) || static_cast<int>(i) == cut.Input) continue;
        if (InputEnd(static_cast<int>(i)) != INT64_MAX) continue;  // a trim ended it
        // A stream the run leaves out may be longer than those it reads.
        double length = place.File->Duration / 1e6;
        if (place.StreamsEnd > 0) length = std::min(length, place.StreamsEnd);
        if (place.Reached + EndMarginUs / 1e6 < length)
            early.push_back({static_cast<int>(i), place.Reached, length});
    }
    return early;
}

void TJoinTimeline::PlacePacket(int input, const TInputStream& ist, AVPacket* pkt, const TOptionState& o,
                                void* logSender) {
    TPlace& place = places_[static_cast<size_t>(input)];
    const AVRational tb = ist.Stream->time_base;
    GuardPacket(place, ist, pkt, logSender);
    NoteRead(place, ist, pkt);
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
        // A cue shown past the clip's end does not lengthen the clip.
        if (link.Track->Kind != AVMEDIA_TYPE_SUBTITLE) end = std::max(end, link.Track->Time());
        fed = fed || link.Source;
        // (An input without pictures has no say: its other streams decide.)
        if (link.Track->Copy() && link.Track->Kind == AVMEDIA_TYPE_VIDEO && link.Source)
            copiedPictures = std::max(copiedPictures, link.Track->Time());
    }
    // Copied pictures can be neither stretched nor filled: the next input
    // starts where they end, and its sound where its own timestamps put it.
    if (copiedPictures >= 0) end = copiedPictures;
    bool allCopied = !slot.Links.empty();
    for (const TStreamLink& link : slot.Links)
        allCopied = allCopied && (link.Track->Copy() || link.Track->Kind == AVMEDIA_TYPE_SUBTITLE);
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
    // A trimmed input keeps its own times: its start is cut where it was asked.
    next.AlignFirstPacket = allCopied && copiedPictures < 0 && !next.File->Trimmed;
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
