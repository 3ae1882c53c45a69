#include "conversion_run.h"

#include "jobs_fixture.h"
#include "media_fixtures.h"
#include "run_times.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

constexpr int64_t Second = 1000000;

TProgressInfo Progress(int64_t current, int64_t total, int64_t bytes = 0) {
    TProgressInfo p;
    p.CurrentDuration = current;
    p.TotalDuration = total;
    p.CurrentSize = bytes;
    return p;
}

TFakeTask Outcome(std::vector<TProgressInfo> progress, bool failed = false, std::string message = {}) {
    TFakeTask t;
    t.Progress = std::move(progress);
    t.Outcome = failed ? toFailed : toFinished;
    t.ErrorMessage = std::move(message);
    return t;
}

class ConversionRunTest : public JobsFixture {
protected:
    void SetUp() override {
        JobsFixture::SetUp();
        settings.OutputFormatClass = fcAudio;
        settings.OutputAudioFormat = afMP3;
        // The first reading of the clock is the run's start; every later one
        // is 20 seconds after it.
        run.Clock = [this] { return clockCalls++ == 0 ? start : start + 20s; };
        // One file at a time unless a test says otherwise.
        run.Jobs = 1;
    }
    void TearDown() override { encoder.JoinThreads(); }

    void RunToEnd(const std::vector<TJobInput>& inputs) {
        clockCalls = 0;
        run.StartConversion(inputs);
        ASSERT_TRUE(dispatcher.runUntil([&] { return !run.Running(); }, 30s));
        encoder.JoinThreads();
    }

    // Silent WAV files of the given lengths in seconds, as probed input rows.
    std::vector<TJobInput> SilentInputs(std::initializer_list<double> seconds) {
        std::vector<TJobInput> inputs;
        for (double s : seconds) {
            const std::string path = in.file("clip" + std::to_string(inputs.size()) + ".wav");
            EXPECT_TRUE(MakeSilence(path, s));
            inputs.push_back({path, static_cast<int64_t>(s * Second)});
        }
        return inputs;
    }

    TConversionRun run{config, settings, encoder, list, rec, rec, &rec, &dispatcher};
    const std::chrono::system_clock::time_point start = std::chrono::system_clock::now();
    std::atomic<int> clockCalls{0};
};

}  // namespace

TEST(RunTimes, EstimateElapsedAndTimeLeft) {
    // Files of 60 and 120 seconds, the first done, 30 seconds of the second
    // done after 20 seconds.
    TRunTimes t = ComputeRunTimes(180 * Second, 60 * Second, 30 * Second, 20.0);
    EXPECT_EQ(t.Estimated, "0:00:40");
    EXPECT_EQ(t.Elapsed, "0:00:20");
    EXPECT_EQ(t.Left, "0:00:20");
    // Nothing done yet, or no length known: no estimate.
    t = ComputeRunTimes(180 * Second, 0, 0, 3.0);
    EXPECT_EQ(t.Estimated, "...");
    EXPECT_EQ(t.Left, "...");
    EXPECT_EQ(t.Elapsed, "0:00:03");
    t = ComputeRunTimes(0, 0, 5 * Second, 3.0);
    EXPECT_EQ(t.Estimated, "...");
    // More done than expected: the time left does not go negative.
    t = ComputeRunTimes(10 * Second, 0, 20 * Second, 30.0);
    EXPECT_EQ(t.Estimated, "0:00:15");
    EXPECT_EQ(t.Left, "0:00:00");
    // Ten hours of input, one done after 1 h 1 min 1 s: hours do not wrap.
    t = ComputeRunTimes(36000 * Second, 3600 * Second, 0, 3661.0);
    EXPECT_EQ(t.Estimated, "10:10:10");
    EXPECT_EQ(FormatRunTime(25 * 3600 + 59), "25:00:59");
    EXPECT_EQ(FormatRunTime(59.9999999), "0:01:00");
    EXPECT_EQ(FormatRunTime(-5), "0:00:00");

    // A join copying 60 s, re-encoding 10 s, copying 60 s: half the output
    // written is a small share of the work; the re-encoded clip is most of it.
    const std::vector<TWorkSpan> work = {{60 * Second, CopiedWeight}, {10 * Second, PictureWeight},
                                         {60 * Second, CopiedWeight}};
    EXPECT_EQ(WorkTotal(work), 520 * Second);
    EXPECT_EQ(ProgressPercent(WorkDone(work, 60 * Second), WorkTotal(work)), 11);
    EXPECT_EQ(ProgressPercent(WorkDone(work, 70 * Second), WorkTotal(work)), 88);
    EXPECT_EQ(WorkDone(work, 200 * Second), WorkTotal(work));
    // 6 s after the copied minute (11 %) the estimate is about 52 s, not 15 s.
    t = ComputeRunTimes(WorkTotal(work), 0, WorkDone(work, 60 * Second), 6.0);
    EXPECT_EQ(t.Estimated, "0:00:52");
}

TEST(RunTimes, PercentIn64BitsAndTheBarClamped) {
    EXPECT_EQ(ProgressPercent(105, 100), 105);
    EXPECT_EQ(ProgressBarPosition(105), 100);
    EXPECT_EQ(ProgressBarPosition(-3), 0);
    // Three hours in microseconds times 100 overflows 32 bits many times over.
    EXPECT_EQ(ProgressPercent(3 * 3600 * Second, 4 * 3600 * Second), 75);
    EXPECT_EQ(ProgressPercent(5, 0), 0);
    EXPECT_EQ(FormatLogLine(4000000000u, llError, "no frame!"), "#4000000000.3: no frame!");
    EXPECT_EQ(FormatLogLine(7, llQuiet, "x"), "#7.0: x");
    // The engine's own line ends do not become empty lines in the log.
    EXPECT_EQ(FormatLogLine(7, llError, "frame=  10 fps=0.0\r\n"), "#7.3: frame=  10 fps=0.0");
    EXPECT_EQ(FormatLogLine(7, llError, "Error while decoding\n"), "#7.3: Error while decoding");
    EXPECT_EQ(FormatLogLine(7, llError, "\r\n"), "#7.3: ");
}

TEST(RunTimes, OutputSizeEstimate) {
    EXPECT_EQ(FormatSizeEstimate(512), "0.5 KB");
    EXPECT_EQ(FormatSizeEstimate(12.3 * 1024 * 1024), "12.3 MB");
    EXPECT_EQ(FormatSizeEstimate(1023.97 * 1024), "1.0 MB");
    EXPECT_EQ(FormatSizeEstimate(1.5 * 1024 * 1024 * 1024), "1.5 GB");
    // Bytes written divided by the share done: 1 MB at a quarter is 4 MB.
    EXPECT_EQ(EstimateOutputSize(1024 * 1024, 25 * Second, 100 * Second), "4.0 MB");
    // Under 5 % done, or no length known, no estimate yet.
    EXPECT_EQ(EstimateOutputSize(1024 * 1024, 4 * Second, 100 * Second), "...");
    EXPECT_EQ(EstimateOutputSize(1024 * 1024, 5 * Second, 100 * Second), "20.0 MB");
    EXPECT_EQ(EstimateOutputSize(1024 * 1024, 5 * Second, 0), "...");
    EXPECT_EQ(EstimateOutputSize(0, 50 * Second, 100 * Second), "...");
    // Past the expected length the bytes themselves are the estimate.
    EXPECT_EQ(EstimateOutputSize(2048, 150 * Second, 100 * Second), "2.0 KB");
}

TEST(ConversionRunParallel, HowManyFilesAtOnce) {
    EXPECT_EQ(ParallelTasks(0, false, 4), 4);
    EXPECT_EQ(ParallelTasks(0, true, 4), 1);
    EXPECT_EQ(ParallelTasks(3, true, 4), 3);  // the user's choice wins
    EXPECT_EQ(ParallelTasks(0, false, 0), 1);
}

TEST_F(ConversionRunTest, PerFileRunWithAFailingSecondTask) {
    ASSERT_TRUE(LoadEngineLibraries());
    const auto inputs = SilentInputs({1, 2, 3});
    encoder.Script = {Outcome({Progress(Second / 2, Second)}),
                      Outcome({Progress(Second, 2 * Second)}, true, "av_interleaved_write_frame(): File too large"),
                      Outcome({Progress(3 * Second, 3 * Second)})};
    settings.PlayASoundWhenFinished = true;
    RunToEnd(inputs);

    ASSERT_EQ(rec.Rows.size(), 3u);
    EXPECT_EQ(rec.Rows[0][ccStatus], "Finish.");
    EXPECT_EQ(rec.Rows[1][ccStatus], "Failed.");
    EXPECT_EQ(rec.Rows[2][ccStatus], "Finish.");
    EXPECT_EQ(rec.Rows[0][ccProgress], "100%");
    EXPECT_EQ(rec.Rows[1][ccProgress], "50%");
    EXPECT_EQ(rec.Summaries, 1);
    EXPECT_EQ(rec.Total, 3);
    EXPECT_EQ(rec.Succeeded, 2);
    ASSERT_EQ(rec.Errors.size(), 1u);
    // Numbered as the input list counts, from 1, with the file's name.
    EXPECT_EQ(rec.Errors[0], "File (2) clip1.wav: av_interleaved_write_frame(): File too large");
    EXPECT_FALSE(rec.Cancelled);
    EXPECT_EQ(rec.StatusTitle, "Status");
    EXPECT_EQ(rec.FileTitle, "Current file:");
    // The final notification resets the labels and clears the tasks.
    EXPECT_EQ(rec.CurrentFile, "...");
    EXPECT_EQ(rec.ProgressText, "0%");
    EXPECT_EQ(encoder.ClearCalls, 1);
    EXPECT_EQ(run.HandledTasks(), 3);
    EXPECT_EQ(run.Result().DoneDuration, 4 * Second);
    ASSERT_EQ(rec.Sounds.size(), 1u);
    EXPECT_TRUE(rec.Sounds[0].ends_with("sounds/fail.wav"));
    EXPECT_EQ(encoder.OutputsGiven,
              (std::vector<std::string>{out.file("clip0.mp3"), out.file("clip1.mp3"), out.file("clip2.mp3")}));
    // Each end reaches the observers typed, on this thread, in task order,
    // once its row shows it.
    ASSERT_EQ(rec.Ended.size(), 3u);
    const TTaskOutcome outcomes[] = {toFinished, toFailed, toFinished};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rec.Ended[i].Task, i);
        EXPECT_EQ(rec.Ended[i].Outcome, outcomes[i]);
        EXPECT_EQ(rec.Ended[i].StatusShown, TaskStatusText(outcomes[i]));
        EXPECT_EQ(rec.Ended[i].Thread, std::this_thread::get_id());
    }
}

TEST_F(ConversionRunTest, ProgressTextsOfAPerFileRun) {
    ASSERT_TRUE(LoadEngineLibraries());
    const auto inputs = SilentInputs({60, 120});
    std::string shownWhileRunning[5];
    constexpr int64_t MB = 1024 * 1024;
    encoder.Script = {Outcome({Progress(60 * Second, 60 * Second, MB)}),
                      Outcome({Progress(30 * Second, 120 * Second, MB / 2), Progress(0, 0),
                               Progress(126 * Second, 120 * Second, 2 * MB)})};
    // Look at the page right after the second task's first report, once the
    // first task's end has been counted.
    encoder.WaitForEachEnd = true;
    int reports = 0;
    encoder.SetHandlers(
        [&](const TProgressInfo& p) {
            run.FFEncoderProgress(p);
            if (++reports == 2) {
                shownWhileRunning[0] = rec.Estimated;
                shownWhileRunning[1] = rec.Elapsed;
                shownWhileRunning[2] = rec.Left;
                shownWhileRunning[3] = rec.CurrentFile;
                shownWhileRunning[4] = rec.Sizes.back();
            }
            if (reports == 3) {
                EXPECT_EQ(rec.Rows.at(1)[ccProgress], "N/A");
            }
        },
        [&](const TTerminateInfo& t) { run.FFEncoderTerminate(t); });
    RunToEnd(inputs);
    EXPECT_EQ(shownWhileRunning[0], "0:00:40");
    EXPECT_EQ(shownWhileRunning[1], "0:00:20");
    EXPECT_EQ(shownWhileRunning[2], "0:00:20");
    EXPECT_EQ(shownWhileRunning[3], inputs[1].FullName);
    // 1 MB written by the first file and 0.5 MB by the second, half of the
    // three minutes done: about 3 MB in all.
    EXPECT_EQ(shownWhileRunning[4], "3.0 MB");
    EXPECT_EQ(rec.Sizes.front(), "...");
    // Task 0's report and end, task 1 at 25 %, "N/A" (bar untouched), 105 %
    // shown as the bar's maximum, task 1's end, the final reset.
    EXPECT_EQ(rec.ProgressTexts, (std::vector<std::string>{"100%", "100%", "25%", "100%", "100%", "0%"}));
    EXPECT_EQ(rec.Rows[1][ccStatus], "Finish.");
    EXPECT_EQ(run.Result().JobDuration, 180 * Second);
}

// Several files at once: the bar is the whole job's, each row its own file's,
// and the counts, statuses and error line are those of one at a time.
TEST_F(ConversionRunTest, SeveralFilesAtOnce) {
    ASSERT_TRUE(LoadEngineLibraries());
    const auto inputs = SilentInputs({10, 10, 20});
    encoder.Script = {Outcome({Progress(5 * Second, 10 * Second)}),
                      Outcome({Progress(5 * Second, 10 * Second)}, true, "has no sound"),
                      Outcome({Progress(10 * Second, 20 * Second)})};
    run.Jobs = 2;
    // Two run at once; the third starts once the first has ended and its end
    // was counted, so the bar's figures are fixed.
    encoder.WaitForEachEnd = true;
    std::vector<std::string> cells;
    encoder.SetHandlers(
        [&](const TProgressInfo& p) {
            run.FFEncoderProgress(p);
            cells.push_back(rec.Rows.at(p.TaskIndex)[ccProgress]);
        },
        [&](const TTerminateInfo& t) { run.FFEncoderTerminate(t); });
    RunToEnd(inputs);
    EXPECT_EQ(encoder.MostAtOnce, 2);
    EXPECT_EQ(cells, (std::vector<std::string>{"50%", "50%", "50%"}));
    // The bar: 5 of 40 s, then 5 s of each of the first two files, then the
    // first one's whole 10 s with 5 s of the second and 10 s of the third.
    EXPECT_EQ(rec.ProgressTexts, (std::vector<std::string>{"12%", "25%", "62%", "0%"}));
    EXPECT_EQ(rec.Rows[0][ccStatus], "Finish.");
    EXPECT_EQ(rec.Rows[1][ccStatus], "Failed.");
    EXPECT_EQ(rec.Rows[2][ccStatus], "Finish.");
    EXPECT_EQ(rec.Total, 3);
    EXPECT_EQ(rec.Succeeded, 2);
    EXPECT_EQ(rec.Errors, (std::vector<std::string>{"File (2) clip1.wav: has no sound"}));
    EXPECT_FALSE(rec.Cancelled);
}

TEST_F(ConversionRunTest, SecondRunStartsItsEstimateFromZero) {
    ASSERT_TRUE(LoadEngineLibraries());
    const auto inputs = SilentInputs({60});
    encoder.Script = {Outcome({Progress(60 * Second, 60 * Second)})};
    RunToEnd(inputs);
    EXPECT_EQ(run.Result().DoneDuration, 60 * Second);
    EXPECT_EQ(rec.Succeeded, 1);

    encoder.Script = {Outcome({Progress(30 * Second, 60 * Second)})};
    RunToEnd(inputs);
    // 60 s x 20 s / 30 s: the first run's finished file does not count.
    EXPECT_EQ(rec.Estimated, "0:00:40");
    EXPECT_EQ(rec.Summaries, 2);
    EXPECT_EQ(run.Result().DoneDuration, 60 * Second);
}

TEST_F(ConversionRunTest, JoinRunOfLongFiles) {
    settings.JoinFiles = true;
    settings.OutputFormatClass = fcVideo;
    settings.OutputVideoFormat = vfMP4;
    // Two files of 40 minutes: more microseconds than 32 bits hold.
    const int64_t forty = 2400 * Second;
    std::vector<TJobInput> inputs = {{"/media/a.mp4", forty, 640, 480, 4.0f / 3.0f},
                                     {"/media/b.mp4", forty, 1920, 1080, 16.0f / 9.0f}};
    encoder.Script = {Outcome({Progress(forty, 2 * forty)})};
    RunToEnd(inputs);
    EXPECT_EQ(run.Result().JobDuration, 2 * forty);
    EXPECT_EQ(run.Result().DoneDuration, 2 * forty);
    ASSERT_EQ(rec.Rows.size(), 2u);
    EXPECT_EQ(rec.Rows[0][ccDuration], "00:40:00.000");
    EXPECT_EQ(rec.Rows[1][ccStatus], "1920x1080");
    EXPECT_EQ(rec.Rows[0][ccProgress], "4:3");
    EXPECT_EQ(rec.StatusTitle, "Width x Height");
    EXPECT_EQ(rec.ProgressTitle, "Aspect Ratio");
    EXPECT_EQ(rec.FileTitle, "Output file:");
    EXPECT_EQ(rec.ProgressTexts.front(), "50%");
    // The join keeps the building's cells during and after the run.
    EXPECT_EQ(rec.Rows[1][ccProgress], "16:9");
    EXPECT_EQ(rec.Total, 1);
    EXPECT_EQ(rec.Succeeded, 1);
    EXPECT_TRUE(rec.Errors.empty());
    EXPECT_TRUE(rec.Sounds.empty());
}

TEST_F(ConversionRunTest, RunWithoutAnyTaskEndsInOrder) {
    settings.JoinFiles = true;
    RunToEnd({{"/media/refused-1.mp4", Second}, {"/media/refused-2.mp4", Second}});
    EXPECT_EQ(encoder.StartCalls, 0);
    EXPECT_EQ(rec.Summaries, 1);
    // Each refused file is a failed one, named on a line of its own.
    EXPECT_EQ(rec.Total, 2);
    EXPECT_EQ(rec.Succeeded, 0);
    EXPECT_EQ(rec.Errors, (std::vector<std::string>{"File (1) refused-1.mp4: refused input /media/refused-1.mp4",
                                                    "File (2) refused-2.mp4: refused input /media/refused-2.mp4"}));
    EXPECT_TRUE(rec.Rows.empty());

    // Per-file mode with files the probe cannot read.
    settings.JoinFiles = false;
    const std::string text = in.write("notes.txt", "not a media file");
    ASSERT_TRUE(LoadEngineLibraries());
    RunToEnd({{text, 0}});
    EXPECT_EQ(rec.Summaries, 2);
    EXPECT_EQ(rec.Total, 1);
    EXPECT_EQ(rec.Succeeded, 0);
    ASSERT_EQ(rec.Errors.size(), 1u);
    EXPECT_TRUE(rec.Errors[0].starts_with("File (1) notes.txt: ")) << rec.Errors[0];
    const auto log = rec.LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(log.back().starts_with("File load error: ")) << log.back();
    // The refusals reach the page typed, each after its log line.
    ASSERT_EQ(rec.Refused.size(), 3u);
    EXPECT_EQ(rec.Refused[0].Kind, rkAddInput);
    EXPECT_EQ(rec.Refused[1].Input, 1);
    EXPECT_EQ(rec.Refused[1].FileName, "/media/refused-2.mp4");
    EXPECT_EQ(rec.Refused[2].Kind, rkUnreadable);
    EXPECT_EQ(rec.Refused[2].Outcome, toRefused);
    EXPECT_EQ(rec.Refused[2].Input, 0);
    EXPECT_EQ(rec.Refused[2].FileName, text);
    EXPECT_EQ(rec.RefusalLoggedFirst, (std::vector<bool>{true, true, true}));
    EXPECT_TRUE(rec.Ended.empty());
}

TEST_F(ConversionRunTest, CancelEndsTheRunThroughItsNotifications) {
    ASSERT_TRUE(LoadEngineLibraries());
    const auto inputs = SilentInputs({1, 1});
    encoder.HoldUntilStop = true;
    run.StartConversion(inputs);
    dispatcher.post([&] { run.Cancel(); });
    ASSERT_TRUE(dispatcher.runUntil([&] { return !run.Running(); }, 30s));
    encoder.JoinThreads();
    EXPECT_EQ(encoder.StopCalls, 1);
    EXPECT_EQ(rec.Summaries, 1);
    EXPECT_EQ(rec.Total, 2);
    EXPECT_EQ(rec.Succeeded, 0);
    // Stopped tasks count as failed but write no error line; the summary
    // says the run was cancelled.
    EXPECT_TRUE(rec.Errors.empty());
    EXPECT_TRUE(rec.Cancelled);
    EXPECT_EQ(rec.Rows[0][ccStatus], "Failed.");
    EXPECT_EQ(rec.Rows[1][ccStatus], "Failed.");
    EXPECT_EQ(encoder.ClearCalls, 1);
    ASSERT_EQ(rec.Ended.size(), 2u);
    EXPECT_EQ(rec.Ended[0].Outcome, toCancelled);
    EXPECT_EQ(rec.Ended[1].Outcome, toCancelled);
}

TEST_F(ConversionRunTest, CompletionActionsAndPreview) {
    settings.JoinFiles = true;
    settings.PlayASoundWhenFinished = true;
    settings.ShutDownWhenFinished = true;
    rec.CountdownRunsOut = false;  // the user cancels the countdown
    RunToEnd({{"/media/a.mp4", Second}});
    ASSERT_EQ(rec.Sounds.size(), 1u);
    EXPECT_TRUE(rec.Sounds[0].ends_with("sounds/done.wav"));
    EXPECT_EQ(rec.Countdowns, 1);
    EXPECT_EQ(rec.Shutdowns, 0);
    rec.CountdownRunsOut = true;
    RunToEnd({{"/media/a.mp4", Second}});
    EXPECT_EQ(rec.Shutdowns, 1);
    EXPECT_EQ(rec.Summaries, 2);
    run.SetPreview(true);
    EXPECT_TRUE(encoder.Preview);
    // The tasks go first, the summary comes last.
    EXPECT_EQ(rec.Events, (std::vector<std::string>{"ended", "sound", "countdown", "summary", "ended", "sound",
                                                     "countdown", "shutdown", "summary"}));
}

TEST_F(ConversionRunTest, StatesFromStartToSummary) {
    settings.JoinFiles = true;
    settings.PlayASoundWhenFinished = true;
    std::vector<std::pair<std::string, TRunState>> seen;
    rec.OnEvent = [&](const std::string& event) { seen.push_back({event, run.State()}); };
    EXPECT_EQ(run.State(), TRunState::Idle);
    EXPECT_FALSE(run.Running());
    clockCalls = 0;
    run.StartConversion({{"/media/refused.mp4", Second}, {"/media/a.mp4", Second}});
    EXPECT_EQ(run.State(), TRunState::Running);
    EXPECT_TRUE(run.Running());
    // A second start while one runs does nothing.
    run.StartConversion({{"/media/b.mp4", Second}});
    ASSERT_TRUE(dispatcher.runUntil([&] { return !run.Running(); }, 30s));
    encoder.JoinThreads();
    EXPECT_EQ(encoder.StartCalls, 1);
    EXPECT_EQ(run.State(), TRunState::Idle);
    // The refused input is reported while the job is being built.
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, TRunState>>{{"refused", TRunState::Building},
                                                                    {"ended", TRunState::Finished},
                                                                    {"sound", TRunState::Finished},
                                                                    {"summary", TRunState::Finished}}));
    // Cancel outside a run does nothing.
    run.Cancel();
    EXPECT_EQ(encoder.StopCalls, 0);
}

// Cancel waits in the engine's stop while the tasks end. The final
// notification may be handled inside that wait: the run ends once the stop
// has returned, never under it.
TEST_F(ConversionRunTest, CancelWhoseStopSeesTheFinalNotification) {
    ASSERT_TRUE(LoadEngineLibraries());
    const auto inputs = SilentInputs({1, 1});
    encoder.HoldUntilStop = true;
    encoder.StopWaitsForFinal = true;
    struct {
        int Summaries = -1, Clears = -1;
        TRunState State = TRunState::Idle;
    } atStopReturn;
    encoder.OnStopReturning = [&] { atStopReturn = {rec.Summaries, encoder.ClearCalls.load(), run.State()}; };
    run.StartConversion(inputs);
    dispatcher.post([&] { run.Cancel(); });
    ASSERT_TRUE(dispatcher.runUntil([&] { return !run.Running(); }, 30s));
    encoder.JoinThreads();
    EXPECT_EQ(atStopReturn.State, TRunState::Finished);
    EXPECT_EQ(atStopReturn.Summaries, 0);
    EXPECT_EQ(atStopReturn.Clears, 0);
    EXPECT_EQ(rec.Summaries, 1);
    EXPECT_EQ(encoder.ClearCalls, 1);
    EXPECT_EQ(rec.Total, 2);
    EXPECT_EQ(rec.Succeeded, 0);
    EXPECT_EQ(rec.Rows[1][ccStatus], "Failed.");
}

// The engine's stop returns once the tasks have ended; the final
// notification may come after it, and ends the run then.
TEST_F(ConversionRunTest, CancelWhoseStopReturnsBeforeTheFinalNotification) {
    ASSERT_TRUE(LoadEngineLibraries());
    const auto inputs = SilentInputs({1, 1});
    encoder.HoldUntilStop = true;
    encoder.HoldFinal = true;
    bool cancelled = false;
    run.StartConversion(inputs);
    dispatcher.post([&] {
        run.Cancel();
        cancelled = true;
    });
    ASSERT_TRUE(dispatcher.runUntil([&] { return cancelled; }, 30s));
    EXPECT_EQ(run.State(), TRunState::Running);
    EXPECT_EQ(rec.Ended.size(), 2u);  // both tasks' ends are handled
    EXPECT_EQ(rec.Summaries, 0);
    EXPECT_EQ(encoder.ClearCalls, 0);
    run.Cancel();  // a second Cancel only stops again
    EXPECT_EQ(encoder.StopCalls, 2);
    encoder.ReleaseFinal.Open();
    ASSERT_TRUE(dispatcher.runUntil([&] { return !run.Running(); }, 30s));
    encoder.JoinThreads();
    EXPECT_EQ(rec.Summaries, 1);
    EXPECT_EQ(encoder.ClearCalls, 1);
    EXPECT_EQ(rec.Events.back(), "summary");
}

// An encoder that sends the final notification while a task's own is still
// on its way: the run still counts the task before it ends.
TEST_F(ConversionRunTest, FinalNotificationWaitsForATaskEndStillOnItsWay) {
    settings.JoinFiles = true;
    encoder.HoldTaskEnds = true;
    run.StartConversion({{"/media/a.mp4", Second}});
    // Long enough for the final notification to arrive and, were it not held,
    // to end the run.
    EXPECT_FALSE(dispatcher.runUntil([&] { return rec.Summaries > 0; }, 300ms));
    EXPECT_EQ(run.State(), TRunState::Running);
    encoder.ReleaseTaskEnds.Open();
    ASSERT_TRUE(dispatcher.runUntil([&] { return !run.Running(); }, 30s));
    encoder.JoinThreads();
    EXPECT_EQ(rec.Summaries, 1);
    EXPECT_EQ(rec.Succeeded, 1);
    EXPECT_EQ(run.HandledTasks(), 1);
    ASSERT_EQ(rec.Ended.size(), 1u);
    EXPECT_EQ(rec.Ended[0].Outcome, toFinished);
}
