// orvane update-ytdlp [--from URL]: fetches the latest yt-dlp into the
// application's own folder, as the window's "Update yt-dlp" does.
#include "cli.h"

#include "dispatcher.h"
#include "startup_choice.h"
#include "win_thread.h"
#include "ytdlp_update.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// Progress on standard error: redrawn in place on a terminal, in steps of
// ten percent otherwise.
class CliUpdateProgress {
public:
    CliUpdateProgress() : tty_(::isatty(STDERR_FILENO) == 1) {}
    void Step(const std::string& text) {
        End();
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    void Bytes(int64_t bytes, int64_t total) {
        const int percent = total > 0 ? static_cast<int>(bytes * 100 / total) : 0;
        if (tty_) {
            std::fprintf(stderr, "\r%d%%  %lld of %lld KB\033[K", percent, static_cast<long long>(bytes / 1024),
                         static_cast<long long>(total / 1024));
            open_ = true;
        } else if (total > 0 && percent / 10 != lastStep_) {
            lastStep_ = percent / 10;
            std::fprintf(stderr, "%d%%\n", percent);
        }
    }
    void End() {
        if (open_) std::fprintf(stderr, "\n");
        open_ = false;
    }

private:
    bool tty_;
    bool open_ = false;
    int lastStep_ = -1;
};

std::string CopyText(const TYtDlpCopy& copy) {
    if (copy.Empty()) return "none";
    return (copy.Version.empty() ? std::string("of unknown version") : copy.Version) + " (" + copy.Path + ")";
}

int RunUpdateYtDlp(const TParsedArgs& args, IDispatcher& dispatcher) {
    if (!args.Operands.empty())
        return UsageError("orvane update-ytdlp", "unexpected argument '" + args.Operands[0] + "'");
    const TStartupChoice choice = LoadStartupChoice(DesktopFolders());
    const std::string from = args.Has("--from") ? args.Value("--from") : choice.Config.YtDlpReleaseUrl;
    const std::string folder = ManagedYtDlpFolder();
    const TYtDlpCopy current = LocateYtDlpCopy(dispatcher, folder);
    std::fprintf(stderr, "yt-dlp in use: %s\n", CopyText(current).c_str());

    TYtDlpUpdate update(dispatcher);
    CliUpdateProgress progress;
    update.OnStep = [&](const std::string& step) { progress.Step(step); };
    update.OnProgress = [&](int64_t bytes, int64_t total) { progress.Bytes(bytes, total); };
    TYtDlpUpdateResult result;
    bool done = false;
    update.OnDone = [&](const TYtDlpUpdateResult& r) {
        result = r;
        done = true;
    };
    if (!update.Start(from, folder, current)) {
        std::fprintf(stderr, "yt-dlp was not updated: %s\n", update.LastErrorMessage.c_str());
        return 1;
    }
    {
        const TCliInterrupt interrupt(dispatcher);
        bool cancelled = false;
        TWaitable queued;
        while (!done) {
            queued.WaitUntil(&dispatcher, [&] { return done || (interrupt.Requested() && !cancelled); });
            if (interrupt.Requested() && !cancelled) {
                cancelled = true;
                update.Cancel();
            }
        }
    }
    progress.End();
    // Let abandoned transfer threads end before the components go.
    TCustomWinThread::WaitForAllThreads(dispatcher, std::chrono::seconds(5));
    switch (result.Outcome) {
        case TYtDlpUpdateOutcome::uoInstalled:
        case TYtDlpUpdateOutcome::uoUpToDate:
            std::printf("%s\n", result.Message.c_str());
            return 0;
        default:
            std::fprintf(stderr, "%s\n", result.Message.c_str());
            return 1;
    }
}

const CliRegistration registration({
    .Name = "update-ytdlp",
    .Summary = "fetch the latest yt-dlp for downloads from other sites",
    .Help = {.Synopsis = "[--from URL]",
             .Description = "Fetches the latest release of yt-dlp and its SHA2-256SUMS, checks the checksum and "
                            "that the file runs, and installs it into the application's own folder "
                            "($XDG_DATA_HOME/orvane-video-joiner/yt-dlp) when it is newer than the yt-dlp in use. "
                            "The window and 'orvane download' then use it instead of an older one on PATH. "
                            "Whatever fails, the yt-dlp in use stays. Progress goes to standard error, the "
                            "outcome to standard output. Ctrl+C or a kill cancels and leaves nothing behind.",
             .Options = {{"--from", "", "URL",
                          "release address to fetch \"yt-dlp\" and \"SHA2-256SUMS\" from, http or https "
                          "(default: the product configuration's YtDlpReleaseUrl)"}},
             .ExitStatuses = {{0, "the latest yt-dlp is installed, or was already"},
                              {1, "nothing was installed: a transfer failed, the checksum did not match, the file "
                                  "did not run or was older, or the update was cancelled"},
                              {ExitUsage, "wrong usage: an unknown option, a missing or empty value"}}},
    .Run = RunUpdateYtDlp,
});
}  // namespace
