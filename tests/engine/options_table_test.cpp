// The option table of SetOption, option texts and the value parsers.
#include "options_fixture.h"

#include "util_funcs.h"

class OptionTableTest : public OptionsTest {};

TEST_F(OptionTableTest, NamesAreMatchedInTheClassicOrder) {
    const std::string expected =
        "L h version formats codecs bsfs protocols filters loglevel f i y map map_meta_data map_chapters t fs ss "
        "itsoffset itsscale timestamp metadata dframes benchmark timelimit dump hex re loop_input loop_output v target "
        "threads vsync async adrift_threshold vglobal copyts copytb shortest dts_delta_threshold programid xerror "
        "copyinkf b vb vframes r s aspect pix_fmt croptop cropbottom cropleft cropright padtop padbottom padleft "
        "padright padcolor intra vn vdt qscale rc_override vcodec me_threshold sameq pass passlogfile deinterlace psnr "
        "vstats vstats_file vhook vfilters vf intra_matrix inter_matrix top dc vtag newvideo vlang qphist force_fps "
        "streamid force_key_frames ab aframes aq ar ac an acodec atag vol newaudio alang sample_fmt sn scodec "
        "newsubtitle slang stag vc tvstd isync muxdelay muxpreload absf vbsf sbsf apre vpre spre fpre";
    EXPECT_EQ(OptionTableNames(), SplitText(expected, " "));
    EXPECT_EQ(OptionTableNames().size(), 117u);
}

TEST_F(OptionTableTest, OptionTextLinesAndFlags) {
    ApplyOptionText(state, host, "an=", true);
    EXPECT_TRUE(state.AudioDisable);
    state.AudioDisable = false;
    ApplyOptionText(state, host, "an=1", true);
    EXPECT_TRUE(state.AudioDisable);
    state.AudioDisable = false;
    ApplyOptionText(state, host, "an=0", true);
    EXPECT_FALSE(state.AudioDisable);

    // Names are lower-cased; codec lines only apply to inputs.
    ApplyOptionText(state, host, "VCodec=libx264", false);
    EXPECT_EQ(state.VideoCodecName, "");
    ApplyOptionText(state, host, "VCodec=libx264", true);
    EXPECT_EQ(state.VideoCodecName, "libx264");
    ApplyOptionText(state, host, "s=320x240", false);
    EXPECT_EQ(state.FrameWidth, 0);

    // No "=": the whole line is the name, with an empty (true) value.
    ApplyOptionText(state, host, "  sameq\r\n\r\nvol=512<CRLF>newvideo\rvf=scale=1:2\nvpre=x\n", false);
    EXPECT_TRUE(state.SameQuality);
    EXPECT_EQ(state.AudioVolume, 512);
    EXPECT_TRUE(host.streams.empty());
    EXPECT_EQ(state.VideoFilters, "");

    const auto lines = SplitOptionText("A=b=C\r\nx\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Name, "a");
    EXPECT_EQ(lines[0].Value, "b=C");
    EXPECT_EQ(lines[1].Name, "x");
}

TEST_F(OptionTableTest, BitRatesAndTheGenericPath) {
    ClearLog();
    Set("b", "500");
    EXPECT_EQ(Logged(llWarning, "WARNING: The bitrate parameter is set too low."), 1);
    EXPECT_EQ(state.Defaults().Codec(AVMEDIA_TYPE_VIDEO)->bit_rate, 500);
    Set("vb", "640000");
    Set("ab", "128000");
    EXPECT_EQ(Logged(llWarning, "bitrate parameter"), 1);
    EXPECT_EQ(state.Defaults().Codec(AVMEDIA_TYPE_VIDEO)->bit_rate, 640000);
    EXPECT_EQ(state.Defaults().Codec(AVMEDIA_TYPE_AUDIO)->bit_rate, 128000);

    // Stored once per option, by canonical name; handed on by flags.
    Set("g", "99");
    Set("compression_level", "7");
    Set("sws_flags", "lanczos");
    EXPECT_EQ(state.SwsFlags, SWS_LANCZOS);
    AVCodecContext* video = FF.avcodec_alloc_context3(nullptr);
    video->codec_type = AVMEDIA_TYPE_VIDEO;
    ApplyStoredCodecOptions(state, video, OptFlagsOutputVideo);
    EXPECT_EQ(video->gop_size, 99);
    EXPECT_EQ(video->bit_rate, 640000);
    AVCodecContext* audio = FF.avcodec_alloc_context3(nullptr);
    audio->codec_type = AVMEDIA_TYPE_AUDIO;
    ApplyStoredCodecOptions(state, audio, OptFlagsOutputAudio);
    EXPECT_EQ(audio->bit_rate, 128000);
    EXPECT_EQ(audio->compression_level, 7);
    EXPECT_NE(audio->gop_size, 99);  // a video-only option
    FF.avcodec_free_context(&video);
    FF.avcodec_free_context(&audio);
    Set("ab", "64");
    EXPECT_EQ(Logged(llWarning, "bitrate parameter"), 2);

    // Container options reach output containers only.
    Set("packetsize", "2324");
    AVFormatContext* oc = FF.avformat_alloc_context();
    ApplyStoredFormatOptions(state, oc, OptFlagsOutputContainer);
    EXPECT_EQ(oc->packet_size, 2324u);
    FF.avformat_free_context(oc);

    EXPECT_EQ(Raised([&] { Set("nosuchoption", "1"); }), "Unrecognized option \"nosuchoption\"");
    EXPECT_EQ(Raised([&] { Set("g", "many"); }), "Invalid value \"many\" for option \"g\"");
    EXPECT_STREQ(SetGenericOption(state, "g", "many").Error().what(), "Invalid value \"many\" for option \"g\"");
    state.StrictOptions = false;
    EXPECT_EQ(Raised([&] { Set("nosuchoption", "1"); }), "");
}

TEST_F(OptionTableTest, RefusedValuesRaiseTheirMessages) {
    EXPECT_EQ(Raised([&] { Set("cropleft", "8"); }), "Removed, use the crop filter instead");
    EXPECT_EQ(Raised([&] { Set("padcolor", "000000"); }), "Removed, use the pad filter instead");
    EXPECT_EQ(Raised([&] { Set("r", "fast"); }), "Incorrect frame rate");
    EXPECT_EQ(Raised([&] { Set("s", "big"); }), "Incorrect frame size");
    EXPECT_EQ(Raised([&] { Set("aspect", "4:0"); }), "Incorrect aspect ratio specification.");
    EXPECT_EQ(Raised([&] { Set("aspect", "0"); }), "Incorrect aspect ratio specification.");
    EXPECT_EQ(Raised([&] { Set("aspect", "-2"); }), "Incorrect aspect ratio specification.");
    EXPECT_EQ(Raised([&] { Set("pix_fmt", "yuv999"); }), "Unknown pixel format requested: yuv999");
    EXPECT_EQ(Raised([&] { Set("sample_fmt", "s99"); }), "Invalid sample format \"s99\"");
    EXPECT_EQ(Raised([&] { Set("qscale", "0"); }), "qscale must be > 0.0 and <= 255");
    EXPECT_EQ(Raised([&] { Set("qscale", "255.5"); }), "qscale must be > 0.0 and <= 255");
    EXPECT_EQ(Raised([&] { Set("pass", "3"); }), "pass number can be only 1 or 2");
    EXPECT_EQ(Raised([&] { Set("vtag", "XVIDX"); }), "tag parameter must be 4 chars or int value");
    EXPECT_EQ(Raised([&] { Set("metadata", "title"); }), "Missing =");
    EXPECT_EQ(Raised([&] { Set("metadata", "=x"); }), "wrong parameter of metadata");
    EXPECT_EQ(Raised([&] { Set("itsscale", "20:2"); }), "stream index over MAX_STREAMS(20)");
    EXPECT_EQ(Raised([&] { Set("itsscale", "-1:2"); }), "stream index over MAX_STREAMS(20)");
    EXPECT_EQ(Raised([&] { Set("streamid", "3"); }),
              "Invalid value \"3\" for option \"streamid\", required syntax is \"index:value\"");
    EXPECT_EQ(Raised([&] { Set("map_meta_data", "0,x:1"); }), "Invalid metadata type x.");
    EXPECT_EQ(Raised([&] { Set("absf", "no_such_bsf"); }), "Unknown bitstream filter no_such_bsf");
    EXPECT_EQ(Raised([&] { Set("newvideo", ""); }), "At least one output file must be specified");
    host.hookAccepted = false;
    EXPECT_EQ(Raised([&] { Set("vhook", "hook.so -x"); }), "Failed to add video hook function: hook.so -x");
    EXPECT_EQ(Raised([&] { Set("vframes", "ten"); }), "'ten' is not a valid integer value");
    EXPECT_EQ(Raised([&] { Set("ar", "44100 "); }), "'44100 ' is not a valid integer value");
    EXPECT_EQ(Raised([&] { Set("ac", "3000000000"); }), "'3000000000' is not a valid integer value");
    EXPECT_EQ(Raised([&] { Set("aq", "4,97"); }), "'4,97' is not a valid floating point value");
    EXPECT_EQ(Raised([&] { Set("t", "soon"); }), "Invalid duration specification for t: soon");
    EXPECT_EQ(Raised([&] { Set("timestamp", "someday"); }), "Invalid date specification for timestamp: someday");
    EXPECT_EQ(Raised([&] { Set("loglevel", "loud"); }), "'loud' is not a valid integer value");

    const std::string matrix63 = [] {
        std::string m;
        for (int i = 0; i < 63; ++i) m += (i ? "," : "") + std::to_string(i + 1);
        return m;
    }();
    EXPECT_EQ(Raised([&] { Set("intra_matrix", matrix63); }),
              "Syntax error in matrix \"" + matrix63 + "\" at coeff 62");
    EXPECT_FALSE(state.IntraMatrixSet);
    Set("intra_matrix", matrix63 + ",64");
    EXPECT_TRUE(state.IntraMatrixSet);
    EXPECT_EQ(state.IntraMatrix[0], 1);
    EXPECT_EQ(state.IntraMatrix[63], 64);
}

TEST_F(OptionTableTest, ValuesOfTheTableRows) {
    Set("map", "1.2");
    Set("map", "0:3,1.4");
    ASSERT_EQ(state.StreamMaps.size(), 2u);
    EXPECT_EQ(state.StreamMaps[0].FileIndex, 1);
    EXPECT_EQ(state.StreamMaps[0].SyncStreamIndex, 2);
    EXPECT_EQ(state.StreamMaps[1].StreamIndex, 3);
    EXPECT_EQ(state.StreamMaps[1].SyncFileIndex, 1);
    EXPECT_EQ(state.StreamMaps[1].SyncStreamIndex, 4);

    Set("map_meta_data", "0,g:1,s2");
    ASSERT_EQ(state.MetadataMaps.size(), 1u);
    EXPECT_EQ(state.MetadataMaps[0].In.File, 1);
    EXPECT_EQ(state.MetadataMaps[0].In.Type, 's');
    EXPECT_EQ(state.MetadataMaps[0].In.Index, 2);
    EXPECT_FALSE(state.MetadataGlobalsAutoCopy);
    EXPECT_FALSE(state.MetadataStreamsAutoCopy);
    EXPECT_TRUE(state.MetadataChaptersAutoCopy);
    Set("map_chapters", "0:2");
    EXPECT_EQ(state.ChapterMaps.at(0).InFile, 2);

    Set("t", "00:01:02.5");
    EXPECT_EQ(state.RecordingTime, 62500000);
    Set("ss", "1.25");
    EXPECT_EQ(state.StartTime, 1250000);
    Set("timestamp", "2020-01-02T03:04:05Z");
    EXPECT_EQ(state.RecordingTimestamp, 1577934245);
    Set("itsscale", "3:1.5");
    EXPECT_DOUBLE_EQ(state.TsScale[3], 1.5);
    Set("metadata", "title=a=b");
    EXPECT_EQ(state.Metadata.at(0).second, "a=b");
    Set("streamid", "2:301");
    EXPECT_EQ(state.StreamIds.at(2), 301);

    Set("r", "30000/1001");
    EXPECT_EQ(state.FrameRate.num, 30000);
    EXPECT_EQ(state.FrameRate.den, 1001);
    Set("s", "vga");
    EXPECT_EQ(state.FrameWidth, 640);
    Set("s", "");
    EXPECT_EQ(state.FrameWidth, 640);
    Set("aspect", "16:9");
    EXPECT_DOUBLE_EQ(state.FrameAspectRatio, 16.0 / 9.0);
    Set("aspect", "1.5");
    EXPECT_DOUBLE_EQ(state.FrameAspectRatio, 1.5);

    Set("vtag", "XVID");
    EXPECT_EQ(state.VideoCodecTag, 0x44495658u);
    Set("atag", "0x55");
    EXPECT_EQ(state.AudioCodecTag, 0x55u);
    Set("vcodec", "copy");
    EXPECT_TRUE(state.VideoStreamCopy);
    Set("acodec", "libmp3lame");
    Set("acodec", "");
    EXPECT_EQ(state.AudioCodecName, "libmp3lame");
    Set("vbsf", "h264_mp4toannexb");
    Set("absf", "=ignored");
    EXPECT_EQ(state.VideoBitstreamFilters.size(), 1u);
    EXPECT_TRUE(state.AudioBitstreamFilters.empty());

    Set("ar", "$AC44");
    EXPECT_EQ(state.AudioSampleRate, 44100);
    Set("vol", "-1");
    EXPECT_EQ(state.AudioVolume, -1);
    Set("muxpreload", " 0.44");
    EXPECT_FLOAT_EQ(state.MuxPreload, 0.44f);
    Set("pix_fmt", "yuv422p");
    EXPECT_EQ(state.PixelFormat, AV_PIX_FMT_YUV422P);
    Set("sample_fmt", "s16");
    EXPECT_EQ(state.SampleFormat, AV_SAMPLE_FMT_S16);

    host.outputs = 1;
    Set("newaudio", "");
    ASSERT_EQ(host.streams.size(), 1u);
    EXPECT_EQ(host.streams[0], AVMEDIA_TYPE_AUDIO);

    ClearLog();
    Set("codecs", "");
    EXPECT_EQ(Logged(llInfo, "Do nothing: option - codecs"), 1);
    Set("timelimit", "10");
    EXPECT_EQ(Logged(llWarning, "Warning: -timelimit not implemented on Windows"), 1);
    Set("threads", "3");
    EXPECT_EQ(state.ThreadCount, 3);
    EXPECT_EQ(Logged(llVerbose, "thread emulation."), 1);
    Set("pix_fmt", "list");
    EXPECT_GT(Logged(llInfo, "yuv420p"), 0);
    Set("loglevel", "WARNING");
    EXPECT_EQ(FFLogger().LogLevel(), llWarning);
    Set("debug", "1");
    EXPECT_EQ(FFLogger().LogLevel(), llDebug);
}

TEST_F(OptionTableTest, ConsumingClearsWhatAFileOrStreamUsed) {
    ApplyOptionText(state, host, "f=avi\nvcodec=h264\nss=2\nprogramid=3\nvc=1\nitsscale=0:2", true);
    ConsumeInputSettings(state);
    EXPECT_EQ(state.FileFormat, "");
    EXPECT_EQ(state.VideoCodecName, "");
    EXPECT_EQ(state.StartTime, 0);
    EXPECT_EQ(state.ProgramId, 0);
    EXPECT_EQ(state.TsScale[0], 0.0);

    ApplyOptionText(state, host, "vn=1\npix_fmt=gray\nvlang=eng\nvbsf=null\nforce_key_frames=0\nvtag=DIVX", false);
    state.VideoFilters = "scale=2:2";
    ConsumeVideoStreamSettings(state);
    EXPECT_FALSE(state.VideoDisable);
    EXPECT_EQ(state.PixelFormat, AV_PIX_FMT_NONE);
    EXPECT_EQ(state.VideoLanguage, "");
    EXPECT_EQ(state.VideoFilters, "");
    EXPECT_TRUE(state.VideoBitstreamFilters.empty());
    EXPECT_NE(state.VideoCodecTag, 0u);  // kept for every later stream

    ApplyOptionText(state, host, "an\nalang=ger\nmetadata=a=b\nstreamid=0:1", false);
    ConsumeAudioStreamSettings(state);
    ConsumeOutputSettings(state);
    EXPECT_FALSE(state.AudioDisable);
    EXPECT_EQ(state.AudioLanguage, "");
    EXPECT_TRUE(state.Metadata.empty());
    EXPECT_TRUE(state.StreamIds.empty());
}
