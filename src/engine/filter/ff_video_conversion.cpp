#include "ff_video_conversion.h"

#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_logger.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

namespace {
AVRational SquareIfUnknown(AVRational aspect) { return aspect.num > 0 && aspect.den > 0 ? aspect : AVRational{1, 1}; }

// The step that keeps chroma planes whole: 2, or 4 for formats subsampled by 4.
int ChromaAlign(int format) {
    const AVPixFmtDescriptor* d = FF.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    return d ? std::max(2, 1 << std::max(d->log2_chroma_w, d->log2_chroma_h)) : 2;
}

// Formats whose planes can be addressed at a pixel: not bit-packed, no palette.
bool Addressable(int format) {
    const AVPixFmtDescriptor* d = FF.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    return d && !(d->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL));
}

// The frame's plane pointers moved to pixel (x, y); x and y keep chroma whole.
void PlanesAt(const AVFrame* frame, int x, int y, uint8_t* planes[4]) {
    const AVPixFmtDescriptor* d = FF.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    bool moved[4] = {false, false, false, false};
    for (int p = 0; p < 4; ++p) planes[p] = frame->data[p];
    for (int c = 0; c < d->nb_components; ++c) {
        const AVComponentDescriptor& comp = d->comp[c];
        if (moved[comp.plane] || !planes[comp.plane]) continue;
        moved[comp.plane] = true;
        const bool chroma = (c == 1 || c == 2) && !(d->flags & AV_PIX_FMT_FLAG_RGB);
        const int sx = chroma ? d->log2_chroma_w : 0, sy = chroma ? d->log2_chroma_h : 0;
        planes[comp.plane] += static_cast<ptrdiff_t>(y >> sy) * frame->linesize[comp.plane] +
                              static_cast<ptrdiff_t>(x >> sx) * comp.step;
    }
}

int RoundTo(double value, int step) { return std::max(step, static_cast<int>(std::lround(value / step)) * step); }
}  // namespace

TFitRect FitInside(int width, int height, AVRational sampleAspect, int frameWidth, int frameHeight,
                   AVRational frameSampleAspect, int align) {
    TFitRect r{0, 0, frameWidth, frameHeight};
    if (width <= 0 || height <= 0 || frameWidth <= 0 || frameHeight <= 0) return r;
    const double shown = av_q2d(SquareIfUnknown(sampleAspect)) * width / height;
    const double frame = av_q2d(SquareIfUnknown(frameSampleAspect)) * frameWidth / frameHeight;
    if (shown > frame)
        r.Height = RoundTo(frameHeight * frame / shown, align);
    else
        r.Width = RoundTo(frameWidth * shown / frame, align);
    if (frameWidth - r.Width <= align) r.Width = frameWidth;
    if (frameHeight - r.Height <= align) r.Height = frameHeight;
    r.X = (frameWidth - r.Width) / 2 / align * align;
    r.Y = (frameHeight - r.Height) / 2 / align * align;
    return r;
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

void TVideoScaler::Fill(AVFrame* frame, const AVCodecContext* encoder) const {
    ptrdiff_t lines[4];
    for (int p = 0; p < 4; ++p) lines[p] = frame->linesize[p];
    const char* name = FF.av_get_pix_fmt_name(encoder->pix_fmt);
    const bool fullRange = name && std::strncmp(name, "yuvj", 4) == 0;
    FF.av_image_fill_black(frame->data, lines, encoder->pix_fmt, fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG,
                           frame->width, frame->height);
}

AVFrame* TVideoScaler::Black(const AVCodecContext* encoder) {
    if (!black_) {
        black_ = NewFrame();
        if (!black_) throw FFmpegException("Cannot allocate temp picture, check pix fmt", AVERROR(ENOMEM));
        black_->format = encoder->pix_fmt;
        black_->width = encoder->width;
        black_->height = encoder->height;
        const int r = FF.av_frame_get_buffer(black_.get(), 0);
        if (r < 0) throw FFmpegException("Cannot allocate temp picture, check pix fmt", r, "av_frame_get_buffer");
        Fill(black_.get(), encoder);
        black_->sample_aspect_ratio = encoder->sample_aspect_ratio;
    }
    return black_.get();
}

AVFrame* TVideoScaler::Scale(AVFrame* picture, const AVCodecContext* encoder, int swsFlags, int file, int index,
                             void* logSender) {
    const bool changed = picture->width != width_ || picture->height != height_ || picture->format != format_;
    if (format_ != -1 && changed) {
        const char* name = FF.av_get_pix_fmt_name(static_cast<AVPixelFormat>(picture->format));
        FFLogger().LogFmt(logSender, llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s", file, index,
                          picture->width, picture->height, name ? name : "none");
    }
    if (changed || av_cmp_q(picture->sample_aspect_ratio, aspect_) != 0) {
        width_ = picture->width;
        height_ = picture->height;
        format_ = picture->format;
        aspect_ = picture->sample_aspect_ratio;
        rect_ = Addressable(encoder->pix_fmt)
                    ? FitInside(width_, height_, aspect_, encoder->width, encoder->height,
                                encoder->sample_aspect_ratio, ChromaAlign(encoder->pix_fmt))
                    : TFitRect{0, 0, encoder->width, encoder->height};
        barsFilled_ = false;
    }
    const bool whole = rect_.Width == encoder->width && rect_.Height == encoder->height;
    if (whole && picture->width == encoder->width && picture->height == encoder->height &&
        picture->format == encoder->pix_fmt)
        return picture;
    // The cache call takes the old context over: it reuses or frees it.
    sws_.reset(FF.sws_getCachedContext(sws_.release(), picture->width, picture->height,
                                       static_cast<AVPixelFormat>(picture->format), rect_.Width, rect_.Height,
                                       encoder->pix_fmt, swsFlags, nullptr, nullptr, nullptr));
    if (!sws_) throw FFmpegException("Cannot get resampling context", AVERROR(EINVAL), "sws_getCachedContext");
    // The encoder may still hold the previous picture (a copy keeps the bars).
    const int r = FF.av_frame_make_writable(scaled_.get());
    if (r < 0) throw FFmpegException("Cannot allocate temp picture, check pix fmt", r, "av_frame_make_writable");
    if (!whole && !barsFilled_) Fill(scaled_.get(), encoder);
    barsFilled_ = !whole;
    uint8_t* planes[4];
    PlanesAt(scaled_.get(), rect_.X, rect_.Y, planes);
    FF.sws_scale(sws_.get(), picture->data, picture->linesize, 0, picture->height, planes, scaled_->linesize);
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
