#pragma once
// Which yt-dlp runs: the application's own copy in the user's data folder,
// kept current by TYtDlpUpdate, or the one on PATH, whichever is newer; its
// version as "--version" gave it; and the JavaScript runtimes yt-dlp is told
// about. All calls on the user-interface thread.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "delayed_call.h"

// One yt-dlp: its path (empty: none) and version (empty: not known yet).
struct TYtDlpCopy {
    std::string Path;
    std::string Version;
    bool Empty() const { return Path.empty(); }
};

// The numbers of a yt-dlp version ("2025.11.12", a nightly's
// "2025.11.12.232844"): three to six dot-separated numbers, the first a
// year. Nothing for any other text.
std::optional<std::vector<int64_t>> ParseYtDlpVersion(const std::string& text);
// < 0, 0, > 0 as a is older, the same, newer than b; an unreadable version
// is older than any readable one.
int CompareYtDlpVersions(const std::string& a, const std::string& b);
// A release older than this may no longer read today's sites.
inline constexpr int YtDlpStaleDays = 30;
// True when the version's date lies more than days before now, or when the
// version cannot be read.
bool YtDlpIsOlderThan(const std::string& version, int days, std::chrono::system_clock::time_point now);

// The managed copy's folder: $XDG_DATA_HOME/orvane-video-joiner/yt-dlp/
// (~/.local/share when unset), with a trailing separator.
std::string ManagedYtDlpFolder();
// In the folder, "yt-dlp" is a link to the file of the copy in use,
// "yt-dlp-VERSION": what it points at, when that is an executable file.
TYtDlpCopy ManagedYtDlpCopy(const std::string& folder);
// The managed copy when it is newer than the system's or the system's
// version is not known; else the system's.
TYtDlpCopy ChooseYtDlpCopy(const TYtDlpCopy& managed, const TYtDlpCopy& system);

// A JavaScript runtime that yt-dlp can use for sites that need one.
struct TJsRuntime {
    std::string Name;  // yt-dlp's name for it: deno, node, quickjs, bun
    std::string Path;
};
// The runtimes found on PATH, in yt-dlp's order of preference.
std::vector<TJsRuntime> FindJsRuntimes();
// The options that tell yt-dlp of the version given where the runtimes are;
// none for a release from before yt-dlp took them.
std::vector<std::string> YtDlpRuntimeArguments(const std::string& version, const std::vector<TJsRuntime>& runtimes);
// "node (/usr/bin/node), deno (...)" or "none".
std::string JsRuntimesText(const std::vector<TJsRuntime>& runtimes);

// Runs "PROGRAM --version" and reports the version it printed.
class TYtDlpVersionCheck {
public:
    explicit TYtDlpVersionCheck(IDispatcher& dispatcher);
    ~TYtDlpVersionCheck();
    TYtDlpVersionCheck(const TYtDlpVersionCheck&) = delete;
    TYtDlpVersionCheck& operator=(const TYtDlpVersionCheck&) = delete;

    // The version, or an empty one with the reason in plain words.
    std::function<void(const std::string& version, const std::string& error)> OnDone;
    // False when the program could not be started (error says why); no
    // event follows then.
    bool Start(const std::string& program, std::string& error);
    // Ends the program; OnDone follows with "cancelled".
    void Cancel();
    bool Running() const { return child_.Running(); }
    // A program that does not answer within this is ended.
    std::chrono::milliseconds Timeout{60000};

private:
    void Ended(const TChildExit& exit);

    TChildProcess child_;
    TDelayedCall timer_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::string firstOut_, firstErr_;
    bool timedOut_ = false, cancelled_ = false;
};

// Asks the program for its version and waits for the answer, running the
// dispatcher's work meanwhile; empty when it gave none. For the command line.
std::string WaitForYtDlpVersion(IDispatcher& dispatcher, const std::string& program);
// The copy to use, with the system copy's version asked for and waited for.
TYtDlpCopy LocateYtDlpCopy(IDispatcher& dispatcher, const std::string& managedFolder);
