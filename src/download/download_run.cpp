#include "download_run.h"

#include "app_title.h"
#include "desktop_services.h"
#include "log_sink.h"
#include "product_config.h"
#include "saved_file.h"
#include "server_text.h"
#include "user_settings.h"
#include "util_funcs.h"
#include "video_site.h"
#include "watch_page.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace {
std::string Format2(double value, const char* unit) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f%s", value, unit);
    return buf;
}

int32_t ClampSeconds(int64_t seconds) {
    return static_cast<int32_t>(std::clamp<int64_t>(seconds, 0, INT32_MAX));
}

void ConfigureForSite(TWinHTTP& http) {
    http.AcceptTypes = VideoSiteAcceptTypes;
    http.Agent = VideoSiteAgent;
    http.InternetOptions = {ioIgnoreCertificateInvalid, ioKeepConnection};
    http.ShowGoOnlineMessage = true;
}
}  // namespace

TDownloadRun::TDownloadRun(const TProductConfig& config, const TUserSettings& settings, IDownloadView& view,
                           IDesktopServices& desktop, ILogSink* log, IDispatcher& dispatcher)
    : WinHTTPGetInfoFileURL(dispatcher),
      WinHTTPDownloadInfoFile(dispatcher),
      WinHTTPDownload(dispatcher),
      YtDlp(dispatcher),
      config_(config),
      settings_(settings),
      view_(view),
      desktop_(desktop),
      log_(log),
      dispatcher_(dispatcher),
      pause_(dispatcher) {
    ConfigureForSite(WinHTTPGetInfoFileURL);
    ConfigureForSite(WinHTTPDownloadInfoFile);
    ConfigureForSite(WinHTTPDownload);
    // Bigger reads mean fewer progress steps through the user-interface thread.
    WinHTTPDownload.TransferBufferSize = 64 * 1024;
    // Pages and info texts are small; a server sending without end must not
    // fill the memory.
    WinHTTPGetInfoFileURL.MaxBodySize = MaxVideoSitePageBytes;
    WinHTTPDownloadInfoFile.MaxBodySize = MaxVideoSitePageBytes;
    YtDlpFolder = ManagedYtDlpFolder();
    // The system copy's version is not known yet: the managed copy goes first.
    UseYtDlp(ChooseYtDlpCopy(ManagedYtDlpCopy(YtDlpFolder), {FindProgram(YtDlpProgramName), {}}));
    YtDlp.JsRuntimes = FindJsRuntimes();
    WireEvents();
}

TDownloadRun::~TDownloadRun() {
    pause_.Cancel();
    for (TWinHTTP* http : {&WinHTTPGetInfoFileURL, &WinHTTPDownloadInfoFile, &WinHTTPDownload}) {
        http->OnDone = nullptr;
        http->OnProgress = nullptr;
        http->OnAnyError = nullptr;
        http->OnAborted = nullptr;
        http->OnHTTPError = nullptr;
        http->OnHostUnreachable = nullptr;
        http->OnConnLost = nullptr;
        http->OnOutputFileError = nullptr;
    }
    YtDlp.OnInfo = nullptr;
    YtDlp.OnProgress = nullptr;
    YtDlp.OnDone = nullptr;
    YtDlp.OnFailed = nullptr;
    YtDlp.OnAborted = nullptr;
    RemovePartFile();
}

void TDownloadRun::UseYtDlp(const TYtDlpCopy& copy) {
    YtDlp.Program = copy.Path;
    YtDlp.Version = copy.Version;
}

void TDownloadRun::SetYtDlpPending(bool pending) {
    ytdlpPending_ = pending;
    if (!pending && active_ && stage_ == stYtDlpWait) Post(&TDownloadRun::StartYtDlp);
}

bool TDownloadRun::YtDlpUpdateAdvised() const {
    return result_.YtDlpFailures > 0 && !YtDlp.Program.empty() &&
           YtDlpIsOlderThan(YtDlp.Version, YtDlpStaleDays, std::chrono::system_clock::now());
}

void TDownloadRun::WireEvents() {
    for (TWinHTTP* http : {&WinHTTPGetInfoFileURL, &WinHTTPDownloadInfoFile, &WinHTTPDownload})
        http->OnAborted = [this](TCustomWinHTTP*) { Finish(); };

    WinHTTPGetInfoFileURL.OnProgress = [this](TCustomWinHTTP*, const std::string&, int64_t dataSize,
                                              int64_t bytesRead, int64_t elapsed, int64_t, uint8_t, float,
                                              TStream*) {
        if (stage_ != stWatchPage) return;
        UpdateStatus(StatusGettingURLs, dataSize, 0, 0, SpeedText(bytesRead, elapsed), 0);
    };
    WinHTTPGetInfoFileURL.OnDone = [this](TCustomWinHTTP*, const std::string&, int64_t, TStream* stream) {
        if (stage_ == stWatchPage) WatchPageDone(stream);
    };
    WinHTTPGetInfoFileURL.OnAnyError = [this](TCustomWinHTTP*) {
        if (stage_ != stWatchPage) return;
        BuiltInFailed("Cannot get the video page \"" + WinHTTPGetInfoFileURL.URL +
                      "\": " + WinHTTPGetInfoFileURL.LastErrorMessage);
    };

    WinHTTPDownloadInfoFile.OnDone = [this](TCustomWinHTTP*, const std::string&, int64_t, TStream* stream) {
        if (stage_ == stInfoText) InfoTextDone(stream);
    };
    WinHTTPDownloadInfoFile.OnAnyError = [this](TCustomWinHTTP*) {
        if (stage_ != stInfoText) return;
        BuiltInFailed("Cannot get the video info \"" + WinHTTPDownloadInfoFile.URL +
                      "\": " + WinHTTPDownloadInfoFile.LastErrorMessage);
    };

    WinHTTPDownload.OnProgress = [this](TCustomWinHTTP*, const std::string&, int64_t dataSize, int64_t bytesRead,
                                        int64_t elapsed, int64_t timeLeft, uint8_t percent, float, TStream*) {
        if (stage_ == stDownload) DownloadProgress(dataSize, bytesRead, elapsed, timeLeft, percent);
    };
    WinHTTPDownload.OnDone = [this](TCustomWinHTTP*, const std::string&, int64_t size, TStream*) {
        if (stage_ != stDownload) return;
        // A video of no bytes is no video, whatever the server says.
        if (size > 0) {
            DownloadDone();
        } else {
            lastError_ = "the server sent an empty file";
            AttemptFailed();
        }
    };
    WinHTTPDownload.OnAnyError = [this](TCustomWinHTTP*) {
        if (stage_ != stDownload) return;
        if (lastError_.empty()) lastError_ = WinHTTPDownload.LastErrorMessage;
        AttemptFailed();
    };
    WinHTTPDownload.OnOutputFileError = [this](TCustomWinHTTP*) {
        writeFailed_ = true;
        lastError_ = "cannot write into \"" + OutputFolder() + "\"";
        if (WinHTTPDownload.OutputFileErrorCode != 0)
            lastError_ += std::string(": ") + std::strerror(WinHTTPDownload.OutputFileErrorCode);
    };

    YtDlp.OnInfo = [this](const TYtDlpInfo& info) {
        if (stage_ == stYtDlp) YtDlpInfo(info);
    };
    YtDlp.OnProgress = [this](const TYtDlpProgress& progress) {
        if (stage_ == stYtDlp) YtDlpProgress(progress);
    };
    YtDlp.OnDone = [this](const std::string& path, const TYtDlpInfo& info) {
        if (stage_ == stYtDlp) YtDlpDone(path, info);
    };
    YtDlp.OnFailed = [this](const std::string& reason) {
        if (stage_ == stYtDlp) YtDlpFailed(reason);
    };
    YtDlp.OnAborted = [this] { Finish(); };
}

void TDownloadRun::Post(void (TDownloadRun::*step)()) {
    std::weak_ptr<int> alive = alive_;
    const uint64_t generation = generation_;
    dispatcher_.post([this, alive, generation, step] {
        if (alive.expired() || generation != generation_ || !active_) return;
        (this->*step)();
    });
}

void TDownloadRun::Start(const std::vector<std::string>& links, const std::vector<TRefusedLink>& refused) {
    if (active_) return;
    ++generation_;
    active_ = true;
    cancelRequested_ = false;
    stage_ = stIdle;
    result_ = {};
    result_.StartTime = std::chrono::system_clock::now();
    links_ = links;
    captions_ = links;
    view_.ClearRows();
    for (const std::string& link : links) view_.AddRow(link, {StatusWaiting, "0 KB", "0 KB/s", "0%", LabelAtRest});
    result_.TotalFiles = static_cast<int32_t>(links.size() + refused.size());
    failurePlaces_.clear();
    repeats_.clear();
    for (const TRefusedLink& r : refused) {
        if (r.SameAs > 0)
            repeats_.push_back(r);
        else
            AddFailure(r.Place, PrintableText("File (" + std::to_string(r.Place) + ") " + r.Text + ": " + r.Reason));
    }
    places_.clear();
    for (int place = 1; places_.size() < links.size(); ++place)
        if (std::none_of(refused.begin(), refused.end(), [&](const TRefusedLink& r) { return r.Place == place; }))
            places_.push_back(place);
    current_ = 0;
    Post(&TDownloadRun::StartLink);
}

void TDownloadRun::Cancel() {
    if (!active_) return;
    cancelRequested_ = true;
    for (TWinHTTP* http : {&WinHTTPGetInfoFileURL, &WinHTTPDownloadInfoFile, &WinHTTPDownload})
        http->Abort(false, false);
    YtDlp.Abort();
    // A transfer in flight ends the run from its next event (OnAborted, or its
    // completion when the abort came too late). Between transfers no event
    // would come: the run ends now.
    if (stage_ != stWatchPage && stage_ != stInfoText && stage_ != stDownload && stage_ != stYtDlp) Finish();
}

bool TDownloadRun::FinishIfCancelled() {
    if (!cancelRequested_) return false;
    Finish();
    return true;
}

void TDownloadRun::StartLink() {
    streamMap_.Clear();
    videoId_.clear();
    if (FinishIfCancelled()) return;
    const int index = current_;
    // Nothing to download (every text given was refused): the summary alone.
    if (index < 0 || index >= static_cast<int>(captions_.size())) return Finish();
    view_.SetLabel(dlCurrentFile, captions_[index]);
    if (!IsWatchPageLink(links_[index], config_.VideoSiteHost)) {
        StartYtDlp();
        return;
    }
    stage_ = stWatchPage;
    lastError_.clear();
    linkError_.clear();
    transferStart_ = std::chrono::steady_clock::now();
    WinHTTPGetInfoFileURL.URL = captions_[index];
    if (!WinHTTPGetInfoFileURL.Read(false)) LinkFailed("The video page transfer is busy");
}

void TDownloadRun::WatchPageDone(TStream* stream) {
    if (FinishIfCancelled()) return;
    const int index = current_;
    const std::string page = stream ? (stream->SetPosition(0), stream->ReadToEnd()) : std::string();
    // Nothing the server wrote reaches the window, the log or a terminal raw.
    const std::string title = PrintableText(ExtractTitle(page));
    captions_[index] = title;
    view_.SetRowCaption(index, title);
    view_.SetLabel(dlCurrentFile, title);
    videoId_ = ExtractVideoId(page, config_.VideoSiteHost);
    const std::string address = InfoAddress(config_.VideoSiteHost, videoId_);
    view_.SetRowText(index, dcURL, PrintableText(address));
    stage_ = stInfoText;
    lastError_.clear();
    WinHTTPDownloadInfoFile.URL = address;
    if (!WinHTTPDownloadInfoFile.Read(false)) LinkFailed("The video info transfer is busy");
}

void TDownloadRun::InfoTextDone(TStream* stream) {
    if (FinishIfCancelled()) return;
    const std::string info = stream ? (stream->SetPosition(0), stream->ReadToEnd()) : std::string();
    stage_ = stScript;
    const uint64_t generation = generation_;
    try {
        if (!ExecuteScript) throw std::runtime_error("no script host");
        ExecuteScript(InfoScriptLines(info));
    } catch (const std::exception& e) {
        if (generation == generation_ && stage_ == stScript)
            BuiltInFailed("The stream list of \"" + Title() + "\" could not be read: " + e.what());
        return;
    }
    // The script's error box lets other work run; the run may have ended there.
    if (generation != generation_ || stage_ != stScript) return;
    if (FinishIfCancelled()) return;
    stage_ = stPause;
    std::weak_ptr<int> alive = alive_;
    pause_.Schedule(AnalyzePause, [this, alive, generation] {
        if (alive.expired() || generation != generation_ || stage_ != stPause) return;
        AnalyzeFinished();
    });
}

void TDownloadRun::ScriptEcho(const std::string& text) {
    ParseEchoText(EchoTextToBytes(text), streamMap_);
}

void TDownloadRun::ScriptError(uint32_t line, const std::string& description) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Error: Line number %u, ", line + 1);
    const std::string message = buf + PrintableText(description);
    Log(message);
    desktop_.ShowCustomMessageDialog(message, AppTitle, TMsgDlgType::mtCustom, -1, {}, mbOK);
}

void TDownloadRun::AnalyzeFinished() {
    if (FinishIfCancelled()) return;
    UpdateStatus(StatusAnalyzed, 0, 0, 0, {}, 0);
    ResetProgress();
    attempt_ = settings_.PreferYouTubeQuality ? 1 : 0;
    view_.SetLabel(dlQuality, AttemptLongText(attempt_, Order()));
    StartAttempt();
}

void TDownloadRun::StartAttempt() {
    stage_ = stDownload;
    writeFailed_ = false;
    lastError_.clear();
    const TQualityOrder order = Order();
    const std::string& address = streamMap_.Address(AttemptItag(attempt_, order));
    if (address.empty()) {
        // The video does not offer this quality.
        DownloadFailed();
        return;
    }
    if (!IsAllowedStreamAddress(address)) {
        Log("Refused the stream address \"" + address + "\": only http and https addresses are fetched");
        DownloadFailed();
        return;
    }
    fileName_ = DownloadFileName(SavedFileTitle(Title(), videoId_), AttemptExtension(attempt_, order));
    if (!part_.Create(IncludeTrailingSeparator(OutputFolder()) + fileName_)) {
        // The folder takes no file: no other quality would fare better.
        LinkFailed("Cannot write into \"" + OutputFolder() + "\": " + std::strerror(errno));
        return;
    }
    transferStart_ = std::chrono::steady_clock::now();
    WinHTTPDownload.URL = address;
    WinHTTPDownload.OutputFileName = part_.Path();
    if (!WinHTTPDownload.Read(false)) {
        lastError_ = "the transfer is busy";
        DownloadFailed();
    }
}

void TDownloadRun::DownloadProgress(int64_t dataSize, int64_t bytesRead, int64_t elapsed, int64_t timeLeft,
                                    uint8_t percent) {
    view_.SetLabel(dlQuality, AttemptLongText(attempt_, Order()));
    UpdateStatus(StatusDownloading, dataSize, timeLeft, elapsed, SpeedText(bytesRead, elapsed), percent);
}

void TDownloadRun::DownloadDone() {
    if (FinishIfCancelled()) return;
    const std::string extension = AttemptExtension(attempt_, Order());
    const std::string_view base = std::string_view(fileName_).substr(0, fileName_.size() - std::min(extension.size(), fileName_.size()));
    const std::string path = part_.Commit(OutputFolder(), base, extension);
    if (path.empty()) {
        const std::string reason = std::strerror(errno);
        RemovePartFile();
        LinkFailed("Cannot save \"" + IncludeTrailingSeparator(OutputFolder()) + fileName_ + "\": " + reason);
        return;
    }
    LinkSaved(path);
}

void TDownloadRun::AttemptFailed() {
    linkError_ = lastError_;
    const std::string quality = AttemptShortName(attempt_, Order());
    Log("Download of \"" + Title() + "\" " + (quality.empty() ? "" : quality + " ") + "failed: " + lastError_);
    DownloadFailed();
}

void TDownloadRun::DownloadFailed() {
    RemovePartFile();
    if (FinishIfCancelled()) return;
    if (writeFailed_) {
        LinkFailed();
        return;
    }
    if (!settings_.PreferYouTubeQuality) {
        BuiltInFailed(NoStreamLine());
        return;
    }
    // The next quality starts after the transfer has finished its completion step.
    stage_ = stNextQuality;
    Post(&TDownloadRun::TryNextQuality);
}

void TDownloadRun::TryNextQuality() {
    if (stage_ != stNextQuality || FinishIfCancelled()) return;
    if (writeFailed_) {
        LinkFailed();
        return;
    }
    const TQualityOrder order = Order();
    const int old = attempt_;
    ++attempt_;
    if (attempt_ > QualityCodeCount) {
        BuiltInFailed(NoStreamLine());
        return;
    }
    view_.SetLabel(dlQuality, AttemptShortName(old, order) + " failed, try next: " + AttemptShortName(attempt_, order));
    ResetProgress();
    StartAttempt();
}

void TDownloadRun::BuiltInFailed(const std::string& logLine) {
    if (YtDlp.Program.empty()) {
        LinkFailed(logLine);
        return;
    }
    Log(logLine);
    // yt-dlp starts once the failed transfer has finished its completion step.
    stage_ = stYtDlpNext;
    Post(&TDownloadRun::StartYtDlp);
}

void TDownloadRun::StartYtDlp() {
    if (FinishIfCancelled()) return;
    if (ytdlpPending_) {
        stage_ = stYtDlpWait;
        return;
    }
    const int index = current_;
    const std::string& link = links_[index];
    stage_ = stYtDlp;
    ytdlpInfo_ = {};
    ResetProgress();
    UpdateStatus(StatusGettingURLs, 0, 0, 0, {}, 0);
    view_.SetRowText(index, dcURL, PrintableText(link));
    transferStart_ = std::chrono::steady_clock::now();
    if (!YtDlp.Program.empty())
        Log("Trying \"" + link + "\" with yt-dlp " + (YtDlp.Version.empty() ? "" : YtDlp.Version + " ") + "(" +
            YtDlp.Program + ")");
    if (!YtDlp.Start(link, OutputFolder(), settings_.PreferYouTubeQuality, Order()))
        LinkFailed("yt-dlp could not download \"" + link + "\": " + YtDlp.LastErrorMessage);
}

void TDownloadRun::YtDlpInfo(const TYtDlpInfo& info) {
    ytdlpInfo_ = info;
    const int index = current_;
    const std::string title = PrintableText(info.Title);
    if (!title.empty()) {
        captions_[index] = title;
        view_.SetRowCaption(index, title);
        view_.SetLabel(dlCurrentFile, title);
    }
    UpdateStatus(StatusAnalyzed, 0, 0, 0, {}, 0);
    view_.SetLabel(dlQuality, PrintableText(YtDlpQualityText(info)));
    transferStart_ = std::chrono::steady_clock::now();
}

void TDownloadRun::YtDlpProgress(const TYtDlpProgress& p) {
    const std::string speed = p.BytesPerSecond >= 0 ? Format2(p.BytesPerSecond / 1024.0, " KB/s")
                                                    : SpeedText(p.DownloadedBytes, p.ElapsedSeconds);
    UpdateStatus(StatusDownloading, p.TotalBytes, p.SecondsLeft, p.ElapsedSeconds, speed, p.Percent());
}

void TDownloadRun::YtDlpDone(const std::string& path, const TYtDlpInfo& info) {
    if (FinishIfCancelled()) return;
    // The container yt-dlp ended with: merging may have changed it.
    const std::string extension = std::filesystem::path(path).extension().string();
    const std::string name =
        DownloadFileName(SavedFileTitle(PrintableText(info.Title), PrintableText(info.Id)), extension);
    const std::string saved =
        MoveToFreeName(path, OutputFolder(), std::string_view(name).substr(0, name.size() - std::min(extension.size(), name.size())), extension);
    if (saved.empty()) {
        const std::string reason = std::strerror(errno);
        LinkFailed("Cannot save \"" + IncludeTrailingSeparator(OutputFolder()) + name + "\": " + reason);
        return;
    }
    LinkSaved(saved);
}

void TDownloadRun::YtDlpFailed(const std::string& reason) {
    const int index = current_;
    const std::string& name = ytdlpInfo_.Title.empty() ? links_[index] : captions_[index];
    ++result_.YtDlpFailures;
    LinkFailed("yt-dlp could not download \"" + name + "\": " + reason);
}

void TDownloadRun::LinkSaved(const std::string& path) {
    result_.DownloadedFiles.push_back(path);
    UpdateStatus(StatusFinish, 0, 0, 0, {}, 0);
    ++result_.SucceededFiles;
    for (const TRefusedLink& r : repeats_)
        if (r.SameAs == CurrentPlace()) ++result_.SucceededFiles;
    ++current_;
    AfterLink();
}

void TDownloadRun::LinkFailed(const std::string& logLine) {
    if (!logLine.empty()) Log(logLine);
    const std::string why = logLine.empty() ? lastError_ : logLine;
    const int place = CurrentPlace();
    AddFailure(place, PrintableText("File (" + std::to_string(place) + "): " + why));
    for (const TRefusedLink& r : repeats_)
        if (r.SameAs == place)
            AddFailure(r.Place, PrintableText("File (" + std::to_string(r.Place) + ") " + r.Text +
                                              ": the same link as File (" + std::to_string(place) + ")"));
    RemovePartFile();
    UpdateStatus(StatusFailed, 0, 0, 0, {}, 0);
    ++current_;
    AfterLink();
}

int TDownloadRun::CurrentPlace() const {
    return current_ < static_cast<int>(places_.size()) ? places_[current_] : current_ + 1;
}

void TDownloadRun::AddFailure(int place, const std::string& line) {
    const auto at = std::upper_bound(failurePlaces_.begin(), failurePlaces_.end(), place);
    result_.Failures.insert(result_.Failures.begin() + (at - failurePlaces_.begin()), line);
    failurePlaces_.insert(at, place);
}

void TDownloadRun::AfterLink() {
    stage_ = stIdle;
    if (current_ >= static_cast<int>(captions_.size()))
        Finish();
    else
        Post(&TDownloadRun::StartLink);
}

void TDownloadRun::Finish() {
    if (!active_) return;
    active_ = false;
    ++generation_;
    stage_ = stIdle;
    pause_.Cancel();
    RemovePartFile();
    if (OnClearLinks) OnClearLinks();
    view_.ClearRows();
    links_.clear();
    captions_.clear();
    streamMap_.Clear();
    for (TDownloadLabel label : {dlCurrentFile, dlStatus, dlSpeed, dlElapsedTime, dlTimeLeft, dlQuality})
        view_.SetLabel(label, LabelAtRest);
    ResetProgress();
    result_.Cancelled = cancelRequested_;
    result_.EndTime = std::chrono::system_clock::now();
    view_.ShowSummary(result_);
    if (OnFinished) OnFinished();
}

void TDownloadRun::UpdateStatus(const std::string& status, int64_t size, int64_t timeLeft, int64_t elapsed,
                                const std::string& speed, int percent) {
    const int row = current_;
    if (row < 0 || row >= static_cast<int>(captions_.size())) return;
    if (!status.empty()) {
        view_.SetRowText(row, dcStatus, status);
        view_.SetLabel(dlStatus, status);
    }
    if (size != 0) view_.SetRowText(row, dcSize, Format2(static_cast<double>(size) / 1048576.0, "MB"));
    if (!speed.empty()) {
        view_.SetRowText(row, dcSpeed, speed);
        view_.SetLabel(dlSpeed, speed);
    }
    if (percent != 0) {
        const std::string text = std::to_string(percent) + "%";
        view_.SetRowText(row, dcProgress, text);
        view_.SetLabel(dlProgressText, text);
        view_.SetProgressBar(percent);
    }
    if (elapsed != 0) view_.SetLabel(dlElapsedTime, FormatSeconds(ClampSeconds(elapsed)));
    if (timeLeft != 0) view_.SetLabel(dlTimeLeft, FormatSeconds(ClampSeconds(timeLeft)));
}

void TDownloadRun::ResetProgress() {
    view_.SetProgressBar(0);
    view_.SetLabel(dlProgressText, "0%");
}

void TDownloadRun::RemovePartFile() { part_.Discard(); }

void TDownloadRun::Log(const std::string& line) {
    // Log lines quote addresses and reasons the server chose.
    if (log_) log_->AppendLine(PrintableText(line));
}

std::string TDownloadRun::SpeedText(int64_t bytesRead, int64_t elapsed) const {
    double seconds = static_cast<double>(elapsed);
    if (elapsed <= 0) {
        // Within the first second: measure the part of it that has passed.
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                              transferStart_)
                            .count();
        seconds = std::max<double>(static_cast<double>(ms), 1.0) / 1000.0;
    }
    return Format2(static_cast<double>(bytesRead) / 1024.0 / seconds, " KB/s");
}

std::string TDownloadRun::OutputFolder() const { return IncludeTrailingSeparator(settings_.OutputURLDir); }

TQualityOrder TDownloadRun::Order() const {
    TQualityOrder order{};
    std::copy(settings_.PreferYouTube.begin(), settings_.PreferYouTube.end(), order.begin());
    return order;
}

std::string TDownloadRun::NoStreamLine() const {
    return "No stream of \"" + Title() + "\" could be downloaded" + (linkError_.empty() ? "" : ": " + linkError_);
}

std::string TDownloadRun::Title() const {
    const int index = current_;
    return index >= 0 && index < static_cast<int>(captions_.size()) ? captions_[index] : std::string();
}

void ConvertDownloadedFiles(const std::vector<std::string>& files, IDownloadHandOver* handOver,
                            IDesktopServices& desktop) {
    if (files.empty()) {
        desktop.ShowCustomMessageDialog(NoFileDownloadedMessage, AppTitle, TMsgDlgType::mtInformation, -1, {}, mbOK);
        return;
    }
    if (handOver) handOver->ConvertDownloadedFiles(files);
}
