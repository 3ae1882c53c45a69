// The run of a task: setup of stream mappings and codecs, the read loop, the
// joints of a join, the end of the run, progress reports and the cleanup.
// What happens to each packet and frame is in ff_transcode_media.cpp.
#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_interrupt.h"
#include "ff_legacy.h"
#include "ff_task_tables.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <optional>
#include <algorithm>
#include <cstring>
#include <thread>

namespace {
[[noreturn]] void Raise(const std::string& message) { throw FFmpegException(message); }

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

// A rough size for picking the best source stream of a kind.
int64_t StreamWeight(const AVStream* st) {
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) return static_cast<int64_t>(par->width) * par->height;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) return par->ch_layout.nb_channels;
    return 0;
}
}  // namespace

TCustomFFmpeg::InputStream* TCustomFFmpeg::FindInputStream(int file, int index) const {
    for (const auto& ist : inputStreams_)
        if (ist->file == file && ist->index == index) return ist.get();
    return nullptr;
}

double TCustomFFmpeg::TrackTime(const OutputTrack& t) const {
    if (t.copy) return t.copyEndUs / 1000000.0;
    if (!t.enc) return 0;
    if (t.kind == AVMEDIA_TYPE_AUDIO) return t.enc->sample_rate > 0 ? double(t.samplesQueued) / t.enc->sample_rate : 0;
    return t.nextPts * av_q2d(t.enc->time_base);
}

int64_t TCustomFFmpeg::ProgressTotalDuration() const {
    if (join_) return totalDuration_;
    if (options_.RecordingTime != INT64_MAX) return options_.RecordingTime;
    return totalDuration_ > 0 ? totalDuration_ : 0;
}

// ---------------------------------------------------------------------------
// Setup

void TCustomFFmpeg::MapStreams() {
    const TOptionState& o = options_;
    size_t totalStreams = 0;
    for (size_t s = 0; s < slots_.size(); ++s) {
        Slot& slot = slots_[s];
        if (slot.file->tracks.empty())
            Raise(FormatText("Output file #%d does not contain any stream", join_ ? 0 : static_cast<int>(s)));
        slot.streams.clear();
        for (const auto& t : slot.file->tracks) {
            OutputStream os;
            os.slot = static_cast<int>(s);
            os.index = t->index;
            os.track = t.get();
            slot.streams.push_back(os);
        }
        if (!join_ || s == 0) totalStreams += slot.streams.size();
    }
    if (!o.StreamMaps.empty() && o.StreamMaps.size() != totalStreams)
        Raise("Number of stream maps must match number of output streams");

    size_t mapIndex = 0;
    for (size_t s = 0; s < slots_.size(); ++s) {
        if (join_ && s > 0) mapIndex = 0;  // every input of a join follows the same map
        for (OutputStream& os : slots_[s].streams) {
            const AVMediaType kind = os.track->kind;
            if (!o.StreamMaps.empty()) {
                const TStreamMap& m = o.StreamMaps[mapIndex++];
                const int file = join_ ? static_cast<int>(s) : m.FileIndex;
                const int syncFile = join_ ? static_cast<int>(s) : m.SyncFileIndex;
                InputStream* src = FindInputStream(file, m.StreamIndex);
                InputStream* sync = FindInputStream(syncFile, m.SyncStreamIndex);
                if (!src) Raise(FormatText("Could not find input stream #%d.%d", file, m.StreamIndex));
                if (!sync) Raise(FormatText("Could not find sync stream #%d.%d", syncFile, m.SyncStreamIndex));
                if (src->st->codecpar->codec_type != kind)
                    Raise(FormatText("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", file, m.StreamIndex,
                                     KindName(src->st->codecpar->codec_type), join_ ? 0 : static_cast<int>(s),
                                     os.index, KindName(kind)));
                os.source = src;
                os.sync = sync;
            } else {
                InputStream* best = nullptr;
                for (const auto& ist : inputStreams_) {
                    if (join_ && ist->file != static_cast<int>(s)) continue;
                    if (!ist->discard || ist->st->discard == AVDISCARD_ALL) continue;
                    if (ist->st->codecpar->codec_type != kind) continue;
                    if (o.ProgramId) {
                        bool inProgram = false;
                        const AVFormatContext* ic = inputs_[static_cast<size_t>(ist->file)].ctx.get();
                        for (unsigned p = 0; p < ic->nb_programs && !inProgram; ++p)
                            if (ic->programs[p]->id == o.ProgramId)
                                for (unsigned j = 0; j < ic->programs[p]->nb_stream_indexes; ++j)
                                    inProgram = inProgram || static_cast<int>(ic->programs[p]->stream_index[j]) == ist->index;
                        if (!inProgram) continue;
                    }
                    if (!best || StreamWeight(ist->st) > StreamWeight(best->st)) best = ist.get();
                }
                if (!best && !o.ProgramId && !join_) {
                    for (const auto& ist : inputStreams_)
                        if (ist->st->codecpar->codec_type == kind && ist->st->discard != AVDISCARD_ALL) {
                            best = ist.get();
                            break;
                        }
                }
                if (!best) {
                    // An input of a join without this kind of stream: its part of
                    // the output is filled at the joint (silence for audio).
                    if (join_) continue;
                    Raise(FormatText("Could not find input stream matching output stream #%d.%d (%s)",
                                     static_cast<int>(s), os.index, KindName(kind)));
                }
                os.source = best;
                os.sync = best;
            }
            os.source->discard = false;
            os.active = true;
            if (!os.track->copy) os.source->decodingNeeded = true;
        }
    }
}

void TCustomFFmpeg::OpenEncoders() {
    TOptionState& o = options_;
    for (size_t f = 0; f < outputs_.size(); ++f) {
        OutputFile& out = *outputs_[f];
        for (auto& tp : out.tracks) {
            OutputTrack& t = *tp;
            // The first source of the track (slot 0 of a join).
            InputStream* src = nullptr;
            for (const Slot& slot : slots_)
                if (slot.file == &out)
                    for (const OutputStream& os : slot.streams)
                        if (os.track == &t && os.source && !src) src = os.source;
            if (src && o.MetadataStreamsAutoCopy)
                FF.av_dict_copy(&t.st->metadata, src->st->metadata, AV_DICT_DONT_OVERWRITE);
            if (src) t.st->disposition = src->st->disposition;

            if (t.copy) {
                if (!src) continue;
                const AVCodecParameters* ipar = src->st->codecpar;
                if (ipar->extradata_size > INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE)
                    Raise("icodec.extradata_size is invalid (too large)");
                if (t.kind == AVMEDIA_TYPE_AUDIO) {
                    if (t.volume != 256) Raise("-acodec copy and -vol are incompatible (frames are not decoded)");
                    if (AudioHookCallback) Raise("-acodec copy and AudioHook are incompatible (frames are not decoded)");
                }
                if (t.kind == AVMEDIA_TYPE_VIDEO && (VideoInputHookCallback || VideoOutputHookCallback))
                    Raise("-vcodec copy and VideoHook are incompatible (frames are not decoded)");
                const uint32_t tag = t.st->codecpar->codec_tag;
                FF.avcodec_parameters_copy(t.st->codecpar, ipar);
                // Keep the input's tag only where the output format knows it for this codec.
                const AVOutputFormat* of = out.ctx->oformat;
                if (tag)
                    t.st->codecpar->codec_tag = tag;
                else if (of->codec_tag && FF.av_codec_get_id(of->codec_tag, ipar->codec_tag) != ipar->codec_id)
                    t.st->codecpar->codec_tag = 0;
                else if (!of->codec_tag)
                    t.st->codecpar->codec_tag = 0;
                t.st->time_base = src->st->time_base;
                t.st->avg_frame_rate = src->st->avg_frame_rate;
                t.st->sample_aspect_ratio = src->st->sample_aspect_ratio;
            } else {
                AVCodecContext* enc = t.enc.get();
                if (!t.codec)
                    Raise(FormatText("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                                     static_cast<int>(t.savedCodecId), static_cast<int>(f), t.index, KindName(t.kind)));
                if (t.kind == AVMEDIA_TYPE_VIDEO) {
                    if ((enc->width <= 0 || enc->height <= 0) && src) {
                        enc->width = src->st->codecpar->width;
                        enc->height = src->st->codecpar->height;
                    }
                    if (enc->pix_fmt == AV_PIX_FMT_NONE) Raise("Video pixel format is unknown, stream cannot be encoded");
                    // Now that the pixel format is known, also a pending size.
                    AdaptFrameSize(t.codec, enc->width, enc->height, enc->pix_fmt);
                    if (!t.filters.empty() && FF.avfilter_get_by_name("buffer") == nullptr)
                        Raise("Error opening filters!");
                    t.scaled = NewFrame();
                    if (!t.scaled) Raise("Cannot allocate temp picture, check pix fmt");
                    t.scaled->format = enc->pix_fmt;
                    t.scaled->width = enc->width;
                    t.scaled->height = enc->height;
                    if (FF.av_frame_get_buffer(t.scaled.get(), 0) < 0) Raise("Cannot allocate temp picture, check pix fmt");
                    if (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) {
                        const std::string log = FormatText("%s-%d.log", o.PassLogFile.empty() ? "ffmpeg2pass" : o.PassLogFile.c_str(), t.index);
                        if (enc->flags & AV_CODEC_FLAG_PASS1) {
                            t.passLog.reset(std::fopen(log.c_str(), "wb"));
                            if (!t.passLog) Raise(FormatText("Cannot write log file %s for pass-1 encoding", log.c_str()));
                        } else {
                            TFilePtr in(std::fopen(log.c_str(), "rb"));
                            if (!in)
                                Raise(FormatText("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", log.c_str()));
                            char buf[65536];
                            size_t n;
                            while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0) t.passStats.append(buf, n);
                            enc->stats_in = const_cast<char*>(t.passStats.c_str());
                        }
                    }
                }
                if (src && src->st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && src->dec && src->dec->subtitle_header) {
                    // The codec context takes the header over and frees it.
                    enc->subtitle_header = static_cast<uint8_t*>(FF.av_mallocz(static_cast<size_t>(src->dec->subtitle_header_size) + 1));
                    if (enc->subtitle_header) {
                        std::memcpy(enc->subtitle_header, src->dec->subtitle_header, static_cast<size_t>(src->dec->subtitle_header_size));
                        enc->subtitle_header_size = src->dec->subtitle_header_size;
                    }
                }
                if (FF.avcodec_open2(enc, t.codec, nullptr) < 0)
                    Raise(FormatText("Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect "
                                     "parameters such as bit_rate, rate, width or height. Please check error log "
                                     "message to find out more detail information.",
                                     static_cast<int>(f), t.index, KindName(t.kind)));
                t.packet = NewPacket();
                if (!t.packet) Raise("Out of memory");
                // Video is encoded on a thread of its own while the next
                // pictures are decoded and converted.
                if (t.kind == AVMEDIA_TYPE_VIDEO) {
                    OutputTrack* track = &t;
                    t.pipe = std::make_unique<TFramePipe>([this, track](AVFrame* frame) { EncodeFrame(*track, frame); }, 4);
                }
                t.savedCodecId = enc->codec_id;
                run_->extraBytes += enc->extradata_size;
                FF.avcodec_parameters_from_context(t.st->codecpar, enc);
                t.st->time_base = enc->time_base;
                if (t.kind == AVMEDIA_TYPE_VIDEO) t.st->avg_frame_rate = enc->framerate;
                if (t.kind == AVMEDIA_TYPE_AUDIO) {
                    const int frameSize = enc->frame_size > 0 ? enc->frame_size : 1024;
                    t.fifo.reset(FF.av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, frameSize * 2));
                    t.audioFrame = NewFrame();
                    if (!t.fifo || !t.audioFrame) Raise("av_fifo_alloc fail");
                }
                if (t.kind == AVMEDIA_TYPE_SUBTITLE) t.subtitleBuffer.resize(1 << 20);
            }
            for (const TBitstreamFilterSpec& spec : t.bsfSpecs) {
                const AVBitStreamFilter* filter = FF.av_bsf_get_by_name(spec.Name.c_str());
                AVBSFContext* bsf = nullptr;
                const int made = filter ? FF.av_bsf_alloc(filter, &bsf) : AVERROR_BSF_NOT_FOUND;
                t.bsfs.emplace_back(bsf);
                if (made < 0) Raise(FormatText("Unknown bitstream filter %s", spec.Name.c_str()));
                const AVCodecParameters* par = t.bsfs.size() == 1 ? t.st->codecpar : t.bsfs[t.bsfs.size() - 2]->par_out;
                FF.avcodec_parameters_copy(bsf->par_in, par);
                bsf->time_base_in = t.st->time_base;
                if (!spec.Args.empty()) FF.av_opt_set(bsf, "args", spec.Args.c_str(), AV_OPT_SEARCH_CHILDREN);
                if (FF.av_bsf_init(bsf) < 0) Raise(FormatText("Unknown bitstream filter %s", spec.Name.c_str()));
            }
            if (!t.bsfs.empty()) FF.avcodec_parameters_copy(t.st->codecpar, t.bsfs.back()->par_out);
        }
    }
}

void TCustomFFmpeg::OpenDecoders() {
    TOptionState& o = options_;
    for (auto& istp : inputStreams_) {
        InputStream& ist = *istp;
        if (ist.discard || !ist.decodingNeeded) continue;
        const AVCodecParameters* par = ist.st->codecpar;
        const char* kind = KindName(par->codec_type);
        const AVCodec* dec = inputs_[static_cast<size_t>(ist.file)].forcedDecoders[static_cast<size_t>(ist.index)];
        if (!dec) dec = FF.avcodec_find_decoder(par->codec_id);
        if (!dec)
            Raise(FormatText("Decoder (codec id %d) not found for input stream #%d.%d (%s)", static_cast<int>(par->codec_id),
                             ist.file, ist.index, kind));
        ist.decoder = dec;
        ist.dec.reset(FF.avcodec_alloc_context3(dec));
        if (!ist.dec || FF.avcodec_parameters_to_context(ist.dec.get(), par) < 0)
            Raise(FormatText("Error while opening decoder for input stream #%d.%d (%s)", ist.file, ist.index, kind));
        ist.dec->pkt_timebase = ist.st->time_base;
        ist.dec->thread_count = o.ThreadCount;
        // "xerror": damaged data is an error instead of being concealed.
        // Frame threads of this library generation trip over their own
        // assertion when a damaged frame is refused, so those decode alone.
        if (o.ExitOnError) {
            ist.dec->err_recognition |= AV_EF_EXPLODE;
            ist.dec->thread_type = FF_THREAD_SLICE;
        }
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) ApplyStoredCodecOptions(o, ist.dec.get(), OptFlagsInputVideo);
        if (par->codec_type == AVMEDIA_TYPE_AUDIO) ApplyStoredCodecOptions(o, ist.dec.get(), OptFlagsInputAudio);
        if (FF.avcodec_open2(ist.dec.get(), dec, nullptr) < 0)
            Raise(FormatText("Error while opening decoder for input stream #%d.%d (%s)", ist.file, ist.index, kind));
    }
}

void TCustomFFmpeg::CopyChapters(const InputFile& in, AVFormatContext* oc) {
    const TOptionState& o = options_;
    const AVFormatContext* ic = in.ctx.get();
    if (!ic->nb_chapters) return;
    // The output context takes the chapter list and the chapters over.
    void* grown = FF.av_realloc(oc->chapters, sizeof(AVChapter*) * (oc->nb_chapters + ic->nb_chapters));
    if (!grown) Raise("Out of memory");
    oc->chapters = static_cast<AVChapter**>(grown);
    for (unsigned i = 0; i < ic->nb_chapters; ++i) {
        const AVChapter* from = ic->chapters[i];
        const int64_t offset = FF.av_rescale_q(o.StartTime - in.tsOffset, AVRational{1, AV_TIME_BASE}, from->time_base);
        const int64_t limit = o.RecordingTime == INT64_MAX
                                  ? INT64_MAX
                                  : FF.av_rescale_q(o.RecordingTime, AVRational{1, AV_TIME_BASE}, from->time_base);
        if (from->end < offset) continue;
        if (limit != INT64_MAX && from->start > limit + offset) break;
        auto* to = static_cast<AVChapter*>(FF.av_mallocz(sizeof(AVChapter)));
        if (!to) Raise("Out of memory");
        to->id = from->id;
        to->time_base = from->time_base;
        to->start = std::max<int64_t>(0, from->start - offset);
        to->end = std::min(limit, from->end - offset);
        if (o.MetadataChaptersAutoCopy) FF.av_dict_copy(&to->metadata, from->metadata, 0);
        oc->chapters[oc->nb_chapters++] = to;
    }
}

void TCustomFFmpeg::LogStreamMapping() {
    if (options_.Verbosity < 0) return;
    for (size_t f = 0; f < outputs_.size(); ++f)
        FF.av_dump_format(outputs_[f]->ctx.get(), static_cast<int>(f), outputs_[f]->fileName.c_str(), 1);
    Log(llInfo, "Stream mapping:");
    for (const Slot& slot : slots_)
        for (const OutputStream& os : slot.streams) {
            if (!os.source) continue;
            std::string line = FormatText("  Stream #%d.%d -> #%d.%d (%s)", os.source->file, os.source->index,
                                          join_ ? 0 : os.slot, os.index, KindName(os.track->kind));
            if (os.sync && os.sync != os.source)
                line += FormatText(" [sync #%d.%d (%s)]", os.sync->file, os.sync->index,
                                   KindName(os.sync->st->codecpar->codec_type));
            Log(llInfo, line);
        }
}

void TCustomFFmpeg::SetupRun() {
    TOptionState& o = options_;
    run_->packet = NewPacket();
    run_->outPacket = NewPacket();
    run_->frame = NewFrame();
    run_->filtered = NewFrame();
    if (!run_->packet || !run_->outPacket || !run_->frame || !run_->filtered) Raise("Out of memory");

    // 1. Input streams, all unused until an output takes them.
    inputStreams_.clear();
    for (size_t f = 0; f < inputs_.size(); ++f) {
        AVFormatContext* ic = inputs_[f].ctx.get();
        for (unsigned i = 0; i < ic->nb_streams; ++i) {
            auto ist = std::make_unique<InputStream>();
            ist->file = static_cast<int>(f);
            ist->index = static_cast<int>(i);
            ist->st = ic->streams[i];
            inputStreams_.push_back(std::move(ist));
        }
    }
    // 2. Sources of the output streams.
    MapStreams();
    // 3-5. Encoders of the outputs, decoders of the inputs.
    OpenDecoders();
    OpenEncoders();
    // 6. Metadata of the outputs.
    for (size_t f = 0; f < outputs_.size(); ++f) {
        AVFormatContext* oc = outputs_[f]->ctx.get();
        if (o.MetadataGlobalsAutoCopy && !inputs_.empty())
            FF.av_dict_copy(&oc->metadata, inputs_[0].ctx->metadata, AV_DICT_DONT_OVERWRITE);
        for (const TMetadataMap& m : o.MetadataMaps) {
            if (m.Out.File < 0 || m.Out.File >= OutputCount())
                Raise(FormatText("Invalid %s index %d while processing metadata maps", "output file", m.Out.File));
            if (m.Out.File != static_cast<int>(f)) continue;
            if (m.In.File < 0 || m.In.File >= InputCount())
                Raise(FormatText("Invalid %s index %d while processing metadata maps", "input file", m.In.File));
            AVFormatContext* ic = inputs_[static_cast<size_t>(m.In.File)].ctx.get();
            const auto dictOf = [](AVFormatContext* c, const TMetadataMapEnd& e, bool output) -> AVDictionary** {
                switch (e.Type) {
                    case 's':
                        if (e.Index < 0 || e.Index >= static_cast<int>(c->nb_streams))
                            Raise(FormatText("Invalid %s index %d while processing metadata maps", "stream", e.Index));
                        return &c->streams[e.Index]->metadata;
                    case 'c':
                        if (e.Index < 0 || e.Index >= static_cast<int>(c->nb_chapters))
                            Raise(FormatText("Invalid %s index %d while processing metadata maps", "chapter", e.Index));
                        return &c->chapters[e.Index]->metadata;
                    case 'p':
                        if (e.Index < 0 || e.Index >= static_cast<int>(c->nb_programs))
                            Raise(FormatText("Invalid %s index %d while processing metadata maps", "program", e.Index));
                        return &c->programs[e.Index]->metadata;
                    default: (void)output; return &c->metadata;
                }
            };
            AVDictionary** to = dictOf(oc, m.Out, true);
            AVDictionary** from = dictOf(ic, m.In, false);
            FF.av_dict_copy(to, *from, AV_DICT_DONT_OVERWRITE);
        }
        bool mapped = false;
        for (const TChapterMap& m : o.ChapterMaps) {
            if (m.InFile < 0 || m.InFile >= InputCount()) Raise(FormatText("Invalid input file index %d in chapter mapping.", m.InFile));
            if (m.OutFile < 0 || m.OutFile >= OutputCount()) Raise(FormatText("Invalid output file index %d in chapter mapping.", m.OutFile));
            if (m.OutFile != static_cast<int>(f)) continue;
            CopyChapters(inputs_[static_cast<size_t>(m.InFile)], oc);
            mapped = true;
        }
        // Without a map the chapters of the first input that has any; a join
        // keeps those of its first input (the later ones' places are known
        // only at their joints).
        if (!mapped && o.MetadataChaptersAutoCopy && o.ChapterMaps.empty())
            for (const InputFile& in : inputs_)
                if (in.ctx->nb_chapters) {
                    CopyChapters(in, oc);
                    break;
                }
    }
    // 7. Headers, once for a join.
    bool allRtp = !outputs_.empty();
    for (size_t f = 0; f < outputs_.size(); ++f) {
        OutputFile& out = *outputs_[f];
        allRtp = allRtp && std::strcmp(out.ctx->oformat->name, "rtp") == 0;
        const int r = FF.avformat_write_header(out.ctx.get(), nullptr);
        if (r < 0) {
            const std::string message =
                FormatText("Could not write header for output file #%d (incorrect codec parameters ?)", static_cast<int>(f));
            Log(llError, message);
            Raise(message);
        }
        out.headerWritten = true;
    }
    if (allRtp) {
        std::vector<AVFormatContext*> ctxs;
        for (auto& out : outputs_) ctxs.push_back(out->ctx.get());
        char sdp[16384];
        if (FF.av_sdp_create(ctxs.data(), static_cast<int>(ctxs.size()), sdp, sizeof sdp) == 0)
            Log(llInfo, std::string("SDP:\r\n") + sdp);
    }
    // 8. What goes where.
    LogStreamMapping();
    if (!o.VstatsFile.empty()) {
        run_->vstats.reset(std::fopen(o.VstatsFile.c_str(), "w"));
        if (!run_->vstats) Raise("fopen fail: " + o.VstatsFile);
    }
    run_->videoInputHook = static_cast<bool>(VideoInputHookCallback);
    run_->videoOutputHook = static_cast<bool>(VideoOutputHookCallback);
}

// ---------------------------------------------------------------------------
// The loop

int TCustomFFmpeg::ChooseInput() {
    const TOptionState& o = options_;
    if (join_) {
        const int current = run_->currentInput;
        const Slot& slot = slots_[static_cast<size_t>(current)];
        bool anyLeft = false;
        for (const OutputStream& os : slot.streams) {
            if (os.track->frameNumber >= o.MaxFrames[static_cast<size_t>(os.track->kind) & 3]) return -1;
            if (os.source && !os.source->pastRecordingTime) anyLeft = true;
        }
        bool anySource = false;
        for (const OutputStream& os : slot.streams) anySource = anySource || os.source;
        // Past the recording time on every stream: nothing more to write.
        if (anySource && !anyLeft) return -1;
        return current;
    }
    int best = -1;
    double bestTime = 1e30;
    for (const Slot& slot : slots_)
        for (const OutputStream& os : slot.streams) {
            const InputStream* ist = os.source;
            if (!ist) continue;
            const InputFile& in = inputs_[static_cast<size_t>(ist->file)];
            if (ist->pastRecordingTime || in.eof || in.wouldBlock) continue;
            if (os.track->frameNumber >= o.MaxFrames[static_cast<size_t>(os.track->kind) & 3]) return -1;
            const double t = o.InputSync ? ist->pts / 1000000.0 : TrackTime(*os.track);
            if (t < bestTime) {
                bestTime = t;
                best = ist->file;
            }
        }
    return best;
}

void TCustomFFmpeg::DrainDecoder(InputStream& ist) {
    if (!ist.dec || ist.flushed) return;
    ProcessPacket(ist, nullptr);
    FF.avcodec_flush_buffers(ist.dec.get());
    ist.flushed = true;
}

bool TCustomFFmpeg::JoinBoundary(int input) {
    // 1. Drain the decoders of the input; they are not needed any more.
    for (auto& ist : inputStreams_) {
        if (ist->file != input || ist->discard || !ist->decodingNeeded) continue;
        DrainDecoder(*ist);
        ist->dec.reset();
    }
    Slot& slot = slots_[static_cast<size_t>(input)];
    // 2. End time of the input: where the longest of its streams stopped.
    double end = 0;
    for (OutputStream& os : slot.streams) {
        if (os.track->kind == AVMEDIA_TYPE_AUDIO && !os.track->copy) FlushAudioResampler(*os.track);
        end = std::max(end, TrackTime(*os.track));
    }
    // 3. A stream that stopped early is filled up to there: the next input's
    // audio and video start together.
    for (OutputStream& os : slot.streams) {
        OutputTrack& t = *os.track;
        if (t.kind == AVMEDIA_TYPE_AUDIO && !t.copy && t.enc)
            PadAudio(t, static_cast<int64_t>(std::llround(end * t.enc->sample_rate)));
        os.active = false;
    }
    if (input + 1 >= InputCount()) return true;
    // 4. The next input starts where the output stopped.
    InputFile& next = inputs_[static_cast<size_t>(input) + 1];
    next.joinStart = std::llround(1000000.0 * end);
    next.tsOffset += next.joinStart;
    for (const OutputStream& os : slots_[static_cast<size_t>(input) + 1].streams)
        if (os.track->kind == AVMEDIA_TYPE_VIDEO) os.track->forceKeyFrame = true;
    run_->currentInput = input + 1;
    return false;
}

void TCustomFFmpeg::RunLoop() {
    TOptionState& o = options_;
    RunState& run = *run_;
    run.startTime = FF.av_gettime_relative();
    run.lastReportTime = run.startTime;
    run.lastPreviewTime = 0;
    for (InputFile& in : inputs_) in.wouldBlock = false;
    std::optional<TInterruptScope> interrupt;
    if (threaded_)
        interrupt.emplace(this, &TCustomFFmpeg::CheckStop, this);
    else
        interrupt.emplace(this, &TCustomFFmpeg::CheckTimeout, this);

    AVPacket* pkt = run.packet.get();
    while (!stopRequested_) {
        const int fileIndex = ChooseInput();
        if (fileIndex < 0) {
            bool blocked = false;
            for (const InputFile& in : inputs_) blocked = blocked || in.wouldBlock;
            if (join_ || !blocked) break;
            for (InputFile& in : inputs_) in.wouldBlock = false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (o.LimitFileSize > 0 && !outputs_.empty() && outputs_[0]->ctx->pb &&
            FF.avio_seek(outputs_[0]->ctx->pb, 0, SEEK_CUR) >= o.LimitFileSize)
            break;
        InputFile& in = inputs_[static_cast<size_t>(fileIndex)];
        const int r = FF.av_read_frame(in.ctx.get(), pkt);
        const TPacketUnref readPacket(pkt);
        if (r == AVERROR(EAGAIN)) {
            in.wouldBlock = true;
            ++run.wouldBlockCount;
            continue;
        }
        if (r < 0) {
            in.eof = true;
            if (join_) {
                if (JoinBoundary(fileIndex)) break;
                continue;
            }
            if (o.Shortest) break;
            continue;
        }
        for (InputFile& i : inputs_) i.wouldBlock = false;
        run.lastFileIndex = fileIndex;
        if (o.PacketDump) FF.av_pkt_dump_log2(nullptr, AV_LOG_INFO, pkt, o.HexDump, in.ctx->streams[pkt->stream_index]);
        InputStream* ist = pkt->stream_index < static_cast<int>(in.ctx->nb_streams)
                               ? FindInputStream(fileIndex, pkt->stream_index)
                               : nullptr;
        if (!ist || ist->discard) continue;
        const AVRational tb = ist->st->time_base;
        const int64_t offset = FF.av_rescale_q(in.tsOffset, AVRational{1, AV_TIME_BASE}, tb);
        if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
        const double scale = ist->index < MaxStreams ? in.tsScale[static_cast<size_t>(ist->index)] : 0.0;
        if (scale > 0) {
            if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = static_cast<int64_t>(pkt->dts * scale);
            if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = static_cast<int64_t>(pkt->pts * scale);
        }
        if ((in.ctx->iformat->flags & AVFMT_TS_DISCONT) && pkt->dts != AV_NOPTS_VALUE &&
            ist->nextPts != AV_NOPTS_VALUE && !o.CopyTimestamps) {
            const int64_t dtsUs = FF.av_rescale_q(pkt->dts, tb, AVRational{1, AV_TIME_BASE});
            const int64_t delta = dtsUs - ist->nextPts;
            if (std::llabs(delta) > static_cast<int64_t>(o.DtsDeltaThreshold * AV_TIME_BASE) || dtsUs + 1 < ist->pts) {
                in.tsOffset -= delta;
                const int64_t d = FF.av_rescale_q(delta, AVRational{1, AV_TIME_BASE}, tb);
                pkt->dts -= d;
                if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= d;
                if (o.Verbosity > 2) LogFmt(llVerbose, "timestamp discontinuity %" PRId64 ", new offset= %" PRId64, delta, in.tsOffset);
            }
        }
        if (o.RecordingTime != INT64_MAX && pkt->pts != AV_NOPTS_VALUE &&
            FF.av_rescale_q(pkt->pts, tb, AVRational{1, AV_TIME_BASE}) >= o.StartTime + o.RecordingTime) {
            ist->pastRecordingTime = true;
            continue;
        }
        if (ProcessPacket(*ist, pkt) < 0) {
            const std::string message = FormatText("Error while decoding stream #%d.%d (%s)", ist->file, ist->index,
                                                   KindName(ist->st->codecpar->codec_type));
            if (o.ExitOnError) Raise(message);
            if (o.Verbosity >= 0) Log(llVerbose, message);
        }
        if (FF.av_gettime_relative() - run.lastReportTime > ReportInterval) {
            Report(false, fileIndex);
            run.lastReportTime = FF.av_gettime_relative();
        }
    }
}

// ---------------------------------------------------------------------------
// End of the run

void TCustomFFmpeg::FlushEncoders() {
    for (auto& out : outputs_)
        for (auto& tp : out->tracks) {
            OutputTrack& t = *tp;
            if (t.copy || !t.enc || !FF.avcodec_is_open(t.enc.get())) continue;
            if (t.kind == AVMEDIA_TYPE_AUDIO) {
                FlushAudioResampler(t);
                EncodeQueuedAudio(t, true);
            }
            if (t.kind == AVMEDIA_TYPE_SUBTITLE) continue;
            if (t.pipe)
                t.pipe->Finish();  // the queued pictures, then the drain
            else
                EncodeFrame(t, nullptr);
        }
}

void TCustomFFmpeg::EndRun() {
    for (auto& ist : inputStreams_)
        if (!ist->discard && ist->decodingNeeded && !ist->flushed) DrainDecoder(*ist);
    FlushEncoders();
    for (size_t f = 0; f < outputs_.size(); ++f) {
        OutputFile& out = *outputs_[f];
        if (!out.headerWritten) continue;
        const int r = FF.av_write_trailer(out.ctx.get());
        out.headerWritten = false;
        if (r < 0) Raise(ErrorText(out.fileName, r));
        if (out.ioOpened && out.ctx->pb) {
            FF.avio_flush(out.ctx->pb);
            if (out.ctx->pb->error < 0) Raise(ErrorText(out.fileName, out.ctx->pb->error));
            // A folder removed during the run takes the file with it; that is
            // no finished output.
            if (::access(out.fileName.c_str(), F_OK) != 0) Raise(ErrorText(out.fileName, AVERROR(ENOENT)));
        }
    }
    Report(true, -1);
    CloseCodecs();
    completed_ = !stopRequested_;
    ReleaseRun();
}

void TCustomFFmpeg::Transcode() {
    // A failure anywhere leaves the codecs and the run's tables to the
    // closing steps of the task's execution.
    run_ = std::make_unique<RunState>();
    SetupRun();
    RunLoop();
    EndRun();
}

void TCustomFFmpeg::ReleaseRun() { run_.reset(); }

void TCustomFFmpeg::Cleanup() {
    CloseCodecs();
    ReleaseRun();
    for (auto& out : outputs_) {
        if (!out) continue;
        const std::string name = out->fileName;
        const bool wroteFile = out->ioOpened;
        out.reset();
        struct stat st {};
        if (wroteFile && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) ::unlink(name.c_str());
    }
    outputs_.clear();
    slots_.clear();
    inputStreams_.clear();
    inputs_.clear();
}

// ---------------------------------------------------------------------------
// Progress

void TCustomFFmpeg::Report(bool final, int fileIndex) {
    const TOptionState& o = options_;
    RunState& run = *run_;
    std::unique_lock mux(run.muxMutex);
    int64_t size = 0;
    if (!outputs_.empty() && outputs_[0]->ctx && outputs_[0]->ctx->pb) {
        AVIOContext* pb = outputs_[0]->ctx->pb;
        size = FF.avio_size(pb);
        if (size <= 0) size = FF.avio_seek(pb, 0, SEEK_CUR);
        if (size < 0) size = 0;
    }
    int frameNumber = -1, fps = -1;
    float quality = -1.0f;
    bool haveVideo = false;
    double outputTime = 1e10;
    // The first active video stream; once the joints have retired them all
    // (the final report of a join), the video the output has.
    const OutputStream* videoStream = nullptr;
    for (const Slot& slot : slots_)
        for (const OutputStream& os : slot.streams)
            if (!videoStream && os.active && os.track->kind == AVMEDIA_TYPE_VIDEO) videoStream = &os;
    if (!videoStream && final)
        for (const Slot& slot : slots_)
            for (const OutputStream& os : slot.streams)
                if (!videoStream && os.track->kind == AVMEDIA_TYPE_VIDEO) videoStream = &os;
    for (const Slot& slot : slots_)
        for (const OutputStream& os : slot.streams) {
            const OutputTrack& t = *os.track;
            if (!haveVideo && &os == videoStream) {
                haveVideo = true;
                if (t.frameNumber == 0 && !final) return;  // nothing encoded yet
                frameNumber = static_cast<int>(t.frameNumber);
                const double seconds = (FF.av_gettime_relative() - run.startTime) / 1000000.0;
                fps = seconds > 1.0 ? static_cast<int>(frameNumber / seconds + 0.5) : 0;
                quality = t.copy ? -1.0f : t.quality;
            }
            const double tt = TrackTime(t);
            if (tt > 0 && tt < outputTime) outputTime = tt;
        }
    const int64_t videoBytes = run.videoBytes, audioBytes = run.audioBytes;
    mux.unlock();
    if (outputTime >= 1e10) outputTime = 0;
    outputTime = std::max(outputTime, 0.01);
    if (!ProgressCallback && o.Verbosity <= 0 && !final) return;
    const float bitRate = static_cast<float>(size * 8 / outputTime / 1000.0);
    const bool dupDrop = run.dupFrames || run.dropFrames;
    std::string line;
    if (haveVideo) line = FormatText("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, quality);
    line += FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", size / 1024.0, outputTime, bitRate);
    if (dupDrop) line += FormatText(" dup=%d drop=%d", run.dupFrames, run.dropFrames);
    if (ProgressCallback) {
        ProgressCallback(this, fileIndex, ProgressTotalDuration(), static_cast<int64_t>(outputTime * 1000000.0), size,
                         bitRate, quality, fps, frameNumber);
        if (dupDrop && !run.dupDropLogged && o.Verbosity >= 0) {
            run.dupDropLogged = true;
            Log(llVerbose, line);
        }
    } else if (o.Verbosity >= 0) {
        Log(llVerbose, line);
    }
    if (final && o.Verbosity >= 0) {
        const double total = static_cast<double>(videoBytes + audioBytes + run.extraBytes);
        const double overhead = total > 0 ? 100.0 * (size - total) / total : 0.0;
        LogFmt(llVerbose, "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
               videoBytes / 1024.0, audioBytes / 1024.0, run.extraBytes / 1024.0, overhead);
    }
}
