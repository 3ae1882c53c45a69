// The generic path: options of the libraries' own option system, kept in the
// defaults contexts and handed to every context made later.
#include "ff_options.h"

#include "ff_exception.h"
#include "ff_legacy.h"
#include "ff_logger.h"
#include "util_funcs.h"

#include <cstdlib>

namespace {
TOptionResult Failure(const std::string& message, int code) {
    FF.av_log(nullptr, AV_LOG_ERROR, "%s\n", message.c_str());
    return TOptionResult(FFmpegException(message, code));
}

// The option flag of each media kind's codec options (data and attachment
// take any codec option).
int KindFlag(int kind) {
    switch (kind) {
    case AVMEDIA_TYPE_VIDEO: return AV_OPT_FLAG_VIDEO_PARAM;
    case AVMEDIA_TYPE_AUDIO: return AV_OPT_FLAG_AUDIO_PARAM;
    case AVMEDIA_TYPE_SUBTITLE: return AV_OPT_FLAG_SUBTITLE_PARAM;
    default: return 0;
    }
}

constexpr AVMediaType KindOrder[] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_DATA,
                                     AVMEDIA_TYPE_SUBTITLE, AVMEDIA_TYPE_ATTACHMENT};

// The text of an option of a context (null when it has none).
TAvMemoryPtr<char> OptionText(void* obj, const char* name) {
    uint8_t* out = nullptr;
    if (FF.av_opt_get(obj, name, 0, &out) < 0) return nullptr;
    return TAvMemoryPtr<char>(reinterpret_cast<char*>(out));
}

bool FindAndSet(void* obj, const std::string& name, const std::string& value, int flags, const AVOption*& found,
                bool& refused) {
    const AVOption* o = FF.av_opt_find(obj, name.c_str(), nullptr, flags, 0);
    if (!o) return false;
    found = o;
    if (FF.av_opt_set(obj, name.c_str(), value.c_str(), 0) < 0) refused = true;
    return !refused;
}

bool ClassHasOption(const AVClass* const* cls, const std::string& name) {
    return *cls && FF.av_opt_find(const_cast<AVClass**>(cls), name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
}

bool PrivateOptionExists(const std::string& name) {
    void* it = nullptr;
    while (const AVCodec* c = FF.av_codec_iterate(&it))
        if (ClassHasOption(&c->priv_class, name)) return true;
    it = nullptr;
    while (const AVOutputFormat* f = FF.av_muxer_iterate(&it))
        if (ClassHasOption(&f->priv_class, name)) return true;
    return false;
}

// Whether some encoder's private option of that name takes the value. Names
// such as "profile" are generic integers and, for libx264, private texts.
bool EncoderPrivateOptionAccepts(const std::string& name, const std::string& value) {
    void* it = nullptr;
    while (const AVCodec* c = FF.av_codec_iterate(&it)) {
        if (!FF.av_codec_is_encoder(c) || !ClassHasOption(&c->priv_class, name)) continue;
        const TCodecContextPtr ctx(FF.avcodec_alloc_context3(c));
        if (ctx && ctx->priv_data && FF.av_opt_set(ctx->priv_data, name.c_str(), value.c_str(), 0) >= 0) return true;
    }
    return false;
}

void ReadScalerFlags(TOptionState& state) {
    const auto text = OptionText(state.Defaults().Scaler(), "sws_flags");
    if (text) state.SwsFlags = static_cast<int>(std::strtoll(text.get(), nullptr, 0));
}

TOptionResult SetTodaysGenericOption(TOptionState& state, const std::string& name, const std::string& value) {
    TOptionDefaults& d = state.Defaults();
    const AVOption* found = nullptr;
    bool refused = false, set = false;
    std::string canonical = name;

    for (AVMediaType kind : KindOrder) {
        if (FindAndSet(d.Codec(kind), name, value, KindFlag(kind), found, refused)) canonical = found->name, set = true;
        if (refused) break;
    }
    if (!set && !refused && FindAndSet(d.Format(), name, value, 0, found, refused)) canonical = found->name, set = true;
    if (!set && !refused && FindAndSet(d.Scaler(), name, value, 0, found, refused)) {
        canonical = found->name, set = true;
        ReadScalerFlags(state);
    }
    if (!set && !refused && name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
        const AVMediaType kind =
            name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : name[0] == 'v' ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_SUBTITLE;
        if (FindAndSet(d.Codec(kind), name.substr(1), value, 0, found, refused)) canonical = found->name, set = true;
    }

    bool isPrivate = false;
    if (refused) {
        if (!EncoderPrivateOptionAccepts(name, value))
            return Failure(FormatText("Invalid value \"%s\" for option \"%s\"", value.c_str(), name.c_str()),
                           AVERROR(EINVAL));
        isPrivate = true;
    } else if (!found) {
        if (!PrivateOptionExists(name))
            return Failure(FormatText("Unrecognized option \"%s\"", name.c_str()), AVERROR_OPTION_NOT_FOUND);
        isPrivate = true;
    }

    if (isPrivate)
        d.Stored.push_back({name, value, true});
    else
        d.Stored.push_back({canonical, {}, false});
    if (d.Codec(AVMEDIA_TYPE_VIDEO)->debug || d.Format()->debug) FFLogger().SetLogLevel(llDebug);
    return {};
}

// A stored option on a new context: generic ones with the value of the
// defaults context when it carries the flags, private ones on the private
// options of the codec or muxer when they carry them (a video encoder's
// "preset" is not an audio encoder's).
void ApplyStored(const std::vector<TStoredOption>& stored, void* context, void* defaults, void* privateData,
                 int flags) {
    for (const TStoredOption& s : stored) {
        if (s.Private) {
            if (privateData && FF.av_opt_find(privateData, s.Name.c_str(), nullptr, flags, 0))
                FF.av_opt_set(privateData, s.Name.c_str(), s.Value.c_str(), 0);
            continue;
        }
        const AVOption* o = FF.av_opt_find(defaults, s.Name.c_str(), nullptr, flags, 0);
        if (!o) continue;
        if (o->type == AV_OPT_TYPE_FLAGS) {
            // Only the bits the user changed travel: an encoder's own flag
            // defaults (libx264's closed GOP) must survive a "+loop".
            int64_t now = 0, target = 0;
            if (FF.av_opt_get_int(defaults, s.Name.c_str(), 0, &now) < 0 ||
                FF.av_opt_get_int(context, s.Name.c_str(), 0, &target) < 0)
                continue;
            const int64_t generic = o->default_val.i64;
            target = (target | (now & ~generic)) & ~(generic & ~now);
            FF.av_opt_set_int(context, s.Name.c_str(), target, 0);
            continue;
        }
        const auto text = OptionText(defaults, s.Name.c_str());
        if (text) FF.av_opt_set(context, s.Name.c_str(), text.get(), 0);
    }
}
}  // namespace

TOptionDefaults::TOptionDefaults() {
    if (!FF.avcodec_alloc_context3 || !FF.avformat_alloc_context || !FF.sws_getCachedContext)
        throw FFmpegException("The codec libraries are not loaded");
    for (int kind = 0; kind < AVMEDIA_TYPE_NB; ++kind) {
        codecs_[kind].reset(FF.avcodec_alloc_context3(nullptr));
        if (!codecs_[kind]) throw FFmpegException("avcodec_alloc_context3 failed");
        codecs_[kind]->codec_type = static_cast<AVMediaType>(kind);
    }
    format_.reset(FF.avformat_alloc_context());
    if (!format_) throw FFmpegException("avformat_alloc_context failed");
    scaler_.reset(FF.sws_getCachedContext(nullptr, 16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                          nullptr, nullptr, nullptr));
    if (!scaler_) throw FFmpegException("Cannot get resampling context");
}

AVCodecContext* TOptionDefaults::Codec(AVMediaType kind) const {
    return kind >= 0 && kind < AVMEDIA_TYPE_NB ? codecs_[kind].get() : nullptr;
}

TOptionState::TOptionState() = default;
TOptionState::~TOptionState() = default;

TOptionDefaults& TOptionState::Defaults() {
    if (!defaults_) {
        defaults_ = std::make_unique<TOptionDefaults>();
        if (SwsFlags != SWS_BICUBIC)
            FF.av_opt_set(defaults_->Scaler(), "sws_flags", std::to_string(SwsFlags).c_str(), 0);
    }
    return *defaults_;
}

TOptionResult SetGenericOption(TOptionState& state, const std::string& name, const std::string& value) {
    const std::string n = Trim(name);
    if (n.empty()) return TOptionResult(FFmpegException("", AVERROR_OPTION_NOT_FOUND));
    TLegacyTranslation t = TranslateLegacyOption(state, n, value);
    if (!t.Legacy) return SetTodaysGenericOption(state, n, value);
    for (const auto& [todayName, todayValue] : t.Options)
        if (TOptionResult r = SetTodaysGenericOption(state, todayName, todayValue); !r) return r;
    return {};
}

void ApplyStoredCodecOptions(TOptionState& state, AVCodecContext* context, int flags) {
    if (!context || !state.HasDefaults()) return;
    TOptionDefaults& d = state.Defaults();
    AVCodecContext* defaults = d.Codec(context->codec_type);
    if (!defaults) defaults = d.Codec(AVMEDIA_TYPE_DATA);
    void* priv = context->codec && context->codec->priv_class ? context->priv_data : nullptr;
    ApplyStored(d.Stored, context, defaults, priv, flags);
}

void ApplyStoredFormatOptions(TOptionState& state, AVFormatContext* context, int flags) {
    if (!context || !state.HasDefaults()) return;
    TOptionDefaults& d = state.Defaults();
    const AVClass* cls = context->oformat ? context->oformat->priv_class
                         : context->iformat ? context->iformat->priv_class
                                            : nullptr;
    ApplyStored(d.Stored, context, d.Format(), cls ? context->priv_data : nullptr, flags);
}
