#pragma once
// A download view that keeps what the run showed, including the rows' last
// texts after the run has cleared the list.
#include <map>
#include <string>
#include <vector>

#include "download_view.h"
#include "log_sink.h"

class RecordingView : public IDownloadView {
public:
    struct Row {
        std::string Caption;
        std::vector<std::string> Sub;
        std::vector<std::string> Statuses;  // every status the row went through
    };
    std::vector<Row> Rows;      // the rows of the current run
    std::vector<Row> LastRows;  // the rows as they were when cleared
    std::map<TDownloadLabel, std::string> Labels;
    std::vector<std::string> QualityTexts;
    int ProgressBar = 0;
    int Summaries = 0;
    int Total = -1, Succeeded = -1, Failed = -1;
    std::vector<std::string> Failures;

    void ClearRows() override {
        if (!Rows.empty()) LastRows = Rows;
        Rows.clear();
    }
    void AddRow(const std::string& caption, const std::vector<std::string>& subItems) override {
        Rows.push_back({caption, subItems, {subItems.empty() ? "" : subItems[0]}});
    }
    void SetRowCaption(int row, const std::string& caption) override { Rows.at(row).Caption = caption; }
    void SetRowText(int row, TDownloadColumn column, const std::string& text) override {
        Rows.at(row).Sub.at(column) = text;
        if (column == dcStatus && Rows[row].Statuses.back() != text) Rows[row].Statuses.push_back(text);
    }
    void SetLabel(TDownloadLabel label, const std::string& text) override {
        Labels[label] = text;
        if (label == dlQuality && (QualityTexts.empty() || QualityTexts.back() != text)) QualityTexts.push_back(text);
    }
    void SetProgressBar(int percent) override { ProgressBar = percent; }
    void ShowSummary(const TDownloadResult& result) override {
        ++Summaries;
        Failures = result.Failures;
        Total = result.TotalFiles;
        Succeeded = result.SucceededFiles;
        Failed = result.FailedFiles();
    }

    std::vector<std::string> FinalStatuses() const {
        std::vector<std::string> s;
        for (const Row& r : LastRows) s.push_back(r.Statuses.back());
        return s;
    }
};

class RecordingLog : public ILogSink {
public:
    std::vector<std::string> Lines;
    void AppendLine(const std::string& line) override { Lines.push_back(line); }
};
