// The setup of a task's run: input streams linked to the output tracks,
// decoders and encoders opened, metadata and chapters copied, the headers
// written and the mapping logged.
#include "ff_exception.h"
#include "ff_input_file.h"
#include "ff_output_file.h"
#include "ff_stream_map.h"
#include "ff_task.h"
#include "ff_task_run.h"

#include <cstring>

namespace {
[[noreturn]] void Raise(const std::string& message, int code = 0) { throw FFmpegException(message, code); }

// A rough size for picking the source stream of a kind: the clip's pictures
// (as the join plan picks them), the sound with the most channels.
int64_t StreamWeight(const AVStream* st) {
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) return ClipWeight(st);
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) return par->ch_layout.nb_channels;
    return 0;
}

bool InProgram(const AVFormatContext* ic, int programId, int index) {
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
        if (ic->programs[p]->id != programId) continue;
        for (unsigned j = 0; j < ic->programs[p]->nb_stream_indexes; ++j)
            if (static_cast<int>(ic->programs[p]->stream_index[j]) == index) return true;
    }
    return false;
}

// The dictionary one end of a metadata map names.
AVDictionary** MetadataOf(AVFormatContext* c, const TMetadataMapEnd& e) {
    const auto check = [](const char* what, int index, unsigned count) {
        if (index < 0 || index >= static_cast<int>(count))
            Raise(FormatText("Invalid %s index %d while processing metadata maps", what, index));
    };
    switch (e.Type) {
        case 's': check("stream", e.Index, c->nb_streams); return &c->streams[e.Index]->metadata;
        case 'c': check("chapter", e.Index, c->nb_chapters); return &c->chapters[e.Index]->metadata;
        case 'p': check("program", e.Index, c->nb_programs); return &c->programs[e.Index]->metadata;
        default: return &c->metadata;
    }
}
}  // namespace

void TTaskRun::Setup() {
    packet_ = NewPacket();
    frame_ = NewFrame();
    if (!packet_ || !frame_) Raise("Out of memory", AVERROR(ENOMEM));
    MakeInputStreams();
    LinkStreams();
    // A join's inputs get their decoders at their turn (EndReading), so that
    // hundreds of clips do not hold hundreds of decoders.
    OpenDecoders(timeline_.Joining() ? 0 : -1);
    OpenTracks();
    for (size_t f = 0; f < media_.Outputs.size(); ++f) CopyMetadata(static_cast<int>(f));
    WriteHeaders();
    LogStreamMapping();
    if (!options_.VstatsFile.empty()) {
        mux_.Vstats.reset(std::fopen(options_.VstatsFile.c_str(), "w"));
        if (!mux_.Vstats) Raise("fopen fail: " + options_.VstatsFile, AVERROR(errno));
    }
    videoInputHook_ = static_cast<bool>(task_.VideoInputHookCallback);
    videoOutputHook_ = static_cast<bool>(task_.VideoOutputHookCallback);
}

void TTaskRun::MakeInputStreams() {
    for (size_t f = 0; f < media_.Inputs.size(); ++f) {
        AVFormatContext* ic = media_.Inputs[f]->Context.get();
        firstStream_.push_back(streams_.size());
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            streams_.push_back(std::make_unique<TInputStream>(static_cast<int>(f), static_cast<int>(i), ic->streams[i]));
    }
}

TInputStream* TTaskRun::FindStream(int file, int index) const {
    if (file < 0 || static_cast<size_t>(file) >= firstStream_.size() || index < 0) return nullptr;
    const size_t at = firstStream_[static_cast<size_t>(file)] + static_cast<size_t>(index);
    if (at >= streams_.size() || streams_[at]->File != file) return nullptr;
    return streams_[at].get();
}

size_t TTaskRun::PlaceOf(const TInputStream& ist) const {
    return firstStream_[static_cast<size_t>(ist.File)] + static_cast<size_t>(ist.Index);
}

void TTaskRun::IndexLinks() {
    fedLinks_.assign(streams_.size(), {});
    for (TRunSlot& slot : slots_)
        for (TStreamLink& link : slot.Links)
            if (link.Source) fedLinks_[PlaceOf(*link.Source)].push_back(&link);
}

const std::vector<TStreamLink*>& TTaskRun::LinksFedBy(const TInputStream& ist) const { return fedLinks_[PlaceOf(ist)]; }

void TTaskRun::LinkStreams() {
    const TOptionState& o = options_;
    std::vector<TInputStreamDesc> inputs;
    for (const auto& ist : streams_) {
        const AVFormatContext* ic = media_.Inputs[static_cast<size_t>(ist->File)]->Context.get();
        inputs.push_back({ist->File, ist->Index, ist->Kind(), ist->Stream->discard != AVDISCARD_ALL,
                          StreamWeight(ist->Stream), !o.ProgramId || InProgram(ic, o.ProgramId, ist->Index)});
    }
    std::vector<TSlotKinds> kinds;
    for (TOutputFile* file : media_.SlotFiles) {
        TSlotKinds slot;
        for (const auto& t : file->Tracks) slot.push_back(t->Kind);
        kinds.push_back(slot);
    }
    auto sources = MapStreams(inputs, kinds, o.StreamMaps, o.ProgramId != 0, media_.Join);
    ChooseSubtitleCopies(sources);
    for (size_t s = 0; s < sources.size(); ++s) {
        TRunSlot slot;
        slot.File = media_.SlotFiles[s];
        for (size_t k = 0; k < sources[s].size(); ++k) {
            TStreamLink link;
            link.Track = slot.File->Tracks[k].get();
            link.Slot = static_cast<int>(s);
            link.Index = link.Track->Index();
            if (sources[s][k].Source >= 0) {
                link.Source = streams_[static_cast<size_t>(sources[s][k].Source)].get();
                link.Sync = streams_[static_cast<size_t>(sources[s][k].Sync)].get();
                link.Source->Used = true;
                link.Active = true;
                if (!link.Track->Copy()) link.Source->DecodingNeeded = true;
            }
            slot.Links.push_back(link);
        }
        slots_.push_back(std::move(slot));
    }
    ApplyPlan();
    IndexLinks();
}

void TTaskRun::ChooseSubtitleCopies(std::vector<std::vector<TStreamSource>>& sources) {
    for (const auto& out : media_.Outputs) {
        const AVOutputFormat* of = out->Context->oformat;
        const auto held = [of](const std::string& codec) {
            const AVCodecDescriptor* d = FF.avcodec_descriptor_get_by_name(codec.c_str());
            return d && FF.avformat_query_codec(of, d->id, FF_COMPLIANCE_NORMAL) == 1;
        };
        for (size_t k = 0; k < out->Tracks.size(); ++k) {
            TOutputTrack& track = *out->Tracks[k];
            if (track.Kind != AVMEDIA_TYPE_SUBTITLE || track.Copy()) continue;
            std::vector<size_t> fed;  // the slots of this output
            std::vector<TSubtitleSource> subtitles;
            for (size_t s = 0; s < sources.size(); ++s) {
                if (media_.SlotFiles[s] != out.get() || k >= sources[s].size()) continue;
                fed.push_back(s);
                TSubtitleSource desc;
                if (const int at = sources[s][k].Source; at >= 0) {
                    const AVCodecParameters* par = streams_[static_cast<size_t>(at)]->Stream->codecpar;
                    const AVCodecDescriptor* d = FF.avcodec_descriptor_get(par->codec_id);
                    desc.Codec = FF.avcodec_get_name(par->codec_id);
                    desc.Bitmap = d && (d->props & AV_CODEC_PROP_BITMAP_SUB);
                    if (par->extradata) desc.PrivateData.assign(par->extradata, par->extradata + par->extradata_size);
                }
                subtitles.push_back(std::move(desc));
            }
            const TSubtitleChoice choice = ChooseSubtitles(subtitles, held);
            if (choice.Copy) track.CopyInstead();
            for (size_t i = 0; i < fed.size(); ++i) {
                if (!choice.Left[i]) continue;
                FFLogger().LogFmt(&task_, llWarning, "Picture subtitles of input #%d cannot become text: left out",
                                  static_cast<int>(fed[i]));
                sources[fed[i]][k] = TStreamSource{};
            }
        }
    }
}

void TTaskRun::ApplyPlan() {
    const TJoinPlan& plan = media_.Plan;
    // A join of one file is run as a conversion; its plan still holds (a trim).
    const bool one = media_.Inputs.size() == 1 && slots_.size() == 1;
    if (plan.Steps.empty() || !(media_.Join || one)) return;
    if (plan.Steps.size() != slots_.size()) Raise("The join plan does not match the task's inputs");
    const int video = plan.StreamOf(skVideo);
    if (video < 0) return;
    const TPlanStream& stream = plan.Streams[static_cast<size_t>(video)];
    for (size_t s = 0; s < slots_.size(); ++s)
        for (TStreamLink& link : slots_[s].Links) {
            if (link.Track->Kind != AVMEDIA_TYPE_VIDEO || !link.Track->Copy()) continue;
            link.Track->SetSegments(stream.Encoder, stream.InBand);
            const TPlanStep& step = plan.Steps[s][static_cast<size_t>(video)];
            link.Action = step.Action;
            link.SmartCut = step.SmartCut && link.Source;
            // A clip re-encoded into the copied stream is decoded, and so is
            // one cut at key frames, around its copied part.
            if ((link.Action == paEncode || step.SmartCut) && link.Source) link.Source->DecodingNeeded = true;
            if (step.SmartCut && link.Source) FindCopiedPart(*media_.Inputs[s], link);
        }
}

const TInputStream* TTaskRun::TrackSource(const TOutputFile& out, const TOutputTrack& track) const {
    // A copied picture stream that follows a plan is the reference clip's.
    const TJoinPlan& plan = media_.Plan;
    const int video = plan.StreamOf(skVideo);
    if (video >= 0 && track.Kind == AVMEDIA_TYPE_VIDEO && track.Copy()) {
        const size_t ref = static_cast<size_t>(plan.Streams[static_cast<size_t>(video)].ReferenceFile);
        if (ref < slots_.size())
            for (const TStreamLink& link : slots_[ref].Links)
                if (link.Track == &track && link.Source) return link.Source;
    }
    // The first stream that feeds the track (the first input's in a join).
    for (const TRunSlot& slot : slots_)
        for (const TStreamLink& link : slot.Links)
            if (slot.File == &out && link.Track == &track && link.Source) return link.Source;
    return nullptr;
}

void TTaskRun::OpenDecoders(int input) {
    for (const auto& ist : streams_) {
        if (!ist->Used || !ist->DecodingNeeded || (input >= 0 && ist->File != input)) continue;
        const TInputFile& in = *media_.Inputs[static_cast<size_t>(ist->File)];
        ist->OpenDecoder(in.ForcedDecoders[static_cast<size_t>(ist->Index)], options_);
    }
}

void TTaskRun::OpenTracks() {
    trackRun_.AudioHook = static_cast<bool>(task_.AudioHookCallback);
    trackRun_.VideoHooks = task_.VideoInputHookCallback || task_.VideoOutputHookCallback;
    bool filtered = false;
    for (const auto& out : media_.Outputs)
        for (const auto& track : out->Tracks) filtered = filtered || track->Filtered();
    timeline_.SetOutputEnd(options_, filtered);
    trackRun_.EndUs = timeline_.OutputEnd();
    for (size_t f = 0; f < media_.Outputs.size(); ++f) {
        TOutputFile& out = *media_.Outputs[f];
        for (const auto& track : out.Tracks) track->Open(TrackSource(out, *track), static_cast<int>(f), trackRun_);
    }
    if (media_.Join && options_.MetadataStreamsAutoCopy) NameJoinedTracks();
}

void TTaskRun::NameJoinedTracks() {
    const auto named = [](const AVDictionary* d, const char* key) {
        const AVDictionaryEntry* e = FF.av_dict_get(d, key, nullptr, 0);
        return e && *e->value && std::strcmp(e->value, "und") != 0 ? e->value : nullptr;
    };
    for (const TRunSlot& slot : slots_)
        for (const TStreamLink& link : slot.Links) {
            if (!link.Source || link.Track->Kind == AVMEDIA_TYPE_VIDEO) continue;
            AVDictionary*& to = link.Track->Stream->metadata;
            const AVDictionary* from = link.Source->Stream->metadata;
            for (const char* key : {"language", "title"})
                if (!named(to, key) && named(from, key)) FF.av_dict_set(&to, key, named(from, key), 0);
        }
}

void TTaskRun::CopyMetadata(int outFile) {
    const TOptionState& o = options_;
    AVFormatContext* oc = media_.Outputs[static_cast<size_t>(outFile)]->Context.get();
    const int inputCount = static_cast<int>(media_.Inputs.size());
    if (o.MetadataGlobalsAutoCopy && inputCount > 0)
        FF.av_dict_copy(&oc->metadata, media_.Inputs[0]->Context->metadata, AV_DICT_DONT_OVERWRITE);
    for (const TMetadataMap& m : o.MetadataMaps) {
        if (m.Out.File < 0 || m.Out.File >= media_.OutputCount())
            Raise(FormatText("Invalid %s index %d while processing metadata maps", "output file", m.Out.File));
        if (m.Out.File != outFile) continue;
        if (m.In.File < 0 || m.In.File >= inputCount)
            Raise(FormatText("Invalid %s index %d while processing metadata maps", "input file", m.In.File));
        AVDictionary** to = MetadataOf(oc, m.Out);
        AVDictionary** from = MetadataOf(media_.Inputs[static_cast<size_t>(m.In.File)]->Context.get(), m.In);
        FF.av_dict_copy(to, *from, AV_DICT_DONT_OVERWRITE);
    }
    bool mapped = false;
    for (const TChapterMap& m : o.ChapterMaps) {
        if (m.InFile < 0 || m.InFile >= inputCount)
            Raise(FormatText("Invalid input file index %d in chapter mapping.", m.InFile));
        if (m.OutFile < 0 || m.OutFile >= media_.OutputCount())
            Raise(FormatText("Invalid output file index %d in chapter mapping.", m.OutFile));
        if (m.OutFile != outFile) continue;
        CopyChapters(*media_.Inputs[static_cast<size_t>(m.InFile)], oc);
        mapped = true;
    }
    // Without a map the chapters of the first input that has any; a join
    // keeps those of its first input (the later ones' places are known only
    // at their joints).
    if (mapped || !o.MetadataChaptersAutoCopy || !o.ChapterMaps.empty() || JointChapters()) return;
    for (const auto& in : media_.Inputs)
        if (in->Context->nb_chapters) {
            CopyChapters(*in, oc);
            break;
        }
}

void TTaskRun::CopyChapters(const TInputFile& in, AVFormatContext* oc) {
    const TOptionState& o = options_;
    const AVFormatContext* ic = in.Context.get();
    if (!ic->nb_chapters) return;
    // The output context takes the chapter list and the chapters over.
    void* grown = FF.av_realloc(oc->chapters, sizeof(AVChapter*) * (oc->nb_chapters + ic->nb_chapters));
    if (!grown) Raise("Out of memory", AVERROR(ENOMEM));
    oc->chapters = static_cast<AVChapter**>(grown);
    for (unsigned i = 0; i < ic->nb_chapters; ++i) {
        const AVChapter* from = ic->chapters[i];
        const int64_t offset =
            FF.av_rescale_q(o.StartTime - in.TimestampOffset, AVRational{1, AV_TIME_BASE}, from->time_base);
        const int64_t limit = o.RecordingTime == INT64_MAX
                                  ? INT64_MAX
                                  : FF.av_rescale_q(o.RecordingTime, AVRational{1, AV_TIME_BASE}, from->time_base);
        if (from->end < offset) continue;
        if (limit != INT64_MAX && from->start > limit + offset) break;
        auto* to = static_cast<AVChapter*>(FF.av_mallocz(sizeof(AVChapter)));
        if (!to) Raise("Out of memory", AVERROR(ENOMEM));
        to->id = from->id;
        to->time_base = from->time_base;
        to->start = std::max<int64_t>(0, from->start - offset);
        to->end = std::min(limit, from->end - offset);
        if (o.MetadataChaptersAutoCopy) FF.av_dict_copy(&to->metadata, from->metadata, 0);
        oc->chapters[oc->nb_chapters++] = to;
    }
}

void TTaskRun::WriteHeaders() {
    bool allRtp = !media_.Outputs.empty();
    for (size_t f = 0; f < media_.Outputs.size(); ++f) {
        TOutputFile& out = *media_.Outputs[f];
        allRtp = allRtp && std::strcmp(out.Context->oformat->name, "rtp") == 0;
        out.WriteHeader(static_cast<int>(f), &task_);
    }
    if (!allRtp) return;
    std::vector<AVFormatContext*> contexts;
    for (const auto& out : media_.Outputs) contexts.push_back(out->Context.get());
    char sdp[16384];
    if (FF.av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp, sizeof sdp) == 0)
        FFLogger().Log(&task_, llInfo, std::string("SDP:\r\n") + sdp);
}

void TTaskRun::LogStreamMapping() {
    if (options_.Verbosity < 0) return;
    for (size_t f = 0; f < media_.Outputs.size(); ++f)
        FF.av_dump_format(media_.Outputs[f]->Context.get(), static_cast<int>(f), media_.Outputs[f]->FileName.c_str(), 1);
    FFLogger().Log(&task_, llInfo, "Stream mapping:");
    for (const TRunSlot& slot : slots_)
        for (const TStreamLink& link : slot.Links) {
            if (!link.Source) continue;
            std::string line = FormatText("  Stream #%d.%d -> #%d.%d (%s)", link.Source->File, link.Source->Index,
                                          media_.Join ? 0 : link.Slot, link.Index, KindName(link.Track->Kind));
            if (link.Sync && link.Sync != link.Source)
                line += FormatText(" [sync #%d.%d (%s)]", link.Sync->File, link.Sync->Index, KindName(link.Sync->Kind()));
            FFLogger().Log(&task_, llInfo, line);
        }
}
