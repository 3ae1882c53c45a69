#include "ff_output_track.h"

#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_input_stream.h"
#include "ff_join_timeline.h"
#include "ff_legacy.h"
#include "ff_logger.h"
#include "ff_orientation.h"
#include "ff_output_file.h"
#include "ff_parameter_sets.h"
#include "ff_segment_encoder.h"
#include "ff_stream_map.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

int64_t ToMicroseconds(int64_t value, AVRational tb) { return FF.av_rescale_q(value, tb, MicrosecondBase); }

[[noreturn]] void Raise(const std::string& message, int code = 0, const std::string& context = {}) {
    throw FFmpegException(message, code, context);
}

bool FormatIn(const AVOutputFormat* format, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (std::strcmp(format->name, name) == 0) return true;
    return false;
}

// What a copied stream needs to fit its new container: length-prefixed
// H.264/HEVC becomes Annex B for program streams and AVI, ADTS sound gets its
// AudioSpecificConfig for the MP4 family (the other direction the muxers do
// themselves).
std::vector<TBitstreamFilterSpec> CopyFilters(const AVOutputFormat* format, const AVCodecParameters* par) {
    std::vector<TBitstreamFilterSpec> filters;
    const bool lengthPrefixed = par->extradata_size > 0 && par->extradata[0] == 1;
    if (lengthPrefixed && FormatIn(format, {"mpeg", "vob", "dvd", "svcd", "vcd", "avi"})) {
        if (par->codec_id == AV_CODEC_ID_H264) filters.push_back({"h264_mp4toannexb", ""});
        if (par->codec_id == AV_CODEC_ID_HEVC) filters.push_back({"hevc_mp4toannexb", ""});
    }
    if (par->codec_id == AV_CODEC_ID_AAC && par->extradata_size == 0 &&
        FormatIn(format, {"mp4", "mov", "ipod", "3gp", "3g2", "psp", "ismv", "f4v"}))
        filters.push_back({"aac_adtstoasc", ""});
    return filters;
}
}  // namespace

// ---------------------------------------------------------------------------
// Opening

TOutputTrack::TOutputTrack(TOutputFile& file, AVStream* stream, AVMediaType kind)
    : File(file), Stream(stream), Kind(kind) {}

TOutputTrack::~TOutputTrack() = default;

void TOutputTrack::SetSegments(const std::string& encoder, bool inBand) {
    segmentEncoder_ = encoder;
    inBand_ = inBand;
}

namespace {
const char* const PlainSubtitleHeader =
    "[Script Info]\r\nScriptType: v4.00+\r\nPlayResX: 384\r\nPlayResY: 288\r\n\r\n[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, "
    "MarginV, Encoding\r\nStyle: Default,Arial,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,0\r\n"
    "\r\n[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";
}  // namespace

void TOutputTrack::CopyInstead() {
    copy_ = true;
    encoder_.reset();
    codec_ = nullptr;
    Stream->codecpar->codec_tag = tag_;
}

int TOutputTrack::NalLength() const { return NalLengthSize(Stream->codecpar); }

void TOutputTrack::Open(const TInputStream* source, int outFile, const TTrackRun& run) {
    run_ = &run;
    if (source && run.Options.MetadataStreamsAutoCopy)
        FF.av_dict_copy(&Stream->metadata, source->Stream->metadata, AV_DICT_DONT_OVERWRITE);
    if (source) Stream->disposition = source->Stream->disposition;
    if (copy_) {
        // A copy without a source has nothing to pass on.
        if (!source) return;
        OpenCopy(*source, run);
    } else {
        OpenEncoder(source, outFile, run);
    }
    OpenBitstreamFilters();
}

void TOutputTrack::OpenCopy(const TInputStream& source, const TTrackRun& run) {
    const AVCodecParameters* ipar = source.Stream->codecpar;
    if (ipar->extradata_size > INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE)
        Raise("icodec.extradata_size is invalid (too large)");
    if (Kind == AVMEDIA_TYPE_AUDIO) {
        if (volume_ != 256) Raise("-acodec copy and -vol are incompatible (frames are not decoded)");
        if (run.AudioHook) Raise("-acodec copy and AudioHook are incompatible (frames are not decoded)");
    }
    if (Kind == AVMEDIA_TYPE_VIDEO && run.VideoHooks)
        Raise("-vcodec copy and VideoHook are incompatible (frames are not decoded)");
    const int r = FF.avcodec_parameters_copy(Stream->codecpar, ipar);
    if (r < 0) Raise("Out of memory", r, "avcodec_parameters_copy");
    // Keep the input's tag only where the output format knows it for this codec.
    const AVOutputFormat* of = File.Context->oformat;
    if (tag_)
        Stream->codecpar->codec_tag = tag_;
    else if (!of->codec_tag || FF.av_codec_get_id(of->codec_tag, ipar->codec_tag) != ipar->codec_id)
        Stream->codecpar->codec_tag = 0;
    Stream->time_base = source.Stream->time_base;
    Stream->avg_frame_rate = source.Stream->avg_frame_rate;
    Stream->sample_aspect_ratio = source.Stream->sample_aspect_ratio;
    // The stream's side data goes along: the rotation of a phone's picture.
    for (int i = 0; i < source.Stream->nb_side_data; ++i) {
        const AVPacketSideData& sd = source.Stream->side_data[i];
        if (uint8_t* to = FF.av_stream_new_side_data(Stream, sd.type, sd.size)) std::memcpy(to, sd.data, sd.size);
    }
    // Parameter sets in-band: the sample entry that says so.
    if (inBand_ && !tag_ && FormatIn(of, {"mp4", "mov", "ipod", "3gp", "3g2", "psp", "ismv", "f4v"})) {
        if (ipar->codec_id == AV_CODEC_ID_H264) Stream->codecpar->codec_tag = MKTAG('a', 'v', 'c', '3');
        if (ipar->codec_id == AV_CODEC_ID_HEVC) Stream->codecpar->codec_tag = MKTAG('h', 'e', 'v', '1');
    }
    if (bsfSpecs_.empty()) bsfSpecs_ = CopyFilters(of, ipar);
    packet_ = NewPacket();
    if (!packet_) Raise("Out of memory", AVERROR(ENOMEM));
}

void TOutputTrack::PrepareVideo(const TInputStream* source, const TOptionState& options) {
    AVCodecContext* enc = encoder_.get();
    // Without a size of its own the output takes the first picture's, as shown.
    if ((enc->width <= 0 || enc->height <= 0) && source) ShownSize(source->Stream, enc->width, enc->height);
    if (enc->pix_fmt == AV_PIX_FMT_NONE) Raise("Video pixel format is unknown, stream cannot be encoded");
    // Now that the pixel format is known, also a pending size.
    AdaptFrameSize(codec_, enc->width, enc->height, enc->pix_fmt);
    if (!filter_.Empty() && FF.avfilter_get_by_name("buffer") == nullptr) Raise("Error opening filters!");
    scaler_.Open(enc);
    if (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) OpenPassLog(options);
}

void TOutputTrack::OpenPassLog(const TOptionState& options) {
    AVCodecContext* enc = encoder_.get();
    const std::string log =
        FormatText("%s-%d.log", options.PassLogFile.empty() ? "ffmpeg2pass" : options.PassLogFile.c_str(), Index());
    if (enc->flags & AV_CODEC_FLAG_PASS1) {
        passLog_.reset(std::fopen(log.c_str(), "wb"));
        if (!passLog_) Raise(FormatText("Cannot write log file %s for pass-1 encoding", log.c_str()), AVERROR(errno), log);
        return;
    }
    const TFilePtr in(std::fopen(log.c_str(), "rb"));
    if (!in)
        Raise(FormatText("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", log.c_str()),
              AVERROR(errno), log);
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) passStats_.append(buffer, n);
    enc->stats_in = const_cast<char*>(passStats_.c_str());
}

void TOutputTrack::OpenEncoder(const TInputStream* source, int outFile, const TTrackRun& run) {
    AVCodecContext* enc = encoder_.get();
    if (!codec_)
        Raise(FormatText("Encoder (codec id %d) not found for output stream #%d.%d (%s)", static_cast<int>(codecId_),
                         outFile, Index(), KindName(Kind)),
              AVERROR_ENCODER_NOT_FOUND);
    if (Kind == AVMEDIA_TYPE_VIDEO) PrepareVideo(source, run.Options);
    const AVCodecContext* sourceDecoder = source ? source->Decoder() : nullptr;
    if (Kind == AVMEDIA_TYPE_SUBTITLE) {
        // Text encoders read their styles from a header: the source's, or a
        // plain one for a stream no input feeds.
        const bool own = source && sourceDecoder && sourceDecoder->subtitle_header;
        const std::string header = own ? std::string(reinterpret_cast<const char*>(sourceDecoder->subtitle_header),
                                                     static_cast<size_t>(sourceDecoder->subtitle_header_size))
                                       : PlainSubtitleHeader;
        // The codec context takes the header over and frees it.
        enc->subtitle_header = static_cast<uint8_t*>(FF.av_mallocz(header.size() + 1));
        if (enc->subtitle_header) {
            std::memcpy(enc->subtitle_header, header.data(), header.size());
            enc->subtitle_header_size = static_cast<int>(header.size());
        }
    }
    const int r = FF.avcodec_open2(enc, codec_, nullptr);
    if (r < 0)
        Raise(FormatText("Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect parameters such "
                         "as bit_rate, rate, width or height. Please check error log message to find out more detail "
                         "information.",
                         outFile, Index(), KindName(Kind)),
              r, "avcodec_open2");
    packet_ = NewPacket();
    if (!packet_) Raise("Out of memory", AVERROR(ENOMEM));
    // Pictures are encoded on a thread of their own while the next ones are
    // decoded and converted.
    if (Kind == AVMEDIA_TYPE_VIDEO) pipe_ = std::make_unique<TFramePipe>([this](AVFrame* f) { EncodeFrame(f); }, 4);
    codecId_ = enc->codec_id;
    run.Mux.ExtraBytes += enc->extradata_size;
    FF.avcodec_parameters_from_context(Stream->codecpar, enc);
    Stream->time_base = enc->time_base;
    if (Kind == AVMEDIA_TYPE_VIDEO) Stream->avg_frame_rate = enc->framerate;
    if (Kind == AVMEDIA_TYPE_AUDIO && !audio_.Open(enc, volume_, [this](AVFrame* f) {
            EncodeFrame(f);
            ++frameNumber_;
        }))
        Raise("av_fifo_alloc fail", AVERROR(ENOMEM));
    if (Kind == AVMEDIA_TYPE_SUBTITLE) subtitleBuffer_.resize(1 << 20);
}

void TOutputTrack::OpenBitstreamFilters() {
    for (const TBitstreamFilterSpec& spec : bsfSpecs_) {
        const std::string unknown = FormatText("Unknown bitstream filter %s", spec.Name.c_str());
        const AVBitStreamFilter* filter = FF.av_bsf_get_by_name(spec.Name.c_str());
        AVBSFContext* bsf = nullptr;
        const int made = filter ? FF.av_bsf_alloc(filter, &bsf) : AVERROR_BSF_NOT_FOUND;
        bsfs_.emplace_back(bsf);
        if (made < 0) Raise(unknown, made, spec.Name);
        const AVCodecParameters* par = bsfs_.size() == 1 ? Stream->codecpar : bsfs_[bsfs_.size() - 2]->par_out;
        FF.avcodec_parameters_copy(bsf->par_in, par);
        bsf->time_base_in = Stream->time_base;
        if (!spec.Args.empty()) FF.av_opt_set(bsf, "args", spec.Args.c_str(), AV_OPT_SEARCH_CHILDREN);
        const int r = FF.av_bsf_init(bsf);
        if (r < 0) Raise(unknown, r, spec.Name);
    }
    if (!bsfs_.empty()) FF.avcodec_parameters_copy(Stream->codecpar, bsfs_.back()->par_out);
}

// ---------------------------------------------------------------------------
// Pictures

int64_t TOutputTrack::EncodeVideo(AVFrame* frame, int64_t ptsUs, int file, int index) {
    if (filter_.Empty()) return EncodePicture(frame, ptsUs, file, index);
    int64_t first = AV_NOPTS_VALUE;
    filter_.Filter(frame, ptsUs, [&](AVFrame* filtered, int64_t pts) {
        const int64_t at = EncodePicture(filtered, pts, file, index);
        if (first == AV_NOPTS_VALUE) first = at;
    });
    return first;
}

int64_t TOutputTrack::EncodePicture(AVFrame* picture, int64_t ptsUs, int file, int index) {
    const TOptionState& o = run_->Options;
    TMuxStats& stats = run_->Mux;
    AVCodecContext* enc = encoder_.get();
    // Where the picture belongs in the output, in frames.
    const double position = (ptsUs - o.StartTime) / 1000000.0 / av_q2d(enc->time_base);
    const bool variable = (File.Context->oformat->flags & AVFMT_VARIABLE_FPS) != 0;
    const double lead = position - static_cast<double>(nextPts_);
    int64_t frames = VideoSyncFrames(o.VideoSync, variable, position, nextPts_);
    if (frames == 0) {
        ++stats.DropFrames;
        if (o.Verbosity > 2) FFLogger().Log(run_->LogSender, llVerbose, "*** drop!");
    } else if (frames > 1) {
        stats.DupFrames += static_cast<int>(frames - 1);
        if (o.Verbosity > 2) FFLogger().LogFmt(run_->LogSender, llVerbose, "*** %d dup!", static_cast<int>(frames - 1));
    }
    frames = std::min<int64_t>(frames, o.MaxFrames[AVMEDIA_TYPE_VIDEO] - frameNumber_);
    // Repeats stop at the run's end bound; the picture itself is kept.
    frames = std::min<int64_t>(frames, std::max<int64_t>(1, EndPosition() - nextPts_));
    if (frames <= 0) return AV_NOPTS_VALUE;
    const int64_t firstUs = FF.av_rescale_q(nextPts_, enc->time_base, MicrosecondBase);
    // A gap in the pictures' times: the picture before it stands through
    // the gap, as players show it, and this one comes at its own time.
    const bool previous = lastPicture_ && lastPicture_->buf[0];
    const int64_t held = frames > 1 && previous ? std::min<int64_t>(frames - 1, std::llrint(lead - 0.6)) : 0;
    if (held > 0) {
        WritePictures(scaler_.Scale(lastPicture_.get(), enc, o.SwsFlags, file, index, run_->LogSender), held);
        frames -= held;
    }
    // Kept (a reference, no copy) to stand through a gap, or until the joint
    // when the input's sound goes on longer than its pictures.
    if (!lastPicture_) lastPicture_ = NewFrame();
    if (lastPicture_) ReferTo(lastPicture_.get(), picture);

    // Pictures of another size or format than the encoder's go through the
    // scaler; a change between inputs of a join rebuilds it.
    AVFrame* pic = scaler_.Scale(picture, enc, o.SwsFlags, file, index, run_->LogSender);
    run_->Host.OnOutputPicture(pic, static_cast<int>(frameNumber_ + 1), ptsUs);
    WritePictures(pic, frames);
    return firstUs;
}

int64_t TOutputTrack::EndPosition() const {
    if (run_->EndUs == INT64_MAX) return INT64_MAX;
    return FF.av_rescale_q(run_->EndUs, MicrosecondBase, encoder_->time_base);
}

int64_t TOutputTrack::EndSample() const {
    if (run_->EndUs == INT64_MAX) return INT64_MAX;
    return FF.av_rescale(run_->EndUs, encoder_->sample_rate, AV_TIME_BASE);
}

void TOutputTrack::WritePictures(AVFrame* picture, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        if (i > 0 && run_->Host.StopRequested()) break;
        picture->pts = nextPts_;
        MarkKeyFrame(picture);
        if (pipe_)
            pipe_->Push(picture);
        else
            EncodeFrame(picture);
        ++nextPts_;
        ++frameNumber_;
    }
}

void TOutputTrack::MarkKeyFrame(AVFrame* picture) {
    // The input's picture types mean nothing to the encoder; key frames are
    // asked for at joints and at the forced times only.
    picture->pict_type = AV_PICTURE_TYPE_NONE;
    const int64_t outUs = FF.av_rescale_q(nextPts_, encoder_->time_base, MicrosecondBase);
    if (nextForcedKey_ < forcedKeyTimes_.size() && outUs >= forcedKeyTimes_[nextForcedKey_]) {
        picture->pict_type = AV_PICTURE_TYPE_I;
        while (nextForcedKey_ < forcedKeyTimes_.size() && outUs >= forcedKeyTimes_[nextForcedKey_]) ++nextForcedKey_;
    }
    if (forceKeyFrame_) {
        picture->pict_type = AV_PICTURE_TYPE_I;
        forceKeyFrame_ = false;
    }
}

// ---------------------------------------------------------------------------
// Sound

int64_t TOutputTrack::EncodeAudio(AVFrame* frame, int64_t ptsUs, bool& started, int file, int index) {
    const TOptionState& o = run_->Options;
    audio_.Prepare(frame, file, index, o.AudioSync > 1, run_->LogSender);
    // Where this frame belongs on the output's time line, in samples.
    const int64_t rate = encoder_->sample_rate;
    const int64_t expected = std::llround((ptsUs - o.StartTime) * static_cast<double>(rate) / 1000000.0);
    int64_t skip = 0;
    if (!started || o.AudioSync <= 1) {
        const TAudioStart start = started ? PlaceLaterAudio(expected, audio_.Queued(), audio_.Delay(), rate)
                                          : PlaceFirstAudio(expected, audio_.Queued(), audio_.Delay(), rate);
        started = true;
        if (start.PadTo > 0) audio_.PadTo(std::min(start.PadTo, EndSample()), o.Verbosity, run_->LogSender);
        skip = start.Skip;
        if (skip > 0 && o.Verbosity > 2)
            FFLogger().LogFmt(run_->LogSender, llVerbose, "discarding %d audio samples", static_cast<int>(skip));
    } else if (o.AudioSync > 1 && audio_.Resampling()) {
        const double drift = static_cast<double>(expected - (audio_.Queued() + audio_.Delay()));
        if (std::fabs(drift) > o.AudioDriftThreshold * rate) {
            const int comp = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(drift), -o.AudioSync, o.AudioSync));
            if (o.Verbosity > 2)
                FFLogger().LogFmt(run_->LogSender, llVerbose, "compensating audio timestamp drift:%f compensation:%d in:%d",
                                  drift / rate, comp, frame->nb_samples);
            audio_.Compensate(comp);
        }
    }
    const int64_t atUs = (audio_.Queued() + audio_.Delay()) * 1000000 / rate;
    audio_.Convert(frame, skip);
    return atUs;
}

void TOutputTrack::FlushConversion() {
    if (Kind == AVMEDIA_TYPE_AUDIO && !copy_) audio_.Flush();
    FinishSegment();
    if (copy_) copyJointEnd_ = copyEnd_;
}

void TOutputTrack::FillTo(double seconds) {
    if (copy_ && !segmentEncoder_.empty() && Kind == AVMEDIA_TYPE_VIDEO) {
        // A clip without pictures in a copied stream: black ones, encoded.
        const int64_t endUs = std::llround(seconds * 1000000.0);
        if (endUs <= copyEndUs_) return;
        const TSegmentEncoder::TTake take = [this](AVPacket* p, AVRational tb) { PlaceCopy(p, tb); };
        Segment(copyEndUs_).FillTo(endUs, take);
        FinishSegment();
        return;
    }
    if (copy_ || !encoder_) return;
    if (Kind == AVMEDIA_TYPE_AUDIO) {
        // A second at a time, so that a long fill does not hold up a stop.
        const int64_t rate = encoder_->sample_rate, target = std::llround(seconds * static_cast<double>(rate));
        for (int64_t at = audio_.Queued(); at < target && !run_->Host.StopRequested();) {
            at = std::min(at + rate, target);
            audio_.PadTo(at, run_->Options.Verbosity, run_->LogSender);
        }
    }
    if (Kind == AVMEDIA_TYPE_VIDEO) FillPictures(seconds);
}

void TOutputTrack::FillPictures(double seconds) {
    // The input's last picture is let go once the joint is filled.
    const TFrameUnref done(lastPicture_.get());
    AVCodecContext* enc = encoder_.get();
    const int64_t target = std::llround(seconds / av_q2d(enc->time_base));
    const int64_t limit = run_->Options.MaxFrames[AVMEDIA_TYPE_VIDEO];
    if (nextPts_ < target && frameNumber_ < limit) {
        // The input's last picture stands until the joint; an input without
        // pictures is black for its length.
        const bool last = lastPicture_ && lastPicture_->buf[0];
        AVFrame* pic = last ? scaler_.Scale(lastPicture_.get(), enc, run_->Options.SwsFlags, 0, 0, run_->LogSender)
                            : scaler_.Black(enc);
        WritePictures(pic, std::min(target - nextPts_, limit - frameNumber_));
    }
}

// ---------------------------------------------------------------------------
// Subtitles and stream copy

void TOutputTrack::WriteSubtitle(AVSubtitle& sub) {
    if (sub.pts == AV_NOPTS_VALUE) Raise("Subtitle packets must have a pts");
    const int n = FF.avcodec_encode_subtitle(encoder_.get(), subtitleBuffer_.data(),
                                             static_cast<int>(subtitleBuffer_.size()), &sub);
    if (n < 0) Raise("Subtitle encoding failed", n, "avcodec_encode_subtitle");
    AVPacket* p = packet_.get();
    const TPacketUnref written(p);
    const int r = FF.av_new_packet(p, n);
    if (r < 0) Raise("Subtitle encoding failed", r, "av_new_packet");
    std::memcpy(p->data, subtitleBuffer_.data(), static_cast<size_t>(n));
    const int64_t startUs = sub.pts - run_->Options.StartTime + static_cast<int64_t>(sub.start_display_time) * 1000;
    p->pts = p->dts = FF.av_rescale_q(startUs, MicrosecondBase, Stream->time_base);
    p->duration = FF.av_rescale_q(static_cast<int64_t>(sub.end_display_time) - sub.start_display_time,
                                  AVRational{1, 1000}, Stream->time_base);
    p->stream_index = Index();
    ++frameNumber_;
    Mux(p);
}

int64_t TOutputTrack::WriteCopy(const AVPacket* pkt, AVRational tb, TInBandSets* inBand) {
    const TOptionState& o = run_->Options;
    if (!wroteKeyFrame_ && !(pkt->flags & AV_PKT_FLAG_KEY) && !o.CopyInitialNonKeyframes) return AV_NOPTS_VALUE;
    if (o.StartTime > 0 && pkt->pts != AV_NOPTS_VALUE && ToMicroseconds(pkt->pts, tb) < o.StartTime)
        return AV_NOPTS_VALUE;
    AVPacket* out = packet_.get();
    const TPacketUnref written(out);
    if (inBand) {
        if (!inBand->Rewrite(pkt, out)) {
            FFLogger().LogFmt(run_->LogSender, llWarning, "A packet of output stream #%d could not be read as NAL units",
                              Index());
            return AV_NOPTS_VALUE;
        }
    } else if (FF.av_packet_ref(out, pkt) < 0) {
        Raise("Out of memory", AVERROR(ENOMEM));
    }
    const int64_t start = FF.av_rescale_q(o.StartTime, MicrosecondBase, tb);
    if (out->pts != AV_NOPTS_VALUE) out->pts -= start;
    if (out->dts != AV_NOPTS_VALUE)
        out->dts -= start;
    else
        out->dts = out->pts;
    return PlaceCopy(out, tb);
}

int64_t TOutputTrack::EncodeSegment(AVFrame* frame, int64_t ptsUs, int file, int index) {
    const int64_t atUs = ptsUs - run_->Options.StartTime;
    const int64_t before = copyEndUs_;
    const TSegmentEncoder::TTake take = [this](AVPacket* p, AVRational tb) { PlaceCopy(p, tb); };
    Segment(copyEndUs_).Encode(frame, atUs, file, index, take);
    return before;
}

TSegmentEncoder& TOutputTrack::Segment(int64_t startUs) {
    if (!segment_) {
        TSegmentTarget target;
        target.Stream = Stream->codecpar;
        target.FrameRate = Stream->avg_frame_rate.num > 0 ? Stream->avg_frame_rate : Stream->r_frame_rate;
        target.SampleAspect = Stream->sample_aspect_ratio.num > 0 ? Stream->sample_aspect_ratio
                                                                   : Stream->codecpar->sample_aspect_ratio;
        target.Shown = StreamOrientation(Stream);
        target.Encoder = segmentEncoder_;
        target.SwsFlags = run_->Options.SwsFlags;
        segment_ = std::make_unique<TSegmentEncoder>(target, startUs, run_->LogSender);
    }
    return *segment_;
}

void TOutputTrack::FinishSegment() {
    if (!segment_) return;
    segment_->Finish([this](AVPacket* p, AVRational tb) { PlaceCopy(p, tb); });
    segment_.reset();
}

int64_t TOutputTrack::PlaceCopy(AVPacket* out, AVRational tb) {
    FF.av_packet_rescale_ts(out, tb, Stream->time_base);
    const TCopyPlace place = PlaceCopiedPacket(out->dts, out->pts, out->duration, copyLastDts_, copyJointEnd_,
                                               Kind == AVMEDIA_TYPE_AUDIO);
    if (place.Drop) return AV_NOPTS_VALUE;
    out->dts = place.Dts;
    out->pts = place.Pts;
    wroteKeyFrame_ = true;
    out->stream_index = Index();
    copyLastDts_ = out->dts;
    // Where the stream's pictures or sound end: the latest presentation end.
    // A part's last picture often has its duration cut to the part's length;
    // it is shown for a whole frame all the same.
    const int64_t shown = out->pts != AV_NOPTS_VALUE ? out->pts : out->dts;
    int64_t shownFor = std::max<int64_t>(out->duration, 0);
    const AVRational rate = Stream->avg_frame_rate;
    if (Kind == AVMEDIA_TYPE_VIDEO && rate.num > 0 && rate.den > 0)
        shownFor = std::max(shownFor, FF.av_rescale_q(1, AVRational{rate.den, rate.num}, Stream->time_base));
    if (shown != AV_NOPTS_VALUE) copyEnd_ = std::max(copyEnd_, shown + shownFor);
    copyEndUs_ = ToMicroseconds(copyEnd_, Stream->time_base);
    ++frameNumber_;
    const int64_t shownUs = shown != AV_NOPTS_VALUE ? ToMicroseconds(shown, Stream->time_base) : AV_NOPTS_VALUE;
    Mux(out);
    return shownUs;
}

// ---------------------------------------------------------------------------
// Encoding and muxing

void TOutputTrack::EncodeFrame(AVFrame* frame) {
    const char* failure = Kind == AVMEDIA_TYPE_VIDEO ? "Video encoding failed" : "Audio encoding failed";
    int r = FF.avcodec_send_frame(encoder_.get(), frame);
    if (r < 0 && r != AVERROR_EOF) Raise(failure, r, "avcodec_send_frame");
    AVPacket* pkt = packet_.get();
    for (;;) {
        r = FF.avcodec_receive_packet(encoder_.get(), pkt);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
        if (r < 0) Raise(failure, r, "avcodec_receive_packet");
        const TPacketUnref written(pkt);
        size_t sideSize = 0;
        if (const uint8_t* q = FF.av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &sideSize); q && sideSize >= 4) {
            int32_t lambda = 0;
            std::memcpy(&lambda, q, 4);
            std::lock_guard lock(run_->Mux.Mutex);
            quality_ = static_cast<float>(lambda) / FF_QP2LAMBDA;
        }
        if (passLog_ && encoder_->stats_out) std::fputs(encoder_->stats_out, passLog_.get());
        WritePacket(pkt);
    }
}

void TOutputTrack::WritePacket(AVPacket* pkt) {
    if (pkt->duration == 0 && Kind == AVMEDIA_TYPE_VIDEO) pkt->duration = 1;
    FF.av_packet_rescale_ts(pkt, encoder_->time_base, Stream->time_base);
    pkt->stream_index = Index();
    TMuxStats& stats = run_->Mux;
    if (stats.Vstats && Kind == AVMEDIA_TYPE_VIDEO) {
        std::lock_guard lock(stats.Mutex);
        const double time = pkt->pts == AV_NOPTS_VALUE ? 0.0 : pkt->pts * av_q2d(Stream->time_base);
        const double bitrate = time > 0 ? bytes_ * 8.0 / time / 1000.0 : 0;
        std::fprintf(stats.Vstats.get(),
                     "frame= %5d q= %2.1f f_size= %6d s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= "
                     "%7.1fkbits/s type= %c\n",
                     static_cast<int>(frameNumber_), quality_, pkt->size, bytes_ / 1024.0, time,
                     time > 0 ? pkt->size * 8.0 / 1000.0 * av_q2d(encoder_->framerate) : 0.0, bitrate,
                     (pkt->flags & AV_PKT_FLAG_KEY) ? 'I' : 'P');
    }
    Mux(pkt);
}

void TOutputTrack::Mux(AVPacket* pkt, size_t filterIndex) {
    TMuxStats& stats = run_->Mux;
    if (filterIndex < bsfs_.size()) {
        AVBSFContext* bsf = bsfs_[filterIndex].get();
        // The filter takes the packet's data over; a refused packet is dropped.
        const TPacketUnref refused(pkt);
        if (FF.av_bsf_send_packet(bsf, pkt) < 0) {
            FFLogger().LogFmt(run_->LogSender, llError, "%s failed for stream %d, codec %s", bsf->filter->name,
                              Index(), FF.avcodec_get_name(Stream->codecpar->codec_id));
            return;
        }
        const TPacketPtr filtered = NewPacket();
        if (!filtered) Raise("Out of memory", AVERROR(ENOMEM));
        while (FF.av_bsf_receive_packet(bsf, filtered.get()) >= 0) Mux(filtered.get(), filterIndex + 1);
        return;
    }
    std::lock_guard lock(stats.Mutex);
    if (Kind == AVMEDIA_TYPE_VIDEO)
        stats.VideoBytes += pkt->size;
    else if (Kind == AVMEDIA_TYPE_AUDIO)
        stats.AudioBytes += pkt->size;
    bytes_ += pkt->size;
    // The muxer takes the packet's data over.
    const int r = FF.av_interleaved_write_frame(File.Context.get(), pkt);
    if (r < 0) Raise(ErrorText("av_interleaved_write_frame()", r), r, File.FileName);
}

// ---------------------------------------------------------------------------
// The end

void TOutputTrack::Flush() {
    if (copy_) FinishSegment();
    if (copy_ || !encoder_ || !FF.avcodec_is_open(encoder_.get())) return;
    if (Kind == AVMEDIA_TYPE_AUDIO) {
        audio_.Flush();
        audio_.EncodeQueued(true);
    }
    if (Kind == AVMEDIA_TYPE_SUBTITLE) return;
    if (pipe_)
        pipe_->Finish();  // the queued pictures, then the drain
    else
        EncodeFrame(nullptr);
}

void TOutputTrack::CloseCodec() {
    segment_.reset();
    pipe_.reset();  // its thread uses the encoder
    encoder_.reset();
}

double TOutputTrack::Time() const {
    if (copy_) return copyEndUs_ / 1000000.0;
    if (!encoder_) return 0;
    if (Kind == AVMEDIA_TYPE_AUDIO)
        return encoder_->sample_rate > 0 ? double(audio_.Queued()) / encoder_->sample_rate : 0;
    return nextPts_ * av_q2d(encoder_->time_base);
}
