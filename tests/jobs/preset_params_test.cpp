#include "preset_params.h"

#include "catalogue.h"
#include "ff_records.h"
#include "user_settings.h"
#include "util_funcs.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Every field a preset may write, plus DisableVideo, as one comparable text.
std::string Describe(const TOutputOptions& o) {
    std::ostringstream s;
    s << "f=" << o.FileFormat << " vc=" << o.VideoCodec << " vtag=" << o.VideoTag << " vpre=" << o.VideoPreset
      << " vb=" << o.VideoBitrate << " max=" << o.VideoMaxRate << " min=" << o.VideoMinRate
      << " buf=" << o.VideoBufferSize << " s=" << o.FrameSize << " r=" << o.FrameRate
      << " aspect=" << o.FrameAspectRatio << " target=" << o.Target << "/" << o.TargetNorm
      << " ac=" << o.AudioCodec << " ab=" << o.AudioBitrate << " ar=" << o.AudioSampleRate
      << " ach=" << o.AudioChannels << " vn=" << o.DisableVideo << " ext=" << o.ExtOptions;
    return s.str();
}

TOutputOptions Applied(const std::string& format, int index, std::optional<int32_t> audioBitrate = std::nullopt) {
    TUserSettings settings;
    const TFormatId* f = FindFormatByName(format);
    settings.OutputFormatClass = f->Id.Class;
    settings.OutputVideoFormat = settings.OutputDeviceFormat = settings.OutputAudioFormat = f->Id.Code;
    settings.PresetOf(f->Id.Class, f->Id.Code) = index;
    TOutputOptions o;
    InitOutputOptions(o);
    ApplyPreset(settings, o, audioBitrate);
    return o;
}

TOutputOptions Reset() {
    TOutputOptions o;
    InitOutputOptions(o);
    return o;
}

}  // namespace

TEST(PresetParams, OneRowPerCataloguePresetAndEveryRowHoldsItsCommonFields) {
    int total = 0;
    for (const auto& f : Catalogue()) {
        const auto id = f.Format->Id;
        const auto rows = PresetRows(id.Class, id.Code);
        EXPECT_EQ(rows.size(), f.Presets.size()) << f.Format->Name;
        total += static_cast<int>(rows.size());
        const TPresetParams* common = PresetCommonParams(id.Class, id.Code);
        ASSERT_NE(common, nullptr);
        // The tables repeat the common fields in every row; a row that
        // contradicts them would encode something else than listed.
        for (size_t i = 0; i < rows.size(); ++i) {
            TOutputOptions withCommon = Reset(), rowOnly = Reset();
            ApplyPresetParams(*common, withCommon);
            ApplyPresetParams(rows[i], withCommon);
            ApplyPresetParams(rows[i], rowOnly);
            EXPECT_EQ(Describe(withCommon), Describe(rowOnly)) << f.Format->Name << " " << i;
        }
    }
    EXPECT_EQ(total, PresetTotal);
    EXPECT_EQ(PresetCommonParams(3, 0), nullptr);
    EXPECT_EQ(PresetCommonParams(fcVideo, 11), nullptr);
    EXPECT_EQ(FindPresetParams(fcAudio, afMP3, 5), nullptr);
    EXPECT_EQ(FindPresetParams(fcAudio, afMP3, -1), nullptr);
}

TEST(PresetParams, UnusualValuesAreStoredExactlyAsListed) {
    EXPECT_EQ(Applied("WAV", 4).AudioSampleRate, 44000);
    EXPECT_EQ(Applied("AAC", 1).AudioSampleRate, 22500);
    EXPECT_EQ(Applied("AAC", 2).AudioSampleRate, 22500);
    EXPECT_EQ(Applied("M4A", 1).AudioSampleRate, 44800);
    EXPECT_EQ(Applied("FLV", 4).FrameSize, "276x144");
    EXPECT_EQ(Applied("WMV", 15).AudioBitrate, 196000);
    EXPECT_EQ(Applied("MP4", 6).AudioBitrate, 768000);
    EXPECT_EQ(Applied("AVI", 17).AudioBitrate, 705000);
    // The table wins over the caption.
    EXPECT_EQ(Applied("iPhone", 1).FrameRate, "30");
    EXPECT_EQ(Applied("AppleTV", 0).FrameSize, "640x480");
}

TEST(PresetParams, WholeRowsOfEachKind) {
    EXPECT_EQ(Describe(Applied("AVI", 1)),
              "f= vc=libx264 vtag= vpre=libx264-default vb=4200000 max=-1 min=-1 buf=-1 s=1920x1080 r= aspect=16:9 "
              "target=0/0 ac=libmp3lame ab=256000 ar=44100 ach=2 vn=0 ext=");
    EXPECT_EQ(Describe(Applied("MPEG", 0)),
              "f= vc=mpeg2video vtag= vpre= vb=15000000 max=15000000 min=15000000 buf=6881000 s=1920x1080 "
              "r=30000/1001 aspect=4:3 target=0/0 ac=mp2 ab=224000 ar=48000 ach=2 vn=0 ext=");
    // DVD, SVCD and VCD keep their bit rates beside the target; the engine ignores them then.
    const TOutputOptions dvd = Applied("MPEG", 2);
    EXPECT_EQ(dvd.Target, 3);
    EXPECT_EQ(dvd.TargetNorm, 2);
    EXPECT_EQ(dvd.VideoBitrate, 4000000);
    EXPECT_EQ(dvd.AudioBitrate, 224000);
    EXPECT_EQ(Applied("MPEG", 11).Target, 2);
    EXPECT_EQ(Applied("MPEG", 11).TargetNorm, 1);
    EXPECT_EQ(Applied("MPEG", 13).Target, 1);
    EXPECT_EQ(Describe(Applied("PSP", 2)),
              std::string("f=psp vc=libx264 vtag= vpre= vb=500000 max=-1 min=-1 buf=-1 s=368x208 r=15 aspect= "
                          "target=0/0 ac=libfaac ab=128000 ar=44100 ach=2 vn=0 ext=") +
                  X264PSPOptions);
    EXPECT_EQ(Describe(Applied("RM", 3)),
              "f= vc=rv20 vtag= vpre= vb=256000 max=-1 min=-1 buf=-1 s= r= aspect= target=0/0 ac= ab=-1 ar=-1 "
              "ach=-1 vn=0 ext=");
    const TOutputOptions ogg = Applied("OGG", 4);
    EXPECT_TRUE(ogg.DisableVideo);
    EXPECT_EQ(ogg.VideoCodec, "libtheora");
    EXPECT_EQ(ogg.AudioCodec, "libvorbis");
    EXPECT_EQ(ogg.ExtOptions, "aq=8.05");
    EXPECT_EQ(ogg.AudioChannels, -1);
    EXPECT_EQ(Applied("FLAC", 8).ExtOptions, "compression_level=8");
    EXPECT_EQ(Applied("BlackBerry", 0).ExtOptions, "");
    EXPECT_EQ(Applied("iPod", 9).ExtOptions, X264DeviceOptions);
}

TEST(PresetParams, X264OptionTexts) {
    const auto device = SplitText(X264DeviceOptions, "\r\n");
    ASSERT_EQ(device.size(), 18u);  // every line ends with CR LF, the last one too
    EXPECT_EQ(device.front(), "flags=+loop");
    EXPECT_EQ(device.back(), "i_qfactor=0.71");
    EXPECT_TRUE(std::string_view(X264DeviceOptions).ends_with("\r\n"));
    const auto psp = SplitText(X264PSPOptions, "\r\n");
    ASSERT_EQ(psp.size(), 23u);
    EXPECT_EQ(psp[17], "rc_eq='blurCplx^(1-qComp)'");
    EXPECT_EQ(psp.back(), "level=21");
    EXPECT_FALSE(std::string_view(X264PSPOptions).ends_with("\n"));
}

TEST(PresetParams, ClassRuleAndIndexWithoutRow) {
    // An index with no row writes the class rule and the common fields only.
    TOutputOptions mp3 = Reset();
    mp3.DisableVideo = true;
    mp3.AudioCodec = "libmp3lame";
    EXPECT_EQ(Describe(Applied("MP3", -1)), Describe(mp3));
    EXPECT_EQ(Describe(Applied("AVI", -1)), Describe(Reset()));
    EXPECT_EQ(Describe(Applied("AVI", 30)), Describe(Reset()));
    TOutputOptions psp = Reset();
    psp.FileFormat = "psp";
    psp.VideoCodec = "libx264";
    psp.AudioCodec = "libfaac";
    psp.ExtOptions = X264PSPOptions;
    EXPECT_EQ(Describe(Applied("PSP", 7)), Describe(psp));

    // The Device class leaves DisableVideo as it was; a class outside the
    // catalogue writes nothing at all.
    TUserSettings settings;
    settings.OutputFormatClass = fcDevice;
    settings.OutputDeviceFormat = dfiPod;
    TOutputOptions o = Reset();
    o.DisableVideo = true;
    ApplyPreset(settings, o);
    EXPECT_TRUE(o.DisableVideo);
    EXPECT_EQ(o.VideoCodec, "libx264");
    settings.OutputFormatClass = 3;
    o = Reset();
    ApplyPreset(settings, o);
    EXPECT_EQ(Describe(o), Describe(Reset()));
    // A format code outside the class writes the class rule only.
    settings.OutputFormatClass = fcAudio;
    settings.OutputAudioFormat = 8;
    ApplyPreset(settings, o);
    TOutputOptions audioOnly = Reset();
    audioOnly.DisableVideo = true;
    EXPECT_EQ(Describe(o), Describe(audioOnly));
}

TEST(PresetParams, LosslessWmaTakesTheProbedBitRateInPerFileModeOnly) {
    EXPECT_EQ(Applied("WMA", 4).AudioBitrate, -1);
    EXPECT_EQ(Applied("WMA", 4, 128000).AudioBitrate, 128000);
    EXPECT_EQ(Applied("WMA", 4, 64000).AudioBitrate, 64000);
    // No probed bit rate: 0, which the engine leaves unapplied.
    EXPECT_EQ(Applied("WMA", 4, -1).AudioBitrate, 0);
    // Other presets ignore the probed rate.
    EXPECT_EQ(Applied("WMA", 0, 128000).AudioBitrate, 192000);
    EXPECT_EQ(Applied("WAV", 3, 128000).AudioBitrate, -1);
}

TEST(PresetParams, OriginalSizeAndSameAsSourcePresets) {
    // The source's size and rate, as the "Original" presets take them.
    EXPECT_EQ(Describe(Applied("MP4", 19)),
              "f= vc=libx264 vtag= vpre= vb=-1 max=-1 min=-1 buf=-1 s= r= aspect= target=0/0 ac=aac ab=192000 ar=48000 "
              "ach=2 vn=0 ext=preset=medium\r\ncrf=20\r\npix_fmt=yuv420p\r\n");
    const TOutputOptions hevc = Applied("MOV", 11);
    EXPECT_EQ(hevc.VideoCodec, "libx265");
    EXPECT_EQ(hevc.VideoTag, "hvc1");
    EXPECT_NE(hevc.ExtOptions.find("crf=24\r\n"), std::string::npos);
    EXPECT_TRUE(hevc.FrameSize.empty() && hevc.FrameRate.empty());
    for (const char* format : {"AVI", "MP4", "MPEG", "MOV", "MKV", "WebM"}) {
        const TOutputOptions o = Applied(format, SameAsSourcePreset(FindFormatByName(format)->Id));
        EXPECT_EQ(o.VideoCodec, "copy") << format;
        EXPECT_EQ(o.AudioCodec, "copy") << format;
        EXPECT_TRUE(o.ExtOptions.empty() && o.FrameSize.empty() && o.VideoBitrate == Reset().VideoBitrate) << format;
    }
    for (const char* format : {"MP3", "M4A", "FLAC", "WAV"}) {
        const TOutputOptions o = Applied(format, SameAsSourcePreset(FindFormatByName(format)->Id));
        EXPECT_EQ(o.AudioCodec, "copy") << format;
        EXPECT_TRUE(o.DisableVideo) << format;
        EXPECT_TRUE(o.ExtOptions.empty() && o.AudioBitrate == Reset().AudioBitrate && o.AudioSampleRate == Reset().AudioSampleRate)
            << format;
    }
    // A run that re-encodes instead takes the other index without storing it.
    TUserSettings settings;
    settings.OutputFormatClass = fcVideo;
    settings.OutputVideoFormat = vfMP4;
    settings.PresetOf(fcVideo, vfMP4) = 21;
    TOutputOptions o;
    InitOutputOptions(o);
    ApplyPreset(settings, o, std::nullopt, 19);
    EXPECT_EQ(o.VideoCodec, "libx264");
    EXPECT_EQ(settings.PresetOf(fcVideo, vfMP4), 21);
}
