#include "ff_copy_check.h"

#include "ff_errors.h"
#include "ff_owned.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

std::string KindWord(TStreamKind kind) {
    switch (kind) {
        case skVideo: return "video";
        case skAudio: return "audio";
        case skSubtitle: return "subtitle";
        default: return "data";
    }
}

std::string StreamList(const TCopyFileDesc& file) {
    std::string list;
    for (const TCopyStreamDesc& s : file.Streams) list += (list.empty() ? "" : ", ") + KindWord(s.Kind);
    return list.empty() ? "none" : list;
}

std::string TagText(uint32_t tag) {
    if (!tag) return "none";
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((tag >> (8 * i)) & 0xff);
        text += std::isprint(static_cast<unsigned char>(c)) ? c : '.';
    }
    return text;
}

std::string RateText(double rate) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", rate);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s + " fps";
}

const char* FieldOrderText(int order) {
    switch (order) {
        case AV_FIELD_PROGRESSIVE: return "progressive";
        case AV_FIELD_TT:
        case AV_FIELD_TB: return "top field first";
        case AV_FIELD_BB:
        case AV_FIELD_BT: return "bottom field first";
        default: return "unknown";
    }
}

std::string AspectText(TRatio a) {
    if (a.Num <= 0 || a.Den <= 0) return "1:1";
    return std::to_string(a.Num) + ":" + std::to_string(a.Den);
}

bool SameAspect(TRatio a, TRatio b) {
    // An unknown sample aspect is a square one.
    if (a.Num <= 0 || a.Den <= 0) a = {1, 1};
    if (b.Num <= 0 || b.Den <= 0) b = {1, 1};
    return static_cast<int64_t>(a.Num) * b.Den == static_cast<int64_t>(b.Num) * a.Den;
}

// Collects "name: what value, first file value" lines for one stream pair.
struct TDiff {
    const std::string& File;
    const std::string Prefix;  // "video " / "audio " for properties both kinds have
    std::vector<std::string>& Lines;
    void Add(const std::string& what, const std::string& value, const std::string& first) const {
        Lines.push_back(File + ": " + what + " " + value + ", first file " + first);
    }
};

// How the stream is coded within its codec: what users rarely know, so it
// comes after what they see and hear.
void CompareCoding(const TCopyStreamDesc& s, const TCopyStreamDesc& f, const TDiff& d) {
    if (s.Tag != f.Tag) d.Add(d.Prefix + "codec tag", TagText(s.Tag), TagText(f.Tag));
    if (s.Profile != f.Profile) d.Add(d.Prefix + "profile", s.ProfileName, f.ProfileName);
}

void CompareVideo(const TCopyStreamDesc& s, const TCopyStreamDesc& f, const TDiff& d) {
    if (s.Width != f.Width || s.Height != f.Height)
        d.Add("frame size", std::to_string(s.Width) + "x" + std::to_string(s.Height),
              std::to_string(f.Width) + "x" + std::to_string(f.Height));
    if (s.PixelFormat != f.PixelFormat) d.Add("pixel format", s.PixelFormat, f.PixelFormat);
    if (!SameAspect(s.SampleAspect, f.SampleAspect))
        d.Add("sample aspect", AspectText(s.SampleAspect), AspectText(f.SampleAspect));
    if (s.FieldOrder != f.FieldOrder) d.Add("field order", FieldOrderText(s.FieldOrder), FieldOrderText(f.FieldOrder));
    // Rates within 1 % are the same rate measured on different lengths.
    if (s.FrameRate > 0 && f.FrameRate > 0 ? std::fabs(s.FrameRate - f.FrameRate) > 0.01 * f.FrameRate
                                           : s.FrameRate != f.FrameRate)
        d.Add("frame rate", RateText(s.FrameRate), RateText(f.FrameRate));
}

void CompareAudio(const TCopyStreamDesc& s, const TCopyStreamDesc& f, const TDiff& d) {
    if (s.SampleRate != f.SampleRate)
        d.Add("sample rate", std::to_string(s.SampleRate) + " Hz", std::to_string(f.SampleRate) + " Hz");
    if (s.Channels != f.Channels)
        d.Add("channels", std::to_string(s.Channels), std::to_string(f.Channels));
    else if (s.Layout != f.Layout)
        d.Add("channel layout", s.Layout, f.Layout);
    if (s.SampleFormat != f.SampleFormat) d.Add("sample format", s.SampleFormat, f.SampleFormat);
}

}  // namespace

std::vector<std::string> CheckCopyJoin(const std::vector<TCopyFileDesc>& files,
                                       const std::function<bool(const std::string& codec)>& formatHolds,
                                       const std::string& formatName) {
    std::vector<std::string> lines;
    if (files.empty()) return lines;
    const TCopyFileDesc& first = files.front();
    for (const TCopyStreamDesc& s : first.Streams)
        if (formatHolds && !formatHolds(s.Codec))
            lines.push_back(first.Name + ": " + KindWord(s.Kind) + " codec " + s.Codec + " cannot be copied into " +
                            formatName);
    for (size_t i = 1; i < files.size(); ++i) {
        const TCopyFileDesc& file = files[i];
        bool sameKinds = file.Streams.size() == first.Streams.size();
        for (size_t k = 0; sameKinds && k < file.Streams.size(); ++k)
            sameKinds = file.Streams[k].Kind == first.Streams[k].Kind;
        if (!sameKinds) {
            lines.push_back(file.Name + ": streams " + StreamList(file) + ", first file " + StreamList(first));
            continue;
        }
        for (size_t k = 0; k < file.Streams.size(); ++k) {
            const TCopyStreamDesc& s = file.Streams[k];
            const TCopyStreamDesc& f = first.Streams[k];
            const TDiff diff{file.Name, KindWord(s.Kind) + " ", lines};
            if (s.Codec != f.Codec) {
                // The rest follows from the codec.
                diff.Add(diff.Prefix + "codec", s.Codec, f.Codec);
                continue;
            }
            const size_t before = lines.size();
            if (s.Kind == skVideo) CompareVideo(s, f, diff);
            if (s.Kind == skAudio) CompareAudio(s, f, diff);
            CompareCoding(s, f, diff);
            // The private data carries the values above: it counts on its own
            // only when they all match.
            if (lines.size() == before && s.PrivateData != f.PrivateData)
                lines.push_back(file.Name + ": " + KindWord(s.Kind) + " codec private data differs from the first file's");
        }
    }
    return lines;
}

namespace {

TCopyStreamDesc Describe(const AVStream* st) {
    const AVCodecParameters* par = st->codecpar;
    TCopyStreamDesc s;
    s.Kind = par->codec_type == AVMEDIA_TYPE_VIDEO      ? skVideo
             : par->codec_type == AVMEDIA_TYPE_AUDIO    ? skAudio
             : par->codec_type == AVMEDIA_TYPE_SUBTITLE ? skSubtitle
                                                        : skOther;
    s.Codec = FF.avcodec_get_name(par->codec_id);
    s.Tag = par->codec_tag;
    s.Profile = par->profile;
    const char* profile = FF.avcodec_profile_name(par->codec_id, par->profile);
    s.ProfileName = profile ? profile : std::to_string(par->profile);
    if (par->extradata && par->extradata_size > 0)
        s.PrivateData.assign(par->extradata, par->extradata + par->extradata_size);
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
    } else if (s.Kind == skAudio) {
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

}  // namespace

bool DescribeCopyStreams(const std::string& path, TCopyFileDesc& file, std::string& error) {
    const size_t slash = path.find_last_of('/');
    file.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    file.Streams.clear();
    if (!FF.avformat_open_input) {
        error = "The codec libraries are not loaded";
        return false;
    }
    AVFormatContext* raw = nullptr;
    int r = FF.avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
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
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        const AVMediaType kind = st->codecpar->codec_type;
        if (kind != AVMEDIA_TYPE_VIDEO && kind != AVMEDIA_TYPE_AUDIO && kind != AVMEDIA_TYPE_SUBTITLE) continue;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        file.Streams.push_back(Describe(st));
    }
    return true;
}

bool OutputFormatHolds(const std::string& fileName, const std::string& formatName, const std::string& codecName) {
    const AVCodecDescriptor* descriptor = FF.avcodec_descriptor_get_by_name(codecName.c_str());
    if (!descriptor) return false;
    const AVCodecID codec = descriptor->id;
    const AVOutputFormat* of = FF.av_guess_format(formatName.empty() ? nullptr : formatName.c_str(),
                                                  fileName.c_str(), nullptr);
    if (!of) return false;
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
