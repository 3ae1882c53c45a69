#pragma once
// The download path in the window: Step5's link list, folder and quality
// group, the clipboard watch, the script host, Step6 as the download run's
// view and Step7's numbers and hand-over. The logic lives in src/download;
// this class binds it to the pages the main window built.
#include "download_run.h"
#include "download_view.h"
#include "link_list.h"
#include "script_host.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class IDesktopServices;
class ILogSink;
class IDispatcher;
class TFormMain;
class TPageFinish;
class TPageStep5;
class TPageStep6;

class TDownloadPages : public QObject, public IDownloadView, public IDownloadHandOver {
    Q_OBJECT
public:
    // Reads the window's configuration and settings; the quality dialog
    // changes the settings' preference order.
    TDownloadPages(TFormMain& form, IDesktopServices& services, ILogSink* log, IDispatcher& dispatcher);
    ~TDownloadPages() override;

    // Start-up step 12 and shutdown: watch the clipboard for text.
    void JoinClipboardChain();
    void LeaveClipboardChain();
    // Start-up step 14: the script host with "Form" and "Host".
    void CreateScriptHost();
    // Entering Step6 (the wizard has checked the list and the folder).
    void StartDownloadRun();
    // Exit on Step6 confirmed, and the window closing.
    void AbortTransfers();
    // A new run starts: the last run's files are no longer handed over.
    void ClearDownloadedFiles();

    // Step5.
    void ActionURLPasteExecute();
    void LinkTyped(const QString& text);
    void ActionURLRemoveExecute();
    void ActionURLEmptyExecute();
    void ListViewInputURLDblClick();
    void ActionListURLUpdate();
    void CheckBoxYouTubeQualityClick();
    void ButtonYouTubeQualityConfigClick();
    // The download settings dialog; with startUpdate it starts "Update yt-dlp" at once.
    void ButtonDownloadSettingsClick() { OpenDownloadSettings(false); }
    void OpenDownloadSettings(bool startUpdate);
    void RefreshPreferenceText();
    bool ClipboardHasText() const { return clipboardHasText_; }
    // Step7.
    void ButtonConvertDownloadedClick();

    TLinkList& Links() { return links_; }
    TDownloadRun& Run() { return run_; }
    // Takes the downloaded files instead of Step1's AddFiles when set.
    std::function<void(const std::vector<std::string>& files)> AddInputFiles;

    // IDownloadView.
    void ClearRows() override;
    void AddRow(const std::string& caption, const std::vector<std::string>& subItems) override;
    void SetRowCaption(int row, const std::string& caption) override;
    void SetRowText(int row, TDownloadColumn column, const std::string& text) override;
    void SetLabel(TDownloadLabel label, const std::string& text) override;
    void SetProgressBar(int percent) override;
    void ShowSummary(const TDownloadResult& result) override;
    // IDownloadHandOver.
    void ConvertDownloadedFiles(const std::vector<std::string>& files) override;

private:
    // Start-up: asks the yt-dlp on PATH for its version, then chooses.
    void LogDownloadEngines();
    // The newer of the managed and the system copy goes to the run, and the log says which.
    void ChooseYtDlp();
    // After a run whose yt-dlp links failed with an old yt-dlp: offers the update.
    void OfferYtDlpUpdate();
    void SyncLinksFromList();
    void ShowLinks();
    TQualityOrder Order() const;

    TFormMain& form_;
    TUserSettings& settings_;
    IDesktopServices& services_;
    ILogSink* log_;
    TPageStep5* step5_;
    TPageStep6* step6_;
    TPageFinish* step7_;
    TLinkList links_;
    TDownloadRun run_;
    // The last run's result, for Step7's hand-over.
    TDownloadResult lastResult_;
    IDispatcher& dispatcher_;
    // Asks the yt-dlp on PATH for its version once.
    TYtDlpVersionCheck versionProbe_;
    TYtDlpCopy systemYtDlp_;
    std::unique_ptr<TPropertyComponent> formComponent_;
    std::unique_ptr<TJavaScript> script_;
    QMetaObject::Connection clipboardWatch_;
    bool clipboardHasText_ = false;
};
