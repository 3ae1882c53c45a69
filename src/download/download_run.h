#pragma once
// The download run: the links one after another, each through its watch page,
// its video-info text and the stream-listing script, then the download of the
// preferred stream with the quality fallback, saved under the video's title.
// Everything runs on the user-interface thread; each next step is posted.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "delayed_call.h"
#include "download_view.h"
#include "hidden_file.h"
#include "quality.h"
#include "stream_map.h"
#include "win_http.h"
#include "ytdlp_download.h"

class IDesktopServices;
class ILogSink;
struct TProductConfig;
struct TUserSettings;

inline constexpr char StatusWaiting[] = "Waiting...";
inline constexpr char StatusGettingURLs[] = "Getting YouTube URLs, please wait...";
inline constexpr char StatusAnalyzed[] = "Analyzing finished, ready to download...";
inline constexpr char StatusDownloading[] = "Downloading...";
inline constexpr char StatusFinish[] = "Finish.";
inline constexpr char StatusFailed[] = "Failed.";
inline constexpr char LabelAtRest[] = "...";

struct TRefusedLink {
    int Place = 0;
    std::string Text, Reason;
    // A link given again: not run twice, it counts with the outcome of the
    // link at this place (Reason unused).
    int SameAs = 0;
};

class TDownloadRun {
public:
    // The run reads the site host from the configuration, and the output
    // folder and the quality preference from the settings, as it goes.
    TDownloadRun(const TProductConfig& config, const TUserSettings& settings, IDownloadView& view,
                 IDesktopServices& desktop, ILogSink* log, IDispatcher& dispatcher);
    ~TDownloadRun();
    TDownloadRun(const TDownloadRun&) = delete;
    TDownloadRun& operator=(const TDownloadRun&) = delete;

    // The three transfers, set up for the video site.
    TWinHTTP WinHTTPGetInfoFileURL;
    TWinHTTP WinHTTPDownloadInfoFile;
    TWinHTTP WinHTTPDownload;
    // The second engine, for links of other sites and for the site's links
    // the built-in path cannot read. Its Program is the newer of the managed
    // copy and the one on PATH when the run object is made (see UseYtDlp);
    // empty means none is installed.
    TYtDlpDownload YtDlp;
    // The managed copy's folder.
    std::string YtDlpFolder;
    // The yt-dlp the next links go to.
    void UseYtDlp(const TYtDlpCopy& copy);
    // While set (its version is being asked for), a link for yt-dlp waits;
    // clearing it starts the waiting link.
    void SetYtDlpPending(bool pending);
    TYtDlpCopy YtDlpInUse() const { return {YtDlp.Program, YtDlp.Version}; }
    // The last run had links that yt-dlp failed, and the yt-dlp in use is
    // older than YtDlpStaleDays: a newer one may read them.
    bool YtDlpUpdateAdvised() const;

    // Runs the stream-listing script (the lines of InfoScriptLines): the
    // script component's Lines and Execute. Its "Host" object's Echo and
    // Alert go to ScriptEcho, its errors to ScriptError. An exception means
    // the script could not be run at all.
    std::function<void(const std::vector<std::string>& lines)> ExecuteScript;
    // The script reported through Host.Echo; throws TEchoParseError for an
    // item whose itag is not a number (the script then sees a failing call).
    void ScriptEcho(const std::string& text);
    // The script host's error report: "Error: Line number %d, %s".
    void ScriptError(uint32_t line, const std::string& description);

    // Starts a run over the links (the wizard has checked the list and the
    // output folder). Starts a new result. refused: texts given with the
    // links that were not taken (their places among all given, from 1, and
    // why): each counts as a failed file under its own place, the links
    // taking the places left.
    void Start(const std::vector<std::string>& links, const std::vector<TRefusedLink>& refused = {});
    // Cancel on the progress page: aborts the running transfer, which ends
    // the run. When no transfer runs (the pause after the script, a step not
    // yet started), the run ends at once.
    void Cancel();
    bool Active() const { return active_; }

    // Called after Finish: the link list is to be emptied.
    std::function<void()> OnClearLinks;
    // Called after Finish has shown the summary.
    std::function<void()> OnFinished;

    const TStreamMap& StreamMap() const { return streamMap_; }
    // What the current run has come to, or the last one came to.
    const TDownloadResult& Result() const { return result_; }
    int Attempt() const { return attempt_; }
    // The pause between the script and the first download.
    std::chrono::milliseconds AnalyzePause{1500};

private:
    enum TStage {
        stIdle, stWatchPage, stInfoText, stScript, stPause, stDownload, stNextQuality, stYtDlpNext, stYtDlpWait, stYtDlp
    };

    void Post(void (TDownloadRun::*step)());
    void StartLink();          // message 0x404
    void TryNextQuality();     // message 0x405
    void WatchPageDone(TStream* stream);
    void InfoTextDone(TStream* stream);
    void AnalyzeFinished();
    void StartAttempt();
    void DownloadProgress(int64_t dataSize, int64_t bytesRead, int64_t elapsed, int64_t timeLeft, uint8_t percent);
    void DownloadDone();
    void DownloadFailed();
    // The transfer of an attempt failed (lastError_ says why).
    void AttemptFailed();
    // The built-in path cannot read the link: yt-dlp tries it when it is
    // installed, else the link fails with the log line.
    void BuiltInFailed(const std::string& logLine);
    void StartYtDlp();
    void YtDlpInfo(const TYtDlpInfo& info);
    void YtDlpProgress(const TYtDlpProgress& progress);
    void YtDlpDone(const std::string& path, const TYtDlpInfo& info);
    void YtDlpFailed(const std::string& reason);
    void LinkSaved(const std::string& path);
    void LinkFailed(const std::string& logLine = {});
    // Adds a line to result_.Failures, in the order of the places.
    void AddFailure(int place, const std::string& line);
    // The place among all given links of the link being run.
    int CurrentPlace() const;
    void AfterLink();
    void Finish();
    void UpdateStatus(const std::string& status, int64_t size, int64_t timeLeft, int64_t elapsed,
                      const std::string& speed, int percent);
    void ResetProgress();
    void RemovePartFile();
    void Log(const std::string& line);
    void WireEvents();
    // True when a cancel has been asked for: the run then ends here.
    bool FinishIfCancelled();
    std::string Title() const;
    std::string NoStreamLine() const;
    std::string SpeedText(int64_t bytesRead, int64_t elapsed) const;
    std::string OutputFolder() const;
    TQualityOrder Order() const;

    const TProductConfig& config_;
    const TUserSettings& settings_;
    IDownloadView& view_;
    IDesktopServices& desktop_;
    ILogSink* log_;
    IDispatcher& dispatcher_;
    TDelayedCall pause_;
    // Posted steps hold a weak reference: a step that arrives after the run
    // object is gone, or after the run it belongs to has ended, does nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    uint64_t generation_ = 0;

    bool active_ = false;
    TStage stage_ = stIdle;
    std::vector<std::string> links_;     // as given
    std::vector<std::string> captions_;  // the link, then the title
    int current_ = 0;                    // the link being downloaded
    std::vector<int> places_;            // each link's place among all given, from 1
    std::vector<int> failurePlaces_;     // of each line of result_.Failures
    std::vector<TRefusedLink> repeats_;  // links given again, counted with their first
    TDownloadResult result_;
    TStreamMap streamMap_;
    int attempt_ = 0;
    bool writeFailed_ = false;
    bool cancelRequested_ = false;
    bool ytdlpPending_ = false;
    std::string lastError_;  // why the last transfer failed, for the log
    std::string linkError_;  // why the link's last transfer that ran failed
    THiddenFile part_;  // the stream being received
    std::string fileName_;  // title + extension of the current attempt, made safe
    std::string videoId_;   // of the current link, as the watch page gave it
    TYtDlpInfo ytdlpInfo_;  // what yt-dlp chose for the current link
    std::chrono::steady_clock::time_point transferStart_{};
};

// "Convert the downloaded file(s) now! ": hands the saved files over, or says
// that there are none.
void ConvertDownloadedFiles(const std::vector<std::string>& files, IDownloadHandOver* handOver,
                            IDesktopServices& desktop);

inline constexpr char NoFileDownloadedMessage[] = "No file downloaded! Please try again.";
