// orvane download [--prefer | --no-prefer] [--host H] -o DIR LINK...: the
// download run of the window, printed line by line.
#include "cli.h"

#include "desktop_services.h"
#include "dispatcher.h"
#include "download_run.h"
#include "info_script.h"
#include "link_list.h"
#include "log_sink.h"
#include "startup_choice.h"
#include "util_funcs.h"
#include "video_site.h"
#include "win_thread.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Message boxes of the run become lines on standard error; a question is
// never asked here, and a box with Cancel goes on (OK).
class CliDesktop final : public IDesktopServices {
public:
    void OpenDocument(const std::string&) override {}
    bool BrowseForFolder(std::string&, const std::string&, const std::string&) override { return false; }
    int ShowCustomMessageDialog(const std::string& message, const std::string&, TMsgDlgType, int,
                                const std::vector<std::string>&, TMsgDlgButtons) override {
        std::string text = message;
        std::erase(text, '\r');
        std::fprintf(stderr, "%s\n", text.c_str());
        return mrOk;
    }
    void ShowInformation(const std::string& text, const std::string&) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    void ShowError(const std::string& text, const std::string&) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
};

class CliLog final : public ILogSink {
public:
    void AppendLine(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
};

// Prints each link's title and status changes, and its progress: overwritten
// in place on a terminal, in steps of ten percent otherwise.
class CliView final : public IDownloadView {
public:
    CliView() : tty_(::isatty(STDOUT_FILENO) == 1) {}

    void ClearRows() override {
        EndProgressLine();
        rows_.clear();
    }
    void AddRow(const std::string& caption, const std::vector<std::string>& subItems) override {
        rows_.push_back({caption, subItems.empty() ? std::string() : subItems[0]});
    }
    void SetRowCaption(int row, const std::string& caption) override {
        if (row < 0 || row >= static_cast<int>(rows_.size())) return;
        rows_[row].Caption = caption;
        Line(row, "Title: " + caption);
    }
    void SetRowText(int row, TDownloadColumn column, const std::string& text) override {
        if (row < 0 || row >= static_cast<int>(rows_.size())) return;
        current_ = row;
        if (column == dcStatus && text != rows_[row].Status) {
            rows_[row].Status = text;
            Line(row, text);
            lastStep_ = -1;
        } else if (column == dcSize) {
            size_ = text;
        } else if (column == dcProgress) {
            Progress(row, text);
        }
    }
    void SetLabel(TDownloadLabel label, const std::string& text) override {
        if (label == dlSpeed) speed_ = text;
        if (label == dlQuality && text != quality_ && text != LabelAtRest) {
            quality_ = text;
            if (current_ >= 0) Line(current_, "Quality: " + text);
        }
    }
    void SetProgressBar(int) override {}
    void ShowSummary(const TDownloadResult& result) override {
        EndProgressLine();
        if (result.Cancelled) std::printf("Cancelled\n");
        std::printf("Total files: %d\nSuccessed: %d\nFailed: %d\n", result.TotalFiles, result.SucceededFiles,
                    result.FailedFiles());
        for (const std::string& line : result.Failures) std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }

private:
    struct Row {
        std::string Caption, Status;
    };

    void Line(int row, const std::string& text) {
        EndProgressLine();
        std::printf("[%d/%zu] %s\n", row + 1, rows_.size(), text.c_str());
        std::fflush(stdout);
    }
    void Progress(int row, const std::string& percentText) {
        const int percent = std::atoi(percentText.c_str());
        if (tty_) {
            std::printf("\r[%d/%zu] %s  %s  %s\033[K", row + 1, rows_.size(), percentText.c_str(), size_.c_str(),
                        speed_.c_str());
            progressOpen_ = true;
        } else if (percent / 10 != lastStep_) {
            lastStep_ = percent / 10;
            std::printf("[%d/%zu] %s of %s at %s\n", row + 1, rows_.size(), percentText.c_str(), size_.c_str(),
                        speed_.c_str());
        }
        std::fflush(stdout);
    }
    void EndProgressLine() {
        if (!progressOpen_) return;
        std::printf("\n");
        progressOpen_ = false;
    }

    bool tty_;
    bool progressOpen_ = false;
    int lastStep_ = -1;
    int current_ = -1;
    std::vector<Row> rows_;
    std::string size_, speed_, quality_;
};

int Usage(const std::string& problem) { return UsageError("orvane download", problem); }

// The same checks as pasting in the window: only links, each once. Every
// text counts in its place: one refused as a failed file, a link given again
// (run once) with the outcome of its first.
std::vector<TRefusedLink> AddLinks(TLinkList& links, const std::vector<std::string>& texts, const std::string& host,
                                   bool otherSites) {
    std::vector<TRefusedLink> refused;
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string& text = texts[i];
        const int place = static_cast<int>(i) + 1;
        const int before = links.Count();
        links.AddOneText(text);
        if (links.Count() > before) continue;
        if (!IsDownloadableLink(text, host, otherSites)) {
            refused.push_back({place, text, "not a link of the site"});
            continue;
        }
        const auto first = std::find(texts.begin(), texts.end(), text);
        refused.push_back({place, text, {}, static_cast<int>(first - texts.begin()) + 1});
    }
    return refused;
}

int RunDownload(const TParsedArgs& args, IDispatcher& dispatcher) {
    // The site host from the product configuration, the quality preference
    // from the user settings, as the window starts with them.
    TStartupChoice choice = LoadStartupChoice(DesktopFolders());
    TProductConfig& config = choice.Config;
    TUserSettings& settings = choice.Settings;
    for (const auto& [option, value] : args.Options) {
        if (option == "--prefer") settings.PreferYouTubeQuality = true;
        if (option == "--no-prefer") settings.PreferYouTubeQuality = false;
        if (option == "--host") config.VideoSiteHost = value;
    }
    const std::string folder = args.Value("--output");
    const std::vector<std::string>& texts = args.Operands;
    if (folder.empty()) return Usage("no output folder (-o DIR)");
    if (texts.empty()) return Usage("no link");
    if (!ForceDirectories(folder)) {
        std::fprintf(stderr, "Fail to create directory! Please check if output folder have the right format!\n");
        return 1;
    }
    settings.OutputURLDir = IncludeTrailingSeparator(folder);

    CliDesktop desktop;
    CliLog log;
    TLinkList links(config.VideoSiteHost, desktop);
    // Links of other sites go to yt-dlp, when it is installed: the newer of
    // the application's own copy and the one on PATH, whose version is asked
    // for while the run starts.
    const std::string managedFolder = ManagedYtDlpFolder();
    TYtDlpCopy system{FindProgram(YtDlpProgramName), {}};
    TYtDlpCopy ytdlp = ChooseYtDlpCopy(ManagedYtDlpCopy(managedFolder), system);
    const bool otherSites = !ytdlp.Empty();
    links.SetOtherSites(otherSites);
    const std::vector<TRefusedLink> refused = AddLinks(links, texts, config.VideoSiteHost, otherSites);
    const auto rejected = std::count_if(refused.begin(), refused.end(), [](const TRefusedLink& r) { return r.SameAs == 0; });

    CliView view;
    TDownloadRun run(config, settings, view, desktop, &log, dispatcher);
    auto script = CreateInfoScript(run, nullptr);
    run.UseYtDlp(ytdlp);
    TYtDlpVersionCheck probe(dispatcher);
    probe.OnDone = [&](const std::string& version, const std::string&) {
        system.Version = version;
        ytdlp = ChooseYtDlpCopy(ManagedYtDlpCopy(managedFolder), system);
        run.UseYtDlp(ytdlp);
        run.SetYtDlpPending(false);
    };
    std::string probeError;
    if (!system.Empty()) run.SetYtDlpPending(probe.Start(system.Path, probeError));

    {
        const TCliInterrupt interrupt(dispatcher);
        run.Start(links.Rows(), refused);
        bool cancelled = false;
        // The run's state and the interrupt both change through work queued here.
        TWaitable queued;
        while (run.Active()) {
            queued.WaitUntil(&dispatcher, [&] { return !run.Active() || (interrupt.Requested() && !cancelled); });
            if (interrupt.Requested() && !cancelled) {
                cancelled = true;
                run.Cancel();
            }
        }
    }
    // Let abandoned transfer threads end before the components go.
    TCustomWinThread::WaitForAllThreads(dispatcher, std::chrono::seconds(5));
    const TDownloadResult& result = run.Result();
    for (const std::string& file : result.DownloadedFiles) std::printf("Saved: %s\n", file.c_str());
    if (run.YtDlpUpdateAdvised())
        std::fprintf(stderr,
                     "yt-dlp %s is more than %d days old, and sites change often: 'orvane update-ytdlp' fetches "
                     "the latest release\n",
                     ytdlp.Version.empty() ? "of unknown version" : ytdlp.Version.c_str(), YtDlpStaleDays);
    return rejected == 0 && result.SucceededFiles == result.TotalFiles && !result.Cancelled ? 0 : 1;
}

const CliRegistration registration({
    .Name = "download",
    .Summary = "download videos by their watch-page links",
    .Help = {.Synopsis = "[OPTIONS] -o DIR LINK...",
             .Description = "Downloads the video of each LINK, a watch-page address of the video site, into DIR, "
                            "named after its title. Each link's title, status and progress go to standard output, "
                            "then the summary and a line \"Saved: FILE\" for each file saved. Ctrl+C or a kill "
                            "cancels as the window's Cancel does.",
             .Options = {{"--output", "-o", "DIR", "folder to save the videos in (required); created when missing"},
                         {"--prefer", "", "",
                          "try the qualities in the order saved in the window's quality dialog until one "
                          "downloads"},
                         {"--no-prefer", "", "", "try the default quality only"},
                         {"--host", "", "HOST",
                          "host name of the video site whose links are accepted (default: the product "
                          "configuration's VideoSiteHost)"}},
             .ExitStatuses = {{0, "every LINK was downloaded"},
                              {1, "a LINK was no link of the site or failed, the folder could not be created, or "
                                  "the run was cancelled"},
                              {ExitUsage, "wrong usage: no DIR, no LINK, an unknown option or a missing value"}}},
    .Run = RunDownload,
});
}  // namespace
