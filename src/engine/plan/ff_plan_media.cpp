// The join plan's view of files and of the libraries: stream descriptions
// read from a container, what an output format holds, which encoder can
// re-encode a clip to match.
#include "ff_decoder_state.h"
#include "ff_errors.h"
#include "ff_join_plan.h"
#include "ff_legacy.h"
#include "ff_mp3_start.h"
#include "ff_orientation.h"
#include "ff_owned.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

TStreamKind KindOf(AVMediaType type) {
    switch (type) {
        case AVMEDIA_TYPE_VIDEO: return skVideo;
        case AVMEDIA_TYPE_AUDIO: return skAudio;
        case AVMEDIA_TYPE_SUBTITLE: return skSubtitle;
        default: return skOther;
    }
}

// A 2x2 matrix on picture coordinates (x right, y down).
using TMatrix = std::array<int, 4>;

TMatrix Times(const TMatrix& a, const TMatrix& b) {
    return {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
            a[2] * b[1] + a[3] * b[3]};
}

// The orientation players apply, as a mirror then a clockwise turn.
TShownAs ShownOf(const TOrientation& o) {
    static const TMatrix turn{0, -1, 1, 0}, mirror{-1, 0, 0, 1}, flip{1, 0, 0, -1}, one{1, 0, 0, 1};
    static const TMatrix transposes[4] = {{0, 1, 1, 0}, turn, {0, 1, -1, 0}, {0, -1, -1, 0}};
    TMatrix m = o.Transpose >= 0 ? transposes[o.Transpose & 3] : one;
    if (o.MirrorLeftRight) m = Times(mirror, m);
    if (o.MirrorTopBottom) m = Times(flip, m);
    TMatrix turned = one;
    for (int k = 0; k < 4; ++k, turned = Times(turn, turned)) {
        if (turned == m) return {k, false};
        if (Times(turned, mirror) == m) return {k, true};
    }
    return {};
}

TStreamDesc Describe(const AVFormatContext* ic, const AVStream* st) {
    const AVCodecParameters* par = st->codecpar;
    TStreamDesc s;
    s.Kind = KindOf(par->codec_type);
    s.Codec = FF.avcodec_get_name(par->codec_id);
    s.Tag = par->codec_tag;
    s.Profile = par->profile;
    const char* profile = FF.avcodec_profile_name(par->codec_id, par->profile);
    s.ProfileName = profile ? profile : std::to_string(par->profile);
    if (par->extradata && par->extradata_size > 0)
        s.PrivateData.assign(par->extradata, par->extradata + par->extradata_size);
    s.BitRate = par->bit_rate > 0 ? par->bit_rate : 0;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0 && st->time_base.den > 0)
        s.DurationUs = FF.av_rescale_q(st->duration, st->time_base, AVRational{1, AV_TIME_BASE});
    else if (ic->duration > 0)
        s.DurationUs = ic->duration;
    if (s.Kind == skVideo) {
        s.Width = par->width;
        s.Height = par->height;
        const char* pix = FF.av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
        s.PixelFormat = pix ? pix : "unknown";
        const AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
        s.SampleAspect = {sar.num, sar.den};
        s.FieldOrder = par->field_order;
        const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        s.FrameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
        s.FrameRateExact = {rate.num, rate.den};
        s.Shown = ShownOf(StreamOrientation(st));
        s.Frames = st->nb_frames > 0 ? st->nb_frames : 0;
    } else if (s.Kind == skAudio) {
        if (const AVDictionaryEntry* e = FF.av_dict_get(st->metadata, "language", nullptr, 0)) s.Language = e->value;
        s.SampleRate = par->sample_rate;
        s.Channels = par->ch_layout.nb_channels;
        char layout[128] = "";
        FF.av_channel_layout_describe(&par->ch_layout, layout, sizeof layout);
        s.Layout = layout;
        const char* fmt = FF.av_get_sample_fmt_name(static_cast<AVSampleFormat>(par->format));
        s.SampleFormat = fmt ? fmt : "unknown";
    }
    return s;
}

bool IsMovFamily(const AVOutputFormat* of) {
    for (const char* name : {"mp4", "mov", "ipod", "psp", "ismv", "3gp", "3g2", "f4v"})
        if (std::strcmp(of->name, name) == 0) return true;
    return false;
}

bool OutputFormatHolds(const AVOutputFormat* of, const std::string& codecName) {
    const AVCodecDescriptor* descriptor = FF.avcodec_descriptor_get_by_name(codecName.c_str());
    if (!of || !descriptor) return false;
    const AVCodecID codec = descriptor->id;
    // The MP4 family lists these, yet refuses them when writing (only an
    // experimental mode takes them): a copy would fail at the header.
    if ((codec == AV_CODEC_ID_FLAC || codec == AV_CODEC_ID_TRUEHD) && IsMovFamily(of)) return false;
    const int r = FF.avformat_query_codec(of, codec, FF_COMPLIANCE_NORMAL);
    if (r >= 0) return r > 0;
    // Muxers that cannot say: their own codecs, and what MPEG program
    // streams carry.
    if (codec == of->video_codec || codec == of->audio_codec) return true;
    if (std::strcmp(of->name, "mpeg") == 0 || std::strcmp(of->name, "vob") == 0) {
        switch (codec) {
            case AV_CODEC_ID_MPEG1VIDEO:
            case AV_CODEC_ID_MPEG2VIDEO:
            case AV_CODEC_ID_H264:
            case AV_CODEC_ID_MPEG4:
            case AV_CODEC_ID_MP1:
            case AV_CODEC_ID_MP2:
            case AV_CODEC_ID_MP3:
            case AV_CODEC_ID_AC3:
            case AV_CODEC_ID_DTS:
            case AV_CODEC_ID_PCM_DVD: return true;
            default: return false;
        }
    }
    return false;
}

bool TakesPixelFormat(const AVCodec* codec, const std::string& name) {
    const AVPixelFormat wanted = FF.av_get_pix_fmt(name.c_str());
    if (!codec->pix_fmts) return true;
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
        if (*p == wanted) return true;
    return false;
}

// The encoder that re-encodes a clip to the reference: pictures only for the
// codecs whose clips can meet copied ones (their parameter sets in-band, or
// none: VP8 and VP9 key frames carry all a decoder needs, AV1 ones their
// sequence header), sound for every codec there is an encoder of.
std::string EncoderFor(const TStreamDesc& r) {
    if (r.Kind == skVideo) {
        const char* name = r.Codec == "h264"  ? "libx264"
                           : r.Codec == "hevc" ? "libx265"
                           : r.Codec == "vp8"  ? "libvpx"
                           : r.Codec == "vp9"  ? "libvpx-vp9"
                           : r.Codec == "av1"  ? "libsvtav1"
                                               : nullptr;
        const AVCodec* codec = name ? FF.avcodec_find_encoder_by_name(name) : nullptr;
        return codec && TakesPixelFormat(codec, r.PixelFormat) ? name : "";
    }
    static const std::pair<const char*, const char*> preferred[] = {
        {"aac", "aac"}, {"mp3", "libmp3lame"}, {"opus", "libopus"}, {"vorbis", "libvorbis"}};
    for (const auto& [codec, encoder] : preferred)
        if (r.Codec == codec) return FF.avcodec_find_encoder_by_name(encoder) ? encoder : "";
    const AVCodecDescriptor* descriptor = FF.avcodec_descriptor_get_by_name(r.Codec.c_str());
    const AVCodec* codec = descriptor ? FF.avcodec_find_encoder(descriptor->id) : nullptr;
    return codec ? codec->name : "";
}

// Raw pictures (.264, .hevc) come without times: the first packets tell.
void MarkPicturesWithoutTimes(AVFormatContext* ic, const std::vector<int>& described, TFileDesc& file) {
    std::vector<int> timed(ic->nb_streams, 0), seen(ic->nb_streams, 0);
    const TPacketPtr pkt = NewPacket();
    for (int n = 0; pkt && n < 32 && FF.av_read_frame(ic, pkt.get()) >= 0; ++n) {
        const auto at = static_cast<size_t>(pkt->stream_index);
        if (at < timed.size()) {
            ++seen[at];
            timed[at] += pkt->pts != AV_NOPTS_VALUE || pkt->dts != AV_NOPTS_VALUE;
        }
        FF.av_packet_unref(pkt.get());
    }
    for (size_t d = 0; d < described.size(); ++d) {
        const auto at = static_cast<size_t>(described[d]);
        if (file.Streams[d].Kind == skVideo && seen[at] > 0 && timed[at] == 0) file.Streams[d].NoTimestamps = true;
    }
}

// The file's length and its video, sound and subtitle streams (cover
// pictures left out).
void DescribeStreams(AVFormatContext* ic, TFileDesc& file) {
    file.DurationUs = ic->duration > 0 ? ic->duration : -1;
    std::vector<int> described;  // each description's stream in the file
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        const AVMediaType kind = st->codecpar->codec_type;
        if (kind != AVMEDIA_TYPE_VIDEO && kind != AVMEDIA_TYPE_AUDIO && kind != AVMEDIA_TYPE_SUBTITLE) continue;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        file.Streams.push_back(Describe(ic, st));
        described.push_back(static_cast<int>(i));
    }
    MarkPicturesWithoutTimes(ic, described, file);
}

}  // namespace

bool DescribeFile(const std::string& path, TFileDesc& file, std::string& error) {
    const size_t slash = path.find_last_of('/');
    file.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    file.Streams.clear();
    if (!FF.avformat_open_input) {
        error = "The codec libraries are not loaded";
        return false;
    }
    AVFormatContext* raw = FF.avformat_alloc_context();
    const AVInputFormat* format = nullptr;
    SkipMp3Junk(raw, path, format);
    // The open call takes the context over: it frees it when it fails.
    int r = FF.avformat_open_input(&raw, path.c_str(), format, nullptr);
    if (r < 0) {
        error = ErrorText(path, r);
        return false;
    }
    const TInputContextPtr ic(raw);
    r = FF.avformat_find_stream_info(ic.get(), nullptr);
    if (r < 0) {
        error = ErrorText(path, r);
        return false;
    }
    DescribeStreams(ic.get(), file);
    return true;
}

bool DescribeProbed(const TCustomDecoder& decoder, TFileDesc& file) {
    AVFormatContext* ic = TDecoderAccess::Container(decoder);
    if (!ic) return false;
    const std::string path = decoder.FileName();
    const size_t slash = path.find_last_of('/');
    file.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    file.Streams.clear();
    DescribeStreams(ic, file);
    return true;
}

TPlanFormat PlanFormatFor(const std::string& fileName, const std::string& formatName, const std::string& shownName,
                          bool soundOnly) {
    TPlanFormat format;
    format.Name = shownName;
    format.SoundOnly = soundOnly;
    const AVOutputFormat* of =
        FF.av_guess_format(formatName.empty() ? nullptr : formatName.c_str(), fileName.c_str(), nullptr);
    format.Holds = [of](const std::string& codec) { return OutputFormatHolds(of, codec); };
    if (of && !soundOnly)
        for (const char* name : {"matroska", "webm", "mp4", "mov"}) format.EveryTrack = format.EveryTrack || std::strcmp(of->name, name) == 0;
    format.EncoderFor = EncoderFor;
    return format;
}
