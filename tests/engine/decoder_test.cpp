#include "ff_decoder.h"
#include "ff_decoder_state.h"
#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_interrupt.h"

#include "../common/temp_dir.h"
#include "media_fixtures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {
class DecoderTest : public MediaSuite<DecoderTest> {
public:
    static void MakeSuiteMedia() {
        ASSERT_TRUE(MakeClip(dir_->file("clip.avi"), 2, 320, 240, 25));
        ASSERT_TRUE(MakeMedia("-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1.5 -c:a pcm_s16le",
                              dir_->file("tone.wav")));
        // A song with its cover picture, as taggers store it.
        ASSERT_TRUE(MakeMedia("-f lavfi -i sine=duration=1 -f lavfi -i testsrc=size=64x64:rate=1:duration=1 "
                              "-map 0:a -map 1:v -frames:v 1 -c:a libmp3lame -c:v png -disposition:v attached_pic",
                              dir_->file("cover.mp3")));
        // A raw elementary stream knows no duration.
        ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc=size=176x144:rate=25:duration=1 -c:v mpeg4 -f m4v",
                              dir_->file("raw.m4v")));
    }
};

// A file that refuses seeks with the backward flag.
class NoBackwardDecoder : public TFFDecoder {
public:
    int calls = 0;
    int lastFlags = -1;

protected:
    int SeekFrame(int streamIndex, int64_t timestamp, int flags) override {
        ++calls;
        lastFlags = flags;
        if (flags & AVSEEK_FLAG_BACKWARD) return -1;
        return TFFDecoder::SeekFrame(streamIndex, timestamp, flags);
    }
};
}  // namespace

TEST_F(DecoderTest, BeforeLoadingEverythingIsUnknown) {
    TFFDecoder decoder;
    const TFileStreamInfo info = decoder.GetFileStreamInfo();
    EXPECT_EQ(info.Duration, -1);
    EXPECT_EQ(info.StartTime, -1);
    EXPECT_EQ(info.BitRate, -1);
    EXPECT_EQ(decoder.LastErrorMessage(), "file not loaded.");
    EXPECT_EQ(decoder.FirstVideoStream(), -1);
    EXPECT_FALSE(decoder.Decode());
    EXPECT_FALSE(decoder.Seek(0, 0));
    TFFBitmap bitmap;
    EXPECT_FALSE(decoder.CopyToBitmap(bitmap));
    EXPECT_EQ(decoder.LastErrorMessage(), "picture not ready, please decode first");
}

TEST_F(DecoderTest, VideoFileFactsSeekDecodeAndBitmap) {
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(dir_->file("clip.avi"))) << decoder.LastErrorMessage();
    EXPECT_EQ(decoder.FileName(), dir_->file("clip.avi"));
    EXPECT_EQ(decoder.StreamCount(), 2);
    EXPECT_EQ(decoder.FirstVideoStream(), 0);
    EXPECT_EQ(decoder.FirstAudioStream(), 1);
    EXPECT_EQ(decoder.FileSize(), static_cast<int64_t>(std::filesystem::file_size(dir_->file("clip.avi"))));
    const TFileStreamInfo file = decoder.GetFileStreamInfo();
    EXPECT_NEAR(file.Duration, 2000000, 100000);

    const TVideoStreamInfo video = decoder.GetVideoStreamInfo(-1);
    EXPECT_EQ(video.Width, 320);
    EXPECT_EQ(video.Height, 240);
    EXPECT_EQ(video.FrameRateNum, 25);
    EXPECT_EQ(video.FrameRateDen, 1);
    EXPECT_NEAR(video.DisplayAspectRatio, 4.0 / 3.0, 0.01);
    EXPECT_EQ(video.CodecName.rfind("mpeg4(", 0), 0u) << video.CodecName;
    const TAudioStreamInfo audio = decoder.GetAudioStreamInfo(-1);
    EXPECT_EQ(audio.Channels, 2);
    EXPECT_EQ(audio.SampleRate, 44100);
    EXPECT_EQ(audio.CodecName.rfind("mp2", 0), 0u) << audio.CodecName;
    // The wrong kind of stream.
    decoder.GetVideoStreamInfo(1);
    EXPECT_EQ(decoder.LastErrorMessage(), "stream #1 is not video stream.");
    decoder.GetAudioStreamInfo(7);
    EXPECT_EQ(decoder.LastErrorMessage(), "stream index #7 is invalid.");

    TFFBitmap bitmap;
    EXPECT_FALSE(decoder.CopyToBitmap(bitmap));
    EXPECT_EQ(decoder.LastErrorMessage(), "picture not ready, please decode first");
    ASSERT_TRUE(decoder.Seek(0, file.Duration / 2)) << decoder.LastErrorMessage();
    ASSERT_TRUE(decoder.Decode(decoder.FirstVideoStream())) << decoder.LastErrorMessage();
    EXPECT_GT(decoder.PicturePTS(), 0);
    EXPECT_LE(decoder.PicturePTS(), 1000000);
    ASSERT_TRUE(decoder.CopyToBitmap(bitmap)) << decoder.LastErrorMessage();
    EXPECT_EQ(bitmap.Width, 320);
    EXPECT_EQ(bitmap.Height, 240);
    EXPECT_EQ(bitmap.BitsPixel, 24);
    // The test pattern is not black.
    int lit = 0;
    for (uint8_t b : bitmap.Pixels) lit += b > 64;
    EXPECT_GT(lit, 1000);

    // Decoding to the end reports it once and then keeps saying so.
    int pictures = 0;
    while (decoder.Decode()) ++pictures;
    EXPECT_GT(pictures, 10);
    EXPECT_EQ(decoder.LastErrorMessage(), "stream eof reached.");
    EXPECT_TRUE(decoder.Eof());
    // A seek back to the start decodes again.
    ASSERT_TRUE(decoder.Seek(0, 0));
    EXPECT_TRUE(decoder.Decode());
    EXPECT_EQ(decoder.PicturePTS(), 0);
}

TEST_F(DecoderTest, AudioOnlyAndUnknownDuration) {
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(dir_->file("tone.wav"))) << decoder.LastErrorMessage();
    EXPECT_EQ(decoder.FirstVideoStream(), -1);
    EXPECT_EQ(decoder.FirstAudioStream(), 0);
    const TVideoStreamInfo video = decoder.GetVideoStreamInfo(-1);
    EXPECT_EQ(decoder.LastErrorMessage(), "no video stream.");
    EXPECT_EQ(video.Width, -1);
    EXPECT_EQ(video.DisplayAspectRatio, -1.0f);
    const TAudioStreamInfo audio = decoder.GetAudioStreamInfo(-1);
    EXPECT_EQ(audio.SampleRate, 22050);
    EXPECT_EQ(audio.Channels, 1);
    EXPECT_EQ(audio.BitRate, 22050 * 16);
    EXPECT_EQ(audio.CodecName, "pcm_s16le(PCM signed 16-bit little-endian)");
    EXPECT_FALSE(decoder.Decode());
    EXPECT_EQ(decoder.LastErrorMessage(), "no video stream.");

    // The cover picture of a song does not make it a video.
    ASSERT_TRUE(decoder.LoadFile(dir_->file("cover.mp3"))) << decoder.LastErrorMessage();
    EXPECT_EQ(decoder.StreamCount(), 2);
    EXPECT_EQ(decoder.FirstVideoStream(), -1);
    EXPECT_EQ(decoder.VideoStreamCount(), 0);
    EXPECT_EQ(decoder.FirstAudioStream(), 0);
    EXPECT_EQ(decoder.GetAudioStreamInfo(-1).CodecName.rfind("mp3", 0), 0u);

    ASSERT_TRUE(decoder.LoadFile(dir_->file("raw.m4v"))) << decoder.LastErrorMessage();
    EXPECT_EQ(decoder.GetFileStreamInfo().Duration, -1);
    EXPECT_TRUE(decoder.Seek(0, 0)) << decoder.LastErrorMessage();
    EXPECT_TRUE(decoder.Decode()) << decoder.LastErrorMessage();
}

TEST_F(DecoderTest, SeekRetriesWithoutTheBackwardFlag) {
    NoBackwardDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(dir_->file("clip.avi")));
    EXPECT_TRUE(decoder.Seek(0, 0)) << decoder.LastErrorMessage();
    EXPECT_EQ(decoder.calls, 2);
    EXPECT_EQ(decoder.lastFlags & AVSEEK_FLAG_BACKWARD, 0);
    EXPECT_TRUE(decoder.Decode());
}

TEST_F(DecoderTest, BorrowedContainerCannotBeSeeked) {
    TFFDecoder owner;
    ASSERT_TRUE(owner.LoadFile(dir_->file("clip.avi")));
    TFFDecoder borrower;
    TDecoderAccess::AttachContainer(borrower, TDecoderAccess::Container(owner));
    EXPECT_EQ(borrower.FirstAudioStream(), 1);
    EXPECT_EQ(borrower.GetVideoStreamInfo().Width, 320);
    EXPECT_THROW(borrower.Seek(0, 0), FFmpegException);
    borrower.CloseFile();  // leaves the container to its owner
    EXPECT_EQ(owner.GetVideoStreamInfo().Width, 320);
}

TEST_F(DecoderTest, BadInputFailsWithAMessage) {
    TempDir dir;
    const std::string zero = dir.write("zero.mp4");
    std::string noise(65536, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    const std::string random = dir.write("random.mkv", noise);
    const std::string text = dir.write("text.avi", "this is not a video\n");
    ASSERT_TRUE(MakeClip(dir.file("whole.mp4"), 2, 160, 120, 25, 44100, 2, "-c:v mpeg4 -c:a aac"));
    const std::string whole = ReadWholeFile(dir.file("whole.mp4"));
    const std::string truncated = dir.write("truncated.mp4", whole.substr(0, whole.size() / 3));
    std::filesystem::create_directory(dir.file("folder.avi"));
    // A pipe without a writer would block the open for ever.
    ASSERT_EQ(::mkfifo(dir.file("pipe.mp4").c_str(), 0600), 0);

    TFFDecoder decoder;
    for (const std::string& bad :
         {zero, random, text, truncated, dir.file("folder.avi"), dir.file("pipe.mp4"), dir.file("missing.avi")}) {
        EXPECT_FALSE(decoder.LoadFile(bad)) << bad;
        EXPECT_EQ(decoder.LastErrorMessage().rfind(bad + ": ", 0), 0u) << decoder.LastErrorMessage();
        EXPECT_FALSE(decoder.IsOpen());
    }
    EXPECT_EQ(decoder.LastErrorMessage(), dir.file("missing.avi") + ": No such file or directory");
    EXPECT_FALSE(decoder.LoadFile(dir.file("whole.mp4"), "no-such-format"));
    EXPECT_EQ(decoder.LastErrorMessage(), "Unknown input format: no-such-format");

    if (::geteuid() != 0) {
        const std::string locked = dir.write("locked.mp4", whole);
        std::filesystem::permissions(locked, std::filesystem::perms::none);
        EXPECT_FALSE(decoder.LoadFile(locked));
        EXPECT_EQ(decoder.LastErrorMessage(), locked + ": Permission denied");
    }
    // Names with spaces, "%", quotes and letters beyond ASCII open.
    const std::string odd = dir.file("a b %d 'q\" \xC3\xA9\xE6\x97\xA5.mp4");
    std::filesystem::copy_file(dir.file("whole.mp4"), odd);
    ASSERT_TRUE(decoder.LoadFile(odd)) << decoder.LastErrorMessage();
    EXPECT_EQ(decoder.FileName(), odd);
    EXPECT_TRUE(decoder.Decode());
}

TEST_F(DecoderTest, BlockingReadEndsWhenTheCheckSaysStop) {
    StallingServer server;  // accepts, then never sends anything
    const std::string url = server.url();
    static std::atomic<bool> stop{false};
    stop = false;
    auto check = [](void* argument, void* owner) { return argument == owner && stop.load(); };
    int marker = 0;
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    TFFDecoder decoder;
    {
        TInterruptScope scope(&marker, check, &marker);
        EXPECT_FALSE(decoder.LoadFile(url, "mpegts"));
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    stopper.join();
    // Only the check can end the read (the server never sends); the limit is
    // for a check that is never asked, not for its speed.
    EXPECT_LT(elapsed, std::chrono::seconds(60));
    EXPECT_EQ(decoder.LastErrorMessage().rfind(url + ": ", 0), 0u) << decoder.LastErrorMessage();
    EXPECT_FALSE(InterruptRegistry().Check(CurrentThreadId()));
}
