// The encoder component: tasks, working checks, runs with and without threads,
// stopping, and where each event arrives.
#include "ff_decoder.h"
#include "ff_exception.h"

#include "../common/temp_dir.h"
#include "encoder_harness.h"

#include <filesystem>

namespace {
class EncoderTest : public MediaSuite<EncoderTest> {
public:
    static void MakeSuiteMedia() {
        ASSERT_TRUE(MakeClip(File("short.avi"), 1, 160, 120, 25));
        // Long enough to be stopped while it runs.
        ASSERT_TRUE(MakeClip(File("long.avi"), 120, 320, 240, 25));
    }
};
}  // namespace

TEST_F(EncoderTest, PropertiesAndTaskLimits) {
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    EXPECT_EQ(e.Version(), "3.9");
    e.SetProgressInterval(50);
    EXPECT_EQ(e.ProgressInterval(), 100);
    e.SetProgressInterval(100);
    EXPECT_EQ(e.ProgressInterval(), 100);
    e.SetProgressInterval(101);
    EXPECT_EQ(e.ProgressInterval(), 101);
    EXPECT_TRUE(e.LibrariesLoaded());

    ASSERT_EQ(e.AddTask(File("short.avi")), 0) << e.LastErrorMessage();
    for (int i = 1; i < 20; ++i) ASSERT_TRUE(e.AddInputFile(0, File("short.avi"))) << i << e.LastErrorMessage();
    EXPECT_FALSE(e.AddInputFile(0, File("short.avi")));
    EXPECT_EQ(e.LastErrorMessage(), "max input files 20 reached");

    // The caller's record learns the file name; a bad option fails the add.
    TInputOptions in;
    InitInputOptions(in);
    EXPECT_EQ(in.StartTime, NoTimestamp);
    EXPECT_EQ(in.ProgramID, -1);
    ASSERT_EQ(e.AddTask(File("short.avi"), &in), 1);
    EXPECT_EQ(in.FileName, File("short.avi"));
    in.FileName.clear();
    in.ExtOptions = "cropleft=8";
    EXPECT_FALSE(e.AddInputFile(1, File("short.avi"), &in));
    EXPECT_EQ(e.LastErrorMessage(), "Removed, use the crop filter instead");
    EXPECT_EQ(e.AddTask(File("missing.avi")), -1);
    EXPECT_EQ(e.LastErrorMessage(), File("missing.avi") + ": No such file or directory");
    EXPECT_EQ(e.TaskCount(), 2);

    // Outputs: unknown formats, a second output of a join.
    EXPECT_FALSE(e.SetOutputFile(1, File("out.unknownext")));
    EXPECT_EQ(e.LastErrorMessage(), "Unable to find a suitable output format for '" + File("out.unknownext") + "'");
    TOutputOptions out;
    InitOutputOptions(out);
    out.Join = true;
    ASSERT_TRUE(e.SetOutputFile(0, File("join.avi"), &out)) << e.LastErrorMessage();
    EXPECT_EQ(out.FileName, File("join.avi"));
    out.FileName.clear();
    EXPECT_FALSE(e.SetOutputFile(0, File("join2.avi"), &out));
    EXPECT_EQ(e.LastErrorMessage(), "Cannot join more than one output file.");
    EXPECT_THROW(e.RemoveTask(5), FFmpegException);
    e.RemoveTask(0);
    EXPECT_EQ(e.TaskCount(), 1);
    // Freeing a task deletes the empty output it had opened.
    EXPECT_FALSE(std::filesystem::exists(File("join.avi")));
    e.ClearTasks();
    EXPECT_EQ(e.TaskCount(), 0);
}

TEST_F(EncoderTest, StartWithoutTasksStaysWorkingUntilCleared) {
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    e.Start(1);
    h.dispatcher.runUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(h.Terminates().empty());
    EXPECT_TRUE(e.Working());
    try {
        e.AddTask(File("short.avi"));
        FAIL() << "AddTask while working";
    } catch (const FFmpegException& ex) {
        EXPECT_STREQ(ex.what(), "Cannot AddTask while working.");
    }
    EXPECT_THROW(e.ClearTasks(), FFmpegException);
    EXPECT_THROW(e.Start(1), FFmpegException);
    e.Stop(true);
    EXPECT_THROW(e.ClearTasks(), FFmpegException);  // no final notification yet
}

TEST_F(EncoderTest, InlineRunNotifiesOnTheCallersThread) {
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    ASSERT_EQ(h.JoinTask({File("short.avi")}, File("inline1.avi"), ""), 0) << e.LastErrorMessage();
    ASSERT_EQ(h.JoinTask({File("short.avi")}, File("inline2.avi"), ""), 1) << e.LastErrorMessage();
    bool clearRefused = false;
    const TTerminateEvent record = e.OnTerminate;
    e.OnTerminate = [&](TCustomEncoder* sender, const TTerminateInfo& info) {
        record(sender, info);
        if (info.TaskIndex < 0) {
            // The task that delivers this is still running below us.
            try {
                e.ClearTasks();
            } catch (const FFmpegException&) {
                clearRefused = true;
            }
        }
    };
    e.Start(0);
    EXPECT_TRUE(clearRefused);
    const auto t = h.Terminates();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].info.TaskIndex, 0);
    EXPECT_EQ(t[1].info.TaskIndex, 1);
    EXPECT_EQ(t[2].info.TaskIndex, -1);
    for (const auto& r : t) {
        EXPECT_EQ(r.thread, std::this_thread::get_id());
        EXPECT_EQ(r.info.Outcome, toFinished) << r.info.ErrorMessage;
        EXPECT_EQ(r.info.Outcome, toFinished);
    }
    EXPECT_TRUE(e.AllFinished());
    e.ClearTasks();
    EXPECT_FALSE(e.Working());
    EXPECT_TRUE(std::filesystem::file_size(File("inline2.avi")) > 0);
}

TEST_F(EncoderTest, ThreadedRunStartsTasksOneAfterAnother) {
    // Declared before the encoder: its notification threads use them until
    // the encoder is gone.
    std::mutex order;
    std::vector<int> returned;  // tasks whose notification handler returned
    std::vector<std::thread::id> workers;
    bool finalAfterAll = false;
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    const auto caller = std::this_thread::get_id();
    e.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& info) {
        // Slow handlers: the final notification must still wait for them.
        if (info.TaskIndex >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::lock_guard lock(order);
        workers.push_back(std::this_thread::get_id());
        if (info.TaskIndex < 0) {
            // Whoever hears the final notification may clear the tasks at once.
            finalAfterAll = returned.size() == 3 && e.AllFinished();
            h.finalSeen = true;
            h.finalChanged.Notify();
        } else {
            returned.push_back(info.TaskIndex);
        }
    };
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(h.JoinTask({File("short.avi")}, File("thread" + std::to_string(i) + ".avi"), ""), i);
    e.Start(1);
    ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(60)));
    h.encoder.reset();
    EXPECT_EQ(returned, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(finalAfterAll);
    for (const auto& id : workers) EXPECT_NE(id, caller);
}

TEST_F(EncoderTest, NotificationsOfAThreadedRunComeFromOtherThreads) {
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    ASSERT_EQ(h.JoinTask({File("short.avi")}, File("other.avi"), ""), 0);
    e.Start(1);
    ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(60)));
    const auto t = h.Terminates();
    ASSERT_EQ(t.size(), 2u);
    for (const auto& r : t) EXPECT_NE(r.thread, std::this_thread::get_id());
    EXPECT_EQ(t[0].info.Outcome, toFinished);
}

TEST_F(EncoderTest, StopDuringTheFirstOfTwoTasks) {
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    ASSERT_EQ(h.JoinTask({File("long.avi")}, File("stopped.avi"), ""), 0) << e.LastErrorMessage();
    ASSERT_EQ(h.JoinTask({File("short.avi")}, File("never.avi"), ""), 1) << e.LastErrorMessage();
    e.Start(1);
    // Stop once the first progress report arrived.
    ASSERT_TRUE(h.dispatcher.runUntil(
        [&] {
            std::lock_guard lock(h.mutex);
            return !h.progress.empty();
        },
        std::chrono::seconds(60)));
    e.Stop(true);
    ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(60)));
    const auto t = h.Terminates();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].info.TaskIndex, 0);
    EXPECT_EQ(t[0].info.Outcome, toCancelled) << t[0].info.ErrorMessage;
    EXPECT_EQ(t[1].info.TaskIndex, 1);
    EXPECT_EQ(t[1].info.Outcome, toCancelled);
    EXPECT_EQ(t[0].info.Outcome, toCancelled);
    EXPECT_EQ(t[1].info.Outcome, toCancelled);
    EXPECT_EQ(t[2].info.TaskIndex, -1);
    EXPECT_EQ(t[2].info.Outcome, toFinished);
    // A stopped output leaves nothing: neither a cut-off file under its name
    // nor the hidden one it was written under.
    e.ClearTasks();
    EXPECT_FALSE(std::filesystem::exists(File("stopped.avi")));
    EXPECT_FALSE(std::filesystem::exists(File("never.avi")));
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(File("stopped.avi")).parent_path()))
        EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos) << entry.path();
}

TEST_F(EncoderTest, ATaskWithoutOutputEndsAtOnce) {
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    ASSERT_EQ(e.AddTask(File("short.avi")), 0);
    EXPECT_FALSE(e.SetOutputFile(0, File("no/such/folder/out.avi")));
    EXPECT_EQ(e.LastErrorMessage(), File("no/such/folder/out.avi") + ": No such file or directory");
    e.Start(1);
    ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(30)));
    const auto t = h.Terminates();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].info.Outcome, toFailed);
    EXPECT_EQ(t[0].info.ErrorMessage, "At least one output file must be specified");
    EXPECT_EQ(t[0].info.Outcome, toFailed);
}

TEST_F(EncoderTest, HooksAndPreviewSeeTheFrames) {
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    e.SetPreviewBitmap(true);
    int previews = 0, hooked = 0, audioCalls = 0;
    std::thread::id previewThread;
    e.OnPreviewBitmap = [&](TCustomEncoder*, const TPreviewInfo& p) {
        ++previews;
        previewThread = std::this_thread::get_id();
        EXPECT_EQ(p.Bitmap->Width, 160);
        // A slow machine may see a later preview too; the first is frame 1.
        if (previews == 1) {
            EXPECT_EQ(p.FrameNumber, 1);
        }
    };
    e.OnVideoOutputHook = [&](TCustomEncoder*, PHookInfo info) {
        ++hooked;
        EXPECT_EQ(info->FrameNumber, hooked);
        std::fill(info->Bitmap->Pixels.begin(), info->Bitmap->Pixels.end(), 255);
        if (info->FrameNumber >= 10) info->StopHook = true;
    };
    e.OnAudioHook = [&](TCustomEncoder*, int task, int64_t, uint8_t* samples, int size, int rate, int channels, int) {
        EXPECT_EQ(task, 0);
        EXPECT_NE(samples, nullptr);
        EXPECT_GT(size, 0);
        EXPECT_EQ(rate, 44100);
        EXPECT_EQ(channels, 2);
        ++audioCalls;
    };
    ASSERT_EQ(e.AddTask(File("short.avi")), 0);
    TOutputOptions o;
    InitOutputOptions(o);
    o.VideoOutputHook = true;
    o.AudioHook = true;
    o.VideoCodec = "mpeg4";
    o.ExtOptions = "qscale=2";
    ASSERT_TRUE(e.SetOutputFile(0, File("hooked.avi"), &o)) << e.LastErrorMessage();
    e.Start(1);
    ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(60)));
    EXPECT_EQ(h.Terminates()[0].info.Outcome, toFinished) << h.Terminates()[0].info.ErrorMessage;
    EXPECT_EQ(hooked, 10);
    EXPECT_GT(audioCalls, 0);
    EXPECT_GE(previews, 1);
    EXPECT_EQ(previewThread, std::this_thread::get_id());

    // The hooked frames were written back white; later ones are the pattern.
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(File("hooked.avi")));
    const auto brightness = [&] {
        TFFBitmap bitmap;
        EXPECT_TRUE(decoder.Decode());
        EXPECT_TRUE(decoder.CopyToBitmap(bitmap));
        double sum = 0;
        for (uint8_t b : bitmap.Pixels) sum += b;
        return sum / static_cast<double>(bitmap.Pixels.size());
    };
    EXPECT_GT(brightness(), 240.0);
    for (int i = 1; i < 15; ++i) decoder.Decode();
    EXPECT_LT(brightness(), 200.0);
}

TEST_F(EncoderTest, StopFromAProgressHandlerDoesNotWaitForItself) {
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    bool stopped = false;
    e.OnProgress = [&](TCustomEncoder* sender, PProgressInfo) {
        if (stopped) return;
        stopped = true;
        sender->Stop(true);  // the worker waits for this handler meanwhile
    };
    ASSERT_EQ(h.JoinTask({File("long.avi")}, File("self_stop.avi"), ""), 0) << e.LastErrorMessage();
    e.Start(1);
    ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(60)));
    EXPECT_TRUE(stopped);
    EXPECT_EQ(h.Terminates()[0].info.Outcome, toCancelled) << h.Terminates()[0].info.ErrorMessage;
}

TEST_F(EncoderTest, AProgressHandlerThatThrowsEndsTheTask) {
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    e.OnProgress = [](TCustomEncoder*, PProgressInfo) { throw FFmpegException("handler refused"); };
    ASSERT_EQ(h.JoinTask({File("long.avi")}, File("refused.avi"), ""), 0) << e.LastErrorMessage();
    e.Start(1);
    ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(60)));
    EXPECT_EQ(h.Terminates()[0].info.Outcome, toFailed);
    EXPECT_EQ(h.Terminates()[0].info.ErrorMessage, "handler refused");
}

TEST_F(EncoderTest, ProgressStaysOnTheWorkerWhenAskedTo) {
    EncoderHarness h;
    TFFEncoder& e = *h.encoder;
    e.TriggerEventInMainThread = false;
    e.SetProgressInterval(100);
    ASSERT_EQ(h.JoinTask({File("short.avi"), File("short.avi")}, File("worker.avi"), ""), 0) << e.LastErrorMessage();
    e.Start(1);
    ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(60)));
    std::lock_guard lock(h.mutex);
    ASSERT_FALSE(h.progressThreads.empty());
    for (const auto& id : h.progressThreads) EXPECT_NE(id, std::this_thread::get_id());
    EXPECT_EQ(h.progress.back().FileIndex, -1);
    // 25 pictures each, and one more where the first input's sound runs on.
    EXPECT_NEAR(h.progress.back().FrameNumber, 50, 1);
}

TEST_F(EncoderTest, TasksClearAsSoonAsTheFinalNotificationCame) {
    // Whoever hears the final notification may clear the tasks at once: on
    // the notification thread itself, or on the user-interface thread it
    // hands the work to.
    for (const bool posted : {false, true}) {
        SCOPED_TRACE(posted ? "posted" : "on the notification thread");
        std::mutex mutex;
        std::string refusal = "not cleared";
        EncoderHarness h;
        TFFEncoder& e = *h.encoder;
        e.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& info) {
            if (info.TaskIndex >= 0) return;
            const auto clear = [&] {
                std::lock_guard lock(mutex);
                try {
                    e.ClearTasks();
                    refusal.clear();
                } catch (const FFmpegException& x) {
                    refusal = x.what();
                }
                h.finalSeen = true;
                h.finalChanged.Notify();
            };
            if (posted)
                h.dispatcher.post(clear);
            else
                clear();
        };
        ASSERT_EQ(h.JoinTask({File("short.avi")}, File("clear1.avi"), ""), 0) << e.LastErrorMessage();
        ASSERT_EQ(h.JoinTask({File("short.avi")}, File("clear2.avi"), ""), 1) << e.LastErrorMessage();
        e.Start(1);
        ASSERT_TRUE(h.WaitFinal(std::chrono::seconds(60)));
        std::lock_guard lock(mutex);
        EXPECT_EQ(refusal, "");
        EXPECT_EQ(e.TaskCount(), 0);
        EXPECT_FALSE(e.Working());
    }
}
