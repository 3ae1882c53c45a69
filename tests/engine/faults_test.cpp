// Damaged input, outputs that cannot be written, stopping a blocked read, and
// runs that leave nothing behind.
#include "../common/temp_dir.h"
#include "encoder_harness.h"

#include <dirent.h>

#include <cstring>

#include <filesystem>
#include <random>

namespace {
// Stamps tags of an FLV (kind 8 sound, 9 pictures) from the n-th of that
// kind on: the first at ms, each next one step ms later (step 0: that one only).
std::string StampFlvTags(std::string data, int kind, int n, uint32_t ms, uint32_t step = 0) {
    size_t pos = 13;  // past the file header and the first tag size
    int seen = 0;
    while (pos + 11 <= data.size()) {
        const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(data[pos + i])); };
        if (static_cast<int>(byte(0)) == kind && seen++ >= n && (step > 0 || seen == n + 1)) {
            data[pos + 4] = static_cast<char>(ms >> 16);
            data[pos + 5] = static_cast<char>(ms >> 8);
            data[pos + 6] = static_cast<char>(ms);
            data[pos + 7] = static_cast<char>(ms >> 24);
            ms += step;
        }
        pos += 11 + ((byte(1) << 16) | (byte(2) << 8) | byte(3)) + 4;
    }
    return data;
}

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
        // A 2-s FLV, then copies with one picture stamped three hours ahead,
        // one sound packet a day ahead, and pictures from the 10th on each
        // 1.5 s after the one before (a creeping error no single jump shows).
        ASSERT_TRUE(MakeClip(File("clip.flv"), 2, 160, 120, 25, 44100, 1, "-c:v flv1 -c:a aac -f flv"));
        const std::string flv = ReadWholeFile(File("clip.flv"));
        dir_->write("late_picture.flv", StampFlvTags(flv, 9, 25, 3 * 3600 * 1000));
        dir_->write("late_sound.flv", StampFlvTags(flv, 8, 40, 24 * 3600 * 1000));
        dir_->write("creeping.flv", StampFlvTags(flv, 9, 10, 400, 1500));
        // Ten seconds cut to their first 30 %: an MP4 with its index at the
        // front, a Matroska file; and a Matroska file whose header says 30 s
        // for its 10.
        for (const char* name : {"ten.mp4", "ten.mkv"}) {
            const bool mp4 = std::strstr(name, ".mp4") != nullptr;
            ASSERT_TRUE(MakeClip(File(name), 10, 160, 120, 25, 44100, 2,
                                 mp4 ? "-c:v mpeg4 -c:a aac -movflags +faststart" : "-c:v mpeg4 -c:a aac"));
            const std::string whole = ReadWholeFile(File(name));
            dir_->write(std::string("cut_") + name, whole.substr(0, whole.size() * 3 / 10));
        }
        std::string header = ReadWholeFile(File("ten.mkv"));
        const size_t duration = header.find("\x44\x89\x88");  // Duration, an 8-byte float of milliseconds
        ASSERT_NE(duration, std::string::npos);
        const double ms = 30000.0;
        uint64_t bits;
        std::memcpy(&bits, &ms, sizeof bits);
        for (int i = 0; i < 8; ++i) header[duration + 3 + static_cast<size_t>(i)] = static_cast<char>(bits >> (56 - 8 * i));
        dir_->write("long_header.mkv", header);
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
        EXPECT_EQ(r.info.Outcome, toFinished) << r.info.ErrorMessage;
        EXPECT_NEAR(JsonNumber(ProbeJson(File("repaired.avi"))["format"], "duration"), 4.0, 0.2);
    }
    {
        EncoderHarness h;
        ASSERT_EQ(h.JoinTask({File("damaged.ts")}, File("strict.avi"), "r=25\nxerror=1"), 0)
            << h.encoder->LastErrorMessage();
        const auto r = RunOne(h);
        EXPECT_EQ(r.info.Outcome, toFailed);
        EXPECT_EQ(r.info.ErrorMessage.rfind("Error while decoding stream #0.", 0), 0u) << r.info.ErrorMessage;
    }
}

TEST_F(FaultsTest, AFullDiskEndsTheTaskWithItsReason) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    EncoderHarness h;
    ASSERT_EQ(h.JoinTask({File("short.avi")}, "/dev/full", "f=avi"), 0) << h.encoder->LastErrorMessage();
    const auto r = RunOne(h);
    EXPECT_EQ(r.info.Outcome, toFailed);
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
    EXPECT_EQ(r.info.Outcome, toFailed);
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
        // Only the stop can end the read: the server sends nothing more.
        h.encoder->Stop(true);
        ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(60)));
        EXPECT_EQ(h.Terminates()[0].info.Outcome, toCancelled) << h.Terminates()[0].info.ErrorMessage;
    }
}

TEST_F(FaultsTest, FiftyRunsLeaveNoDescriptorsOrThreads) {
    const auto runOnce = [&](int i) {
        EncoderHarness h;
        ASSERT_EQ(h.JoinTask({File("short.avi"), File("short.avi")}, File("run" + std::to_string(i % 2) + ".avi"), ""),
                  0)
            << h.encoder->LastErrorMessage();
        const auto r = RunOne(h);
        EXPECT_EQ(r.info.Outcome, toFinished) << r.info.ErrorMessage;
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
        // Only the time-out can end the open (the server never sends); the
        // limit is for a time-out that does not fire at all, not for its speed.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(h.encoder->AddTask(url, &in), -1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
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
    EXPECT_EQ(r.info.Outcome, toFailed);
    EXPECT_EQ(r.info.ErrorMessage, "Error while opening decoder for input stream #0.1 (Audio)");
}

TEST_F(FaultsTest, TimestampsFarBeyondTheFileAreHeldInBounds) {
    // Left as they are, such stamps had pictures repeated and silence added
    // for hours. Each join and conversion ends with about the inputs' length.
    struct TCase {
        std::vector<std::string> inputs;
        double seconds;  // the output's expected length
        bool warned;     // a warning names the damaged stamp
    };
    const std::vector<TCase> cases = {
        {{File("late_picture.flv"), File("short.avi")}, 3.0, true},
        {{File("late_sound.flv"), File("short.avi")}, 3.0, true},
        {{File("late_picture.flv")}, 2.0, true},
        {{File("short.avi"), File("late_sound.flv")}, 3.0, true},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].inputs.front());
        EncoderHarness h;
        h.CaptureLog(llWarning);
        const std::string out = File("bounded" + std::to_string(i) + ".avi");
        ASSERT_EQ(h.JoinTask(cases[i].inputs, out, "r=25"), 0) << h.encoder->LastErrorMessage();
        const auto r = RunOne(h);
        EXPECT_EQ(r.info.Outcome, toFinished) << r.info.ErrorMessage;
        EXPECT_NEAR(JsonNumber(ProbeJson(out)["format"], "duration"), cases[i].seconds, 0.3);
        EXPECT_EQ(h.LogContains("far beyond the file's length"), cases[i].warned);
    }
    // Stamps that creep ahead in small steps pass as real; the repeats that
    // fill their gaps stop a little past the inputs' length, and every
    // picture still goes out.
    EncoderHarness h;
    const std::string out = File("creeping.avi");
    ASSERT_EQ(h.JoinTask({File("creeping.flv"), File("short.avi")}, out, "r=25"), 0) << h.encoder->LastErrorMessage();
    const auto r = RunOne(h);
    EXPECT_EQ(r.info.Outcome, toFinished) << r.info.ErrorMessage;
    const double seconds = JsonNumber(ProbeJson(out)["format"], "duration");
    EXPECT_GT(seconds, 3.0);
    EXPECT_LT(seconds, 8.0);
}

TEST_F(FaultsTest, AnInputCutShortFailsAndLeavesNoFile) {
    // Joined or converted alone, a file that ends on damage after under half
    // its length gives no output that looks whole.
    // The failure names the input that was cut, wherever it stands.
    const std::vector<std::pair<std::vector<std::string>, int>> cut = {
        {{File("cut_ten.mp4")}, 0},
        {{File("cut_ten.mkv")}, 0},
        {{File("short.avi"), File("cut_ten.mkv")}, 1},
        {{File("cut_ten.mp4"), File("short.avi")}, 0}};
    for (size_t i = 0; i < cut.size(); ++i) {
        SCOPED_TRACE(i);
        EncoderHarness h;
        const std::string out = File("cut" + std::to_string(i) + ".avi");
        ASSERT_EQ(h.JoinTask(cut[i].first, out, "r=25"), 0) << h.encoder->LastErrorMessage();
        const auto r = RunOne(h);
        EXPECT_EQ(r.info.Outcome, toFailed);
        EXPECT_EQ(r.info.ErrorMessage.rfind("ends after 2.", 0), 0u) << r.info.ErrorMessage;
        EXPECT_EQ(r.info.FileIndex, cut[i].second);
        EXPECT_NE(r.info.ErrorMessage.find("of its 10.0 s: the file is damaged or cut short"), std::string::npos)
            << r.info.ErrorMessage;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    // A header that claims too much is no damage: the file reads cleanly to
    // its end, and all of it is written.
    EncoderHarness h;
    const std::string out = File("long_header.avi");
    ASSERT_EQ(h.JoinTask({File("long_header.mkv")}, out, "r=25"), 0) << h.encoder->LastErrorMessage();
    const auto r = RunOne(h);
    EXPECT_EQ(r.info.Outcome, toFinished) << r.info.ErrorMessage;
    EXPECT_NEAR(JsonNumber(ProbeJson(out)["format"], "duration"), 10.0, 0.3);
}
