// Options of the older libraries and the encoder adaptations.
#include "ff_legacy.h"
#include "options_fixture.h"

#include <utility>

namespace {
using TPairs = std::vector<std::pair<std::string, std::string>>;
}

class LegacyTest : public OptionsTest {
protected:
    TPairs Translate(const std::string& name, const std::string& value, bool legacy = true) {
        const TLegacyTranslation t = TranslateLegacyOption(state, name, value);
        EXPECT_EQ(t.Legacy, legacy) << name << "=" << value;
        return t.Options;
    }
};

TEST_F(LegacyTest, OldOptionsBecomeTodaysOrAreDroppedWithALine) {
    EXPECT_EQ(Translate("flags2", "+mixed_refs+wpred+dct8x8+fastpskip"),
              (TPairs{{"mixed-refs", "1"}, {"weightb", "1"}, {"8x8dct", "1"}, {"fast-pskip", "1"}}));
    EXPECT_EQ(Translate("flags2", "-wpred-dct8x8"), (TPairs{{"weightb", "0"}, {"8x8dct", "0"}}));
    // Words today's flags still know stay in the option.
    EXPECT_EQ(Translate("flags2", "+fast+bpyramid"), (TPairs{{"flags2", "+fast"}, {"b-pyramid", "normal"}}));
    EXPECT_EQ(Translate("flags", "+scan_offset+loop"), (TPairs{{"flags", "+loop"}, {"scan_offset", "1"}}));
    EXPECT_EQ(Translate("flags", "+loop", false), TPairs{});
    EXPECT_EQ(Translate("flags", "qpel+naq"), (TPairs{{"flags", "qpel"}, {"mpv_flags", "+naq"}}));

    EXPECT_EQ(Translate("partitions", "+parti8x8+parti4x4+partp8x8+partb8x8"),
              (TPairs{{"partitions", "i8x8,i4x4,p8x8,b8x8"}}));
    EXPECT_EQ(Translate("partitions", "+parti4x4+partp8x8-parti4x4"), (TPairs{{"partitions", "p8x8"}}));
    EXPECT_EQ(Translate("partitions", "-parti4x4"), (TPairs{{"partitions", "none"}}));
    EXPECT_EQ(Translate("partitions", "i4x4,p8x8", false), TPairs{});

    EXPECT_EQ(Translate("me_method", "umh"), (TPairs{{"motion-est", "umh"}}));
    EXPECT_EQ(Translate("me_method", "epzs"), (TPairs{{"motion_est", "epzs"}}));
    EXPECT_EQ(Translate("deblockalpha", "-1"), (TPairs{{"deblock", "-1:0"}}));
    EXPECT_EQ(Translate("deblockbeta", "2"), (TPairs{{"deblock", "-1:2"}}));
    EXPECT_EQ(Translate("directpred", "3"), (TPairs{{"direct-pred", "3"}}));
    EXPECT_EQ(Translate("wpredp", "2"), (TPairs{{"weightp", "2"}}));
    EXPECT_EQ(Translate("psy_trellis", "0.2"), (TPairs{{"psy-rd", "1.0:0.2"}}));
    EXPECT_EQ(Translate("rc_eq", "'tex^qComp'"), (TPairs{{"rc_eq", "tex^qComp"}}));
    EXPECT_EQ(Translate("subq", "5", false), TPairs{});

    ClearLog();
    EXPECT_EQ(Translate("rc_eq", "'blurCplx^(1-qComp)'"), TPairs{});
    EXPECT_EQ(Translate("me_method", "full"), TPairs{});
    EXPECT_EQ(Translate("flags2", "+brdo"), TPairs{});
    EXPECT_EQ(Logged(llInfo, "Option \"rc_eq='blurCplx^(1-qComp)'\" dropped"), 1);
    EXPECT_EQ(Logged(llInfo, "Option \"me_method=full\" dropped"), 1);
    EXPECT_EQ(Logged(llInfo, "Option \"flags2=+brdo\" dropped"), 1);

    // Through the generic path, a dropped option counts as applied.
    EXPECT_TRUE(SetGenericOption(state, "bidir_refine", "1"));
    EXPECT_TRUE(SetGenericOption(state, "flags2", "+dct8x8+local_header"));
    ASSERT_NE(Stored("8x8dct"), nullptr);
    EXPECT_TRUE(Stored("8x8dct")->Private);
    EXPECT_TRUE(state.Defaults().Codec(AVMEDIA_TYPE_VIDEO)->flags2 & AV_CODEC_FLAG2_LOCAL_HEADER);
    // A generic name whose value only libx264's private option takes.
    EXPECT_TRUE(SetGenericOption(state, "profile", "baseline"));
    EXPECT_TRUE(Stored("profile")->Private);
}

TEST_F(LegacyTest, EncodersAndValuesTheBuildRefusesAreMoved) {
    const AVCodec* aac = FindEncoderAdapted("libfaac");
    ASSERT_NE(aac, nullptr);
    EXPECT_STREQ(aac->name, "aac");
    EXPECT_EQ(LoggedAt(llWarning), 1);
    EXPECT_EQ(Logged(llWarning, "Encoder \"libfaac\" is not available, using \"aac\" instead"), 1);
    EXPECT_STREQ(FindEncoderAdapted("mpeg4")->name, "mpeg4");
    EXPECT_EQ(FindEncoderAdapted("no_such_encoder"), nullptr);
    EXPECT_EQ(FindEncoderAdapted(""), nullptr);
    EXPECT_EQ(LoggedAt(llWarning), 1);

    EXPECT_EQ(NearestSupportedSampleRate(aac, 22500), 22050);
    EXPECT_EQ(NearestSupportedSampleRate(aac, 44800), 44100);
    EXPECT_EQ(NearestSupportedSampleRate(aac, 48000), 48000);
    EXPECT_EQ(Logged(llWarning, "Sample rate 22500 Hz is not supported by aac, using 22050 Hz instead"), 1);
    EXPECT_EQ(LoggedAt(llWarning), 3);
    const AVCodec* pcm = FF.avcodec_find_encoder_by_name("pcm_s16le");
    EXPECT_EQ(NearestSupportedSampleRate(pcm, 44000), 44000);

    const AVCodec* mp2 = FF.avcodec_find_encoder_by_name("mp2");
    EXPECT_EQ(NearestSupportedBitRate(mp2, 48000, 448000), 384000);  // the DVD target's rate
    EXPECT_EQ(NearestSupportedBitRate(mp2, 22050, 224000), 160000);
    EXPECT_EQ(NearestSupportedBitRate(mp2, 44100, 224000), 224000);
    EXPECT_EQ(NearestSupportedBitRate(aac, 48000, 448000), 448000);
    EXPECT_EQ(Logged(llWarning, "Bit rate 448000 bit/s is not supported by mp2, using 384000 bit/s instead"), 1);
    EXPECT_EQ(LoggedAt(llWarning), 5);

    auto size = [](const char* encoder, int w, int h) {
        AdaptFrameSize(FF.avcodec_find_encoder_by_name(encoder), w, h);
        return std::to_string(w) + "x" + std::to_string(h);
    };
    EXPECT_EQ(size("h263", 1280, 720), "704x576");
    EXPECT_EQ(size("h263", 176, 144), "176x144");
    EXPECT_EQ(size("h263", 100, 80), "128x96");
    EXPECT_EQ(size("rv20", 322, 242), "324x244");
    EXPECT_EQ(size("h263p", 276, 144), "276x144");
    EXPECT_EQ(size("wmv2", 321, 241), "322x242");
    EXPECT_EQ(size("mpeg4", 321, 241), "321x241");
    EXPECT_EQ(LoggedAt(llWarning), 9);

    // 3GP's AMR has no encoder in this build.
    const AVOutputFormat* tgp = FF.av_guess_format("3gp", nullptr, nullptr);
    ASSERT_NE(tgp, nullptr);
    const AVCodec* audio = DefaultEncoderAdapted(tgp, tgp->audio_codec, AVMEDIA_TYPE_AUDIO);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(FF.avformat_query_codec(tgp, audio->id, FF_COMPLIANCE_NORMAL), 1);
    EXPECT_EQ(Logged(llWarning, "the default codec of 3gp"), FF.avcodec_find_encoder(tgp->audio_codec) ? 0 : 1);
    EXPECT_STREQ(DefaultEncoderAdapted(tgp, tgp->video_codec, AVMEDIA_TYPE_VIDEO)->name, "h263");
}

TEST_F(LegacyTest, AdaptedEncodersOpenWithTheAdaptedValues) {
    // The AAC presets' 22500 Hz and the 3GP presets' 8 kHz mono.
    for (const auto& [rate, channels] : {std::pair{22500, 1}, std::pair{44800, 2}, std::pair{8000, 1}}) {
        const AVCodec* codec = FindEncoderAdapted("libfaac");
        AVCodecContext* ctx = FF.avcodec_alloc_context3(codec);
        ctx->sample_rate = NearestSupportedSampleRate(codec, rate);
        FF.av_channel_layout_default(&ctx->ch_layout, channels);
        ctx->sample_fmt = codec->sample_fmts[0];
        ctx->bit_rate = 64000;
        EXPECT_GE(FF.avcodec_open2(ctx, codec, nullptr), 0) << rate;
        FF.avcodec_free_context(&ctx);
    }
    const AVCodec* mp2 = FF.avcodec_find_encoder_by_name("mp2");
    AVCodecContext* audio = FF.avcodec_alloc_context3(mp2);
    audio->sample_rate = 48000;
    FF.av_channel_layout_default(&audio->ch_layout, 2);
    audio->sample_fmt = AV_SAMPLE_FMT_S16;
    audio->bit_rate = NearestSupportedBitRate(mp2, 48000, 448000);
    EXPECT_GE(FF.avcodec_open2(audio, mp2, nullptr), 0);
    FF.avcodec_free_context(&audio);

    int w = 1280, h = 720;
    const AVCodec* h263 = FF.avcodec_find_encoder_by_name("h263");
    AdaptFrameSize(h263, w, h);
    AVCodecContext* ctx = FF.avcodec_alloc_context3(h263);
    ctx->width = w;
    ctx->height = h;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = {1, 25};
    EXPECT_GE(FF.avcodec_open2(ctx, h263, nullptr), 0);
    FF.avcodec_free_context(&ctx);
}
