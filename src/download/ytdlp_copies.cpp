#include "ytdlp_copies.h"

#include "dispatcher.h"
#include "util_funcs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {
// The first release that takes --js-runtimes.
constexpr char kFirstWithRuntimes[] = "2025.11.12";
constexpr char kLinkName[] = "yt-dlp";
constexpr char kCopyPrefix[] = "yt-dlp-";

bool IsExecutableFile(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string FirstLine(const std::string& text) { return Trim(text.substr(0, text.find('\n'))); }
}  // namespace

std::optional<std::vector<int64_t>> ParseYtDlpVersion(const std::string& text) {
    if (text.empty() || text.size() > 40) return std::nullopt;
    std::vector<int64_t> parts;
    for (const std::string& piece : SplitText(text, ".")) {
        if (piece.empty() || piece.size() > 12) return std::nullopt;
        if (!std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        parts.push_back(std::stoll(piece));
    }
    // A dot at the end leaves no empty last piece: refuse it here.
    if (text.back() == '.' || parts.size() < 3 || parts.size() > 6 || parts[0] < 2000 || parts[0] > 9999)
        return std::nullopt;
    return parts;
}

int CompareYtDlpVersions(const std::string& a, const std::string& b) {
    const auto pa = ParseYtDlpVersion(a), pb = ParseYtDlpVersion(b);
    if (!pa || !pb) return (pa ? 1 : 0) - (pb ? 1 : 0);
    if (*pa == *pb) return 0;
    return *pa < *pb ? -1 : 1;
}

bool YtDlpIsOlderThan(const std::string& version, int days, std::chrono::system_clock::time_point now) {
    using namespace std::chrono;
    const auto parts = ParseYtDlpVersion(version);
    if (!parts) return true;
    const year_month_day date{year(static_cast<int>((*parts)[0])), month(static_cast<unsigned>((*parts)[1])),
                              day(static_cast<unsigned>((*parts)[2]))};
    if (!date.ok()) return true;
    return sys_days(date) + std::chrono::days(days) < floor<std::chrono::days>(now);
}

std::string ManagedYtDlpFolder() {
    std::string base;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/') {
        base = x;
    } else {
        const char* home = std::getenv("HOME");
        base = IncludeTrailingSeparator(home && *home ? home : "/") + ".local/share";
    }
    return IncludeTrailingSeparator(base) + "orvane-video-joiner/yt-dlp/";
}

TYtDlpCopy ManagedYtDlpCopy(const std::string& folder) {
    const std::string dir = IncludeTrailingSeparator(folder);
    char target[PATH_MAX];
    const ssize_t n = ::readlink((dir + kLinkName).c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    const std::string name(target, static_cast<size_t>(n));
    // Only a file of this folder that the update put there.
    if (name.find('/') != std::string::npos || !name.starts_with(kCopyPrefix)) return {};
    // "yt-dlp-VERSION", or "yt-dlp-VERSION(n)" when that name was taken.
    std::string version = name.substr(std::strlen(kCopyPrefix));
    version = version.substr(0, version.find('('));
    if (!ParseYtDlpVersion(version) || !IsExecutableFile(dir + name)) return {};
    return {dir + name, version};
}

TYtDlpCopy ChooseYtDlpCopy(const TYtDlpCopy& managed, const TYtDlpCopy& system) {
    if (managed.Empty()) return system;
    if (system.Empty() || system.Version.empty()) return managed;
    return CompareYtDlpVersions(managed.Version, system.Version) > 0 ? managed : system;
}

std::vector<TJsRuntime> FindJsRuntimes() {
    std::vector<TJsRuntime> found;
    const std::pair<const char*, const char*> candidates[] = {
        {"deno", "deno"}, {"node", "node"}, {"node", "nodejs"}, {"quickjs", "qjs"}, {"bun", "bun"}};
    for (const auto& [name, program] : candidates) {
        const std::string runtime = name;  // a lambda cannot take a structured binding in every compiler
        if (std::any_of(found.begin(), found.end(), [&](const TJsRuntime& r) { return r.Name == runtime; })) continue;
        const std::string path = FindProgram(program);
        if (!path.empty()) found.push_back({name, path});
    }
    return found;
}

std::vector<std::string> YtDlpRuntimeArguments(const std::string& version, const std::vector<TJsRuntime>& runtimes) {
    std::vector<std::string> args;
    if (CompareYtDlpVersions(version, kFirstWithRuntimes) < 0) return args;
    for (const TJsRuntime& r : runtimes) {
        args.push_back("--js-runtimes");
        args.push_back(r.Name + ":" + r.Path);
    }
    return args;
}

std::string JsRuntimesText(const std::vector<TJsRuntime>& runtimes) {
    std::string text;
    for (const TJsRuntime& r : runtimes) text += (text.empty() ? "" : ", ") + r.Name + " (" + r.Path + ")";
    return text.empty() ? "none" : text;
}

TYtDlpVersionCheck::TYtDlpVersionCheck(IDispatcher& dispatcher) : child_(dispatcher), timer_(dispatcher) {
    child_.OnLine = [this](TChildStream stream, const std::string& line) {
        std::string& first = stream == TChildStream::csOut ? firstOut_ : firstErr_;
        if (first.empty()) first = Trim(line);
    };
    child_.OnExit = [this](const TChildExit& exit) { Ended(exit); };
}

TYtDlpVersionCheck::~TYtDlpVersionCheck() { timer_.Cancel(); }

bool TYtDlpVersionCheck::Start(const std::string& program, std::string& error) {
    firstOut_.clear();
    firstErr_.clear();
    timedOut_ = cancelled_ = false;
    if (!child_.Start(program, {"--ignore-config", "--version"}, {}, {}, error)) return false;
    std::weak_ptr<int> alive = alive_;
    timer_.Schedule(Timeout, [this, alive] {
        if (alive.expired() || !child_.Running()) return;
        timedOut_ = true;
        child_.Kill();
    });
    return true;
}

void TYtDlpVersionCheck::Cancel() {
    if (!child_.Running()) return;
    cancelled_ = true;
    child_.Kill();
}

void TYtDlpVersionCheck::Ended(const TChildExit& exit) {
    timer_.Cancel();
    std::string version, error;
    if (cancelled_) {
        error = "cancelled";
    } else if (timedOut_) {
        error = "it did not answer \"--version\" within " + std::to_string(Timeout.count() / 1000) + " seconds";
    } else if (!exit.Succeeded()) {
        error = exit.Signal != 0 ? "it was ended by signal " + std::to_string(exit.Signal)
                                 : "it ended with exit status " + std::to_string(exit.ExitCode);
        if (!firstErr_.empty()) error += ": " + FirstLine(firstErr_);
    } else if (!ParseYtDlpVersion(firstOut_)) {
        error = "it answered \"--version\" with \"" + firstOut_.substr(0, 80) + "\", which is no version";
    } else {
        version = firstOut_;
    }
    if (OnDone) OnDone(version, error);
}

std::string WaitForYtDlpVersion(IDispatcher& dispatcher, const std::string& program) {
    TYtDlpVersionCheck check(dispatcher);
    std::string version;
    bool done = false;
    check.OnDone = [&](const std::string& v, const std::string&) {
        version = v;
        done = true;
    };
    std::string error;
    if (!check.Start(program, error)) return {};
    TWaitable queued;
    queued.WaitUntil(&dispatcher, [&] { return done; });
    return version;
}

TYtDlpCopy LocateYtDlpCopy(IDispatcher& dispatcher, const std::string& managedFolder) {
    TYtDlpCopy system{FindProgram("yt-dlp"), {}};
    if (!system.Empty()) system.Version = WaitForYtDlpVersion(dispatcher, system.Path);
    return ChooseYtDlpCopy(ManagedYtDlpCopy(managedFolder), system);
}
