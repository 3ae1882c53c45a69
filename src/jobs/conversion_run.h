#pragma once
// A conversion run from its start to its summary: builds the job, starts the
// encoder, turns its progress and end notifications into the page's texts,
// counts the outcomes and hands over to the completion actions. The Step3 page
// and the command line observe it through the interfaces below; both drive it
// on their user-interface thread.
#include "convert_list.h"
#include "ff_logger.h"
#include "ff_records.h"
#include "job_builder.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TGlobalVars;
class IJobEncoder;
class ILogSink;
class IMainDispatcher;

// The Step3 labels and bar.
class IConversionPage {
public:
    virtual ~IConversionPage() = default;
    virtual void SetCurrentFileTitle(const std::string& title) = 0;  // "Output file:" / "Current file:"
    virtual void SetCurrentFile(const std::string& text) = 0;
    // Bar position (0..100) and the percentage label.
    virtual void SetProgress(int position, const std::string& text) = 0;
    virtual void SetTimes(const std::string& estimated, const std::string& elapsed, const std::string& left) = 0;

    // A task's end as the run counted it, once its row shows it.
    virtual void TaskEnded(int /*taskIndex*/, TTaskOutcome /*outcome*/) {}
    // A file building left out, once its log line is written.
    virtual void InputRefused(const TJobRefusal& /*refusal*/) {}
};

// The Status cell of a task that has ended: "Finish." or "Failed.".
const char* TaskStatusText(TTaskOutcome outcome);

// What happens once a run has ended: the completion actions and the summary.
class IConversionFinish {
public:
    virtual ~IConversionFinish() = default;
    // Starts a sound file and returns at once.
    virtual void PlaySoundFile(const std::string& path) = 0;
    // Shows the shutdown countdown; true when it ran out (OK), false on Cancel.
    virtual bool ShowShutdownCountdown() = 0;
    virtual void ShutdownComputer() = 0;
    // Step4 with TotalFiles, SucceededFiles, the failed count and ErrorList.
    virtual void ShowConversionSummary() = 0;
};

// "#" + thread id + "." + level number + ": " + message.
std::string FormatLogLine(uint32_t threadId, TLogLevel level, const std::string& message);

class TConversionRun {
public:
    using TClock = std::function<std::chrono::system_clock::time_point()>;

    // The encoder's handlers are bound for the life of the run object.
    TConversionRun(TGlobalVars& g, IJobEncoder& encoder, TConvertList& list, IConversionPage& page,
                   IConversionFinish& finish, ILogSink* log, IMainDispatcher* dispatcher);
    ~TConversionRun();
    TConversionRun(const TConversionRun&) = delete;
    TConversionRun& operator=(const TConversionRun&) = delete;

    // Builds the job (join mode when g.MergeMode) and starts it. A build that
    // left no task ends the run at once through ConversionFinished (posted).
    void StartConversion(const std::vector<TJobInput>& inputs);

    void FFEncoderProgress(const TProgressInfo& info);
    // Called on the encoder's notification threads (or any thread).
    void FFEncoderTerminate(const TTerminateInfo& info);
    // The end of the run: completion actions, then the summary.
    void ConversionFinished();
    // The engine logger's handler: appends the formatted line to the log.
    void FFLoggerLog(void* sender, uint32_t threadId, TLogLevel level, const std::string& message);
    // The Preview check box; works at any time.
    void SetPreview(bool preview);

    // Cancel on Step3 and closing the window: stops every task and waits for
    // the workers; the run then ends through its usual notifications.
    void Cancel();

    // From StartConversion until ConversionFinished has returned.
    bool Running() const { return running_; }
    int32_t HandledTasks() const { return handledTasks_.load(); }
    const TJobBuilder& Builder() const { return builder_; }

    // The clock behind RunStartTime and the elapsed time.
    TClock Clock = [] { return std::chrono::system_clock::now(); };

private:
    void HandleTaskEnd(const TTerminateInfo& info);
    // ClearTasks, label reset and ConversionFinished, on the user-interface thread.
    void EndRun();

    TGlobalVars& g_;
    IJobEncoder& encoder_;
    TConvertList& list_;
    IConversionPage& page_;
    IConversionFinish& finish_;
    ILogSink* log_;
    IMainDispatcher* dispatcher_;
    TJobBuilder builder_;

    // Written on the user-interface thread, read by the final notification's thread.
    std::atomic<int32_t> handledTasks_{0};
    std::atomic<int32_t> startedTasks_{0};
    bool running_ = false;
    bool joinMode_ = false;      // the mode the run was built in
    bool stopping_ = false;      // inside Cancel's blocking stop
    bool endDeferred_ = false;   // the run ended while Cancel was still stopping
};
