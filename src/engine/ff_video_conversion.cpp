#include "ff_video_conversion.h"

#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_logger.h"

#include <cmath>

namespace {
constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

// The graph's in and out ends around the description; < 0 on failure.
int ParseGraph(AVFilterGraph* graph, const std::string& description, AVFilterContext* source, AVFilterContext* sink) {
    TFilterInOutPtr outputs(FF.avfilter_inout_alloc());
    TFilterInOutPtr inputs(FF.avfilter_inout_alloc());
    if (!outputs || !inputs) return AVERROR(ENOMEM);
    // The in/out entries take their names over.
    outputs->name = FF.av_strdup("in");
    outputs->filter_ctx = source;
    inputs->name = FF.av_strdup("out");
    inputs->filter_ctx = sink;
    // The parser replaces the lists by what it left open.
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    const int r = FF.avfilter_graph_parse_ptr(graph, description.c_str(), &in, &out, nullptr);
    inputs.reset(in);
    outputs.reset(out);
    return r;
}
}  // namespace

void TVideoFilter::Build(const AVFrame* frame) {
    graph_.reset(FF.avfilter_graph_alloc());
    if (!graph_) throw FFmpegException("Error opening filters!", AVERROR(ENOMEM), "avfilter_graph_alloc");
    const AVRational sar = frame->sample_aspect_ratio.num > 0 ? frame->sample_aspect_ratio : AVRational{1, 1};
    const std::string args = FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", frame->width,
                                        frame->height, frame->format, AV_TIME_BASE, sar.num, sar.den);
    int r = FF.avfilter_graph_create_filter(&source_, FF.avfilter_get_by_name("buffer"), "in", args.c_str(), nullptr,
                                            graph_.get());
    if (r >= 0)
        r = FF.avfilter_graph_create_filter(&sink_, FF.avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                            graph_.get());
    if (r >= 0) r = ParseGraph(graph_.get(), description_, source_, sink_);
    if (r >= 0) r = FF.avfilter_graph_config(graph_.get(), nullptr);
    if (r < 0) {
        graph_.reset();
        throw FFmpegException("Error opening filters: " + ::ErrorMessage(r), r, description_);
    }
    width_ = frame->width;
    height_ = frame->height;
    format_ = frame->format;
}

void TVideoFilter::Filter(AVFrame* frame, int64_t ptsUs, const std::function<void(AVFrame*, int64_t)>& take) {
    if (!graph_ || frame->width != width_ || frame->height != height_ || frame->format != format_) Build(frame);
    if (!filtered_) filtered_ = NewFrame();
    if (!filtered_) throw FFmpegException("Out of memory", AVERROR(ENOMEM));
    frame->pts = ptsUs;
    const int r = FF.av_buffersrc_add_frame_flags(source_, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
    if (r < 0) throw FFmpegException("Error opening filters!", r, "av_buffersrc_add_frame_flags");
    AVFrame* filtered = filtered_.get();
    const AVRational sinkBase = FF.av_buffersink_get_time_base(sink_);
    while (FF.av_buffersink_get_frame(sink_, filtered) >= 0) {
        const TFrameUnref done(filtered);
        const int64_t pts =
            filtered->pts == AV_NOPTS_VALUE ? ptsUs : FF.av_rescale_q(filtered->pts, sinkBase, MicrosecondBase);
        take(filtered, pts);
    }
}

void TVideoScaler::Open(const AVCodecContext* encoder) {
    scaled_ = NewFrame();
    if (!scaled_) throw FFmpegException("Cannot allocate temp picture, check pix fmt", AVERROR(ENOMEM));
    scaled_->format = encoder->pix_fmt;
    scaled_->width = encoder->width;
    scaled_->height = encoder->height;
    const int r = FF.av_frame_get_buffer(scaled_.get(), 0);
    if (r < 0) throw FFmpegException("Cannot allocate temp picture, check pix fmt", r, "av_frame_get_buffer");
}

AVFrame* TVideoScaler::Scale(AVFrame* picture, const AVCodecContext* encoder, int swsFlags, int file, int index,
                             void* logSender) {
    if (format_ != -1 && (picture->width != width_ || picture->height != height_ || picture->format != format_)) {
        const char* name = FF.av_get_pix_fmt_name(static_cast<AVPixelFormat>(picture->format));
        FFLogger().LogFmt(logSender, llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s", file, index,
                          picture->width, picture->height, name ? name : "none");
    }
    width_ = picture->width;
    height_ = picture->height;
    format_ = picture->format;
    if (picture->width == encoder->width && picture->height == encoder->height && picture->format == encoder->pix_fmt)
        return picture;
    // The cache call takes the old context over: it reuses or frees it.
    sws_.reset(FF.sws_getCachedContext(sws_.release(), picture->width, picture->height,
                                       static_cast<AVPixelFormat>(picture->format), encoder->width, encoder->height,
                                       encoder->pix_fmt, swsFlags, nullptr, nullptr, nullptr));
    if (!sws_) throw FFmpegException("Cannot get resampling context", AVERROR(EINVAL), "sws_getCachedContext");
    // The encoder may still hold the previous picture.
    const int r = FF.av_frame_make_writable(scaled_.get());
    if (r < 0) throw FFmpegException("Cannot allocate temp picture, check pix fmt", r, "av_frame_make_writable");
    FF.sws_scale(sws_.get(), picture->data, picture->linesize, 0, picture->height, scaled_->data, scaled_->linesize);
    scaled_->sample_aspect_ratio = encoder->sample_aspect_ratio;
    return scaled_.get();
}

int64_t VideoSyncFrames(int method, bool variableRateFormat, double position, int64_t& nextPts) {
    if (method == 0) {
        nextPts = std::llrint(position);
        return 1;
    }
    const double lead = position - static_cast<double>(nextPts);
    if (lead < -1.1) return 0;
    if (method == 2 || (method < 0 && variableRateFormat)) {
        if (lead <= -0.6) return 0;
        if (lead > 0.6) nextPts = std::llrint(position);
        return 1;
    }
    return lead > 1.1 ? std::llrint(lead) : 1;
}
