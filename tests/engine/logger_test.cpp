#include "ff_errors.h"
#include "ff_exception.h"
#include "ff_logger.h"

#include "dispatcher.h"

#include "media_fixtures.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {
struct Captured {
    TLogLevel level;
    std::string text;
};

class LoggerTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        FFLogger().SetTriggerEventInMainThread(false);
        FFLogger().SetOnLog([this](void*, uint32_t, TLogLevel level, const std::string& text) {
            lines.push_back({level, text});
        });
    }
    void TearDown() override {
        FFLogger().SetOnLog(nullptr);
        FFLogger().SetLogLevel(llInfo);
    }
    std::vector<Captured> lines;
};
}  // namespace

TEST(LogLevels, MapBothWays) {
    EXPECT_EQ(LibraryLogLevel(llQuiet), -8);
    EXPECT_EQ(LibraryLogLevel(llPanic), 0);
    EXPECT_EQ(LibraryLogLevel(llError), 16);
    EXPECT_EQ(LibraryLogLevel(llDebug), 48);
    for (int l = llQuiet; l <= llDebug; ++l)
        EXPECT_EQ(LogLevelFromLibrary(LibraryLogLevel(static_cast<TLogLevel>(l))), l);
    // In between and beyond the named levels.
    EXPECT_EQ(LogLevelFromLibrary(-100), llQuiet);
    EXPECT_EQ(LogLevelFromLibrary(-1), llPanic);  // -1 + 7 = 6 -> 6 div 8 + 1
    EXPECT_EQ(LogLevelFromLibrary(20), llError);
    EXPECT_EQ(LogLevelFromLibrary(47), llVerbose);
    EXPECT_EQ(LogLevelFromLibrary(56), llDebug);
}

TEST_F(LoggerTest, LevelTextAndFiltering) {
    TFFLogger& logger = FFLogger();
    logger.SetLogLevelText("WARNING");
    EXPECT_EQ(logger.LogLevel(), llWarning);
    logger.SetLogLevelText("40");
    EXPECT_EQ(logger.LogLevel(), llVerbose);
    EXPECT_EQ(FF.av_log_get_level(), 40);
    EXPECT_THROW(logger.SetLogLevelText("loud"), FFmpegException);

    logger.SetLogLevel(llError);
    logger.Log(nullptr, llInfo, "info line");
    logger.Log(nullptr, llVerbose, "report line");
    logger.Log(nullptr, llError, "error line");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "report line");
    EXPECT_EQ(lines[1].text, "error line");

    lines.clear();
    logger.SetLogLevel(llQuiet);
    logger.Log(nullptr, llVerbose, "report line");
    logger.Log(nullptr, llQuiet, "quiet line");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "quiet line");
}

TEST_F(LoggerTest, LibraryLinesAreAssembledAndRepeatsCounted) {
    FFLogger().SetLogLevel(llInfo);
    FF.av_log(nullptr, AV_LOG_WARNING, "first ");
    FF.av_log(nullptr, AV_LOG_WARNING, "part\n");
    for (int i = 0; i < 10; ++i) FF.av_log(nullptr, AV_LOG_ERROR, "same line\n");
    FF.av_log(nullptr, AV_LOG_ERROR, "other line\n");
    FF.av_log(nullptr, AV_LOG_VERBOSE, "too detailed\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, "first part");
    EXPECT_EQ(lines[0].level, llWarning);
    EXPECT_EQ(lines[1].text, "same line");
    EXPECT_EQ(lines[1].level, llError);
    EXPECT_EQ(lines[2].text, "    Last message repeated 9 times");
    EXPECT_EQ(lines[3].text, "other line");

    // A context with a class prefixes its name and address.
    lines.clear();
    AVCodecContext* ctx = FF.avcodec_alloc_context3(nullptr);
    FF.av_log(ctx, AV_LOG_ERROR, "from a codec\n");
    FF.avcodec_free_context(&ctx);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text.rfind("[NULL @ 0x", 0), 0u) << lines[0].text;
    EXPECT_NE(lines[0].text.find("]from a codec"), std::string::npos) << lines[0].text;
}

TEST_F(LoggerTest, DeliveryGoesThroughTheMainThread) {
    PlainDispatcher dispatcher;
    FFLogger().SetDispatcher(&dispatcher);
    FFLogger().SetTriggerEventInMainThread(true);
    std::thread::id seen;
    FFLogger().SetOnLog([&](void*, uint32_t, TLogLevel, const std::string&) { seen = std::this_thread::get_id(); });
    std::thread worker([&] { FFLogger().Log(nullptr, llError, "from a worker"); });
    EXPECT_TRUE(dispatcher.runUntil([&] { return seen != std::thread::id(); }, std::chrono::seconds(10)));
    worker.join();
    EXPECT_EQ(seen, std::this_thread::get_id());
    FFLogger().SetDispatcher(nullptr);
}

TEST(ErrorTexts, KnownAndUnknownCodes) {
    EXPECT_EQ(ErrorText("a.avi", -2), "a.avi: No such file or directory");
    EXPECT_EQ(ErrorText("x", -7777), "x: Error number -7777 occurred");
    EXPECT_EQ(ErrorMessage(AVERROR_DECODER_NOT_FOUND), "Decoder not found");
    EXPECT_EQ(ErrorMessage(-10054), "Connection reset by peer");
    EXPECT_EQ(ErrorMessage(-11004), "WSANO_DATA");
    EXPECT_EQ(ErrorMessage(-41), "Error number -41 occurred");
    EXPECT_EQ(ErrorMessage(AVERROR_INVALIDDATA), "Invalid data found when processing input");
}
