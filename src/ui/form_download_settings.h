#pragma once
// The download settings dialog: which yt-dlp downloads links of other sites
// (its version and path, the application's own copy, the one on PATH, the
// JavaScript runtimes it is told about) and "Update yt-dlp" with its progress.
// Closing the dialog during an update cancels it.
#include "ytdlp_update.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;

// What the dialog shows.
struct TYtDlpSettingsInfo {
    TYtDlpCopy InUse, Managed, System;
    std::vector<TJsRuntime> Runtimes;
    std::string ReleaseUrl;  // where updates come from
    std::string Folder;      // the managed copy's folder
};

class TFormDownloadSettings : public QDialog {
    Q_OBJECT
public:
    TFormDownloadSettings(IDispatcher& dispatcher, QWidget* parent = nullptr);
    ~TFormDownloadSettings() override;

    void ShowInfo(const TYtDlpSettingsInfo& info);
    // Starts the update, or cancels the one under way.
    void ButtonUpdateClick();
    // An update ended; the owner switches to the installed copy and calls ShowInfo.
    std::function<void(const TYtDlpUpdateResult& result)> OnUpdated;

    QLabel *LabelInUse, *LabelPath, *LabelManaged, *LabelSystem, *LabelJsRuntime, *LabelUpdateStatus;
    QProgressBar* ProgressBarUpdate;
    QPushButton *ButtonUpdate, *ButtonClose;
    TYtDlpUpdate Update;

protected:
    void reject() override;

private:
    void Progress(int64_t bytes, int64_t total);
    void Ended(const TYtDlpUpdateResult& result);
    void SetRunning(bool running);

    TYtDlpSettingsInfo info_;
};
