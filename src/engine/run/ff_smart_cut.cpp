// A trimmed clip in a copied picture stream is cut at key frames: the
// packets from the first key frame at or after the trim's start are copied,
// the pictures before it are decoded and re-encoded, and so are those after
// the last key frame before the trim's end when the codec shows pictures out
// of the order it stores them (a copy cut there would lose the pictures that
// refer to later ones).
#include "ff_input_file.h"
#include "ff_input_stream.h"
#include "ff_output_track.h"
#include "ff_task_run.h"

#include <algorithm>
#include <vector>

namespace {
constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

// The key frames' timestamps of one stream from where reading starts up to
// (and a little past) untilTs; the file is put back where it was.
std::vector<int64_t> KeyFrames(TInputFile& in, int stream, int64_t untilTs) {
    std::vector<int64_t> keys;
    AVFormatContext* ic = in.Context.get();
    TPacketPtr packet = NewPacket();
    if (!packet) return keys;
    while (FF.av_read_frame(ic, packet.get()) >= 0) {
        const TPacketUnref read(packet.get());
        if (packet->stream_index != stream) continue;
        const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if ((packet->flags & AV_PKT_FLAG_KEY) && ts != AV_NOPTS_VALUE) keys.push_back(ts);
        if (ts != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE && packet->dts > untilTs) break;
    }
    const int64_t back = in.StartTimestamp != 0 ? in.StartTimestamp : (ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0);
    FF.av_seek_frame(ic, -1, back, AVSEEK_FLAG_BACKWARD);
    in.RestIo();
    std::sort(keys.begin(), keys.end());
    return keys;
}
}  // namespace

void TTaskRun::FindCopiedPart(TInputFile& in, TStreamLink& link) {
    const AVStream* st = link.Source->Stream;
    const AVRational tb = st->time_base;
    const int64_t startTs = FF.av_rescale_q(in.StartTimestamp, MicrosecondBase, tb);
    const bool endTrimmed = in.TrimLength >= 0;
    const int64_t endTs = endTrimmed ? FF.av_rescale_q(in.StartTimestamp + in.TrimLength, MicrosecondBase, tb) : INT64_MAX;
    const std::vector<int64_t> keys = KeyFrames(in, st->index, endTs);
    const auto first = std::lower_bound(keys.begin(), keys.end(), startTs);
    if (first == keys.end() || *first >= endTs) return;  // no key frame inside: all of it re-encoded
    link.CopyFrom = *first;
    // Pictures in stored order can be copied up to the end; others up to
    // the last key frame before it.
    const bool reordered = st->codecpar->video_delay > 0;
    if (endTrimmed && reordered) {
        const auto last = std::upper_bound(keys.begin(), keys.end(), endTs);
        link.CopyUntil = last == keys.begin() ? link.CopyFrom : *(last - 1);
        if (link.CopyUntil <= link.CopyFrom) link.CopyFrom = link.CopyUntil = INT64_MAX;
    }
    if (link.CopyFrom == INT64_MAX) return;
    FFLogger().LogFmt(&task_, llVerbose, "%s: copied from %.3f s to %s, the pictures around re-encoded",
                      in.FileName.c_str(), link.CopyFrom * av_q2d(tb),
                      link.CopyUntil == INT64_MAX ? "its end" : (std::to_string(link.CopyUntil * av_q2d(tb)) + " s").c_str());
}

TTaskRun::TCutRoute TTaskRun::RouteCutPacket(TInputStream& ist, const AVPacket* pkt) {
    ist.CutCopy = false;
    // A slot per input: a join, or a join of one file.
    if (ist.Kind() != AVMEDIA_TYPE_VIDEO || static_cast<size_t>(ist.File) >= slots_.size()) return crDecode;
    TStreamLink* cut = nullptr;
    for (TStreamLink& link : slots_[static_cast<size_t>(ist.File)].Links)
        if (link.Source == &ist && link.SmartCut) cut = &link;
    if (!cut || cut->CopyFrom == INT64_MAX) return crDecode;
    const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (ts == AV_NOPTS_VALUE) return cut->CutCopying ? crDrop : crDecode;
    if (ts >= cut->CopyFrom && ts < cut->CopyUntil) {
        if (!cut->CutCopying) {
            // The pictures before the copied part come out of the decoder
            // and their encoder first; the decoder is ready for the end.
            DrainDecoder(ist);
            ist.Flushed = false;
            cut->Track->FinishSegment();
            cut->CutCopying = true;
        }
        ist.CutCopy = true;
        return crCopy;
    }
    // Pictures stored after the copied part's first key frame that show
    // before it belong to the part before: they are left out.
    return cut->CutCopying && ts < cut->CopyFrom ? crDrop : crDecode;
}
