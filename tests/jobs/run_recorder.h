#pragma once
// Records what a conversion run shows: the rows, the labels, the log and the
// end of the run.
#include "conversion_run.h"
#include "log_sink.h"

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TRunRecorder final : IConvertRowView, IConversionPage, IConversionFinish, ILogSink {
    std::vector<TConvertRow> Rows;
    std::string StatusTitle = "Status", ProgressTitle = "Progress";
    std::string FileTitle, CurrentFile = "...", ProgressText = "0%";
    int Position = 0;
    std::string Estimated = "...", Elapsed = "...", Left = "...";
    std::vector<std::string> ProgressTexts;  // every percentage shown
    std::vector<std::string> Sounds;
    bool CountdownRunsOut = false;
    int Countdowns = 0, Shutdowns = 0, Summaries = 0;
    struct TEnd {
        int Task;
        TTaskOutcome Outcome;
        std::string StatusShown;  // the row's Status cell at the time
        std::thread::id Thread;
        bool operator==(const TEnd&) const = default;
    };
    std::vector<TEnd> Ended;
    std::vector<TJobRefusal> Refused;
    std::vector<bool> RefusalLoggedFirst;
    // What happened: "refused" while building; "ended", "sound", "countdown",
    // "shutdown", "summary" at the end. OnEvent sees each as it comes.
    std::vector<std::string> Events;
    std::function<void(const std::string&)> OnEvent;
    // The counters as the summary saw them.
    int Total = -1, Succeeded = -1;
    bool Cancelled = false;
    std::vector<std::string> Sizes;  // every size estimate shown
    std::vector<std::string> Errors;

    void ClearRows() override { Rows.clear(); }
    void AddRow(const TConvertRow& row) override { Rows.push_back(row); }
    void SetCell(int row, TConvertColumn column, const std::string& text) override { Rows.at(row).Cells[column] = text; }
    void SetColumnTitles(const std::string& status, const std::string& progress) override {
        StatusTitle = status;
        ProgressTitle = progress;
    }

    void SetCurrentFileTitle(const std::string& title) override { FileTitle = title; }
    void SetCurrentFile(const std::string& text) override { CurrentFile = text; }
    void SetProgress(int position, const std::string& text) override {
        Position = position;
        ProgressText = text;
        ProgressTexts.push_back(text);
    }
    void SetTimes(const std::string& e, const std::string& el, const std::string& l) override {
        Estimated = e;
        Elapsed = el;
        Left = l;
    }
    void SetOutputSize(const std::string& text) override { Sizes.push_back(text); }
    void TaskEnded(int taskIndex, TTaskOutcome outcome) override {
        // The row already shows the end it reports.
        const std::string status = Rows.size() > static_cast<size_t>(taskIndex) ? Rows[taskIndex][ccStatus] : "";
        Ended.push_back({taskIndex, outcome, status, std::this_thread::get_id()});
    }
    void InputRefused(const TJobRefusal& refusal) override {
        const auto log = LogLines();
        Refused.push_back(refusal);
        RefusalLoggedFirst.push_back(!log.empty() && log.back() == refusal.LogLine());
        Event("refused");
    }

    void RunEnded() override { Event("ended"); }
    void PlaySoundFile(const std::string& path) override {
        Event("sound");
        Sounds.push_back(path);
    }
    bool ShowShutdownCountdown() override {
        Event("countdown");
        ++Countdowns;
        return CountdownRunsOut;
    }
    void ShutdownComputer() override {
        Event("shutdown");
        ++Shutdowns;
    }
    void ShowConversionSummary(const TConversionResult& result) override {
        Event("summary");
        ++Summaries;
        Total = result.TotalFiles;
        Succeeded = result.SucceededFiles;
        Errors = result.ErrorList;
        Cancelled = result.Cancelled;
    }

    void AppendLine(const std::string& line) override {
        std::lock_guard<std::mutex> lock(logMutex);
        Log.push_back(line);
    }
    std::vector<std::string> LogLines() {
        std::lock_guard<std::mutex> lock(logMutex);
        return Log;
    }

private:
    void Event(const std::string& name) {
        Events.push_back(name);
        if (OnEvent) OnEvent(name);
    }
    std::mutex logMutex;  // guards Log
    std::vector<std::string> Log;
};
