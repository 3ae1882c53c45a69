// Joins of the clips people have: phones (turned, portrait, variable frame
// rate, HEVC 10-bit), clips without sound, surround sound, other shapes.
#include "../common/temp_dir.h"
#include "encoder_harness.h"
#include "ff_decoder.h"

#include <cmath>
#include <fstream>
#include <cstring>

namespace {
class ClipsTest : public MediaSuite<ClipsTest> {
public:
    static void MakeSuiteMedia() {
        const std::string tone = " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=";
        // Pictures of one colour in three shapes.
        for (const auto& [name, size, colour] : {std::tuple{"portrait.mp4", "1080x1920", "red"},
                                                 std::tuple{"landscape.mp4", "1920x1080", "blue"},
                                                 std::tuple{"four3.mp4", "640x480", "green"}})
            ASSERT_TRUE(MakeMedia(std::string("-f lavfi -i color=c=") + colour + ":size=" + size +
                                      ":rate=25:duration=0.4" + tone + "0.4 -c:v libx264 -preset ultrafast -c:a aac",
                                  File(name)));
        // Stored lying (1920x1080, white above black), shown turned a quarter way.
        ASSERT_TRUE(MakeMedia("-f lavfi -i color=c=white:size=1920x540:rate=25:duration=0.4 -f lavfi -i "
                              "color=c=black:size=1920x540:rate=25:duration=0.4 -filter_complex vstack "
                              "-c:v libx264 -preset ultrafast",
                              File("lying.mp4")));
        ASSERT_TRUE(MakeMedia("-i " + ShellQuote(File("lying.mp4")) + " -c copy -metadata:s:v:0 rotate=90",
                              File("turned.mp4")));
        // One marked corner (white, top left, on black), shown turned three
        // ways and mirrored: every turn and mirror lands it elsewhere.
        ASSERT_TRUE(MakeMedia("-f lavfi -i color=c=black:size=320x180:rate=25:duration=0.4,drawbox=x=0:y=0:w=60:h=60:"
                              "c=white:t=fill -c:v libx264 -preset ultrafast",
                              File("marked.mp4")));
        for (const char* turn : {"90", "180", "270"})
            ASSERT_TRUE(MakeMedia("-i " + ShellQuote(File("marked.mp4")) + " -c copy -metadata:s:v:0 rotate=" + turn,
                                  File(std::string("marked") + turn + ".mp4")));
        // Mirrored left to right: the track header's matrix made (-1 0; 0 1).
        std::string mp4 = ReadWholeFile(File("marked.mp4"));
        const size_t tkhd = mp4.find("tkhd");
        ASSERT_NE(tkhd, std::string::npos);
        const uint8_t minusOne[4] = {0xFF, 0xFF, 0x00, 0x00};
        mp4.replace(tkhd + 44, 4, reinterpret_cast<const char*>(minusOne), 4);
        std::ofstream(File("markedflip.mp4"), std::ios::binary) << mp4;
        // A clip without sound and two with a tone.
        ASSERT_TRUE(MakeClip(File("mute.mp4"), 2, 160, 120, 25, 0, 2, "-c:v libx264 -preset ultrafast"));
        ASSERT_TRUE(MakeClip(File("tone.mp4"), 1, 160, 120, 25, 48000, 2, "-c:v libx264 -preset ultrafast -c:a aac"));
        // Variable frame rate: 1 s at 30 fps, then 1 s at 10 fps, with 2 s of sound.
        ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=160x120:rate=30:duration=1 -f lavfi -i "
                              "testsrc=size=160x120:rate=10:duration=1" + tone + "2 -filter_complex "
                              "'[0:v]settb=1/1000[a];[1:v]settb=1/1000[b];[a][b]concat=n=2:v=1:a=0[v]' -map '[v]' "
                              "-map 2:a -fps_mode vfr -c:v libx264 -preset ultrafast -c:a aac",
                              File("vfr.mkv")));
        // A gap of 1 s in the times of both kinds: red before it, then blue
        // with a tone.
        ASSERT_TRUE(MakeMedia("-f lavfi -i \"color=c=red:size=160x120:rate=25:duration=2,drawbox=c=blue:t=fill:"
                              "enable='gte(t,1)',setpts='PTS+gte(T,1)/TB'\" -f lavfi -i \"sine=frequency=440:"
                              "sample_rate=48000:duration=2,volume=enable='lt(t,1)':volume=0,"
                              "asetpts='PTS+gte(T,1)*48000'\" -fps_mode passthrough -c:v libx264 -preset ultrafast "
                              "-c:a aac",
                              File("gap.mkv")));
        // HEVC 10-bit with 5.1 sound, as phones and cameras record.
        ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=320x240:rate=30:duration=1 -f lavfi -i "
                              "sine=frequency=440:sample_rate=48000:duration=1 -ac 6 -c:v libx265 -x265-params "
                              "log-level=error -pix_fmt yuv420p10le -c:a aac -tag:v hvc1",
                              File("hevc10.mov")));
        // VP9 with 96 kHz sound; AV1; 10-bit 4:2:2 H.264 with 7.1 sound.
        ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i "
                              "sine=frequency=440:sample_rate=96000:duration=1 -c:v libvpx-vp9 -deadline realtime "
                              "-cpu-used 8 -c:a libvorbis",
                              File("vp9.webm")));
        ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -c:v libaom-av1 -cpu-used 8 "
                              "-usage realtime",
                              File("av1.mkv")));
        ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i "
                              "sine=frequency=440:sample_rate=48000:duration=1 -ac 8 -c:v libx264 -preset ultrafast "
                              "-pix_fmt yuv422p10le -c:a flac",
                              File("h264_422.mkv")));
    }
};

const nlohmann::json* Stream(const nlohmann::json& probe, const std::string& kind) {
    for (const auto& s : probe["streams"])
        if (s["codec_type"] == kind) return &s;
    return nullptr;
}

double StreamDuration(const nlohmann::json& probe, const std::string& kind) {
    const auto* s = Stream(probe, kind);
    return s ? JsonNumber(*s, "duration") : -1;
}

// Joins the inputs; the run must finish.
void Join(const std::vector<std::string>& inputs, const std::string& out, const std::string& ext) {
    EncoderHarness h;
    ASSERT_EQ(h.JoinTask(inputs, out, ext), 0) << h.encoder->LastErrorMessage();
    h.encoder->Start(1);
    ASSERT_TRUE(h.WaitFinal());
    const auto t = h.Terminates();
    ASSERT_FALSE(t.empty());
    ASSERT_EQ(t[0].info.Outcome, toFinished) << t[0].info.ErrorMessage;
}

// The picture at a time as RGB bytes.
struct TPicture {
    int Width = 0, Height = 0;
    std::string Rgb;
    // Red, green, blue at (x, y).
    std::array<int, 3> At(int x, int y) const {
        const size_t at = (static_cast<size_t>(y) * Width + x) * 3;
        if (at + 2 >= Rgb.size()) return {-1, -1, -1};
        return {static_cast<uint8_t>(Rgb[at]), static_cast<uint8_t>(Rgb[at + 1]), static_cast<uint8_t>(Rgb[at + 2])};
    }
};

TPicture PictureAt(const std::string& file, double seconds, int width, int height) {
    TPicture p{width, height, {}};
    p.Rgb = RunCapture("ffmpeg -v error -ss " + std::to_string(seconds) + " -i " + ShellQuote(file) +
                       " -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    return p;
}

// Loosely one colour: each channel within 40 of it.
bool Near(const std::array<int, 3>& rgb, int r, int g, int b) {
    return std::abs(rgb[0] - r) < 40 && std::abs(rgb[1] - g) < 40 && std::abs(rgb[2] - b) < 40;
}

// The sound of a file as 8 kHz mono samples.
std::vector<int16_t> DecodeAudio(const std::string& file) {
    const std::string raw = RunCapture("ffmpeg -v error -i " + ShellQuote(file) + " -f s16le -ac 1 -ar 8000 -");
    std::vector<int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), samples.size() * 2);
    return samples;
}

// The loudest sample between two times.
int Peak(const std::vector<int16_t>& pcm, double from, double to) {
    int peak = 0;
    for (size_t i = static_cast<size_t>(from * 8000); i < pcm.size() && i < static_cast<size_t>(to * 8000); ++i)
        peak = std::max(peak, std::abs(static_cast<int>(pcm[i])));
    return peak;
}

const char* const Mp4Like = "vcodec=libx264\npreset=ultrafast\ns=640x420\nr=30\nacodec=aac\nar=44100\nac=2";
}  // namespace

TEST_F(ClipsTest, EveryShapeFitsInsideTheFrameWithBars) {
    const std::string out = File("shapes.mp4");
    Join({File("portrait.mp4"), File("landscape.mp4"), File("four3.mp4")}, out, Mp4Like);
    const nlohmann::json probe = ProbeJson(out);
    const auto* video = Stream(probe, "video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(JsonNumber(*video, "width"), 640);
    EXPECT_EQ(JsonNumber(*video, "height"), 420);
    // Square pixels: the frame's shape is the picture's shape.
    const std::string sar = video->value("sample_aspect_ratio", "N/A");
    EXPECT_TRUE(sar == "N/A" || sar == "1:1" || sar == "0:1") << sar;
    // Portrait 9:16: 236 wide in the middle, bars left and right.
    const TPicture portrait = PictureAt(out, 0.2, 640, 420);
    EXPECT_TRUE(Near(portrait.At(320, 210), 255, 0, 0));
    EXPECT_TRUE(Near(portrait.At(210, 210), 255, 0, 0));
    EXPECT_TRUE(Near(portrait.At(194, 210), 0, 0, 0));
    EXPECT_TRUE(Near(portrait.At(20, 20), 0, 0, 0));
    EXPECT_TRUE(Near(portrait.At(446, 210), 0, 0, 0));
    EXPECT_TRUE(Near(portrait.At(320, 5), 255, 0, 0));  // top to bottom
    // Landscape 16:9: 360 high, bars above and below.
    const TPicture landscape = PictureAt(out, 0.6, 640, 420);
    EXPECT_TRUE(Near(landscape.At(320, 210), 0, 0, 255));
    EXPECT_TRUE(Near(landscape.At(5, 210), 0, 0, 255));  // side to side
    EXPECT_TRUE(Near(landscape.At(320, 22), 0, 0, 0));
    EXPECT_TRUE(Near(landscape.At(320, 38), 0, 0, 255));
    EXPECT_TRUE(Near(landscape.At(320, 398), 0, 0, 0));
    // 4:3: 560 wide, bars of 40 left and right.
    const TPicture four3 = PictureAt(out, 1.0, 640, 420);
    EXPECT_TRUE(Near(four3.At(320, 210), 0, 128, 0));
    EXPECT_TRUE(Near(four3.At(48, 210), 0, 128, 0));
    EXPECT_TRUE(Near(four3.At(32, 210), 0, 0, 0));
    EXPECT_TRUE(Near(four3.At(608, 210), 0, 0, 0));
    EXPECT_NEAR(JsonNumber(probe["format"], "duration"), 1.2, 0.1);
}

TEST_F(ClipsTest, ATurnedClipComesOutUpright) {
    // The probe and the thumbnail show it as players do: 1080 wide, 1920 high.
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(File("turned.mp4")));
    const TVideoStreamInfo info = decoder.GetVideoStreamInfo(-1);
    EXPECT_EQ(info.Width, 1080);
    EXPECT_EQ(info.Height, 1920);
    EXPECT_NEAR(info.DisplayAspectRatio, 0.5625, 0.001);
    ASSERT_TRUE(decoder.Decode(-1));
    TFFBitmap thumbnail;
    ASSERT_TRUE(decoder.CopyToBitmap(thumbnail));
    EXPECT_EQ(thumbnail.Width, 1080);
    EXPECT_EQ(thumbnail.Height, 1920);
    // White on the left, as the player of the libraries shows it.
    EXPECT_GT(thumbnail.Row(960)[100 * 3], 200);
    EXPECT_LT(thumbnail.Row(960)[980 * 3], 50);
    decoder.CloseFile();

    // Alone with no size of its own: the output stands upright.
    const std::string upright = File("upright.mp4");
    Join({File("turned.mp4")}, upright, "vcodec=libx264\npreset=ultrafast");
    const nlohmann::json probe = ProbeJson(upright);
    const auto* video = Stream(probe, "video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(JsonNumber(*video, "width"), 1080);
    EXPECT_EQ(JsonNumber(*video, "height"), 1920);
    const TPicture standing = PictureAt(upright, 0.2, 1080, 1920);
    EXPECT_TRUE(Near(standing.At(100, 960), 255, 255, 255));
    EXPECT_TRUE(Near(standing.At(980, 960), 0, 0, 0));
    EXPECT_TRUE(Near(standing.At(100, 20), 255, 255, 255));
    EXPECT_TRUE(Near(standing.At(100, 1900), 255, 255, 255));

    // Joined with a landscape clip into a landscape frame: a standing picture with bars.
    const std::string mixed = File("turned_mixed.mp4");
    Join({File("landscape.mp4"), File("turned.mp4")}, mixed, Mp4Like);
    const TPicture fitted = PictureAt(mixed, 0.6, 640, 420);
    EXPECT_TRUE(Near(fitted.At(270, 210), 255, 255, 255));
    EXPECT_TRUE(Near(fitted.At(370, 210), 0, 0, 0));
    EXPECT_TRUE(Near(fitted.At(20, 210), 0, 0, 0));
}

TEST_F(ClipsTest, EveryTurnAndMirrorShowsAsPlayersShowIt) {
    // Where the marked corner lands, and the shown size, for each clip: in the
    // thumbnail and in a join of the clip alone (upright, its own size).
    struct TCase {
        const char* File;
        int Width, Height;
        bool Left, Top;
    };
    for (const TCase& c : {TCase{"marked90.mp4", 180, 320, true, false}, TCase{"marked180.mp4", 320, 180, false, false},
                           TCase{"marked270.mp4", 180, 320, false, true}, TCase{"markedflip.mp4", 320, 180, false, true}}) {
        SCOPED_TRACE(c.File);
        const int x = c.Left ? 15 : c.Width - 15, y = c.Top ? 15 : c.Height - 15;
        const int ox = c.Left ? c.Width - 15 : 15, oy = c.Top ? c.Height - 15 : 15;  // the opposite corner
        TFFDecoder decoder;
        ASSERT_TRUE(decoder.LoadFile(File(c.File)));
        ASSERT_TRUE(decoder.Decode(-1));
        TFFBitmap thumbnail;
        ASSERT_TRUE(decoder.CopyToBitmap(thumbnail));
        ASSERT_EQ(thumbnail.Width, c.Width);
        ASSERT_EQ(thumbnail.Height, c.Height);
        EXPECT_GT(thumbnail.Row(y)[x * 3], 200);
        EXPECT_LT(thumbnail.Row(oy)[ox * 3], 50);
        for (const auto& [cx, cy] : {std::pair{x, oy}, std::pair{ox, y}}) EXPECT_LT(thumbnail.Row(cy)[cx * 3], 50);
        decoder.CloseFile();

        const std::string out = File(std::string("shown_") + c.File);
        Join({File(c.File)}, out, "vcodec=libx264\npreset=ultrafast");
        const nlohmann::json probe = ProbeJson(out);
        const auto* video = Stream(probe, "video");
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(JsonNumber(*video, "width"), c.Width);
        EXPECT_EQ(JsonNumber(*video, "height"), c.Height);
        const TPicture shown = PictureAt(out, 0.2, c.Width, c.Height);
        EXPECT_TRUE(Near(shown.At(x, y), 255, 255, 255));
        for (const auto& [cx, cy] : {std::pair{ox, oy}, std::pair{x, oy}, std::pair{ox, y}})
            EXPECT_TRUE(Near(shown.At(cx, cy), 0, 0, 0)) << cx << "," << cy;
    }
}

TEST_F(ClipsTest, EveryInputBringsItsKindsAndTheOthersFillItsSpan) {
    // A silent first clip: the sound of the two after it is kept, silence over its span.
    const std::string out = File("mute_first.mp4");
    Join({File("mute.mp4"), File("tone.mp4"), File("tone.mp4")}, out, Mp4Like);
    const nlohmann::json probe = ProbeJson(out);
    ASSERT_NE(Stream(probe, "audio"), nullptr);
    EXPECT_NEAR(StreamDuration(probe, "video"), 4.0, 0.1);
    EXPECT_NEAR(StreamDuration(probe, "audio"), 4.0, 0.1);
    const std::vector<int16_t> pcm = DecodeAudio(out);
    EXPECT_LT(Peak(pcm, 0.0, 1.95), 300);
    EXPECT_GT(Peak(pcm, 2.1, 2.9), 2000);
    EXPECT_GT(Peak(pcm, 3.1, 3.9), 2000);

    // A song first: black pictures for its length, then the clip.
    ASSERT_TRUE(MakeMedia("-f lavfi -i sine=frequency=300:sample_rate=44100:duration=1 -c:a libmp3lame",
                          File("song.mp3")));
    const std::string songFirst = File("song_first.mp4");
    Join({File("song.mp3"), File("four3.mp4")}, songFirst, Mp4Like);
    const nlohmann::json songProbe = ProbeJson(songFirst);
    ASSERT_NE(Stream(songProbe, "video"), nullptr);
    EXPECT_NEAR(StreamDuration(songProbe, "video"), 1.4, 0.1);
    EXPECT_NEAR(StreamDuration(songProbe, "audio"), 1.4, 0.1);
    EXPECT_TRUE(Near(PictureAt(songFirst, 0.5, 640, 420).At(320, 210), 0, 0, 0));
    EXPECT_TRUE(Near(PictureAt(songFirst, 1.2, 640, 420).At(320, 210), 0, 128, 0));
}

TEST_F(ClipsTest, VariableRateClipsKeepTheirLengthAndSync) {
    const std::string out = File("vfr_joined.mp4");
    Join({File("vfr.mkv"), File("tone.mp4"), File("vfr.mkv")}, out, Mp4Like);
    const nlohmann::json probe = ProbeJson(out);
    EXPECT_NEAR(StreamDuration(probe, "video"), 5.0, 0.1);
    EXPECT_NEAR(StreamDuration(probe, "audio"), 5.0, 0.1);
    // Each clip's tone starts with its pictures: at 0, 2 and 3 s.
    const std::vector<int16_t> pcm = DecodeAudio(out);
    for (const double start : {2.0, 3.0}) {
        EXPECT_GT(Peak(pcm, start + 0.04, start + 0.2), 2000) << start;
        EXPECT_GT(Peak(pcm, start - 0.2, start - 0.04), 2000) << start;
    }
}

TEST_F(ClipsTest, AGapInTheTimesKeepsPictureAndSoundTogether) {
    const std::string out = File("gap_joined.mp4");
    Join({File("tone.mp4"), File("gap.mkv")}, out, Mp4Like);
    EXPECT_NEAR(JsonNumber(ProbeJson(out)["format"], "duration"), 4.0, 0.1);
    // Through the gap the last red picture stands and nothing is heard;
    // after it blue comes with its tone.
    EXPECT_TRUE(Near(PictureAt(out, 2.5, 640, 420).At(320, 210), 255, 0, 0));
    EXPECT_TRUE(Near(PictureAt(out, 3.1, 640, 420).At(320, 210), 0, 0, 255));
    const std::vector<int16_t> pcm = DecodeAudio(out);
    EXPECT_LT(Peak(pcm, 1.1, 2.9), 300);
    EXPECT_GT(Peak(pcm, 3.1, 3.9), 2000);
}

TEST_F(ClipsTest, ModernInputsJoinIntoEveryFamily) {
    const std::vector<std::string> inputs = {File("hevc10.mov"), File("vp9.webm"), File("av1.mkv"),
                                             File("h264_422.mkv")};
    const struct {
        const char* name;
        const char* ext;
        const char* videoCodec;
    } families[] = {
        {"modern.avi", "vcodec=mpeg4\nacodec=libmp3lame\ns=320x240\nr=25\nar=44100\nac=2", "mpeg4"},
        {"modern.mp4", Mp4Like, "h264"},
        {"modern.wmv", "vcodec=wmv2\nacodec=wmav2\ns=320x240\nr=25\nar=44100\nac=2", "wmv2"},
        {"modern.mpg", "vcodec=mpeg1video\nacodec=mp2\ns=352x240\nr=30000/1001\nar=44100\nac=2", "mpeg1video"},
        {"modern.mp3", "vn=1\nacodec=libmp3lame\nar=44100\nac=2", nullptr},
    };
    for (const auto& f : families) {
        const std::string out = File(f.name);
        Join(inputs, out, f.ext);
        const nlohmann::json probe = ProbeJson(out);
        const auto* video = Stream(probe, "video");
        const auto* audio = Stream(probe, "audio");
        ASSERT_NE(audio, nullptr) << f.name;
        // 5.1 and 7.1 are mixed down to the two channels asked for.
        EXPECT_EQ(JsonNumber(*audio, "channels"), 2) << f.name;
        EXPECT_NEAR(JsonNumber(probe["format"], "duration"), 4.0, 0.15) << f.name;
        if (f.videoCodec) {
            ASSERT_NE(video, nullptr) << f.name;
            EXPECT_EQ((*video)["codec_name"], f.videoCodec) << f.name;
        } else {
            EXPECT_EQ(video, nullptr) << f.name;
        }
    }
    // The surround tones are heard in the mix; the clip without sound is silent.
    const std::vector<int16_t> pcm = DecodeAudio(File("modern.mp3"));
    EXPECT_GT(Peak(pcm, 0.2, 0.8), 500);
    EXPECT_GT(Peak(pcm, 1.2, 1.8), 500);
    EXPECT_LT(Peak(pcm, 2.2, 2.8), 100);
    EXPECT_GT(Peak(pcm, 3.2, 3.8), 500);
}
