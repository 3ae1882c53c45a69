#include "ff_verify.h"

#include "ff_errors.h"
#include "ff_logger.h"
#include "ff_owned.h"

#include <vector>

namespace {
constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

struct TCheckedStream {
    TCodecContextPtr Decoder;
    AVRational TimeBase{1, 1};
    bool Video = false;
    int64_t Packets = 0, Frames = 0;
    int64_t EndUs = INT64_MIN;
    int64_t FrameUs = 0;  // one frame's length
};

// A frame the decoder marks as damaged.
bool Damaged(const AVFrame* f) { return f->decode_error_flags != 0 || (f->flags & AV_FRAME_FLAG_CORRUPT); }

class TChecker {
public:
    explicit TChecker(const TVerifyTarget& target) : t_(target) {}

    std::string Run() {
        AVFormatContext* raw = nullptr;
        int r = FF.avformat_open_input(&raw, t_.Path.c_str(), nullptr, nullptr);
        if (r < 0) return "the output cannot be read (" + ErrorMessage(r) + ")";
        ic_.reset(raw);
        if ((r = FF.avformat_find_stream_info(ic_.get(), nullptr)) < 0)
            return "the output cannot be read (" + ErrorMessage(r) + ")";
        if (!OpenDecoders()) return "the output cannot be decoded (" + failure_ + ")";
        if (!ReadAll()) return failure_;
        return CheckCounts();
    }

private:
    bool OpenDecoders() {
        streams_.resize(ic_->nb_streams);
        for (unsigned i = 0; i < ic_->nb_streams; ++i) {
            const AVStream* st = ic_->streams[i];
            const AVMediaType kind = st->codecpar->codec_type;
            if ((kind != AVMEDIA_TYPE_VIDEO && kind != AVMEDIA_TYPE_AUDIO) ||
                (st->disposition & AV_DISPOSITION_ATTACHED_PIC))
                continue;
            const AVCodec* codec = FF.avcodec_find_decoder(st->codecpar->codec_id);
            TCheckedStream& s = streams_[i];
            s.Decoder.reset(codec ? FF.avcodec_alloc_context3(codec) : nullptr);
            if (!s.Decoder || FF.avcodec_parameters_to_context(s.Decoder.get(), st->codecpar) < 0 ||
                FF.avcodec_open2(s.Decoder.get(), codec, nullptr) < 0) {
                failure_ = std::string("no decoder for ") + FF.avcodec_get_name(st->codecpar->codec_id);
                return false;
            }
            s.TimeBase = st->time_base;
            s.Video = kind == AVMEDIA_TYPE_VIDEO;
            const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
            if (s.Video && rate.num > 0 && rate.den > 0) s.FrameUs = FF.av_rescale(AV_TIME_BASE, rate.den, rate.num);
            const AVCodecParameters* par = st->codecpar;
            if (kind == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0)
                s.FrameUs = FF.av_rescale(par->frame_size, AV_TIME_BASE, par->sample_rate);
        }
        return true;
    }

    std::string At(int64_t us) const {
        const std::string input = t_.InputAt ? t_.InputAt(us) : std::string();
        return PositionText(us) + (input.empty() ? "" : " (" + input + ")");
    }

    bool Fail(int64_t us) {
        failure_ = "the output cannot be decoded at " + At(us);
        return false;
    }

    // Sends a packet (null: drains) and takes what comes out.
    bool Decode(TCheckedStream& s, const AVPacket* pkt, int64_t atUs) {
        const int sent = FF.avcodec_send_packet(s.Decoder.get(), pkt);
        if (sent < 0 && sent != AVERROR_EOF && sent != AVERROR(EAGAIN)) return Fail(atUs);
        for (;;) {
            const int r = FF.avcodec_receive_frame(s.Decoder.get(), frame_.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return Fail(atUs);
            const TFrameUnref done(frame_.get());
            const int64_t ts = frame_->best_effort_timestamp;
            const int64_t us = ts != AV_NOPTS_VALUE ? FF.av_rescale_q(ts, s.TimeBase, MicrosecondBase) : atUs;
            if (Damaged(frame_.get())) return Fail(us);
            ++s.Frames;
        }
    }

    bool ReadAll() {
        const TPacketPtr pkt = NewPacket();
        frame_ = NewFrame();
        if (!pkt || !frame_) {
            failure_ = "Out of memory";
            return false;
        }
        for (;;) {
            if (t_.Stopped && t_.Stopped()) return true;
            const int r = FF.av_read_frame(ic_.get(), pkt.get());
            if (r == AVERROR_EOF) break;
            const TPacketUnref read(pkt.get());
            if (r < 0) return Fail(lastUs_);
            if (static_cast<size_t>(pkt->stream_index) >= streams_.size()) continue;
            TCheckedStream& s = streams_[static_cast<size_t>(pkt->stream_index)];
            if (!s.Decoder) continue;
            const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            const int64_t us = ts != AV_NOPTS_VALUE ? FF.av_rescale_q(ts, s.TimeBase, MicrosecondBase) : lastUs_;
            const int64_t length = FF.av_rescale_q(std::max<int64_t>(pkt->duration, 0), s.TimeBase, MicrosecondBase);
            s.EndUs = std::max(s.EndUs, us + std::max(length, s.FrameUs));
            lastUs_ = us;
            ++s.Packets;
            if (!Decode(s, pkt.get(), us)) return false;
        }
        for (TCheckedStream& s : streams_)
            if (s.Decoder && !Decode(s, nullptr, s.EndUs)) return false;
        return true;
    }

    std::string CheckCounts() {
        int64_t end = INT64_MIN, pictureUs = 0, soundUs = 0;
        for (const TCheckedStream& s : streams_) {
            if (!s.Decoder) continue;
            // Every picture packet gives a picture; a missing one is damage.
            if (s.Video && s.Frames < s.Packets)
                return "the output misses " + std::to_string(s.Packets - s.Frames) + " of its " +
                       std::to_string(s.Packets) + " pictures";
            if (s.EndUs == INT64_MIN) continue;
            end = std::max(end, s.EndUs);
            (s.Video ? pictureUs : soundUs) = std::max(s.Video ? pictureUs : soundUs, s.FrameUs);
        }
        if (end == INT64_MIN) return "the output holds no picture or sound";
        const int64_t start = ic_->start_time != AV_NOPTS_VALUE ? ic_->start_time : 0;
        const int64_t length = end - start;
        // One picture of slack (at least 50 ms), and two sound frames: an
        // encoder's priming and its last frame's padding count in formats
        // that do not mark them (Matroska).
        const int64_t slack = std::max<int64_t>(pictureUs, 50000) + 2 * soundUs + 1000;
        if (t_.ExpectedUs > 0 && (length > t_.ExpectedUs + slack || length < t_.ExpectedUs - slack))
            return FormatText("the output lasts %.2f s, not %.2f s as its files together", length / 1e6,
                              t_.ExpectedUs / 1e6);
        return {};
    }

    const TVerifyTarget& t_;
    TInputContextPtr ic_;
    std::vector<TCheckedStream> streams_;
    TFramePtr frame_;
    int64_t lastUs_ = 0;
    std::string failure_;
};
}  // namespace

std::string PositionText(int64_t us) {
    if (us < 0) us = 0;
    const int64_t tenths = us / 100000;
    return FormatText("%d:%02d:%02d.%d", static_cast<int>(tenths / 36000), static_cast<int>(tenths / 600 % 60),
                      static_cast<int>(tenths / 10 % 60), static_cast<int>(tenths % 10));
}

std::string VerifyOutput(const TVerifyTarget& target) { return TChecker(target).Run(); }
