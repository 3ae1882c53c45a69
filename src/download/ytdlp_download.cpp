#include "ytdlp_download.h"

#include "partial_files.h"
#include "util_funcs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdlib.h>
#include <utility>

namespace {
// The picture height of each quality code (the heights of the long texts).
constexpr int kHeights[QualityCodeCount] = {360, 360, 480, 720, 144, 144, 360, 1080};
constexpr int kDefaultHeight = 240;

std::string ContainerOf(const TQualityInfo& q) { return std::string(q.Extension).substr(1); }

// One entry: its container at its height or below (a picture of unknown
// height counts). MP4 takes separate picture and AAC sound, merged, before a
// stream that has both.
std::string EntrySelection(const std::string& container, int height) {
    const std::string cap = "[height<=?" + std::to_string(height) + "]";
    if (container == "mp4") return "bv[ext=mp4]" + cap + "+ba[ext=m4a]/b[ext=mp4]" + cap;
    return "b[ext=" + container + "]" + cap;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
}  // namespace

std::string YtDlpFormatSelection(bool prefer, const TQualityOrder& order) {
    if (!prefer) return EntrySelection("flv", kDefaultHeight) + "/w";
    if (order == BestAvailableQualityOrder) return "bv*+ba/b";
    std::string selection;
    std::vector<std::string> seen;
    for (uint8_t code : order) {
        const TQualityInfo* q = QualityOf(code);
        if (!q) continue;
        const std::string entry = EntrySelection(ContainerOf(*q), kHeights[code]);
        if (std::find(seen.begin(), seen.end(), entry) != seen.end()) continue;
        seen.push_back(entry);
        if (!selection.empty()) selection += '/';
        selection += entry;
    }
    return selection.empty() ? "bv*+ba/b" : selection;
}

std::string YtDlpQualityText(const TYtDlpInfo& info) {
    std::string text = "[" + (info.FormatId.empty() ? std::string("yt-dlp") : info.FormatId) + "] - (" +
                       Upper(info.Ext.empty() ? std::string("?") : info.Ext);
    if (info.Width > 0 && info.Height > 0)
        text += ", " + std::to_string(info.Width) + " x " + std::to_string(info.Height);
    else if (info.Height > 0)
        text += ", " + std::to_string(info.Height) + "p";
    return text + ")";
}

std::vector<std::string> YtDlpArguments(const std::string& link, bool prefer, const TQualityOrder& order) {
    return {
        // Configuration files could add any option: other folders, commands to run afterwards.
        "--ignore-config",
        // Never asks the project's servers for a newer version.
        "--no-update",
        // One link, one file: a video in a playlist is that video, and a
        // playlist (or a page with several videos) gives its first.
        "--no-playlist", "--playlist-items", "1",
        // Progress as whole lines in our own format, also while --print keeps it quiet.
        "--newline", "--progress", "--progress-template", YtDlpProgressTemplate,
        // Title, id and format before the download, the file's name after it;
        // --print alone would only simulate.
        "--no-simulate", "--print", YtDlpInfoTemplate, "--print", YtDlpFileTemplate,
        // The file is dated when it was saved, as the built-in path does.
        "--no-mtime",
        // A silent server ends a try after a minute; a few tries, not ten.
        "--socket-timeout", "60", "--retries", "3", "--fragment-retries", "3",
        "-f", YtDlpFormatSelection(prefer, order),
        // Separate picture and sound are merged into MP4, or MKV when MP4 cannot hold them.
        "--merge-output-format", "mp4/mkv",
        // Relative to the temporary folder yt-dlp runs in: no user path is
        // ever read as an output template.
        "-o", "video.%(ext)s",
        // The link is never read as an option.
        "--", link};
}

TYtDlpDownload::TYtDlpDownload(IDispatcher& dispatcher)
    : child_(std::make_unique<TChildProcess>(dispatcher)) {
    child_->OnLine = [this](TChildStream stream, const std::string& line) { Line(stream, line); };
    child_->OnExit = [this](const TChildExit& exit) { Ended(exit); };
}

TYtDlpDownload::~TYtDlpDownload() {
    // The child must be gone before its folder goes.
    child_.reset();
    RemoveTempFolder();
}

bool TYtDlpDownload::Start(const std::string& link, const std::string& folder, bool prefer,
                           const TQualityOrder& order) {
    LastErrorMessage.clear();
    if (Running()) {
        LastErrorMessage = "yt-dlp is still running";
        return false;
    }
    if (Program.empty()) {
        LastErrorMessage = "yt-dlp is not installed";
        return false;
    }
    std::string pattern = IncludeTrailingSeparator(folder) + YtDlpTempPrefix + "XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        LastErrorMessage = "Cannot write into \"" + folder + "\": " + std::strerror(errno);
        return false;
    }
    tempFolder_ = pattern;
    folderSlot_ = RegisterPartialFolder(tempFolder_.c_str());
    info_ = {};
    file_.clear();
    error_.clear();
    aborted_ = false;
    lastProgress_ = {};
    std::string error;
    // Lines arrive as yt-dlp writes them, not when a pipe buffer fills.
    std::vector<std::string> args = YtDlpArguments(link, prefer, order);
    const std::vector<std::string> runtimes = YtDlpRuntimeArguments(Version, JsRuntimes);
    // Before the "--" that ends the options.
    args.insert(args.end() - 2, runtimes.begin(), runtimes.end());
    if (!child_->Start(Program, args, tempFolder_, {"PYTHONUNBUFFERED=1"}, error)) {
        RemoveTempFolder();
        LastErrorMessage = "Cannot start yt-dlp \"" + Program + "\": " + error;
        return false;
    }
    return true;
}

void TYtDlpDownload::Abort() {
    if (!Running() || aborted_) return;
    aborted_ = true;
    child_->Kill();
}

void TYtDlpDownload::Line(TChildStream, const std::string& text) {
    if (aborted_) return;
    const TYtDlpLine line = ParseYtDlpLine(text);
    switch (line.Kind) {
        case TYtDlpLineKind::lkProgress: {
            const auto now = std::chrono::steady_clock::now();
            if (!line.Progress.Finished && now - lastProgress_ < ProgressInterval) return;
            lastProgress_ = now;
            if (OnProgress) OnProgress(line.Progress);
            break;
        }
        case TYtDlpLineKind::lkInfo:
            info_ = line.Info;
            if (OnInfo) OnInfo(info_);
            break;
        case TYtDlpLineKind::lkFile:
            file_ = line.Text;
            break;
        case TYtDlpLineKind::lkError:
            if (error_.empty()) error_ = line.Text;
            break;
        case TYtDlpLineKind::lkOther:
            break;
    }
}

void TYtDlpDownload::Ended(const TChildExit& exit) {
    namespace fs = std::filesystem;
    // A handler may start the next download: this one's folder is taken
    // out first, and forgotten by the registry only once removed.
    const std::string folder = std::exchange(tempFolder_, {});
    struct TRemove {
        const std::string& folder;
        int slot;
        bool done = false;
        void Now() {
            std::error_code ec;
            fs::remove_all(folder, ec);
            ForgetPartialFile(slot);
            done = true;
        }
        ~TRemove() {
            if (!done) Now();
        }
    } remove{folder, std::exchange(folderSlot_, -1)};
    if (aborted_ || exit.Killed) {
        remove.Now();
        if (OnAborted) OnAborted();
        return;
    }
    std::string reason;
    std::string path;
    if (exit.Succeeded()) {
        // The name yt-dlp gave, looked up in our folder only.
        if (!file_.empty()) path = (fs::path(folder) / fs::path(file_).filename()).string();
        std::error_code ec;
        if (path.empty() || !fs::is_regular_file(fs::symlink_status(path, ec))) {
            path.clear();
            reason = "yt-dlp ended without a file";
        }
    } else if (!error_.empty()) {
        reason = error_;
    } else if (exit.Signal != 0) {
        reason = "yt-dlp was ended by signal " + std::to_string(exit.Signal) + " (" + strsignal(exit.Signal) + ")";
    } else {
        reason = "yt-dlp ended with exit status " + std::to_string(exit.ExitCode);
    }
    if (!path.empty()) {
        if (OnDone) OnDone(path, info_);
    } else if (OnFailed) {
        OnFailed(reason);
    }
}

void TYtDlpDownload::RemoveTempFolder() {
    if (tempFolder_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(tempFolder_, ec);
    tempFolder_.clear();
    ForgetPartialFile(std::exchange(folderSlot_, -1));
}
