// Damaged input, outputs that cannot be written, stopping a blocked read, and
// runs that leave nothing behind.
#include "../common/temp_dir.h"
#include "encoder_harness.h"

#include <dirent.h>

#include <filesystem>
#include <random>

namespace {
class FaultsTest : public MediaSuite<FaultsTest> {
public:
    static void MakeSuiteMedia() {
        ASSERT_TRUE(MakeClip(File("short.avi"), 1, 160, 120, 25));
        ASSERT_TRUE(MakeClip(File("clip.ts"), 4, 160, 120, 25, 44100, 1, "-c:v mpeg4 -c:a mp2 -f mpegts"));
        ASSERT_TRUE(MakeClip(File("stream.ts"), 30, 160, 120, 25, 44100, 1, "-c:v mpeg4 -c:a mp2 -f mpegts"));
        // Damage twenty transport packets in the middle of the clip.
        std::string data = ReadWholeFile(File("clip.ts"));
        std::mt19937 random(2);
        for (int k = 0; k < 20; ++k) {
            size_t base = data.size() * static_cast<size_t>(30 + 2 * k) / 100;
            base -= base % 188;
            for (size_t i = base + 8; i < base + 188; ++i) data[i] = static_cast<char>(random());
        }
        dir_->write("damaged.ts", data);
    }
};

int CountEntries(const char* folder) {
    int n = 0;
    if (DIR* d = ::opendir(folder)) {
        while (::readdir(d)) ++n;
        ::closedir(d);
    }
    return n;
}

TerminateRecord RunOne(EncoderHarness& h) {
    h.encoder->Start(1);
    EXPECT_TRUE(h.WaitFinal(std::chrono::seconds(60)));
    const auto t = h.Terminates();
    return t.empty() ? TerminateRecord{} : t.front();
}
}  // namespace

TEST_F(FaultsTest, DamagedPacketsAreSkippedUnlessXerror) {
    {
        EncoderHarness h;
        ASSERT_EQ(h.JoinTask({File("damaged.ts")}, File("repaired.avi"), "r=25"), 0) << h.encoder->LastErrorMessage();
        const auto r = RunOne(h);
        EXPECT_TRUE(r.info.Finished);
        EXPECT_FALSE(r.info.Failed) << r.info.ErrorMessage;
        EXPECT_NEAR(JsonNumber(ProbeJson(File("repaired.avi"))["format"], "duration"), 4.0, 0.2);
    }
    {
        EncoderHarness h;
        ASSERT_EQ(h.JoinTask({File("damaged.ts")}, File("strict.avi"), "r=25\nxerror=1"), 0)
            << h.encoder->LastErrorMessage();
        const auto r = RunOne(h);
        EXPECT_TRUE(r.info.Failed);
        EXPECT_EQ(r.info.ErrorMessage.rfind("Error while decoding stream #0.", 0), 0u) << r.info.ErrorMessage;
    }
}

TEST_F(FaultsTest, AFullDiskEndsTheTaskWithItsReason) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    EncoderHarness h;
    ASSERT_EQ(h.JoinTask({File("short.avi")}, "/dev/full", "f=avi"), 0) << h.encoder->LastErrorMessage();
    const auto r = RunOne(h);
    EXPECT_TRUE(r.info.Failed);
    EXPECT_FALSE(r.info.Finished);
    EXPECT_NE(r.info.ErrorMessage.find("No space left on device"), std::string::npos) << r.info.ErrorMessage;
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));  // an empty device is no output to delete
}

TEST_F(FaultsTest, AnOutputFolderThatVanishedIsNoFinishedOutput) {
    TempDir out;
    const std::string folder = out.file("videos");
    std::filesystem::create_directory(folder);
    EncoderHarness h;
    ASSERT_EQ(h.JoinTask({File("short.avi")}, folder + "/gone.avi", ""), 0) << h.encoder->LastErrorMessage();
    std::filesystem::remove_all(folder);
    const auto r = RunOne(h);
    EXPECT_TRUE(r.info.Failed);
    EXPECT_EQ(r.info.ErrorMessage, folder + "/gone.avi: No such file or directory");
}

TEST_F(FaultsTest, StopEndsABlockedNetworkRead) {
    // A server that sends the first third of a stream, then nothing.
    const std::string data = ReadWholeFile(File("stream.ts"));
    StallingServer server(data.substr(0, data.size() / 3));
    {
        EncoderHarness h;
        TInputOptions in;
        InitInputOptions(in);
        in.FileFormat = "mpegts";
        in.ExtOptions = "analyzeduration=1000000";
        ASSERT_EQ(h.encoder->AddTask(server.url(), &in), 0) << h.encoder->LastErrorMessage();
        ASSERT_TRUE(h.encoder->SetOutputFile(0, File("network.avi"))) << h.encoder->LastErrorMessage();
        h.encoder->Start(1);
        // Let the run use up what was sent and block.
        h.dispatcher.runUntil([] { return false; }, std::chrono::milliseconds(1500));
        EXPECT_TRUE(h.Terminates().empty());
        const auto start = std::chrono::steady_clock::now();
        h.encoder->Stop(true);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(10)));
        EXPECT_FALSE(h.Terminates()[0].info.Finished);
        EXPECT_FALSE(h.Terminates()[0].info.Failed) << h.Terminates()[0].info.ErrorMessage;
    }
}

TEST_F(FaultsTest, FiftyRunsLeaveNoDescriptorsOrThreads) {
    const auto runOnce = [&](int i) {
        EncoderHarness h;
        ASSERT_EQ(h.JoinTask({File("short.avi"), File("short.avi")}, File("run" + std::to_string(i % 2) + ".avi"), ""),
                  0)
            << h.encoder->LastErrorMessage();
        const auto r = RunOne(h);
        EXPECT_TRUE(r.info.Finished) << r.info.ErrorMessage;
        h.encoder->ClearTasks();
    };
    runOnce(-1);  // the libraries open what they keep for the process
    const auto settle = [] {
        // Notification threads end right after their last delivery.
        for (int i = 0; i < 50 && CountEntries("/proc/self/task") > 3; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    settle();
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    for (int i = 0; i < 50; ++i) runOnce(i);
    settle();
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_LE(CountEntries("/proc/self/task"), threads);
}

TEST_F(FaultsTest, BadInputIsRefusedWithAMessage) {
    TempDir bad;
    EncoderHarness h;
    const std::string zero = bad.write("zero.avi");
    const std::string text = bad.write("text.avi", "not a video at all\n");
    EXPECT_EQ(h.encoder->AddTask(zero), -1);
    EXPECT_EQ(h.encoder->LastErrorMessage().rfind(zero + ": ", 0), 0u) << h.encoder->LastErrorMessage();
    EXPECT_EQ(h.encoder->AddTask(text), -1);
    EXPECT_EQ(h.encoder->LastErrorMessage().rfind(text + ": ", 0), 0u) << h.encoder->LastErrorMessage();
    EXPECT_EQ(h.encoder->AddTask(bad.path()), -1);
    EXPECT_EQ(h.encoder->LastErrorMessage(), bad.path() + ": Is a directory");
    EXPECT_EQ(h.encoder->TaskCount(), 0);
}

TEST_F(FaultsTest, AStalledOpenTimesOut) {
    StallingServer server;  // accepts, then never sends anything
    const std::string url = server.url();
    {
        EncoderHarness h;
        h.CaptureLog();
        h.encoder->IOTimeout = 500;
        TInputOptions in;
        InitInputOptions(in);
        in.FileFormat = "mpegts";
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(h.encoder->AddTask(url, &in), -1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(h.encoder->LastErrorMessage(), url + ": connecting/reading/writing timeout");
        EXPECT_TRUE(h.LogContains("connecting/reading/writing timeout"));
    }
}

TEST_F(FaultsTest, ADecoderThatCannotOpenEndsTheTask) {
    // The forced decoder needs setup data the stream lacks, so it refuses to
    // open; the context made for it goes with the failed run (the leak check
    // of the sanitizer pass sees it).
    EncoderHarness h;
    TInputOptions in;
    InitInputOptions(in);
    in.ExtOptions = "acodec=cook";
    ASSERT_EQ(h.encoder->AddTask(File("short.avi"), &in), 0) << h.encoder->LastErrorMessage();
    ASSERT_TRUE(h.encoder->SetOutputFile(0, File("cook.avi"))) << h.encoder->LastErrorMessage();
    const auto r = RunOne(h);
    EXPECT_TRUE(r.info.Failed);
    EXPECT_EQ(r.info.ErrorMessage, "Error while opening decoder for input stream #0.1 (Audio)");
}
