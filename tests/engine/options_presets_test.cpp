// Presets and the option texts of the output presets, applied under
// StrictOptions and checked on the real encoders.
#include "ff_presets.h"
#include "options_fixture.h"

#include "../common/temp_dir.h"

#include <cstring>

namespace {
// Opens an encoder with the stored options, encodes a few frames of grey and
// returns every packet's bytes; fails the test when the encoder refuses.
std::string Encode(TOptionState& st, const char* encoder, int width = 320, int height = 240) {
    const AVCodec* codec = FF.avcodec_find_encoder_by_name(encoder);
    EXPECT_NE(codec, nullptr) << encoder;
    if (!codec) return {};
    AVCodecContext* ctx = FF.avcodec_alloc_context3(codec);
    ctx->time_base = {1, 25};
    ctx->framerate = {25, 1};
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    ApplyStoredCodecOptions(st, ctx, OptFlagsOutputVideo);
    const int opened = FF.avcodec_open2(ctx, codec, nullptr);
    EXPECT_GE(opened, 0) << encoder << " refused the options";
    std::string bytes;
    if (opened >= 0) {
        AVFrame* frame = FF.av_frame_alloc();
        AVPacket* pkt = FF.av_packet_alloc();
        frame->format = ctx->pix_fmt;
        frame->width = width;
        frame->height = height;
        EXPECT_GE(FF.av_frame_get_buffer(frame, 0), 0);
        for (int i = 0; i <= 3; ++i) {
            if (i < 3) {
                FF.av_frame_make_writable(frame);
                for (int p = 0; p < 3 && frame->data[p]; ++p)
                    std::memset(frame->data[p], 128, static_cast<size_t>(frame->linesize[p]) * (p ? height / 2 : height));
                frame->pts = i;
            }
            EXPECT_GE(FF.avcodec_send_frame(ctx, i < 3 ? frame : nullptr), 0);
            while (FF.avcodec_receive_packet(ctx, pkt) >= 0) {
                bytes.append(reinterpret_cast<const char*>(pkt->data), static_cast<size_t>(pkt->size));
                FF.av_packet_unref(pkt);
            }
        }
        FF.av_packet_free(&pkt);
        FF.av_frame_free(&frame);
    }
    FF.avcodec_free_context(&ctx);
    return bytes;
}

// x264's own settings line, written into the first frame.
std::string X264Settings(const std::string& bytes) {
    const size_t at = bytes.find("x264 - core");
    if (at == std::string::npos) return {};
    return bytes.substr(at, bytes.find('\0', at) - at) + " ";
}

// Opens an audio encoder with the stored options at the pending rate and
// channels, the rate moved to one the encoder takes.
bool OpenAudio(TOptionState& st, const char* encoder) {
    const AVCodec* codec = FF.avcodec_find_encoder_by_name(encoder);
    if (!codec) return false;
    AVCodecContext* ctx = FF.avcodec_alloc_context3(codec);
    ctx->sample_rate = st.AudioSampleRate;
    FF.av_channel_layout_default(&ctx->ch_layout, st.AudioChannels);
    ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    ctx->time_base = {1, ctx->sample_rate};
    ApplyStoredCodecOptions(st, ctx, OptFlagsOutputAudio);
    const bool ok = FF.avcodec_open2(ctx, codec, nullptr) >= 0;
    FF.avcodec_free_context(&ctx);
    return ok;
}
}  // namespace

class PresetsTest : public OptionsTest {};

TEST_F(PresetsTest, EveryBuiltinPresetAppliesAndOpensLibx264) {
    ASSERT_EQ(BuiltinPresetNames().size(), 36u);
    for (const std::string& name : BuiltinPresetNames()) {
        SCOPED_TRACE(name);
        TOptionState st;
        EXPECT_EQ(Raised([&] { SetOption(st, host, "vpre", name); }), "");
        const std::string x264 = X264Settings(Encode(st, "libx264"));
        EXPECT_NE(x264, "");
        if (name.find("lossless") != std::string::npos) {
            EXPECT_NE(x264.find("qp=0 "), std::string::npos) << x264;
        }
        if (name.find("ipod") != std::string::npos) {
            EXPECT_NE(x264.find("cabac=0 "), std::string::npos) << x264;
            EXPECT_NE(x264.find("bframes=0 "), std::string::npos) << x264;
        }
        if (name == "libx264-ultrafast") {
            EXPECT_NE(x264.find("subme=0 "), std::string::npos) << x264;
        }
        if (name == "libx264-veryslow") {
            EXPECT_NE(x264.find("subme=10 "), std::string::npos) << x264;
        }
    }
    EXPECT_EQ(BuiltinPresetText("LIBX264-Fast"), "preset=fast\n");
}

TEST_F(PresetsTest, TheOldPresetLinesReachX264InTodaysTerms) {
    // The preset this program uses, given by the codec name and the short name.
    Set("vcodec", "libx264");
    Set("vpre", "default");
    std::string x264 = X264Settings(Encode(state, "libx264"));
    for (const char* s : {"cabac=1 ", "deblock=1:0:0 ", "analyse=0x3:0x113 ", "me=hex ", "subme=7 ", "mixed_ref=1 ",
                          "me_range=16 ", "chroma_me=1 ", "trellis=1 ", "8x8dct=1 ", "fast_pskip=1 ", "bframes=3 ",
                          "b_adapt=1 ", "direct=1 ", "weightb=1 ", "weightp=2 ", "keyint=250 ", "keyint_min=25 ",
                          "scenecut=40 ", "qcomp=0.60 ", "qpmin=10 ", "qpmax=51 ", "qpstep=4 ", "ip_ratio=1.41 ",
                          "ref=3 ", "open_gop=0 "})
        EXPECT_NE(x264.find(s), std::string::npos) << s << " in " << x264;

    TOptionState baseline;
    SetOption(baseline, host, "vpre", "libx264-baseline");
    x264 = X264Settings(Encode(baseline, "libx264"));
    for (const char* s : {"cabac=0 ", "8x8dct=0 ", "bframes=0 ", "weightp=0 "})
        EXPECT_NE(x264.find(s), std::string::npos) << s << " in " << x264;

    TOptionState main;
    SetOption(main, host, "vpre", "libx264-main");
    x264 = X264Settings(Encode(main, "libx264"));
    EXPECT_NE(x264.find("8x8dct=0 "), std::string::npos) << x264;
}

TEST_F(PresetsTest, DeviceAndPspOptionTextsOpenTheVideoAndAudioEncoders) {
    // As an output applies them: codecs, the text, then the record's fields.
    Set("vcodec", "libx264");
    Set("acodec", "libfaac");
    ApplyOptionText(state, host, DeviceOptions, false);
    Set("vb", "640000");
    Set("ab", "128000");
    Set("ar", "44100");
    std::string x264 = X264Settings(Encode(state, "libx264"));
    for (const char* s : {"cabac=0 ", "ref=1 ", "deblock=1:0:0 ", "analyse=0x3:0x13 ", "subme=5 ", "me_range=16 ",
                          "chroma_me=1 ", "trellis=2 ", "keyint=250 ", "keyint_min=25 ", "scenecut=40 ", "rc=crf ",
                          "crf=24.0 ", "qpmin=10 ", "qpmax=51 "})
        EXPECT_NE(x264.find(s), std::string::npos) << s << " in " << x264;
    EXPECT_TRUE(OpenAudio(state, "aac"));

    TOptionState psp;
    SetOption(psp, host, "vcodec", "libx264");
    ApplyOptionText(psp, host, PspOptions, false);
    SetOption(psp, host, "vb", "1500000");
    SetOption(psp, host, "ab", "160000");
    SetOption(psp, host, "ar", "48000");
    x264 = X264Settings(Encode(psp, "libx264", 480, 272));
    for (const char* s : {"cabac=1 ", "ref=2 ", "analyse=0x3:0x111 ", "me=umh ", "subme=5 ", "trellis=1 ", "bframes=1 ",
                          "keyint=300 ", "qcomp=0.60 ", "qpstep=4 ", "vbv_maxrate=4000 ", "vbv_bufsize=4000 "})
        EXPECT_NE(x264.find(s), std::string::npos) << s << " in " << x264;
    EXPECT_EQ(Logged(llInfo, "rc_eq"), 1);
    EXPECT_TRUE(OpenAudio(psp, "aac"));
}

TEST_F(PresetsTest, AudioOptionTextsOfTheAudioPresetsOpenTheirEncoders) {
    for (const char* text : {"aq=4.97", "aq=8.05"}) {
        TOptionState st;
        ApplyOptionText(st, host, text, false);
        EXPECT_GT(st.AudioQScale, 4.9f);
        EXPECT_TRUE(OpenAudio(st, "libvorbis"));
    }
    for (int level = 0; level <= 8; ++level) {
        TOptionState st;
        ApplyOptionText(st, host, "compression_level=" + std::to_string(level), false);
        EXPECT_EQ(st.Defaults().Codec(AVMEDIA_TYPE_AUDIO)->compression_level, level);
        EXPECT_TRUE(OpenAudio(st, "flac"));
    }
}

TEST_F(PresetsTest, PresetFilesAndTheirFaults) {
    TempDir dir;
    const std::string file = dir.write("my.ffpreset", "# comment\r\n\r\n  crf=30 \r\nvcodec=libx264\nb_strategy=2\n");
    Set("vpre", file);
    EXPECT_EQ(state.VideoCodecName, "libx264");
    ASSERT_NE(Stored("crf"), nullptr);
    EXPECT_EQ(Stored("crf")->Value, "30");
    Set("fpre", dir.write("f.ffpreset", "g=99\n"));
    EXPECT_EQ(state.Defaults().Codec(AVMEDIA_TYPE_VIDEO)->gop_size, 99);
    // An empty name loads nothing (an output without a preset).
    EXPECT_EQ(Raised([&] { Set("apre", ""); }), "");

    const std::string missing = dir.file("none.ffpreset");
    EXPECT_EQ(Raised([&] { Set("vpre", missing); }), "Preset \"" + missing + "\" not found");
    EXPECT_EQ(Raised([&] { Set("fpre", "libx264-default"); }), "Preset \"libx264-default\" not found");

    const std::string bad = dir.write("bad.ffpreset", "crf=\n");
    EXPECT_EQ(Raised([&] { Set("vpre", bad); }), bad + ": Invalid syntax: \"crf=\"");
    const std::string unknown = dir.write("unknown.ffpreset", "nosuchoption=1\n");
    EXPECT_EQ(Raised([&] { Set("vpre", unknown); }),
              "Unrecognized option \"nosuchoption\"\r\n" + unknown +
                  ": Invalid option or argument: \"nosuchoption=1\", parsed as \"nosuchoption\" = \"1\"");
    state.StrictOptions = false;
    EXPECT_EQ(Raised([&] { Set("vpre", unknown); }), "");
}
