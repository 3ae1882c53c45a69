#include "ff_segment_encoder.h"

#include "ff_exception.h"
#include "ff_logger.h"

#include <cctype>
#include <map>
#include <utility>
#include <vector>

namespace {
constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

[[noreturn]] void Raise(const std::string& message, int code = 0) { throw FFmpegException(message, code); }

// The filters that store an upright picture the way the stream's display
// matrix turns back: the players' steps undone in reverse order.
std::string StoredFromUpright(const TOrientation& shown) {
    std::string chain;
    const auto add = [&chain](const std::string& f) { chain += (chain.empty() ? "" : ",") + f; };
    if (shown.MirrorTopBottom) add("vflip");
    if (shown.MirrorLeftRight) add("hflip");
    if (shown.Transpose >= 0) {
        static const int inverse[4] = {0, 2, 1, 3};
        add("transpose=dir=" + std::to_string(inverse[shown.Transpose & 3]));
    }
    return chain;
}

// The encoder's name of the stream's profile, when it has one.
std::string ProfileOption(const std::string& encoder, const AVCodecParameters* par) {
    const char* name = FF.avcodec_profile_name(par->codec_id, par->profile);
    if (!name) return {};
    std::string p;
    for (const char* c = name; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c))) p += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    if (encoder == "libx264") {
        if (p.find("baseline") != std::string::npos) return "baseline";
        if (p == "main" || p == "extended") return "main";
        if (p == "high") return "high";
        if (p.rfind("high10", 0) == 0) return "high10";
        if (p.rfind("high422", 0) == 0) return "high422";
        if (p.rfind("high444", 0) == 0) return "high444";
        return {};
    }
    if (encoder == "libx265" && (p == "main" || p == "main10" || p == "mainstillpicture")) return p;
    return {};
}

void SetupEncoder(AVCodecContext* enc, const TSegmentTarget& t, AVDictionary** options) {
    const AVCodecParameters* par = t.Stream;
    enc->width = par->width;
    enc->height = par->height;
    enc->pix_fmt = static_cast<AVPixelFormat>(par->format);
    enc->sample_aspect_ratio = t.SampleAspect;
    enc->framerate = t.FrameRate;
    enc->time_base = AVRational{t.FrameRate.den, t.FrameRate.num};
    enc->color_range = par->color_range;
    enc->color_primaries = par->color_primaries;
    enc->color_trc = par->color_trc;
    enc->colorspace = par->color_space;
    enc->chroma_sample_location = par->chroma_location;
    enc->field_order = par->field_order;
    if (par->level > 0) enc->level = par->level;
    enc->thread_count = 0;
    // No global header: the parameter sets go with each key frame.
    enc->flags &= ~AV_CODEC_FLAG_GLOBAL_HEADER;
    // VP8, VP9 and AV1: close to the clips copied around it, at the speed of
    // the format presets (VP8's constant quality needs a ceiling on the rate).
    static const std::map<std::string, std::vector<std::pair<const char*, const char*>>> plain = {
        {"libvpx", {{"crf", "10"}, {"b", "8M"}, {"deadline", "realtime"}, {"cpu-used", "5"}}},
        {"libvpx-vp9",
         {{"crf", "24"}, {"b", "0"}, {"deadline", "realtime"}, {"cpu-used", "5"}, {"row-mt", "1"}, {"tile-columns", "2"}}},
        {"libsvtav1", {{"crf", "28"}, {"preset", "9"}}},
    };
    if (const auto found = plain.find(t.Encoder); found != plain.end()) {
        for (const auto& [key, value] : found->second) FF.av_dict_set(options, key, value, 0);
        return;
    }
    // Close to the clips copied around it.
    const bool x265 = t.Encoder == "libx265";
    FF.av_dict_set(options, "crf", x265 ? "20" : "18", 0);
    FF.av_dict_set(options, "preset", "medium", 0);
    if (x265) FF.av_dict_set(options, "x265-params", "log-level=error", 0);
    // H.264 parameter sets numbered apart from the stream's own, so that the
    // copied clips after this one still find theirs.
    if (!x265) {
        const int own = FirstSpsId(par);
        const std::string id = std::to_string(own < 0 ? 1 : (own + 1) % 32);
        FF.av_dict_set(options, "x264-params", ("sps-id=" + id).c_str(), 0);
    }
    const std::string profile = ProfileOption(t.Encoder, par);
    if (!profile.empty()) FF.av_dict_set(options, "profile", profile.c_str(), 0);
}
}  // namespace

TSegmentEncoder::TSegmentEncoder(const TSegmentTarget& target, int64_t startUs, void* logSender)
    : target_(target), logSender_(logSender), turn_(StoredFromUpright(target.Shown)) {
    const AVCodec* codec = FF.avcodec_find_encoder_by_name(target.Encoder.c_str());
    if (!codec) Raise("Unknown encoder '" + target.Encoder + "'", AVERROR_ENCODER_NOT_FOUND);
    if (target.FrameRate.num <= 0 || target.FrameRate.den <= 0) Raise("The picture rate of the stream is unknown");
    encoder_.reset(FF.avcodec_alloc_context3(codec));
    if (!encoder_) Raise("Out of memory", AVERROR(ENOMEM));
    AVDictionary* options = nullptr;
    SetupEncoder(encoder_.get(), target, &options);
    const int r = FF.avcodec_open2(encoder_.get(), codec, &options);
    FF.av_dict_free(&options);
    if (r < 0) Raise(FormatText("Error while opening encoder %s for a re-encoded clip", target.Encoder.c_str()), r);
    scaler_.Open(encoder_.get());
    // Without out-of-band data the encoder writes Annex B with its sets in-band.
    if (NalUnits()) {
        AVCodecParameters* none = FF.avcodec_parameters_alloc();
        if (!none) Raise("Out of memory", AVERROR(ENOMEM));
        none->codec_id = target.Stream->codec_id;
        framing_.Init(none, NalLengthSize(target.Stream));
        FF.avcodec_parameters_free(&none);
    }
    packet_ = NewPacket();
    framed_ = NewPacket();
    if (!packet_ || !framed_) Raise("Out of memory", AVERROR(ENOMEM));
    nextPts_ = FF.av_rescale_q(startUs, MicrosecondBase, encoder_->time_base);
    // The copied clip before may end between two picture times: the clip's
    // packets are moved by the difference, so that it starts where that one
    // ends, neither overlapping it nor leaving a gap.
    offsetUs_ = startUs - FF.av_rescale_q(nextPts_, encoder_->time_base, MicrosecondBase);
}

void TSegmentEncoder::Encode(AVFrame* upright, int64_t ptsUs, int file, int index, const TTake& take) {
    const auto put = [&](AVFrame* stored) {
        const double position = (ptsUs - offsetUs_) / 1000000.0 / av_q2d(encoder_->time_base);
        const int64_t count = VideoSyncFrames(1, false, position, nextPts_);
        if (lastUs_ != INT64_MIN && ptsUs > lastUs_) stepUs_ = ptsUs - lastUs_;
        lastUs_ = ptsUs;
        if (count <= 0) return;
        AVFrame* picture = scaler_.Scale(stored, encoder_.get(), target_.SwsFlags, file, index, logSender_);
        if (!last_) last_ = NewFrame();
        if (last_) ReferTo(last_.get(), picture);
        Write(picture, count, take);
    };
    if (turn_.Empty())
        put(upright);
    else
        turn_.Filter(upright, ptsUs, [&](AVFrame* stored, int64_t) { put(stored); });
}

void TSegmentEncoder::FillTo(int64_t endUs, const TTake& take) {
    const int64_t end = FF.av_rescale_q(endUs - offsetUs_, MicrosecondBase, encoder_->time_base);
    if (end > nextPts_) Write(scaler_.Black(encoder_.get()), end - nextPts_, take);
}

void TSegmentEncoder::Finish(const TTake& take) {
    if (last_ && last_->buf[0] && stepUs_ > 0) {
        const int64_t end = FF.av_rescale_q(lastUs_ + stepUs_ - offsetUs_, MicrosecondBase, encoder_->time_base);
        if (end > nextPts_) Write(last_.get(), end - nextPts_, take);
    }
    last_.reset();
    Send(nullptr, take);
}

void TSegmentEncoder::Write(AVFrame* picture, int64_t count, const TTake& take) {
    for (int64_t i = 0; i < count; ++i) {
        picture->pts = nextPts_++;
        // The clip starts with a key frame (the encoder's first picture is one).
        picture->pict_type = AV_PICTURE_TYPE_NONE;
        Send(picture, take);
    }
}

void TSegmentEncoder::Send(AVFrame* frame, const TTake& take) {
    int r = FF.avcodec_send_frame(encoder_.get(), frame);
    if (r < 0 && r != AVERROR_EOF) Raise("Video encoding failed", r);
    for (;;) {
        r = FF.avcodec_receive_packet(encoder_.get(), packet_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
        if (r < 0) Raise("Video encoding failed", r);
        const TPacketUnref done(packet_.get());
        if (packet_->duration <= 0) packet_->duration = 1;
        if (!NalUnits()) {
            Take(packet_.get(), take);
            continue;
        }
        if (!framing_.Rewrite(packet_.get(), framed_.get())) Raise("Video encoding failed", AVERROR_BUG);
        const TPacketUnref framed(framed_.get());
        Take(framed_.get(), take);
    }
}

void TSegmentEncoder::Take(AVPacket* packet, const TTake& take) const {
    const AVRational tb = encoder_->time_base;
    if (packet->pts != AV_NOPTS_VALUE) packet->pts = FF.av_rescale_q(packet->pts, tb, MicrosecondBase) + offsetUs_;
    if (packet->dts != AV_NOPTS_VALUE) packet->dts = FF.av_rescale_q(packet->dts, tb, MicrosecondBase) + offsetUs_;
    packet->duration = FF.av_rescale_q(packet->duration, tb, MicrosecondBase);
    take(packet, MicrosecondBase);
}
