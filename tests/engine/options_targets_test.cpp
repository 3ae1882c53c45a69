// The target shortcuts and their norms.
#include "ff_targets.h"
#include "options_fixture.h"

#include <utility>

namespace {
int64_t VideoDefault(TOptionState& st, const char* name) {
    int64_t v = 0;
    FF.av_opt_get_int(st.Defaults().Codec(AVMEDIA_TYPE_VIDEO), name, 0, &v);
    return v;
}

// Opens the target's video encoder with the stored options.
bool OpensVideo(TOptionState& st, int width, int height) {
    const AVCodec* codec = FF.avcodec_find_encoder_by_name(st.VideoCodecName.c_str());
    if (!codec) return false;
    AVCodecContext* ctx = FF.avcodec_alloc_context3(codec);
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = {st.FrameRate.den, st.FrameRate.num};
    ctx->framerate = st.FrameRate;
    ApplyStoredCodecOptions(st, ctx, OptFlagsOutputVideo);
    const bool ok = FF.avcodec_open2(ctx, codec, nullptr) >= 0;
    FF.avcodec_free_context(&ctx);
    return ok;
}

// The muxer's private option after the stored options were applied.
std::string MuxerOption(TOptionState& st, const char* format, const char* name) {
    const AVOutputFormat* f = FF.av_guess_format(format, nullptr, nullptr);
    AVFormatContext* oc = FF.avformat_alloc_context();
    oc->oformat = f;
    oc->priv_data = FF.av_mallocz(static_cast<size_t>(f->priv_data_size));
    *static_cast<const AVClass**>(oc->priv_data) = f->priv_class;
    FF.av_opt_set_defaults(oc->priv_data);
    ApplyStoredFormatOptions(st, oc, OptFlagsOutputContainer);
    uint8_t* text = nullptr;
    FF.av_opt_get(oc->priv_data, name, 0, &text);
    std::string value = text ? reinterpret_cast<char*>(text) : "";
    FF.av_free(text);
    FF.avformat_free_context(oc);
    return value;
}
}  // namespace

class TargetsTest : public OptionsTest {};

TEST_F(TargetsTest, VcdSvcdAndDvdWithTheirNorms) {
    ApplyTarget(state, host, "vcd", "pal", "ntsc");
    EXPECT_EQ(state.VideoCodecName, "mpeg1video");
    EXPECT_EQ(state.AudioCodecName, "mp2");
    EXPECT_EQ(state.FileFormat, "vcd");
    EXPECT_EQ(state.FrameWidth, 352);
    EXPECT_EQ(state.FrameHeight, 288);
    EXPECT_EQ(state.FrameRate.num, 25);
    EXPECT_EQ(state.FrameRate.den, 1);
    EXPECT_EQ(VideoDefault(state, "g"), 15);
    EXPECT_EQ(VideoDefault(state, "b"), 1150000);
    EXPECT_EQ(VideoDefault(state, "minrate"), 1150000);
    EXPECT_EQ(VideoDefault(state, "bufsize"), 327680);
    EXPECT_EQ(state.Defaults().Codec(AVMEDIA_TYPE_AUDIO)->bit_rate, 224000);
    EXPECT_EQ(state.AudioSampleRate, 44100);
    EXPECT_FLOAT_EQ(state.MuxPreload, 0.44f);
    EXPECT_EQ(state.Defaults().Format()->packet_size, 2324u);
    EXPECT_EQ(MuxerOption(state, "vcd", "muxrate"), "1411200");
    EXPECT_DOUBLE_EQ(state.FrameAspectRatio, 4.0 / 3.0);
    EXPECT_EQ(Logged(llInfo, "Assuming 4:3 for aspect ratio"), 1);
    EXPECT_TRUE(OpensVideo(state, 352, 288));

    TOptionState svcd;
    svcd.AudioChannels = 1;
    svcd.FrameAspectRatio = 16.0 / 9.0;
    ApplyTarget(svcd, host, "svcd", "ntsc", "pal");
    EXPECT_EQ(svcd.VideoCodecName, "mpeg2video");
    EXPECT_EQ(svcd.FrameWidth, 480);
    EXPECT_EQ(svcd.FrameHeight, 480);
    EXPECT_EQ(svcd.FrameRate.num, 30000);
    EXPECT_EQ(VideoDefault(svcd, "g"), 18);
    EXPECT_EQ(VideoDefault(svcd, "maxrate"), 2516000);
    EXPECT_EQ(svcd.AudioChannels, 2);
    EXPECT_DOUBLE_EQ(svcd.FrameAspectRatio, 16.0 / 9.0);  // kept
    EXPECT_TRUE(OpensVideo(svcd, 480, 480));              // with the scan offset

    TOptionState dvd;
    ApplyTarget(dvd, host, "dvd", "film", "pal");
    EXPECT_EQ(dvd.AudioCodecName, "ac3");
    EXPECT_EQ(dvd.FrameWidth, 720);
    EXPECT_EQ(dvd.FrameHeight, 480);
    EXPECT_EQ(dvd.FrameRate.num, 24000);
    EXPECT_EQ(dvd.AudioSampleRate, 48000);
    EXPECT_EQ(dvd.Defaults().Codec(AVMEDIA_TYPE_AUDIO)->bit_rate, 448000);
    EXPECT_EQ(MuxerOption(dvd, "dvd", "muxrate"), "10080000");
    EXPECT_EQ(Logged(llInfo, "Assuming 16:9 for aspect ratio"), 1);
    EXPECT_TRUE(OpensVideo(dvd, 720, 480));
}

TEST_F(TargetsTest, AnOutputRecordsEmptyFieldsKeepTheTargetsChoices) {
    // The order of an output: target, the record's codecs, presets, size.
    ApplyTarget(state, host, "dvd", "ntsc", "pal");
    for (const auto& [name, value] : {std::pair{"acodec", "mp2"}, std::pair{"vcodec", ""}, std::pair{"scodec", ""},
                                      std::pair{"vpre", ""}, std::pair{"s", ""}, std::pair{"vf", ""}})
        Set(name, value);
    EXPECT_EQ(state.VideoCodecName, "mpeg2video");
    EXPECT_EQ(state.AudioCodecName, "mp2");
    EXPECT_EQ(state.FrameWidth, 720);
    EXPECT_EQ(state.FrameHeight, 480);
}

TEST_F(TargetsTest, TheNormIsFoundFromTheRatesOrTheFallback) {
    // The pending rate of no input yet is 25/0.
    EXPECT_EQ(Raised([&] { ApplyTarget(state, host, "dvd", "auto", "ntsc"); }), "frame_rate is invalid.");

    state.FrameRate = {25, 1};
    ApplyTarget(state, host, "dvd", "auto", "ntsc");
    EXPECT_EQ(state.FrameHeight, 576);
    EXPECT_EQ(Logged(llVerbose, "Assuming PAL for target."), 1);

    TOptionState fromInputs;
    fromInputs.FrameRate = {10, 1};
    host.rates = {{15, 1}, {30000, 1001}};
    ApplyTarget(fromInputs, host, "vcd", "", "pal");
    EXPECT_EQ(fromInputs.FrameHeight, 240);
    EXPECT_EQ(Logged(llVerbose, "Assuming NTSC for target."), 1);

    host.rates.clear();
    for (const auto& [fallback, height, rate] :
         {std::tuple{"ntsc", 480, 30000}, std::tuple{"film", 480, 24000}, std::tuple{"pal", 576, 25},
          std::tuple{"", 576, 25}}) {
        TOptionState st;
        st.FrameRate = {10, 1};
        ApplyTarget(st, host, "dvd", "auto", fallback);
        EXPECT_EQ(st.FrameHeight, height) << fallback;
        EXPECT_EQ(st.FrameRate.num, rate) << fallback;
    }
    EXPECT_EQ(Logged(llVerbose, "Assuming"), 2);
}

TEST_F(TargetsTest, TheTargetOptionAndDv) {
    Set("target", "pal-dvd");
    EXPECT_EQ(state.FrameHeight, 576);
    EXPECT_EQ(state.FileFormat, "dvd");

    TOptionState dv;
    SetOption(dv, host, "target", "ntsc-dv");
    EXPECT_EQ(dv.FileFormat, "dv");
    EXPECT_EQ(dv.PixelFormat, AV_PIX_FMT_YUV411P);
    EXPECT_EQ(dv.AudioSampleRate, 48000);
    SetOption(dv, host, "target", "pal-dv");
    EXPECT_EQ(dv.PixelFormat, AV_PIX_FMT_YUV420P);
    SetOption(dv, host, "target", "ntsc-dv50");
    EXPECT_EQ(dv.PixelFormat, AV_PIX_FMT_YUV422P);
    EXPECT_EQ(dv.FrameWidth, 720);
    EXPECT_EQ(dv.VideoCodecName, "");  // dv sets the format only

    // Without a norm prefix the fallback is NTSC.
    TOptionState plain;
    plain.FrameRate = {12, 1};
    SetOption(plain, host, "target", "svcd");
    EXPECT_EQ(plain.FrameHeight, 480);

    EXPECT_EQ(Raised([&] { Set("target", "pal-cd"); }), "Unknown target type");
    EXPECT_EQ(Raised([&] { Set("target", "dvx"); }), "Unknown target type");
}
