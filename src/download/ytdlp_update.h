#pragma once
// Updating the application's own yt-dlp: the latest release's file and its
// SHA2-256SUMS are fetched from the release address, the checksum is checked,
// the file is written under a hidden name and asked for its version, and only
// a newer release is switched in (see InstallYtDlpCopy). Whatever goes wrong,
// the copy in use stays in use. Events arrive on the user-interface thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "hidden_file.h"
#include "win_http.h"
#include "ytdlp_copies.h"

inline constexpr char YtDlpReleaseFileName[] = "yt-dlp";
inline constexpr char YtDlpSumsFileName[] = "SHA2-256SUMS";
// A release file is about 3 MB; the caps only stop a server that sends without end.
inline constexpr int64_t MaxYtDlpReleaseBytes = 64LL * 1024 * 1024;
inline constexpr int64_t MaxYtDlpSumsBytes = 256 * 1024;

// The lower-case SHA-256 of the bytes, in hex.
std::string Sha256Hex(std::string_view bytes);
// The checksum that a SHA2-256SUMS text gives for the file name ("HEX  NAME"
// or "HEX *NAME" lines); empty when it names no such file.
std::string ChecksumFor(std::string_view sumsText, std::string_view fileName);

enum class TYtDlpUpdateOutcome { uoInstalled, uoUpToDate, uoOlder, uoFailed, uoCancelled };

struct TYtDlpUpdateResult {
    TYtDlpUpdateOutcome Outcome = TYtDlpUpdateOutcome::uoFailed;
    // What happened, in plain words, for the window and the terminal.
    std::string Message;
    // The release's version, when it got that far.
    std::string Version;
    // The copy installed (uoInstalled).
    TYtDlpCopy Installed;
};

// Under the folder's lock ("lock", flock): commits the verified hidden file
// as "yt-dlp-VERSION" without replacing any file, then replaces the link
// "yt-dlp" by one to it with a rename, so a crash at any moment leaves the
// old copy or the new one in use. Another update that got there first with
// the same or a newer version wins: the file is discarded (uoUpToDate). The
// previous copy is kept (a download may still run it); older ones go.
TYtDlpUpdateResult InstallYtDlpCopy(const std::string& folder, THiddenFile& file, const std::string& version);

class TYtDlpUpdate {
public:
    explicit TYtDlpUpdate(IDispatcher& dispatcher);
    // Ends an update still running; no event follows.
    ~TYtDlpUpdate();
    TYtDlpUpdate(const TYtDlpUpdate&) = delete;
    TYtDlpUpdate& operator=(const TYtDlpUpdate&) = delete;

    // What it is doing now: "Fetching SHA2-256SUMS", ...
    std::function<void(const std::string& step)> OnStep;
    // Bytes of the release file so far and in all (0 when not known).
    std::function<void(int64_t bytes, int64_t total)> OnProgress;
    // Once per Start that returned true.
    std::function<void(const TYtDlpUpdateResult& result)> OnDone;

    // Fetches from releaseUrl (a folder address: the file names are appended)
    // into folder; current is the copy in use, which a release must be newer
    // than. False when it could not start (LastErrorMessage says why).
    bool Start(const std::string& releaseUrl, const std::string& folder, const TYtDlpCopy& current);
    // Stops at the next step; OnDone follows with uoCancelled and nothing is left behind.
    void Cancel();
    bool Running() const { return running_; }
    std::string LastErrorMessage;

private:
    void Post(void (TYtDlpUpdate::*step)());
    void FetchRelease();
    void SumsFetched(TStream* stream);
    void ReleaseFetched(TStream* stream);
    void Verified(const std::string& version, const std::string& error);
    void TransferFailed(TWinHTTP& http, const char* what);
    void Finish(TYtDlpUpdateOutcome outcome, const std::string& message);
    std::string KeptText() const;

    IDispatcher& dispatcher_;
    TWinHTTP sums_;
    TWinHTTP release_;
    TYtDlpVersionCheck check_;
    THiddenFile file_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::string base_, folder_, expected_, version_;
    TYtDlpCopy current_;
    bool running_ = false;
    bool cancelled_ = false;
};
