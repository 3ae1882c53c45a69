#include "ff_stream_map.h"

#include "ff_exception.h"
#include "ff_logger.h"

#include <algorithm>

namespace {
[[noreturn]] void Raise(const std::string& message) { throw FFmpegException(message); }

int FindStream(const std::vector<TInputStreamDesc>& inputs, int file, int index) {
    for (size_t i = 0; i < inputs.size(); ++i)
        if (inputs[i].File == file && inputs[i].Index == index) return static_cast<int>(i);
    return -1;
}

// The source a stream map names for output stream #outFile.outIndex.
TStreamSource MappedSource(const std::vector<TInputStreamDesc>& inputs, const TStreamMap& m, int slot, bool join,
                           int outFile, int outIndex, AVMediaType kind) {
    const int file = join ? slot : m.FileIndex;
    const int syncFile = join ? slot : m.SyncFileIndex;
    const int source = FindStream(inputs, file, m.StreamIndex);
    const int sync = FindStream(inputs, syncFile, m.SyncStreamIndex);
    if (source < 0) Raise(FormatText("Could not find input stream #%d.%d", file, m.StreamIndex));
    if (sync < 0) Raise(FormatText("Could not find sync stream #%d.%d", syncFile, m.SyncStreamIndex));
    const AVMediaType sourceKind = inputs[static_cast<size_t>(source)].Kind;
    if (sourceKind != kind)
        Raise(FormatText("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", file, m.StreamIndex,
                         KindName(sourceKind), outFile, outIndex, KindName(kind)));
    return {source, sync};
}

// The biggest unused readable stream of the kind (inOrder: the first), else
// (outside joins and programs) the first readable one of the kind even if
// used; -1 for none.
int ChosenSource(const std::vector<TInputStreamDesc>& inputs, const std::vector<bool>& used, int slot, bool join,
                 bool programChosen, AVMediaType kind, bool inOrder) {
    int best = -1;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const TInputStreamDesc& in = inputs[i];
        if (join && in.File != slot) continue;
        if (used[i] || !in.Readable || in.Kind != kind || !in.InProgram) continue;
        if (best < 0 || (!inOrder && in.Weight > inputs[static_cast<size_t>(best)].Weight)) best = static_cast<int>(i);
    }
    if (best >= 0 || programChosen || join) return best;
    for (size_t i = 0; i < inputs.size(); ++i)
        if (inputs[i].Kind == kind && inputs[i].Readable) return static_cast<int>(i);
    return -1;
}
}  // namespace

TSubtitleChoice ChooseSubtitles(const std::vector<TSubtitleSource>& sources,
                                const std::function<bool(const std::string&)>& held) {
    TSubtitleChoice choice;
    choice.Left.assign(sources.size(), false);
    const TSubtitleSource* first = nullptr;
    bool same = true;
    for (const TSubtitleSource& s : sources) {
        if (s.Codec.empty()) continue;
        if (!first) first = &s;
        same = same && s.Codec == first->Codec && s.PrivateData == first->PrivateData;
    }
    choice.Copy = first && same && held(first->Codec);
    if (!choice.Copy)
        for (size_t i = 0; i < sources.size(); ++i) choice.Left[i] = sources[i].Bitmap;
    return choice;
}

const char* KindName(AVMediaType kind) {
    switch (kind) {
        case AVMEDIA_TYPE_VIDEO: return "Video";
        case AVMEDIA_TYPE_AUDIO: return "Audio";
        case AVMEDIA_TYPE_DATA: return "Data";
        case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
        case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
        default: return "Unknown";
    }
}

TStreamKinds ChooseStreamKinds(const TOutputKindRequest& request, const std::vector<TStreamKinds>& inputKinds) {
    TStreamKinds use;
    use.Video = request.Format.Video || request.Named.Video;
    use.Audio = request.Format.Audio || request.Named.Audio;
    use.Subtitle = request.Format.Subtitle || request.Named.Subtitle;
    if (!inputKinds.empty()) {
        TStreamKinds has;
        for (size_t i = 0; i < inputKinds.size(); ++i) {
            has.Video = has.Video || inputKinds[i].Video;
            has.Audio = has.Audio || inputKinds[i].Audio;
            has.Subtitle = has.Subtitle || inputKinds[i].Subtitle;
        }
        use.Video = use.Video && has.Video;
        use.Audio = use.Audio && has.Audio;
        use.Subtitle = use.Subtitle && has.Subtitle;
    }
    use.Video = use.Video && !request.Disabled.Video;
    use.Audio = use.Audio && !request.Disabled.Audio;
    use.Subtitle = use.Subtitle && !request.Disabled.Subtitle;
    int sounds = 1, subtitles = 1;
    if (request.EveryTrack)
        for (const TStreamKinds& in : inputKinds) {
            sounds = std::max(sounds, in.Sounds);
            subtitles = std::max(subtitles, in.Subtitles);
        }
    use.Sounds = use.Audio ? sounds : 0;
    use.Subtitles = use.Subtitle ? subtitles : 0;
    return use;
}

std::vector<std::vector<TStreamSource>> MapStreams(const std::vector<TInputStreamDesc>& inputs,
                                                   const std::vector<TSlotKinds>& slots,
                                                   const std::vector<TStreamMap>& maps, bool programChosen,
                                                   bool join) {
    size_t outputStreams = 0;
    for (size_t s = 0; s < slots.size(); ++s) {
        if (slots[s].empty())
            Raise(FormatText("Output file #%d does not contain any stream", join ? 0 : static_cast<int>(s)));
        if (!join || s == 0) outputStreams += slots[s].size();
    }
    if (!maps.empty() && maps.size() != outputStreams) Raise("Number of stream maps must match number of output streams");

    std::vector<bool> used(inputs.size(), false);
    std::vector<std::vector<TStreamSource>> sources(slots.size());
    size_t nextMap = 0;
    for (size_t s = 0; s < slots.size(); ++s) {
        if (join) nextMap = 0;  // every input of a join follows the same maps
        const int slot = static_cast<int>(s);
        const int outFile = join ? 0 : slot;
        for (size_t k = 0; k < slots[s].size(); ++k) {
            const AVMediaType kind = slots[s][k];
            const bool inOrder = kind != AVMEDIA_TYPE_VIDEO &&
                                 (join || std::count(slots[s].begin(), slots[s].end(), kind) > 1);
            const int outIndex = static_cast<int>(k);
            TStreamSource source;
            if (!maps.empty()) {
                source = MappedSource(inputs, maps[nextMap++], slot, join, outFile, outIndex, kind);
            } else {
                source.Source = source.Sync = ChosenSource(inputs, used, slot, join, programChosen, kind, inOrder);
                if (source.Source < 0 && !join)
                    Raise(FormatText("Could not find input stream matching output stream #%d.%d (%s)", slot, outIndex,
                                     KindName(kind)));
            }
            if (source.Source >= 0) used[static_cast<size_t>(source.Source)] = true;
            sources[s].push_back(source);
        }
    }
    return sources;
}
