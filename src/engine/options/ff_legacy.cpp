#include "ff_legacy.h"

#include "ff_logger.h"
#include "ff_options.h"

#include <cstdlib>
#include <cstring>
#include <map>

namespace {
using TOptions = std::vector<std::pair<std::string, std::string>>;

void LogDropped(const std::string& name, const std::string& value, const char* why) {
    FFLogger().Log(nullptr, llInfo, FormatText("Option \"%s=%s\" dropped: %s", name.c_str(), value.c_str(), why));
}

// A flag word of the older libraries that is a separate option today.
struct TFlagWord {
    const char* option;  // today's option; null: no equivalent
    const char* on;
    const char* off;
};

// "flags2" words of libavcodec 52 that left the generic flags.
const std::map<std::string, TFlagWord>& Flags2Words() {
    static const std::map<std::string, TFlagWord> words = {
        {"bpyramid", {"b-pyramid", "normal", "none"}},
        {"wpred", {"weightb", "1", "0"}},
        {"mixed_refs", {"mixed-refs", "1", "0"}},
        {"dct8x8", {"8x8dct", "1", "0"}},
        {"fastpskip", {"fast-pskip", "1", "0"}},
        {"aud", {"aud", "1", "0"}},
        {"mbtree", {"mbtree", "1", "0"}},
        {"psy", {"psy", "1", "0"}},
        {"ssim", {"ssim", "1", "0"}},
        {"intra_refresh", {"intra-refresh", "1", "0"}},
        {"drop_frame_timecode", {"drop_frame_timecode", "1", "0"}},
        {"non_linear_q", {"non_linear_quant", "1", "0"}},
        {"reservoir", {"reservoir", "1", "0"}},
        {"brdo", {nullptr, nullptr, nullptr}},
        {"skiprd", {nullptr, nullptr, nullptr}},
        {"ivlc", {nullptr, nullptr, nullptr}},
        {"bit_reservoir", {"reservoir", "1", "0"}},
    };
    return words;
}

// "flags" words of libavcodec 52 that became private options.
const std::map<std::string, TFlagWord>& FlagsWords() {
    static const std::map<std::string, TFlagWord> words = {
        {"scan_offset", {"scan_offset", "1", "0"}},
        {"alt", {"alternate_scan", "1", "0"}},
        {"umv", {"umv", "1", "0"}},
        {"aiv", {"aiv", "1", "0"}},
        {"slice", {"structured_slices", "1", "0"}},
        {"part", {"data_partitioning", "1", "0"}},
        {"gmc", {"gmc", "1", "0"}},
        {"mv0", {"mpv_flags", "+mv0", "-mv0"}},
        {"naq", {"mpv_flags", "+naq", "-naq"}},
        {"cbp", {"mpv_flags", "+cbp_rd", "-cbp_rd"}},
        {"qprd", {"mpv_flags", "+qp_rd", "-qp_rd"}},
        {"trell", {"trellis", "1", "0"}},
        {"obmc", {nullptr, nullptr, nullptr}},
        {"extern_huff", {nullptr, nullptr, nullptr}},
        {"input_preserved", {nullptr, nullptr, nullptr}},
    };
    return words;
}

// The words of a flags value "+a-b", "a+b": sign ('+', '-' or 0) and word.
std::vector<std::pair<char, std::string>> FlagTokens(const std::string& value) {
    std::vector<std::pair<char, std::string>> tokens;
    size_t i = 0;
    while (i < value.size()) {
        char sign = 0;
        if (value[i] == '+' || value[i] == '-') sign = value[i++];
        size_t end = value.find_first_of("+-", i);
        if (end == std::string::npos) end = value.size();
        if (end > i || sign) tokens.emplace_back(sign, value.substr(i, end - i));
        i = end;
    }
    return tokens;
}

// Splits a flags value into today's words (kept in the option) and the legacy
// words (each moved to its own option). Not legacy when no word is.
TLegacyTranslation TranslateFlags(const std::string& name, const std::string& value,
                                  const std::map<std::string, TFlagWord>& words) {
    TLegacyTranslation t;
    std::string kept;
    for (const auto& [sign, word] : FlagTokens(value)) {
        auto it = words.find(word);
        if (it == words.end()) {
            if (sign) kept += sign;
            else if (!kept.empty()) kept += '+';
            kept += word;
            continue;
        }
        t.Legacy = true;
        const TFlagWord& w = it->second;
        if (!w.option) {
            LogDropped(name, (sign ? std::string(1, sign) : std::string()) + word, "today's encoders have no such setting");
            continue;
        }
        t.Options.emplace_back(w.option, sign == '-' ? w.off : w.on);
    }
    if (t.Legacy && !kept.empty()) t.Options.insert(t.Options.begin(), {name, kept});
    return t;
}

// "partitions=+parti4x4+partp8x8" -> libx264's "i4x4,p8x8".
TLegacyTranslation TranslatePartitions(const std::string& value) {
    static const std::map<std::string, std::string> parts = {
        {"parti4x4", "i4x4"}, {"parti8x8", "i8x8"}, {"partp4x4", "p4x4"}, {"partp8x8", "p8x8"}, {"partb8x8", "b8x8"}};
    TLegacyTranslation t;
    std::vector<std::string> on;
    for (const auto& [sign, word] : FlagTokens(value)) {
        auto it = parts.find(word);
        if (it == parts.end()) return {};  // today's comma list
        t.Legacy = true;
        std::erase(on, it->second);
        if (sign != '-') on.push_back(it->second);
    }
    if (!t.Legacy) return t;
    std::string list;
    for (const auto& p : on) list += (list.empty() ? "" : ",") + p;
    t.Options.emplace_back("partitions", list.empty() ? "none" : list);
    return t;
}

// Old "me_method" values: names or their numbers in libavcodec 52.
TLegacyTranslation TranslateMeMethod(const std::string& value) {
    static const std::map<std::string, std::pair<const char*, const char*>> methods = {
        {"dia", {"motion-est", "dia"}},   {"hex", {"motion-est", "hex"}},   {"umh", {"motion-est", "umh"}},
        {"esa", {"motion-est", "esa"}},   {"tesa", {"motion-est", "tesa"}}, {"epzs", {"motion_est", "epzs"}},
        {"zero", {"motion_est", "zero"}}, {"x1", {"motion_est", "xone"}},   {"xone", {"motion_est", "xone"}},
        {"1", {"motion_est", "zero"}},    {"5", {"motion_est", "epzs"}},    {"6", {"motion_est", "xone"}},
        {"7", {"motion-est", "hex"}},     {"8", {"motion-est", "umh"}},     {"10", {"motion-est", "tesa"}},
    };
    TLegacyTranslation t;
    t.Legacy = true;
    auto it = methods.find(value);
    if (it == methods.end())
        LogDropped("me_method", value, "today's encoders have no such motion estimation method");
    else
        t.Options.emplace_back(it->second.first, it->second.second);
    return t;
}

std::string StripQuotes(const std::string& s) {
    if (s.size() >= 2 && (s.front() == '\'' || s.front() == '"') && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

TLegacyTranslation Renamed(const char* today, const std::string& value) {
    TLegacyTranslation t;
    t.Legacy = true;
    t.Options.emplace_back(today, value);
    return t;
}

TLegacyTranslation Dropped(const std::string& name, const std::string& value, const char* why) {
    LogDropped(name, value, why);
    TLegacyTranslation t;
    t.Legacy = true;
    return t;
}
}  // namespace

TLegacyTranslation TranslateLegacyOption(TOptionState& state, const std::string& name, const std::string& value) {
    if (name == "flags") return TranslateFlags(name, value, FlagsWords());
    if (name == "flags2") return TranslateFlags(name, value, Flags2Words());
    if (name == "partitions") return TranslatePartitions(value);
    if (name == "me_method") return TranslateMeMethod(value);
    if (name == "deblockalpha" || name == "deblockbeta") {
        (name == "deblockalpha" ? state.DeblockAlpha : state.DeblockBeta) = value;
        return Renamed("deblock", state.DeblockAlpha + ":" + state.DeblockBeta);
    }
    if (name == "psy_rd" || name == "psy_trellis") {
        (name == "psy_rd" ? state.PsyRd : state.PsyTrellis) = value;
        return Renamed("psy-rd", state.PsyRd + ":" + state.PsyTrellis);
    }
    if (name == "directpred") return Renamed("direct-pred", value);
    if (name == "wpredp") return Renamed("weightp", value);
    if (name == "rc_lookahead") return Renamed("rc-lookahead", value);
    if (name == "aq_mode") return Renamed("aq-mode", value);
    if (name == "aq_strength") return Renamed("aq-strength", value);
    if (name == "nr") return Renamed("noise_reduction", value);
    if (name == "cqp") return Renamed("qp", value);
    if (name == "complexityblur") return Renamed("cplxblur", value);
    if (name == "bframebias") return Renamed("b-bias", value);
    if (name == "bidir_refine") return Dropped(name, value, "today's encoders have no such setting");
    if (name == "rc_eq") {
        const std::string eq = StripQuotes(value);
        // x264 has this one rate control curve built in; only the MPEG
        // encoders still take an equation.
        if (eq == "blurCplx^(1-qComp)") return Dropped(name, value, "x264 always uses this rate control equation");
        if (eq == value) return {};
        return Renamed("rc_eq", eq);
    }
    return {};
}

const AVCodec* FindEncoderAdapted(const std::string& name) {
    if (name.empty()) return nullptr;
    if (const AVCodec* c = FF.avcodec_find_encoder_by_name(name.c_str())) return c;
    // Encoders of older builds and the codec they made.
    static const std::map<std::string, AVCodecID> older = {
        {"libfaac", AV_CODEC_ID_AAC},        {"libfdk_aac", AV_CODEC_ID_AAC},    {"libvo_aacenc", AV_CODEC_ID_AAC},
        {"libaacplus", AV_CODEC_ID_AAC},     {"libxvid", AV_CODEC_ID_MPEG4},     {"libmp3lame", AV_CODEC_ID_MP3},
        {"libvorbis", AV_CODEC_ID_VORBIS},   {"libtheora", AV_CODEC_ID_THEORA},  {"libx264", AV_CODEC_ID_H264},
        {"libopencore_amrnb", AV_CODEC_ID_AMR_NB}, {"libvo_amrwbenc", AV_CODEC_ID_AMR_WB},
        {"libschroedinger", AV_CODEC_ID_DIRAC}, {"libdirac", AV_CODEC_ID_DIRAC},
    };
    AVCodecID id = AV_CODEC_ID_NONE;
    if (auto it = older.find(name); it != older.end()) id = it->second;
    else if (const AVCodec* d = FF.avcodec_find_decoder_by_name(name.c_str())) id = d->id;
    const AVCodec* c = id != AV_CODEC_ID_NONE ? FF.avcodec_find_encoder(id) : nullptr;
    if (c)
        FFLogger().Log(nullptr, llWarning,
                       FormatText("Encoder \"%s\" is not available, using \"%s\" instead", name.c_str(), c->name));
    return c;
}

const AVCodec* DefaultEncoderAdapted(const AVOutputFormat* format, AVCodecID codecId, AVMediaType kind) {
    if (codecId == AV_CODEC_ID_NONE) return nullptr;
    if (const AVCodec* c = FF.avcodec_find_encoder(codecId)) return c;
    if (!format) return nullptr;
    void* it = nullptr;
    while (const AVCodec* c = FF.av_codec_iterate(&it)) {
        if (c->type != kind || !FF.av_codec_is_encoder(c)) continue;
        if (c->capabilities & AV_CODEC_CAP_EXPERIMENTAL) continue;
        if (FF.avformat_query_codec(format, c->id, FF_COMPLIANCE_NORMAL) != 1) continue;
        FFLogger().Log(nullptr, llWarning,
                       FormatText("No encoder for %s, the default codec of %s: using \"%s\" instead",
                                  FF.avcodec_get_name(codecId), format->name, c->name));
        return c;
    }
    return nullptr;
}

int NearestSupportedSampleRate(const AVCodec* codec, int sampleRate) {
    if (!codec || !codec->supported_samplerates || sampleRate <= 0) return sampleRate;
    int best = 0;
    for (const int* r = codec->supported_samplerates; *r; ++r) {
        if (*r == sampleRate) return sampleRate;
        const long d = std::labs(static_cast<long>(*r) - sampleRate);
        const long bd = std::labs(static_cast<long>(best) - sampleRate);
        if (!best || d < bd || (d == bd && *r > best)) best = *r;
    }
    if (!best) return sampleRate;
    FFLogger().Log(nullptr, llWarning,
                   FormatText("Sample rate %d Hz is not supported by %s, using %d Hz instead", sampleRate,
                              codec->name, best));
    return best;
}

int64_t NearestSupportedBitRate(const AVCodec* codec, int sampleRate, int64_t bitRate) {
    if (!codec || bitRate <= 0 || codec->id != AV_CODEC_ID_MP2) return bitRate;
    // Layer II rates in kbit/s: MPEG-1 for 32, 44.1 and 48 kHz, MPEG-2 for
    // half those rates.
    static const int mpeg1[] = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    static const int mpeg2[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    const bool lsf = sampleRate == 16000 || sampleRate == 22050 || sampleRate == 24000;
    const int* rates = lsf ? mpeg2 : mpeg1;
    int64_t best = 0;
    for (int i = 0; i < 14; ++i) {
        const int64_t r = rates[i] * 1000LL;
        if (r == bitRate) return bitRate;
        if (!best || std::llabs(r - bitRate) < std::llabs(best - bitRate)) best = r;
    }
    FFLogger().Log(nullptr, llWarning,
                   FormatText("Bit rate %lld bit/s is not supported by %s, using %lld bit/s instead",
                              static_cast<long long>(bitRate), codec->name, static_cast<long long>(best)));
    return best;
}

void AdaptFrameSize(const AVCodec* codec, int& width, int& height, AVPixelFormat pixelFormat) {
    if (!codec || width <= 0 || height <= 0) return;
    int w = width, h = height;
    switch (codec->id) {
    case AV_CODEC_ID_H263: {
        // The sizes H.263 can signal: the largest that fits in the picture,
        // else the smallest.
        static const int sizes[][2] = {{1408, 1152}, {704, 576}, {352, 288}, {176, 144}, {128, 96}};
        bool listed = false;
        for (const auto& s : sizes) listed = listed || (s[0] == w && s[1] == h);
        if (listed) return;
        w = 128, h = 96;
        for (const auto& s : sizes)
            if (s[0] <= width && s[1] <= height) {
                w = s[0], h = s[1];
                break;
            }
        break;
    }
    case AV_CODEC_ID_RV10:
    case AV_CODEC_ID_RV20:
    case AV_CODEC_ID_H263P:
        w = (width + 2) / 4 * 4, h = (height + 2) / 4 * 4;
        break;
    case AV_CODEC_ID_WMV1:
    case AV_CODEC_ID_WMV2:
        w = (width + 1) / 2 * 2, h = (height + 1) / 2 * 2;
        break;
    case AV_CODEC_ID_H264: {
        // libx264 refuses a picture that is not a whole number of chroma
        // samples, so an odd original size would fail the whole run.
        const AVPixFmtDescriptor* d = pixelFormat != AV_PIX_FMT_NONE ? FF.av_pix_fmt_desc_get(pixelFormat) : nullptr;
        if (!d) return;
        const int mw = (1 << d->log2_chroma_w) - 1, mh = (1 << d->log2_chroma_h) - 1;
        w = (width + mw) & ~mw, h = (height + mh) & ~mh;
        break;
    }
    default:
        return;
    }
    if (w == width && h == height) return;
    FFLogger().Log(nullptr, llWarning,
                   FormatText("Frame size %dx%d is not supported by %s, using %dx%d instead", width, height,
                              codec->name, w, h));
    width = w, height = h;
}
