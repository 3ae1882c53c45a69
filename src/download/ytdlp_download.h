#pragma once
// The second download engine: yt-dlp, for links the built-in path cannot
// read. One link at a time; yt-dlp writes only into a hidden temporary folder
// inside the chosen folder, which is removed when the download ends in any
// way. Events arrive on the user-interface thread.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "quality.h"
#include "ytdlp_copies.h"
#include "ytdlp_output.h"

inline constexpr char YtDlpProgramName[] = "yt-dlp";
// The hidden temporary folders start with this.
inline constexpr char YtDlpTempPrefix[] = ".orvane-ytdlp-";

// yt-dlp's format selection for the quality preference. Each entry of the
// order asks for its container at its picture height or below, the entries
// in order; the Best Available order asks for the best picture and sound.
// Without the preference: the default quality's container and height, else
// the smallest picture on offer.
std::string YtDlpFormatSelection(bool prefer, const TQualityOrder& order);
// The Step6 quality text for what yt-dlp chose: its format, container and
// picture size as yt-dlp knows them. A quality's long text would name a size
// the file may not have.
std::string YtDlpQualityText(const TYtDlpInfo& info);
// Every argument after the program name, for one link whose files go to the
// working directory.
std::vector<std::string> YtDlpArguments(const std::string& link, bool prefer, const TQualityOrder& order);

class TYtDlpDownload {
public:
    explicit TYtDlpDownload(IDispatcher& dispatcher);
    // Ends a running download without events and removes its temporary folder.
    ~TYtDlpDownload();
    TYtDlpDownload(const TYtDlpDownload&) = delete;
    TYtDlpDownload& operator=(const TYtDlpDownload&) = delete;

    // yt-dlp's path; empty when it is not installed.
    std::string Program;
    // Its version as "--version" gave it; empty while not known.
    std::string Version;
    // yt-dlp is told where they are when its version takes them.
    std::vector<TJsRuntime> JsRuntimes;

    std::function<void(const TYtDlpInfo& info)> OnInfo;
    // At most every ProgressInterval, and always when a file is complete.
    std::function<void(const TYtDlpProgress& progress)> OnProgress;
    // The finished file, still in the temporary folder: the handler moves it
    // out. The folder goes after the handler returns.
    std::function<void(const std::string& path, const TYtDlpInfo& info)> OnDone;
    // yt-dlp failed; the reason in plain words.
    std::function<void(const std::string& reason)> OnFailed;
    // After Abort, once yt-dlp has ended and its files are gone.
    std::function<void()> OnAborted;

    // Starts the download of link into folder. False when it could not start
    // (LastErrorMessage says why); no event follows then.
    bool Start(const std::string& link, const std::string& folder, bool prefer, const TQualityOrder& order);
    // Ends yt-dlp's whole process group; OnAborted follows.
    void Abort();
    bool Running() const { return child_->Running(); }
    // The temporary folder of the running download, else empty.
    const std::string& TempFolder() const { return tempFolder_; }

    std::string LastErrorMessage;
    std::chrono::milliseconds ProgressInterval{100};

private:
    void Line(TChildStream stream, const std::string& line);
    void Ended(const TChildExit& exit);
    void RemoveTempFolder();

    std::unique_ptr<TChildProcess> child_;
    std::string tempFolder_;
    int folderSlot_ = -1;  // the folder's entry among the partial files
    TYtDlpInfo info_;
    std::string file_;
    std::string error_;
    bool aborted_ = false;
    std::chrono::steady_clock::time_point lastProgress_{};
};
