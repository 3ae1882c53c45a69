#pragma once
// What the download run shows: the rows of the download list, the labels and
// progress bar of the progress page, and the summary page. The window's pages
// and the command line implement it.
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
    // line for each failed link ("File (N): " and why).
    virtual void ShowSummary(int total, int succeeded, int failed, const std::vector<std::string>& failures) = 0;
};

// Hands the saved files to the conversion path (the input list of Step1).
class IDownloadHandOver {
public:
    virtual ~IDownloadHandOver() = default;
    virtual void ConvertDownloadedFiles(const std::vector<std::string>& files) = 0;
};
