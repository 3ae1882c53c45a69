#pragma once
// What the download run shows: the rows of the download list, the labels and
// progress bar of the progress page, and the summary page. The window's pages
// and the command line implement it.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The sub-items of a download-list row, in column order after "Name".
enum TDownloadColumn { dcStatus, dcSize, dcSpeed, dcProgress, dcURL };

// The labels of the progress page.
enum TDownloadLabel {
    dlCurrentFile,   // LabelURLCurrentFile
    dlStatus,        // LabelURLStatus
    dlSpeed,         // LabelSpeed
    dlElapsedTime,   // LabelURLElapsedTime
    dlTimeLeft,      // LabelURLTimeLeft
    dlQuality,       // LabelQuality
    dlProgressText,  // LabelProgressBarDownload
};

// What a download run came to: what Step7 and the command line show, the
// files "Convert the downloaded file(s) now! " hands over, and what the
// command line's exit status says.
struct TDownloadResult {
    int32_t TotalFiles = 0;  // the links of the run
    int32_t SucceededFiles = 0;
    // One line per failed link: "File (N): " and why.
    std::vector<std::string> Failures;
    // The full path of every file saved, in the order of the links.
    std::vector<std::string> DownloadedFiles;
    bool Cancelled = false;  // the user cancelled the run
    int32_t YtDlpFailures = 0;  // links that yt-dlp failed to download
    std::chrono::system_clock::time_point StartTime{}, EndTime{};

    int32_t FailedFiles() const { return TotalFiles - SucceededFiles; }
};

class IDownloadView {
public:
    virtual ~IDownloadView() = default;
    virtual void ClearRows() = 0;
    // Appends a row: the caption and the five sub-items in column order.
    virtual void AddRow(const std::string& caption, const std::vector<std::string>& subItems) = 0;
    virtual void SetRowCaption(int row, const std::string& caption) = 0;
    virtual void SetRowText(int row, TDownloadColumn column, const std::string& text) = 0;
    virtual void SetLabel(TDownloadLabel label, const std::string& text) = 0;
    virtual void SetProgressBar(int percent) = 0;
    // The run has ended: show the summary page with its three numbers and a
    // line for each failed link.
    virtual void ShowSummary(const TDownloadResult& result) = 0;
};

// Hands the saved files to the conversion path (the input list of Step1).
class IDownloadHandOver {
public:
    virtual ~IDownloadHandOver() = default;
    virtual void ConvertDownloadedFiles(const std::vector<std::string>& files) = 0;
};
