#include "preset_params.h"

#include "ff_records.h"
#include "user_settings.h"

#include <array>

const char* const X264DeviceOptions =
    "flags=+loop\r\ncmp=+chroma\r\ndeblockalpha=0\r\ndeblockbeta=0\r\ncrf=24\r\nrefs=1\r\ncoder=0\r\n"
    "me_range=16\r\nsubq=5\r\npartitions=+parti4x4+parti8x8+partp8x8\r\ng=250\r\nkeyint_min=25\r\n"
    "level=30\r\nqmin=10\r\nqmax=51\r\ntrellis=2\r\nsc_threshold=40\r\ni_qfactor=0.71\r\n";

const char* const X264PSPOptions =
    "flags=+loop\r\ncmp=+chroma\r\npartitions=+parti4x4+partp8x8+partb8x8\r\nme_method=umh\r\nsubq=5\r\n"
    "trellis=1\r\nrefs=2\r\nbf=1\r\ncoder=1\r\nme_range=16\r\ng=300\r\nkeyint_min=25\r\nsc_threshold=40\r\n"
    "i_qfactor=0.71\r\nbt=64k\r\nmaxrate=4M\r\nbufsize=4M\r\nrc_eq='blurCplx^(1-qComp)'\r\nqcomp=0.6\r\n"
    "qmin=10\r\nqmax=51\r\nqdiff=4\r\nlevel=21";

namespace {

constexpr const char* _ = nullptr;
constexpr int32_t N = PresetNotWritten;

// A row of the Video class tables.
constexpr TPresetParams V(const char* vcodec, const char* vtag, const char* vpreset, int32_t vbitrate,
                          const char* size, const char* rate, const char* aspect, const char* acodec,
                          int32_t abitrate, int32_t asamplerate, int32_t achannels) {
    TPresetParams p;
    p.VideoCodec = vcodec;
    p.VideoTag = vtag;
    p.VideoPreset = vpreset;
    p.VideoBitrate = vbitrate;
    p.FrameSize = size;
    p.FrameRate = rate;
    p.FrameAspectRatio = aspect;
    p.AudioCodec = acodec;
    p.AudioBitrate = abitrate;
    p.AudioSampleRate = asamplerate;
    p.AudioChannels = achannels;
    return p;
}

// A row of the Device class tables (no tag, no aspect ratio).
constexpr TPresetParams D(const char* vcodec, const char* vpreset, int32_t vbitrate, const char* size,
                          const char* rate, const char* acodec, int32_t abitrate, int32_t asamplerate,
                          int32_t achannels) {
    return V(vcodec, _, vpreset, vbitrate, size, rate, _, acodec, abitrate, asamplerate, achannels);
}

// A row of the Audio class table.
constexpr TPresetParams A(const char* acodec, int32_t asamplerate, int32_t achannels, int32_t abitrate,
                          const char* ext = nullptr) {
    return V(_, _, _, N, _, _, _, acodec, abitrate, asamplerate, achannels).Ext(ext);
}

constexpr TPresetParams Common(const char* vcodec, const char* acodec, const char* ext = nullptr,
                               const char* fileFormat = nullptr) {
    return V(vcodec, _, _, N, _, _, _, acodec, N, N, N).Ext(ext).Format(fileFormat);
}

// Every stream copied as it is.
constexpr TPresetParams SameAsSource() { return V("copy", _, _, N, _, _, _, "copy", N, N, N); }
constexpr TPresetParams SameAsSourceAudio() { return A("copy", N, N, N); }

// Size and frame rate of the source, 4:2:0 8-bit, AAC 48 kHz stereo.
constexpr TPresetParams OriginalSize(const char* vcodec, const char* vtag, const char* ext) {
    return V(vcodec, vtag, _, N, _, _, _, "aac", 192000, 48000, 2).Ext(ext);
}
const char* const X264HighQuality = "preset=medium\r\ncrf=20\r\npix_fmt=yuv420p\r\n";
const char* const X265HighEfficiency = "preset=medium\r\ncrf=24\r\npix_fmt=yuv420p\r\nx265-params=log-level=error\r\n";
// AV1 and VP9 are to take no longer than x264's "medium" on the same clip
// (bench/modern_vs_h264.sh). SVT-AV1 preset 9 spends about x264's processor
// time (8 takes a quarter more) and spreads over every core by itself.
const char* const SvtAv1Crf32 = "preset=9\r\ncrf=32\r\npix_fmt=yuv420p\r\n";
const char* const SvtAv1Crf34 = "preset=9\r\ncrf=34\r\npix_fmt=yuv420p\r\n";
// libvpx's good-quality modes take twice x264's time at any cpu-used; the
// realtime mode at cpu-used 5 takes about half. Row threading and four tile
// columns let its threads (one per core) share a picture; b=0 makes crf the
// constant quality rather than a cap under the default bit rate.
const char* const Vp9Crf32 =
    "deadline=realtime\r\ncpu-used=5\r\nrow-mt=1\r\ntile-columns=2\r\ncrf=32\r\nb=0\r\npix_fmt=yuv420p\r\n";

// Size and frame rate of the source, Opus 48 kHz stereo.
constexpr TPresetParams OriginalSizeOpus(const char* vcodec, int32_t abitrate, const char* ext) {
    return V(vcodec, _, _, N, _, _, _, "libopus", abitrate, 48000, 2).Ext(ext);
}

const char* const Dev = X264DeviceOptions;
const char* const Psp = X264PSPOptions;

// ---- Video class -----------------------------------------------------------

const TPresetParams AVIRows[] = {
    V("mpeg4", "XVID", _, 4500000, "1280x720", _, "16:9", "libmp3lame", 192000, 44100, 2),
    V("libx264", _, "libx264-default", 4200000, "1920x1080", _, "16:9", "libmp3lame", 256000, 44100, 2),
    V("mpeg4", "XVID", _, 2500000, _, _, _, "libmp3lame", 256000, 44100, 2),
    V("mpeg4", "XVID", _, 1500000, _, _, _, "libmp3lame", 192000, 44100, 2),
    V("mpeg4", "XVID", _, 768000, _, _, _, "libmp3lame", 96000, 44100, 2),
    V("mpeg4", "XVID", _, 2500000, "720x540", _, _, "libmp3lame", 256000, 44100, 2),
    V("mpeg4", "XVID", _, 1500000, "512x384", _, _, "libmp3lame", 192000, 44100, 2),
    V("mpeg4", "XVID", _, 768000, "320x240", _, _, "libmp3lame", 96000, 44100, 2),
    V("libx264", _, "libx264-default", 1200000, _, _, _, "libmp3lame", 192000, 44100, 2),
    V("libx264", _, "libx264-default", 768000, _, _, _, "libmp3lame", 96000, 44100, 2),
    V("mpeg4", "FMP4", _, 460000, "320x240", _, _, "libmp3lame", 96000, 44100, 2),
    V("mpeg4", "FMP4", _, 324000, "240x180", _, _, "libmp3lame", 96000, 44100, 2),
    V("mpeg4", "XVID", _, 1600000, _, _, _, "libmp3lame", 192000, 44100, 2),
    V("mpeg4", "XVID", _, 760000, "480x272", _, _, "libmp3lame", 128000, 44100, 2),
    V("mpeg4", "XVID", _, 1400000, "720x480", _, _, "libmp3lame", 192000, 44100, 2),
    V("mpeg4", "XVID", _, 1000000, "640x480", _, _, "libmp3lame", 192000, 44100, 2),
    V("mpeg4", "XVID", _, 600000, "320x240", _, _, "libmp3lame", 128000, 44100, 2),
    V("mpeg4", "XVID", _, 1200000, "720x480", "30", _, "libmp3lame", 705000, 44100, 2),
    V("mpeg4", "XVID", _, 224000, "320x240", "15", _, "libmp3lame", 96000, 44100, 2),
    V("mpeg4", "XVID", _, 460000, "320x240", "15", _, "libmp3lame", 96000, 44100, 2),
    V("mpeg4", "XVID", _, 480000, "160x120", "15", _, "libmp3lame", 128000, 44100, 2),
    V("mjpeg", _, _, 4096000, "640x480", _, _, "pcm_s16le", 1411000, 44100, 2),
    V("mpeg4", "XVID", _, 1500000, "640x480", "25", _, "libmp3lame", 128000, 44100, 2),
    V("mpeg4", "XVID", _, 768000, "320x240", "30", _, "libmp3lame", 96000, 44100, 2),
    V("mpeg4", "XVID", _, 2000000, "640x480", "30", _, "libmp3lame", 128000, 44100, 2),
    V("mpeg4", "XVID", _, 2700000, "320x240", _, _, "libmp3lame", 128000, 44100, 2),
    V("mpeg4", "XVID", _, 1000000, "320x240", "25", _, "libmp3lame", 128000, 44100, 2),
    V("mpeg4", "DIVX", _, 1200000, _, _, _, "libmp3lame", 192000, 44100, 2),
    V("rawvideo", _, _, N, _, _, _, "pcm_s16le", 1411000, 44100, 2),
    SameAsSource(),
};

const TPresetParams MP4Rows[] = {
    V("libx264", _, _, 640000, "320x240", "30", _, "libfaac", 128000, 44100, 2).Ext(Dev),
    V("libx264", _, _, 640000, "640x480", "30", _, "libfaac", 128000, 44100, 2).Ext(Dev),
    V("mpeg4", _, _, 600000, "320x240", "30", _, "libfaac", 128000, 44100, 2),
    V("libx264", _, _, 640000, "640x420", "30", _, "libfaac", 128000, 44100, 2).Ext(Dev),
    V("libx264", _, "libx264-default", 2600000, "848x480", "30000/1001", "16:9", "libfaac", 256000, 48000, 2),
    V("libx264", _, _, 2600000, "848x480", "30000/1001", "16:9", "libfaac", 256000, 48000, 2).Format("psp").Ext(Psp),
    V("libx264", _, _, 2600000, "848x480", "30000/1001", "16:9", "libfaac", 768000, 48000, 2).Format("psp").Ext(Psp),
    V("libx264", _, _, 520000, "368x208", "30000/1001", "16:9", "libfaac", 128000, 48000, 2).Format("psp").Ext(Psp),
    V("libx264", _, _, 720000, "480x272", "30000/1001", "16:9", "libfaac", 128000, 48000, 2).Format("psp").Ext(Psp),
    V("mpeg4", _, _, 1200000, "640x480", _, _, "libfaac", 96000, 24000, 2),
    V("mpeg4", _, _, 640000, "320x240", _, _, "libfaac", 64000, 22050, 2),
    V("mpeg4", _, _, 1200000, "720x480", _, _, "libfaac", 96000, 48000, 2),
    V("mpeg4", _, _, 120000, "176x144", "15", _, "libfaac", 96000, 44100, 2),
    V("mpeg4", _, _, 56000, "128x96", "12", _, "libfaac", 56000, 22050, 2),
    V("mpeg4", _, _, 2500000, _, "25", _, "libfaac", 256000, 48000, 2),
    V("mpeg4", _, _, 1200000, _, "25", _, "libfaac", 192000, 48000, 2),
    V("mpeg4", _, _, 700000, _, "25", _, "libfaac", 128000, 48000, 2),
    V("mpeg4", _, _, 1500000, "640x480", "24", _, "libfaac", 128000, 48000, 2),
    V("mpeg4", _, _, 768000, "320x240", "30", _, "libfaac", 96000, 48000, 2),
    OriginalSize("libx264", _, X264HighQuality),
    OriginalSize("libx265", "hvc1", X265HighEfficiency),
    SameAsSource(),
    OriginalSize("libsvtav1", _, SvtAv1Crf32),
};

const TPresetParams FLVRows[] = {
    V("libx264", _, "libx264-default", 1200000, _, _, _, _, 160000, 44100, 2),
    V("libx264", _, "libx264-default", 930000, _, "20", _, _, 160000, 44100, 2),
    V(_, _, _, 780000, "352x288", "15", _, _, 64000, 22050, 2),
    V(_, _, _, 640000, "320x240", "15", _, _, 48000, 11025, 2),
    V(_, _, _, 480000, "276x144", "15", _, _, 24000, 11025, 1),
};

const TPresetParams SWFRows[] = {
    V(_, _, _, 1200000, _, "25", _, _, 160000, 44100, 2),
    V(_, _, _, 920000, _, "25", _, _, 112000, 44100, 2),
    V(_, _, _, 780000, "352x288", "15", _, _, 64000, 22050, 2),
    V(_, _, _, 640000, "320x240", "25", _, _, 48000, 11025, 2),
    V(_, _, _, 480000, "176x144", "15", _, _, 24000, 11025, 1),
};

const TPresetParams MPEGRows[] = {
    V("mpeg2video", _, _, 15000000, "1920x1080", "30000/1001", "4:3", "mp2", 224000, 48000, 2)
        .Rates(15000000, 15000000, 6881000),
    V("mpeg2video", _, _, 9000000, "1280x720", "30000/1001", "4:3", "mp2", 224000, 48000, 2),
    V(_, _, _, 4000000, _, "30000/1001", "4:3", "mp2", 224000, 48000, 2).TargetOf(3, 2),
    V(_, _, _, 4000000, _, "25", "4:3", "mp2", 224000, 48000, 2).TargetOf(3, 1),
    V("mpeg1video", _, _, 4000000, _, "30000/1001", _, "mp2", 224000, 44100, 2).Rates(4000000, 4000000, 1835000),
    V("mpeg2video", _, _, 4000000, _, "30000/1001", _, "mp2", 224000, 44100, 2).Rates(4000000, 4000000, 1835000),
    V("mpeg1video", _, _, 1150000, "720x480", "30000/1001", _, "mp2", 128000, 44100, 2).Rates(1150000, 1150000, 527000),
    V("mpeg1video", _, _, 860000, "720x480", "30000/1001", _, "mp2", 128000, 44100, 2).Rates(860000, 860000, 394000),
    V("mpeg1video", _, _, 780000, "320x240", "30000/1001", _, "mp2", 112000, 44100, 2).Rates(780000, 780000, 357000),
    V("mpeg1video", _, _, 2000000, "720x480", "30", _, "mp2", 192000, 44100, 2).Rates(2000000, 2000000, 917000),
    V(_, _, _, 2376000, _, "30000/1001", "4:3", "mp2", 224000, 44100, 2).TargetOf(2, 2),
    V(_, _, _, 2376000, _, "25", "4:3", "mp2", 224000, 44100, 2).TargetOf(2, 1),
    V(_, _, _, 1150000, _, "30000/1001", "4:3", "mp2", 224000, 44100, 2).TargetOf(1, 2),
    V(_, _, _, 1150000, _, "25", "4:3", "mp2", 224000, 44100, 2).TargetOf(1, 1),
    SameAsSource(),
};

const TPresetParams RMRows[] = {
    V("rv20", _, _, 1024000, _, _, _, _, N, N, N),
    V("rv20", _, _, 750000, _, _, _, _, N, N, N),
    V("rv20", _, _, 512000, _, _, _, _, N, N, N),
    V("rv20", _, _, 256000, _, _, _, _, N, N, N),
    V("rv20", _, _, 128000, _, _, _, _, N, N, N),
};

const TPresetParams WMVRows[] = {
    V("wmv2", _, _, 9000000, "1920x1080", "30000/1001", _, "wmav2", 384000, 48000, 2),
    V("wmv2", _, _, 7000000, "1280x720", "30000/1001", _, "wmav2", 384000, 48000, 2),
    V("wmv2", _, _, 1112000, "320x240", "25", _, "wmav2", 192000, 44100, 2),
    V("wmv2", _, _, 568000, "320x240", "25", _, "wmav2", 128000, 44100, 2),
    V("wmv2", _, _, 176000, "192x144", "20", _, "wmav2", 48000, 32000, 2),
    V("wmv2", _, _, 920000, "352x288", "25", _, "wmav2", 128000, 44100, 2),
    V("wmv2", _, _, 600000, "320x240", "25", _, "wmav2", 128000, 44100, 2),
    V("wmv2", _, _, 400000, "352x288", "25", _, "wmav2", 96000, 44100, 2),
    V("wmv2", _, _, 700000, "480x272", "25", _, "wmav2", 192000, 44100, 2),
    V("wmv2", _, _, 720000, "320x240", "25", _, "wmav2", 128000, 44100, 2),
    V("wmv2", _, _, 480000, "320x240", "25", _, "wmav2", 128000, 44100, 2),
    V("wmv2", _, _, 768000, "352x288", "24", _, "wmav2", 128000, 44100, 2),
    V("wmv2", _, _, 768000, "320x240", "30", _, "wmav2", 128000, 48000, 2),
    V("wmv2", _, _, 380000, "320x240", "25", _, "wmav2", 128000, 44100, 2),
    V("wmv2", _, _, 220000, "320x240", "25", _, "wmav2", 96000, 44100, 2),
    V("wmv2", _, _, 2500000, "320x240", "25", _, "wmav2", 196000, 48000, 2),
    V("wmv2", _, _, 720000, "320x240", "25", _, "wmav2", 128000, 44100, 2),
    V("wmv2", _, _, 480000, "320x240", "25", _, "wmav2", 96000, 44100, 2),
};

const TPresetParams MOVRows[] = {
    V("libx264", _, "libx264-default", 1200000, _, _, _, "libfaac", 320000, 48000, 2),
    V("libx264", _, "libx264-default", 1200000, "848x480", _, _, "libfaac", 320000, 48000, 2),
    V("libx264", _, "libx264-default", 1200000, "720x576", _, _, "libfaac", 320000, 48000, 2),
    V("mjpeg", _, _, 16384000, _, _, _, "libmp3lame", 256000, 44100, 2),
    V("h263", _, _, 6144000, "352x288", _, _, "libmp3lame", 128000, 44100, 2),
    V("mpeg4", _, _, 921600, _, _, _, "libmp3lame", 192000, 44100, 2),
    V("h263", _, _, 4014080, "176x144", _, _, "libmp3lame", 128000, 44100, 2),
    V("mpeg4", _, _, 614400, _, _, _, "libmp3lame", 96000, 44100, 2),
    V("svq1", _, _, 921600, _, _, _, "libmp3lame", 96000, 44100, 2),
    V("svq1", _, _, 921600, _, _, _, "adpcm_ima_qt", 352000, 44100, 2),
    OriginalSize("libx264", _, X264HighQuality),
    OriginalSize("libx265", "hvc1", X265HighEfficiency),
    SameAsSource(),
};

const TPresetParams ThreeGPRows[] = {
    V("h263", _, _, 240000, "176x144", "12", _, _, 12200, 8000, 1),
    V("mpeg4", _, _, 104000, "176x144", "15", _, "libfaac", 64000, 32000, 1),
    V("mpeg4", _, _, 64000, "176x144", "12", _, _, 12200, 8000, 1),
    V("h263", _, _, 140000, "128x96", "10", _, _, 10200, 8000, 1),
    V("mpeg4", _, _, 44000, "128x96", "10", _, _, 6700, 8000, 1),
};

// Any codec: the copying preset keeps what the clips have.
const TPresetParams MKVRows[] = {
    SameAsSource(),
    OriginalSize("libx264", _, X264HighQuality),
    OriginalSizeOpus("libx265", 128000, X265HighEfficiency),
    OriginalSizeOpus("libsvtav1", 128000, SvtAv1Crf32),
};

// VP8, VP9 and AV1 pictures with Vorbis or Opus sound only.
const TPresetParams WebMRows[] = {
    SameAsSource(),
    OriginalSizeOpus("libvpx-vp9", 128000, Vp9Crf32),
    OriginalSizeOpus("libsvtav1", 128000, SvtAv1Crf32),
    V("libsvtav1", _, _, N, "1280x720", _, _, "libopus", 96000, 48000, 2).Ext(SvtAv1Crf34),
};

// ---- Device class ----------------------------------------------------------

const TPresetParams IPodRows[] = {
    D("libx264", _, 2500000, "640x480", "30", "libfaac", 160000, 48000, 2).Ext(Dev),
    D("libx264", _, 2500000, "480x320", "30", "libfaac", 160000, 48000, 2).Ext(Dev),
    D("libx264", _, 1300000, "480x320", "24", "libfaac", 128000, 44100, 2).Ext(Dev),
    D("libx264", _, 500000, "320x240", "15", "libfaac", 128000, 44100, 2).Ext(Dev),
    D("libx264", _, 2500000, "320x240", "30", "libfaac", 160000, 48000, 2).Ext(Dev),
    D("libx264", _, 1000000, "320x240", "24", "libfaac", 128000, 44100, 2).Ext(Dev),
    D("libx264", _, 500000, "320x240", "15", "libfaac", 128000, 44100, 2).Ext(Dev),
    D("libx264", _, 2500000, "320x240", "30", "libfaac", 160000, 48000, 2).Ext(Dev),
    D("libx264", _, 1000000, "320x240", "24", "libfaac", 128000, 44100, 2).Ext(Dev),
    D("libx264", _, 500000, "320x240", "15", "libfaac", 128000, 44100, 2).Ext(Dev),
};

// iPhone, iPad and Android share their three rows.
const TPresetParams HandheldRows[] = {
    D("libx264", _, 2500000, "640x480", "30", "libfaac", 160000, 48000, 2).Ext(Dev),
    D("libx264", _, 1300000, "480x320", "30", "libfaac", 128000, 44100, 2).Ext(Dev),
    D("libx264", _, 500000, "320x240", "15", "libfaac", 128000, 44100, 2).Ext(Dev),
};

const TPresetParams AppleTVRows[] = {
    D("libx264", _, 5000000, "640x480", "24", "libfaac", 160000, 48000, 2).Ext(Dev),
    D("libx264", _, 2000000, "720x540", "24", "libfaac", 128000, 44100, 2).Ext(Dev),
    D("libx264", _, 1000000, "480x360", "24", "libfaac", 128000, 44100, 2).Ext(Dev),
};

const TPresetParams PSPRows[] = {
    D("libx264", _, 1500000, "480x272", "30", "libfaac", 160000, 48000, 2).Format("psp").Ext(Psp),
    D("libx264", _, 1000000, "368x208", "24", "libfaac", 128000, 44100, 2).Format("psp").Ext(Psp),
    D("libx264", _, 500000, "368x208", "15", "libfaac", 128000, 44100, 2).Format("psp").Ext(Psp),
};

const TPresetParams BlackBerryRows[] = {
    D("libx264", "libx264-default", 2500000, "640x480", "30", "libfaac", 160000, 48000, 2),
    D("libx264", "libx264-default", 1300000, "480x320", "30", "libfaac", 128000, 44100, 2),
    D("libx264", "libx264-default", 500000, "320x240", "15", "libfaac", 128000, 44100, 2),
};

const TPresetParams MobilePhoneRows[] = {
    D("mpeg4", _, 600000, "320x240", "15", "libfaac", 192000, 48000, 2),
    D("mpeg4", _, 256000, "176x144", "15", "libfaac", 128000, 44100, 2),
    D("mpeg4", _, 146000, "176x144", "12", "libfaac", 96000, 32000, 2),
    D("mpeg4", _, 119000, "128x96", "10", "libfaac", 64000, 22050, 2),
};

// ---- Audio class -----------------------------------------------------------

const TPresetParams WAVRows[] = {
    A("pcm_s16le", 11025, 1, N), A("pcm_s16le", 22050, 1, N), A("pcm_s24le", 22050, 2, N),
    A("pcm_s32le", 48000, 2, N), A("pcm_s16le", 44000, 2, N), SameAsSourceAudio(),
};

const TPresetParams MP3Rows[] = {
    A("libmp3lame", 44100, 2, 112000),
    A("libmp3lame", 48000, 2, 128000),
    A("libmp3lame", 48000, 2, 256000),
    A("libmp3lame", 48000, 2, 320000),
    SameAsSourceAudio(),
};

const TPresetParams WMARows[] = {
    A("wmav2", 48000, 2, 192000), A("wmav2", 44100, 2, 96000), A("wmav2", 44100, 2, 128000),
    A("wmav2", 44100, 2, 128000), A("wmav2", 48000, 2, N),
};

// Every OGG row also names the video codec, though the class disables video.
constexpr TPresetParams O(int32_t asamplerate, const char* ext) {
    TPresetParams p = A("libvorbis", asamplerate, N, N, ext);
    p.VideoCodec = "libtheora";
    return p;
}
const TPresetParams OGGRows[] = {
    O(11025, "aq=4.97"), O(22050, "aq=4.97"), O(22050, "aq=4.97"), O(44100, "aq=4.97"), O(48000, "aq=8.05"),
};

const TPresetParams AACRows[] = {
    A("libfaac", 16000, 1, 96000),  A("libfaac", 22500, 1, 112000), A("libfaac", 22500, 2, 224000),
    A("libfaac", 44100, 2, 256000), A("libfaac", 48000, 2, 256000),
};

const TPresetParams M4ARows[] = {A(_, 44100, 2, 96000), A(_, 44800, 2, 256000), SameAsSourceAudio()};

const TPresetParams FLACRows[] = {
    A("flac", N, N, N, "compression_level=0"), A("flac", N, N, N, "compression_level=1"),
    A("flac", N, N, N, "compression_level=2"), A("flac", N, N, N, "compression_level=3"),
    A("flac", N, N, N, "compression_level=4"), A("flac", N, N, N, "compression_level=5"),
    A("flac", N, N, N, "compression_level=6"), A("flac", N, N, N, "compression_level=7"),
    A("flac", N, N, N, "compression_level=8"), SameAsSourceAudio(),
};

const TPresetParams MP2Rows[] = {A(_, 22050, 1, 96000), A(_, 22050, 1, 112000), A(_, 22050, 2, 128000)};

struct TFormatPresets {
    TPresetParams Common;
    std::span<const TPresetParams> Rows;
};

const TFormatPresets* FormatPresets(int formatClass, int code) {
    static const TFormatPresets video[] = {
        {{}, AVIRows},  {{}, MP4Rows}, {{}, FLVRows}, {{}, SWFRows},     {{}, MPEGRows},
        {{}, RMRows},   {{}, WMVRows}, {{}, MOVRows}, {{}, ThreeGPRows}, {{}, MKVRows},
        {{}, WebMRows},
    };
    static const TFormatPresets device[] = {
        {Common("libx264", "libfaac", Dev), IPodRows},
        {Common("libx264", "libfaac", Dev), HandheldRows},
        {Common("libx264", "libfaac", Dev), AppleTVRows},
        {Common("libx264", "libfaac", Psp, "psp"), PSPRows},
        {{}, BlackBerryRows},
        {{}, MobilePhoneRows},
        {Common("libx264", "libfaac", Dev), HandheldRows},
        {Common("libx264", "libfaac", Dev), HandheldRows},
    };
    static const TFormatPresets audio[] = {
        {{}, WAVRows},
        {Common(_, "libmp3lame"), MP3Rows},
        {Common(_, "wmav2"), WMARows},
        {Common("libtheora", "libvorbis"), OGGRows},
        {Common(_, "libfaac"), AACRows},
        {{}, M4ARows},
        {Common(_, "flac"), FLACRows},
        {{}, MP2Rows},
    };
    const std::span<const TFormatPresets> classes[] = {video, device, audio};
    if (formatClass < 0 || formatClass >= 3 || code < 0) return nullptr;
    const auto& list = classes[formatClass];
    return static_cast<size_t>(code) < list.size() ? &list[code] : nullptr;
}

void Put(const char* value, std::string& field) {
    if (value) field = value;
}
void Put(int32_t value, int32_t& field) {
    if (value != PresetNotWritten) field = value;
}

}  // namespace

const TPresetParams* PresetCommonParams(int formatClass, int code) {
    const TFormatPresets* f = FormatPresets(formatClass, code);
    return f ? &f->Common : nullptr;
}

std::span<const TPresetParams> PresetRows(int formatClass, int code) {
    const TFormatPresets* f = FormatPresets(formatClass, code);
    return f ? f->Rows : std::span<const TPresetParams>{};
}

const TPresetParams* FindPresetParams(int formatClass, int code, int index) {
    const auto rows = PresetRows(formatClass, code);
    if (index < 0 || static_cast<size_t>(index) >= rows.size()) return nullptr;
    return &rows[index];
}

void ApplyPresetParams(const TPresetParams& p, TOutputOptions& o) {
    Put(p.FileFormat, o.FileFormat);
    Put(p.VideoCodec, o.VideoCodec);
    Put(p.VideoTag, o.VideoTag);
    Put(p.VideoPreset, o.VideoPreset);
    Put(p.VideoBitrate, o.VideoBitrate);
    Put(p.VideoMaxRate, o.VideoMaxRate);
    Put(p.VideoMinRate, o.VideoMinRate);
    Put(p.VideoBufferSize, o.VideoBufferSize);
    Put(p.FrameSize, o.FrameSize);
    Put(p.FrameRate, o.FrameRate);
    Put(p.FrameAspectRatio, o.FrameAspectRatio);
    Put(p.Target, o.Target);
    Put(p.TargetNorm, o.TargetNorm);
    Put(p.AudioCodec, o.AudioCodec);
    Put(p.AudioBitrate, o.AudioBitrate);
    Put(p.AudioSampleRate, o.AudioSampleRate);
    Put(p.AudioChannels, o.AudioChannels);
    Put(p.ExtOptions, o.ExtOptions);
}

void ApplyPreset(const TUserSettings& settings, TOutputOptions& Options, std::optional<int32_t> inputAudioBitrate,
                 std::optional<int32_t> presetIndex) {
    const int formatClass = settings.OutputFormatClass;
    switch (formatClass) {
        case fcVideo: Options.DisableVideo = false; break;
        case fcAudio: Options.DisableVideo = true; break;
        case fcDevice: break;  // keeps its default
        default: return;
    }
    const int code = settings.CurrentFormatCode();
    const TPresetParams* common = PresetCommonParams(formatClass, code);
    if (!common) return;
    ApplyPresetParams(*common, Options);
    const int index = presetIndex ? *presetIndex : settings.OutputPreset[formatClass][code];
    const TPresetParams* row = FindPresetParams(formatClass, code, index);
    if (!row) return;
    ApplyPresetParams(*row, Options);
    // The lossless WMA preset keeps each input's own bit rate; an input without
    // one leaves the bit rate to the encoder.
    if (formatClass == fcAudio && code == afWMA && index == 4 && inputAudioBitrate)
        Options.AudioBitrate = *inputAudioBitrate > 0 ? *inputAudioBitrate : 0;
}
