// What the run does with each packet: decoding, the video and audio
// conversions with the sync rules, encoding, stream copy and muxing.
#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_task_tables.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <thread>

namespace {
[[noreturn]] void Raise(const std::string& message) { throw FFmpegException(message); }

constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

int64_t ToMicroseconds(int64_t value, AVRational tb) { return FF.av_rescale_q(value, tb, MicrosecondBase); }

// A layout swresample accepts: unknown orders become the default for the count.
void UsableLayout(const AVChannelLayout& in, TChannelLayout& out) {
    if (in.order == AV_CHANNEL_ORDER_UNSPEC || FF.av_channel_layout_check(&in) == 0)
        out.AssignDefault(in.nb_channels > 0 ? in.nb_channels : 2);
    else
        out.Assign(in);
}

template <typename T>
T Clip(int64_t v, int64_t lo, int64_t hi) {
    return static_cast<T>(v < lo ? lo : v > hi ? hi : v);
}
}  // namespace

// ---------------------------------------------------------------------------
// Decoding

int TCustomFFmpeg::ProcessPacket(InputStream& ist, AVPacket* pkt) {
    RunState& run = *run_;
    const AVRational tb = ist.st->time_base;
    if (ist.nextPts == AV_NOPTS_VALUE) {
        // A stream without timestamps (raw H.264, for one) counts from where
        // its input begins in the output, not from the output's start.
        if (ist.framesDecoded == 0) ist.pts = inputs_[static_cast<size_t>(ist.file)].joinStart;
        ist.nextPts = ist.pts;
    }

    if (!ist.decodingNeeded || !ist.dec) {
        // Stream copy: the packet goes on as it is.
        if (!pkt) return 0;
        if (pkt->dts != AV_NOPTS_VALUE) ist.pts = ToMicroseconds(pkt->dts, tb);
        for (Slot& slot : slots_)
            for (OutputStream& os : slot.streams)
                if (os.source == &ist && os.active && os.track->copy) CopyPacket(os, ist, pkt);
        if (pkt->duration > 0) ist.nextPts = ist.pts + ToMicroseconds(pkt->duration, tb);
        return 0;
    }

    if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        if (!pkt) return 0;
        TSubtitle sub;
        int got = 0;
        const int r = FF.avcodec_decode_subtitle2(ist.dec.get(), &sub.Get(), &got, pkt);
        if (r < 0) return r;
        if (got)
            for (Slot& slot : slots_)
                for (OutputStream& os : slot.streams)
                    if (os.source == &ist && os.active && !os.track->copy) SubtitleOut(os, ist, sub.Get());
        return 0;
    }

    int error = 0;
    bool sent = false;
    while (!sent) {
        int r = FF.avcodec_send_packet(ist.dec.get(), pkt);
        if (r == AVERROR(EAGAIN)) {
            r = 0;  // take the waiting frames first, then send again
        } else {
            sent = true;
            if (r < 0 && r != AVERROR_EOF) error = r;  // damaged data: skip the packet
        }
        for (;;) {
            const int got = FF.avcodec_receive_frame(ist.dec.get(), run.frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
            if (got < 0) {
                error = got;
                sent = true;
                break;
            }
            const TFrameUnref received(run.frame.get());
            HandleFrame(ist, run.frame.get());
        }
    }
    return error;
}

void TCustomFFmpeg::HandleFrame(InputStream& ist, AVFrame* frame) {
    const TOptionState& o = options_;
    RunState& run = *run_;
    const AVRational tb = ist.st->time_base;
    const AVMediaType kind = ist.st->codecpar->codec_type;
    const int64_t ts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (ts != AV_NOPTS_VALUE)
        ist.pts = ToMicroseconds(ts, tb);
    else if (ist.nextPts != AV_NOPTS_VALUE)
        ist.pts = ist.nextPts;
    int64_t duration = 0;
    if (kind == AVMEDIA_TYPE_VIDEO) {
        if (frame->pkt_duration > 0) {
            duration = ToMicroseconds(frame->pkt_duration, tb);
        } else {
            const AVRational rate = ist.st->avg_frame_rate.num > 0 ? ist.st->avg_frame_rate : ist.st->r_frame_rate;
            if (rate.num > 0 && rate.den > 0)
                duration = static_cast<int64_t>(1000000.0 * rate.den / rate.num * (1 + frame->repeat_pict / 2.0));
        }
    } else if (frame->sample_rate > 0) {
        duration = static_cast<int64_t>(frame->nb_samples) * 1000000 / frame->sample_rate;
    }
    ist.nextPts = ist.pts + duration;
    ++ist.framesDecoded;

    if (kind == AVMEDIA_TYPE_AUDIO && AudioHookCallback) {
        const int bytes = FF.av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame->format));
        const int planar = FF.av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
        const int size = frame->nb_samples * bytes * (planar ? 1 : frame->ch_layout.nb_channels);
        AudioHookCallback(this, ist.pts, frame->extended_data[0], size, frame->sample_rate,
                          frame->ch_layout.nb_channels, frame->format);
    }
    if (o.RateEmulation) {
        const int64_t ahead = (ist.pts - o.StartTime) - (FF.av_gettime_relative() - run.startTime);
        if (ahead > 1000) std::this_thread::sleep_for(std::chrono::microseconds(ahead));
    }
    if (kind == AVMEDIA_TYPE_VIDEO && run.videoInputHook && VideoInputHookCallback) {
        bool update = true, stopHook = false;
        if (hookConverter_.PictureToBitmap(frame, run.hookBitmap)) {
            try {
                VideoInputHookCallback(this, &run.hookBitmap, static_cast<int>(ist.framesDecoded), ist.pts, update,
                                       stopHook);
            } catch (const std::exception& e) {
                Log(llError, std::string("Error occurs VideoHook event: ") + e.what());
                update = false;
            }
            if (update && FF.av_frame_make_writable(frame) >= 0) hookConverter_.BitmapToPicture(run.hookBitmap, frame);
        }
        if (stopHook) run.videoInputHook = false;
    }

    for (Slot& slot : slots_)
        for (OutputStream& os : slot.streams) {
            if (os.source != &ist || !os.active || os.track->copy) continue;
            if (ist.pts < o.StartTime) continue;  // before the output's start
            if (kind == AVMEDIA_TYPE_VIDEO)
                VideoOut(os, ist, frame, ist.pts);
            else if (kind == AVMEDIA_TYPE_AUDIO)
                AudioOut(os, ist, frame);
        }
}

// ---------------------------------------------------------------------------
// Video

void TCustomFFmpeg::VideoOut(OutputStream& os, InputStream& ist, AVFrame* frame, int64_t ptsUs) {
    OutputTrack& t = *os.track;
    if (t.filters.empty()) {
        EncodeVideoFrame(os, ist, frame, ptsUs);
        return;
    }
    if (!t.graph || frame->width != t.graphW || frame->height != t.graphH || frame->format != t.graphFmt) {
        t.graph.reset(FF.avfilter_graph_alloc());
        if (!t.graph) Raise("Error opening filters!");
        const AVRational sar = frame->sample_aspect_ratio.num > 0 ? frame->sample_aspect_ratio : AVRational{1, 1};
        const std::string args = FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", frame->width,
                                            frame->height, frame->format, AV_TIME_BASE, sar.num, sar.den);
        int r = FF.avfilter_graph_create_filter(&t.graphSource, FF.avfilter_get_by_name("buffer"), "in", args.c_str(),
                                                nullptr, t.graph.get());
        if (r >= 0)
            r = FF.avfilter_graph_create_filter(&t.graphSink, FF.avfilter_get_by_name("buffersink"), "out", nullptr,
                                                nullptr, t.graph.get());
        if (r >= 0) {
            TFilterInOutPtr outputs(FF.avfilter_inout_alloc());
            TFilterInOutPtr inputs(FF.avfilter_inout_alloc());
            if (!outputs || !inputs) {
                r = AVERROR(ENOMEM);
            } else {
                // The in/out entries take their names over.
                outputs->name = FF.av_strdup("in");
                outputs->filter_ctx = t.graphSource;
                inputs->name = FF.av_strdup("out");
                inputs->filter_ctx = t.graphSink;
                // The parser replaces the lists by what it left open.
                AVFilterInOut* in = inputs.release();
                AVFilterInOut* out = outputs.release();
                r = FF.avfilter_graph_parse_ptr(t.graph.get(), t.filters.c_str(), &in, &out, nullptr);
                inputs.reset(in);
                outputs.reset(out);
            }
            if (r >= 0) r = FF.avfilter_graph_config(t.graph.get(), nullptr);
        }
        if (r < 0) {
            t.graph.reset();
            Raise("Error opening filters: " + ::ErrorMessage(r));
        }
        t.graphW = frame->width;
        t.graphH = frame->height;
        t.graphFmt = frame->format;
    }
    frame->pts = ptsUs;
    if (FF.av_buffersrc_add_frame_flags(t.graphSource, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
        Raise("Error opening filters!");
    AVFrame* filtered = run_->filtered.get();
    const AVRational sinkBase = FF.av_buffersink_get_time_base(t.graphSink);
    while (FF.av_buffersink_get_frame(t.graphSink, filtered) >= 0) {
        const TFrameUnref done(filtered);
        const int64_t pts = filtered->pts == AV_NOPTS_VALUE ? ptsUs : ToMicroseconds(filtered->pts, sinkBase);
        EncodeVideoFrame(os, ist, filtered, pts);
    }
}

void TCustomFFmpeg::EncodeVideoFrame(OutputStream& os, InputStream& ist, AVFrame* picture, int64_t ptsUs) {
    const TOptionState& o = options_;
    RunState& run = *run_;
    OutputTrack& t = *os.track;
    AVCodecContext* enc = t.enc.get();

    // Where the frame belongs in the output, in frames.
    const double syncIpts = (ptsUs - o.StartTime) / 1000000.0 / av_q2d(enc->time_base);
    int64_t nbFrames = 1;
    if (o.VideoSync != 0) {
        const double vdelta = syncIpts - static_cast<double>(t.nextPts);
        const bool variable = (t.file->ctx->oformat->flags & AVFMT_VARIABLE_FPS) != 0;
        if (vdelta < -1.1) {
            nbFrames = 0;
        } else if (o.VideoSync == 2 || (o.VideoSync < 0 && variable)) {
            if (vdelta <= -0.6)
                nbFrames = 0;
            else if (vdelta > 0.6)
                t.nextPts = std::llrint(syncIpts);
        } else if (vdelta > 1.1) {
            nbFrames = std::llrint(vdelta);
        }
        if (nbFrames == 0) {
            ++run.dropFrames;
            if (o.Verbosity > 2) Log(llVerbose, "*** drop!");
        } else if (nbFrames > 1) {
            run.dupFrames += static_cast<int>(nbFrames - 1);
            if (o.Verbosity > 2) LogFmt(llVerbose, "*** %d dup!", static_cast<int>(nbFrames - 1));
        }
    } else {
        t.nextPts = std::llrint(syncIpts);
    }
    nbFrames = std::min<int64_t>(nbFrames, o.MaxFrames[AVMEDIA_TYPE_VIDEO] - t.frameNumber);
    if (nbFrames <= 0) return;

    // Pictures of another size or format than the encoder's go through the
    // scaler; a change between inputs of a join rebuilds it.
    if (t.swsFmt != -1 && (picture->width != t.swsW || picture->height != t.swsH || picture->format != t.swsFmt)) {
        const char* name = FF.av_get_pix_fmt_name(static_cast<AVPixelFormat>(picture->format));
        LogFmt(llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s", ist.file, ist.index, picture->width,
               picture->height, name ? name : "none");
    }
    t.swsW = picture->width;
    t.swsH = picture->height;
    t.swsFmt = picture->format;
    AVFrame* pic = picture;
    if (picture->width != enc->width || picture->height != enc->height || picture->format != enc->pix_fmt) {
        // The cache call takes the old context over: it reuses or frees it.
        t.sws.reset(FF.sws_getCachedContext(t.sws.release(), picture->width, picture->height,
                                            static_cast<AVPixelFormat>(picture->format), enc->width, enc->height,
                                            enc->pix_fmt, o.SwsFlags, nullptr, nullptr, nullptr));
        if (!t.sws) Raise("Cannot get resampling context");
        // The encoder may still hold the previous picture.
        if (FF.av_frame_make_writable(t.scaled.get()) < 0) Raise("Cannot allocate temp picture, check pix fmt");
        FF.sws_scale(t.sws.get(), picture->data, picture->linesize, 0, picture->height, t.scaled->data,
                     t.scaled->linesize);
        t.scaled->sample_aspect_ratio = enc->sample_aspect_ratio;
        pic = t.scaled.get();
    }

    if (run.videoOutputHook && VideoOutputHookCallback) {
        bool update = true, stopHook = false;
        if (hookConverter_.PictureToBitmap(pic, run.hookBitmap)) {
            VideoOutputHookCallback(this, &run.hookBitmap, static_cast<int>(t.frameNumber + 1), ptsUs, update, stopHook);
            if (update && FF.av_frame_make_writable(pic) >= 0) hookConverter_.BitmapToPicture(run.hookBitmap, pic);
        }
        if (stopHook) run.videoOutputHook = false;
    }
    if ((PreviewFlags() & 2) && PreviewBitmapCallback) {
        const int64_t now = FF.av_gettime_relative();
        if (now - run.lastPreviewTime >= PreviewInterval) {
            run.lastPreviewTime = now;
            if (previewConverter_.PictureToBitmap(pic, run.previewBitmap))
                PreviewBitmapCallback(this, &run.previewBitmap, static_cast<int>(t.frameNumber + 1), ptsUs);
        }
    }

    for (int64_t i = 0; i < nbFrames; ++i) {
        if (i > 0 && stopRequested_) break;
        pic->pts = t.nextPts;
        // The input's picture types mean nothing to the encoder; key frames
        // are asked for at joints and at the forced times only.
        pic->pict_type = AV_PICTURE_TYPE_NONE;
        const int64_t outUs = FF.av_rescale_q(t.nextPts, enc->time_base, MicrosecondBase);
        if (t.nextForcedKey < t.forcedKeyTimes.size() && outUs >= t.forcedKeyTimes[t.nextForcedKey]) {
            pic->pict_type = AV_PICTURE_TYPE_I;
            while (t.nextForcedKey < t.forcedKeyTimes.size() && outUs >= t.forcedKeyTimes[t.nextForcedKey])
                ++t.nextForcedKey;
        }
        if (t.forceKeyFrame) {
            pic->pict_type = AV_PICTURE_TYPE_I;
            t.forceKeyFrame = false;
        }
        if (t.pipe)
            t.pipe->Push(pic);
        else
            EncodeFrame(t, pic);
        ++t.nextPts;
        ++t.frameNumber;
    }
}

// ---------------------------------------------------------------------------
// Audio

bool TCustomFFmpeg::EnsureConversionBuffer(OutputTrack& t, int samples) {
    return t.convBuffer.Reserve(t.enc->ch_layout.nb_channels, samples, t.enc->sample_fmt);
}

void TCustomFFmpeg::ApplyVolume(OutputTrack& t, uint8_t* const* data, int count) {
    const AVSampleFormat fmt = t.enc->sample_fmt;
    const int planar = FF.av_sample_fmt_is_planar(fmt);
    const int channels = t.enc->ch_layout.nb_channels;
    const int planes = planar ? channels : 1;
    const int perPlane = planar ? count : count * channels;
    const int64_t vol = t.volume;
    for (int p = 0; p < planes; ++p) {
        switch (FF.av_get_packed_sample_fmt(fmt)) {
            case AV_SAMPLE_FMT_U8: {
                uint8_t* s = data[p];
                for (int i = 0; i < perPlane; ++i) s[i] = Clip<uint8_t>((((s[i] - 128) * vol + 128) >> 8) + 128, 0, 255);
                break;
            }
            case AV_SAMPLE_FMT_S16: {
                auto* s = reinterpret_cast<int16_t*>(data[p]);
                for (int i = 0; i < perPlane; ++i) s[i] = Clip<int16_t>((s[i] * vol + 128) >> 8, -32768, 32767);
                break;
            }
            case AV_SAMPLE_FMT_S32: {
                auto* s = reinterpret_cast<int32_t*>(data[p]);
                for (int i = 0; i < perPlane; ++i) s[i] = Clip<int32_t>((s[i] * vol + 128) >> 8, INT32_MIN, INT32_MAX);
                break;
            }
            case AV_SAMPLE_FMT_FLT: {
                auto* s = reinterpret_cast<float*>(data[p]);
                for (int i = 0; i < perPlane; ++i) s[i] = s[i] * static_cast<float>(vol) / 256.0f;
                break;
            }
            case AV_SAMPLE_FMT_DBL: {
                auto* s = reinterpret_cast<double*>(data[p]);
                for (int i = 0; i < perPlane; ++i) s[i] = s[i] * static_cast<double>(vol) / 256.0;
                break;
            }
            default: break;
        }
    }
}

void TCustomFFmpeg::EncodeQueuedAudio(OutputTrack& t, bool flush) {
    AVCodecContext* enc = t.enc.get();
    const bool variable = (enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || enc->frame_size <= 0;
    const int frameSize = variable ? 1024 : enc->frame_size;
    AVAudioFifo* fifo = t.fifo.get();
    while (FF.av_audio_fifo_size(fifo) >= frameSize || (flush && FF.av_audio_fifo_size(fifo) > 0)) {
        const int n = std::min(FF.av_audio_fifo_size(fifo), frameSize);
        AVFrame* af = t.audioFrame.get();
        const TFrameUnref sent(af);
        af->nb_samples = n;
        af->format = enc->sample_fmt;
        af->sample_rate = enc->sample_rate;
        FF.av_channel_layout_copy(&af->ch_layout, &enc->ch_layout);
        if (FF.av_frame_get_buffer(af, 0) < 0) Raise("Out of memory in do_audio_out");
        if (FF.av_audio_fifo_read(fifo, reinterpret_cast<void**>(af->data), n) < n) Raise("Audio encoding failed");
        af->pts = t.nextPts;
        t.nextPts += n;
        EncodeFrame(t, af);
        ++t.frameNumber;
    }
}

void TCustomFFmpeg::FeedAudio(OutputTrack& t, uint8_t* const* data, int offset, int count) {
    if (count <= 0) return;
    const AVSampleFormat fmt = t.enc->sample_fmt;
    const int channels = t.enc->ch_layout.nb_channels;
    const int bytes = FF.av_get_bytes_per_sample(fmt);
    const bool planar = FF.av_sample_fmt_is_planar(fmt) != 0;
    std::vector<void*> planes(static_cast<size_t>(planar ? channels : 1));
    for (size_t p = 0; p < planes.size(); ++p)
        planes[p] = data[p] + static_cast<ptrdiff_t>(offset) * bytes * (planar ? 1 : channels);
    if (FF.av_audio_fifo_write(t.fifo.get(), planes.data(), count) < count) Raise("av_fifo_realloc2() failed");
    t.samplesQueued += count;
    EncodeQueuedAudio(t, false);
}

void TCustomFFmpeg::PadAudio(OutputTrack& t, int64_t targetSamples) {
    int64_t missing = targetSamples - t.samplesQueued;
    if (missing <= 0) return;
    if (options_.Verbosity > 2) LogFmt(llVerbose, "adding %d audio samples of silence", static_cast<int>(missing));
    const int chunk = 4096;
    if (!EnsureConversionBuffer(t, chunk)) Raise("Out of memory in do_audio_out");
    FF.av_samples_set_silence(t.convBuffer.Planes(), 0, chunk, t.enc->ch_layout.nb_channels, t.enc->sample_fmt);
    while (missing > 0) {
        const int n = static_cast<int>(std::min<int64_t>(missing, chunk));
        FeedAudio(t, t.convBuffer.Planes(), 0, n);
        missing -= n;
    }
}

void TCustomFFmpeg::FlushAudioResampler(OutputTrack& t) {
    if (!t.swr) {
        t.swrKnown = false;
        return;
    }
    for (;;) {
        const int room = 4096;
        if (!EnsureConversionBuffer(t, room)) Raise("Out of memory in do_audio_out");
        const int n = FF.swr_convert(t.swr.get(), t.convBuffer.Planes(), room, nullptr, 0);
        if (n <= 0) break;
        if (t.volume != 256) ApplyVolume(t, t.convBuffer.Planes(), n);
        FeedAudio(t, t.convBuffer.Planes(), 0, n);
    }
    t.swr.reset();
    t.swrKnown = false;
}

void TCustomFFmpeg::AudioOut(OutputStream& os, InputStream& ist, AVFrame* frame) {
    const TOptionState& o = options_;
    OutputTrack& t = *os.track;
    AVCodecContext* enc = t.enc.get();
    TChannelLayout usable;
    UsableLayout(frame->ch_layout, usable);
    const AVChannelLayout& layout = usable.Get();

    // A change of the input's format mid-stream (or between the inputs of a
    // join) gets a new resampler.
    if (t.swrKnown && (t.swrRate != frame->sample_rate || t.swrFmt != frame->format ||
                       FF.av_channel_layout_compare(&t.swrLayout.Get(), &layout) != 0)) {
        const char* oldFmt = FF.av_get_sample_fmt_name(static_cast<AVSampleFormat>(t.swrFmt));
        const char* newFmt = FF.av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format));
        LogFmt(llInfo, "Input stream #%d.%d frame changed from rate:%d fmt:%s ch:%d to rate:%d fmt:%s ch:%d", ist.file,
               ist.index, t.swrRate, oldFmt ? oldFmt : "none", t.swrLayout.Get().nb_channels, frame->sample_rate,
               newFmt ? newFmt : "none", layout.nb_channels);
        FlushAudioResampler(t);
    }
    if (!t.swrKnown) {
        t.swrRate = frame->sample_rate;
        t.swrFmt = frame->format;
        t.swrLayout.Assign(layout);
        t.swrKnown = true;
        const bool same = frame->format == enc->sample_fmt && frame->sample_rate == enc->sample_rate &&
                          FF.av_channel_layout_compare(&layout, &enc->ch_layout) == 0;
        if (!same || o.AudioSync > 1) {
            SwrContext* made = nullptr;
            // The layouts are only read (this library generation declares them writable).
            const int r = FF.swr_alloc_set_opts2(&made, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                                                 const_cast<AVChannelLayout*>(&layout),
                                                 static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                                 nullptr);
            t.swr.reset(made);
            if (r < 0 || FF.swr_init(t.swr.get()) < 0) {
                t.swr.reset();
                Raise(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                 t.swrLayout.Get().nb_channels, t.swrRate, enc->ch_layout.nb_channels,
                                 enc->sample_rate));
            }
        }
    }

    // Where this frame belongs on the output's timeline, in samples.
    const int64_t rate = enc->sample_rate;
    const int64_t delay = t.swr ? FF.swr_get_delay(t.swr.get(), rate) : 0;
    const int64_t have = t.samplesQueued + delay;
    int64_t skip = 0;
    if (!os.started) {
        // The first audio of an input starts with its own picture: silence
        // fills a late start, an early one loses what comes before.
        os.started = true;
        const int64_t expected = std::llround((ist.pts - o.StartTime) * static_cast<double>(rate) / 1000000.0);
        const int64_t tolerance = rate / 200;
        if (expected - have > tolerance) {
            PadAudio(t, expected - delay);
        } else if (have - expected > tolerance) {
            skip = have - expected;
            if (o.Verbosity > 2) LogFmt(llVerbose, "discarding %d audio samples", static_cast<int>(skip));
        }
    } else if (o.AudioSync > 1 && t.swr) {
        const int64_t expected = std::llround((ist.pts - o.StartTime) * static_cast<double>(rate) / 1000000.0);
        const double drift = static_cast<double>(expected - have);
        if (std::fabs(drift) > o.AudioDriftThreshold * rate) {
            const int comp = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(drift), -o.AudioSync, o.AudioSync));
            if (o.Verbosity > 2)
                LogFmt(llVerbose, "compensating audio timestamp drift:%f compensation:%d in:%d", drift / rate, comp,
                       frame->nb_samples);
            FF.swr_set_compensation(t.swr.get(), comp, static_cast<int>(rate));
        }
    }

    uint8_t* const* data = frame->extended_data;
    int count = frame->nb_samples;
    if (t.swr) {
        const int room = FF.swr_get_out_samples(t.swr.get(), frame->nb_samples) + 32;
        if (!EnsureConversionBuffer(t, room)) Raise("Out of memory in do_audio_out");
        count = FF.swr_convert(t.swr.get(), t.convBuffer.Planes(), room,
                               const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        if (count < 0) Raise("av_audio_convert() failed");
        data = t.convBuffer.Planes();
    } else if (t.volume != 256) {
        if (FF.av_frame_make_writable(frame) < 0) Raise("Out of memory in do_audio_out");
        data = frame->extended_data;
    }
    if (t.volume != 256) ApplyVolume(t, data, count);
    const int drop = static_cast<int>(std::min<int64_t>(skip, count));
    FeedAudio(t, data, drop, count - drop);
}

// ---------------------------------------------------------------------------
// Subtitles and stream copy

void TCustomFFmpeg::SubtitleOut(OutputStream& os, InputStream& /*ist*/, AVSubtitle& sub) {
    OutputTrack& t = *os.track;
    if (sub.pts == AV_NOPTS_VALUE) Raise("Subtitle packets must have a pts");
    const int n = FF.avcodec_encode_subtitle(t.enc.get(), t.subtitleBuffer.data(),
                                             static_cast<int>(t.subtitleBuffer.size()), &sub);
    if (n < 0) Raise("Subtitle encoding failed");
    AVPacket* p = run_->outPacket.get();
    const TPacketUnref written(p);
    if (FF.av_new_packet(p, n) < 0) Raise("Subtitle encoding failed");
    std::memcpy(p->data, t.subtitleBuffer.data(), static_cast<size_t>(n));
    const int64_t startUs = sub.pts - options_.StartTime + static_cast<int64_t>(sub.start_display_time) * 1000;
    p->pts = p->dts = FF.av_rescale_q(startUs, MicrosecondBase, t.st->time_base);
    p->duration = FF.av_rescale_q(static_cast<int64_t>(sub.end_display_time) - sub.start_display_time, AVRational{1, 1000},
                                  t.st->time_base);
    p->stream_index = t.index;
    ++t.frameNumber;
    MuxPacket(t, p);
}

void TCustomFFmpeg::CopyPacket(OutputStream& os, InputStream& ist, const AVPacket* pkt) {
    const TOptionState& o = options_;
    OutputTrack& t = *os.track;
    if (!t.wroteKeyFrame && !(pkt->flags & AV_PKT_FLAG_KEY) && !o.CopyInitialNonKeyframes) return;
    const AVRational tb = ist.st->time_base;
    if (o.StartTime > 0 && pkt->pts != AV_NOPTS_VALUE && ToMicroseconds(pkt->pts, tb) < o.StartTime) return;
    t.wroteKeyFrame = true;
    AVPacket* out = run_->outPacket.get();
    const TPacketUnref written(out);
    if (FF.av_packet_ref(out, pkt) < 0) Raise("Out of memory");
    const int64_t start = FF.av_rescale_q(o.StartTime, MicrosecondBase, tb);
    if (out->pts != AV_NOPTS_VALUE) out->pts -= start;
    if (out->dts != AV_NOPTS_VALUE)
        out->dts -= start;
    else
        out->dts = out->pts;
    FF.av_packet_rescale_ts(out, tb, t.st->time_base);
    out->stream_index = t.index;
    if (out->dts != AV_NOPTS_VALUE)
        t.copyEndUs = ToMicroseconds(out->dts + std::max<int64_t>(out->duration, 0), t.st->time_base);
    ++t.frameNumber;
    MuxPacket(t, out);
}

// ---------------------------------------------------------------------------
// Encoding and muxing

void TCustomFFmpeg::EncodeFrame(OutputTrack& t, AVFrame* frame) {
    const char* failure = t.kind == AVMEDIA_TYPE_VIDEO ? "Video encoding failed" : "Audio encoding failed";
    int r = FF.avcodec_send_frame(t.enc.get(), frame);
    if (r < 0 && r != AVERROR_EOF) Raise(failure);
    AVPacket* pkt = t.packet.get();
    for (;;) {
        r = FF.avcodec_receive_packet(t.enc.get(), pkt);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
        if (r < 0) Raise(failure);
        const TPacketUnref written(pkt);
        size_t sideSize = 0;
        if (const uint8_t* q = FF.av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &sideSize); q && sideSize >= 4) {
            int32_t lambda = 0;
            std::memcpy(&lambda, q, 4);
            std::lock_guard lock(run_->muxMutex);
            t.quality = static_cast<float>(lambda) / FF_QP2LAMBDA;
        }
        if (t.passLog && t.enc->stats_out) std::fputs(t.enc->stats_out, t.passLog.get());
        WritePacket(t, pkt);
    }
}

void TCustomFFmpeg::WritePacket(OutputTrack& t, AVPacket* pkt) {
    if (pkt->duration == 0 && t.kind == AVMEDIA_TYPE_VIDEO) pkt->duration = 1;
    FF.av_packet_rescale_ts(pkt, t.enc->time_base, t.st->time_base);
    pkt->stream_index = t.index;
    RunState& run = *run_;
    if (run.vstats && t.kind == AVMEDIA_TYPE_VIDEO) {
        std::lock_guard lock(run.muxMutex);
        const double time = pkt->pts == AV_NOPTS_VALUE ? 0.0 : pkt->pts * av_q2d(t.st->time_base);
        const double bitrate = time > 0 ? t.bytes * 8.0 / time / 1000.0 : 0;
        std::fprintf(run.vstats.get(), "frame= %5d q= %2.1f f_size= %6d s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s type= %c\n",
                     static_cast<int>(t.frameNumber), t.quality, pkt->size, t.bytes / 1024.0, time,
                     time > 0 ? pkt->size * 8.0 / 1000.0 * av_q2d(t.enc->framerate) : 0.0, bitrate,
                     (pkt->flags & AV_PKT_FLAG_KEY) ? 'I' : 'P');
    }
    MuxPacket(t, pkt);
}

void TCustomFFmpeg::MuxPacket(OutputTrack& t, AVPacket* pkt, size_t filterIndex) {
    RunState& run = *run_;
    if (filterIndex < t.bsfs.size()) {
        AVBSFContext* bsf = t.bsfs[filterIndex].get();
        // The filter takes the packet's data over; a refused packet is dropped.
        const TPacketUnref refused(pkt);
        if (FF.av_bsf_send_packet(bsf, pkt) < 0) {
            LogFmt(llError, "%s failed for stream %d, codec %s", bsf->filter->name, t.index,
                   FF.avcodec_get_name(t.st->codecpar->codec_id));
            return;
        }
        const TPacketPtr filtered = NewPacket();
        if (!filtered) Raise("Out of memory");
        while (FF.av_bsf_receive_packet(bsf, filtered.get()) >= 0) MuxPacket(t, filtered.get(), filterIndex + 1);
        return;
    }
    std::lock_guard lock(run.muxMutex);
    if (t.kind == AVMEDIA_TYPE_VIDEO)
        run.videoBytes += pkt->size;
    else if (t.kind == AVMEDIA_TYPE_AUDIO)
        run.audioBytes += pkt->size;
    t.bytes += pkt->size;
    // The muxer takes the packet's data over.
    const int r = FF.av_interleaved_write_frame(t.file->ctx.get(), pkt);
    if (r < 0) Raise(ErrorText("av_interleaved_write_frame()", r));
}
