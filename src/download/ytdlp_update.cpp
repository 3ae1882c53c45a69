#include "ytdlp_update.h"

#include "ov_version.h"
#include "util_funcs.h"

#include <dirent.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {
constexpr char kLinkName[] = "yt-dlp";
constexpr char kNewLinkName[] = ".yt-dlp.link-new";
constexpr char kLockName[] = "lock";
constexpr char kCopyPrefix[] = "yt-dlp-";
constexpr char kPartPrefix[] = ".yt-dlp.part-";
// A hidden file older than this belongs to no running update.
constexpr time_t kStalePartSeconds = 3600;

std::string Errno() { return std::strerror(errno); }

bool IsWebBase(const std::string& url) {
    const std::string lower = LowerCase(url.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

// The whole bytes into the file, on the disk before it gets its name.
bool WriteAll(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    const bool ok = ::fchmod(fd, 0755) == 0 && ::fsync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return ok;
}

// Holds the folder's lock file for as long as it lives.
class TFolderLock {
public:
    explicit TFolderLock(const std::string& folder) {
        fd_ = ::open((folder + kLockName).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        // The critical part is a few renames: the wait is short.
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~TFolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Removes the copies other than the two named, and hidden files that no
// running update can own any more. Called with the lock held.
void RemoveOldCopies(const std::string& folder, const std::string& keep1, const std::string& keep2) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const time_t now = std::time(nullptr);
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        const std::string path = folder + name;
        if (name.starts_with(kCopyPrefix)) {
            if (name != keep1 && name != keep2) ::unlink(path.c_str());
        } else if (name.starts_with(kPartPrefix)) {
            struct stat st{};
            if (::lstat(path.c_str(), &st) == 0 && now - st.st_mtime > kStalePartSeconds) ::unlink(path.c_str());
        }
    }
    ::closedir(dir);
}
}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1) return {};
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

std::string ChecksumFor(std::string_view sumsText, std::string_view fileName) {
    for (std::string line : SplitText(sumsText, "\n")) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t space = line.find(' ');
        if (space != 64) continue;
        std::string name = line.substr(space);
        // "HASH  NAME" (text mode) or "HASH *NAME" (binary mode).
        if (name.starts_with("  ") || name.starts_with(" *")) name = name.substr(2);
        else continue;
        if (name != fileName) continue;
        const std::string hash = LowerCase(line.substr(0, 64));
        if (hash.find_first_not_of("0123456789abcdef") == std::string::npos) return hash;
    }
    return {};
}

TYtDlpUpdateResult InstallYtDlpCopy(const std::string& folder, THiddenFile& file, const std::string& version) {
    const std::string dir = IncludeTrailingSeparator(folder);
    TYtDlpUpdateResult result;
    result.Version = version;
    const TFolderLock lock(dir);
    if (!lock.Held()) {
        result.Message = "the folder \"" + dir + "\" cannot be locked: " + Errno();
        return result;
    }
    const TYtDlpCopy now = ManagedYtDlpCopy(dir);
    if (!now.Empty() && CompareYtDlpVersions(now.Version, version) >= 0) {
        file.Discard();
        result.Outcome = TYtDlpUpdateOutcome::uoUpToDate;
        result.Installed = now;
        result.Message = "yt-dlp " + now.Version + " is already installed";
        return result;
    }
    const std::string path = file.Commit(dir, kCopyPrefix + version, "");
    if (path.empty()) {
        result.Message = "the file cannot be saved in \"" + dir + "\": " + Errno();
        return result;
    }
    const std::string name = ExtractFileName(path);
    // The link is made under a name of its own and renamed over the old one:
    // "yt-dlp" always points at a whole copy.
    const std::string newLink = dir + kNewLinkName;
    ::unlink(newLink.c_str());
    if (::symlink(name.c_str(), newLink.c_str()) != 0 || ::rename(newLink.c_str(), (dir + kLinkName).c_str()) != 0) {
        result.Message = "the new copy cannot be switched in: " + Errno();
        ::unlink(newLink.c_str());
        ::unlink(path.c_str());
        return result;
    }
    SyncFolder(dir);
    RemoveOldCopies(dir, name, now.Empty() ? std::string() : ExtractFileName(now.Path));
    result.Outcome = TYtDlpUpdateOutcome::uoInstalled;
    result.Installed = {path, version};
    result.Message = "yt-dlp " + version + " is installed (" + path + ")";
    return result;
}

TYtDlpUpdate::TYtDlpUpdate(IDispatcher& dispatcher)
    : dispatcher_(dispatcher), sums_(dispatcher), release_(dispatcher), check_(dispatcher) {
    const std::string agent = std::string("Orvane Video Joiner/") + OvVersion;
    for (TWinHTTP* http : {&sums_, &release_}) {
        http->Agent = agent;
        http->AcceptTypes = "*/*";
        http->OnAborted = [this](TCustomWinHTTP*) { Finish(TYtDlpUpdateOutcome::uoCancelled, "Cancelled"); };
    }
    sums_.MaxBodySize = MaxYtDlpSumsBytes;
    sums_.OnDone = [this](TCustomWinHTTP*, const std::string&, int64_t, TStream* stream) { SumsFetched(stream); };
    sums_.OnAnyError = [this](TCustomWinHTTP*) { TransferFailed(sums_, YtDlpSumsFileName); };
    release_.MaxBodySize = MaxYtDlpReleaseBytes;
    release_.TransferBufferSize = 64 * 1024;
    release_.OnProgress = [this](TCustomWinHTTP*, const std::string&, int64_t size, int64_t read, int64_t, int64_t,
                                 uint8_t, float, TStream*) {
        if (running_ && OnProgress) OnProgress(read, size);
    };
    release_.OnDone = [this](TCustomWinHTTP*, const std::string&, int64_t, TStream* stream) { ReleaseFetched(stream); };
    release_.OnAnyError = [this](TCustomWinHTTP*) { TransferFailed(release_, YtDlpReleaseFileName); };
    check_.OnDone = [this](const std::string& version, const std::string& error) { Verified(version, error); };
}

TYtDlpUpdate::~TYtDlpUpdate() {
    running_ = false;
    for (TWinHTTP* http : {&sums_, &release_}) {
        http->OnAborted = nullptr;
        http->OnAnyError = nullptr;
        http->OnDone = nullptr;
        http->OnProgress = nullptr;
    }
    check_.OnDone = nullptr;
}

bool TYtDlpUpdate::Start(const std::string& releaseUrl, const std::string& folder, const TYtDlpCopy& current) {
    LastErrorMessage.clear();
    if (running_) {
        LastErrorMessage = "an update of yt-dlp is already under way";
        return false;
    }
    if (!IsWebBase(releaseUrl)) {
        LastErrorMessage = "the release address \"" + releaseUrl + "\" is neither http nor https";
        return false;
    }
    if (!ForceDirectories(folder)) {
        LastErrorMessage = "the folder \"" + folder + "\" cannot be made: " + Errno();
        return false;
    }
    base_ = releaseUrl.ends_with('/') ? releaseUrl : releaseUrl + "/";
    folder_ = IncludeTrailingSeparator(folder);
    current_ = current;
    expected_.clear();
    version_.clear();
    cancelled_ = false;
    running_ = true;
    if (OnStep) OnStep(std::string("Fetching ") + YtDlpSumsFileName);
    sums_.URL = base_ + YtDlpSumsFileName;
    if (cancelled_ || !sums_.Read(false)) {
        running_ = false;
        LastErrorMessage = cancelled_ ? "cancelled" : "the transfer is busy";
        return false;
    }
    return true;
}

void TYtDlpUpdate::Cancel() {
    if (!running_ || cancelled_) return;
    cancelled_ = true;
    if (sums_.Busy()) sums_.Abort(false, false);
    if (release_.Busy()) release_.Abort(false, false);
    if (check_.Running()) check_.Cancel();
    // Between steps no event would come: a posted step sees the flag.
}

void TYtDlpUpdate::Post(void (TYtDlpUpdate::*step)()) {
    std::weak_ptr<int> alive = alive_;
    dispatcher_.post([this, alive, step] {
        if (alive.expired() || !running_) return;
        if (cancelled_) return Finish(TYtDlpUpdateOutcome::uoCancelled, "Cancelled");
        (this->*step)();
    });
}

void TYtDlpUpdate::SumsFetched(TStream* stream) {
    if (!running_) return;
    const std::string text = stream ? (stream->SetPosition(0), stream->ReadToEnd()) : std::string();
    expected_ = ChecksumFor(text, YtDlpReleaseFileName);
    if (expected_.empty())
        return Finish(TYtDlpUpdateOutcome::uoFailed,
                      std::string(YtDlpSumsFileName) + " at \"" + sums_.URL + "\" has no checksum of " +
                          YtDlpReleaseFileName);
    // The next transfer starts after this one has finished its completion step.
    Post(&TYtDlpUpdate::FetchRelease);
}

void TYtDlpUpdate::FetchRelease() {
    if (OnStep) OnStep(std::string("Fetching ") + YtDlpReleaseFileName);
    if (cancelled_) return Finish(TYtDlpUpdateOutcome::uoCancelled, "Cancelled");
    release_.URL = base_ + YtDlpReleaseFileName;
    if (!release_.Read(false)) Finish(TYtDlpUpdateOutcome::uoFailed, "the transfer is busy");
}

void TYtDlpUpdate::ReleaseFetched(TStream* stream) {
    if (!running_) return;
    if (cancelled_) return Finish(TYtDlpUpdateOutcome::uoCancelled, "Cancelled");
    const std::string bytes = stream ? (stream->SetPosition(0), stream->ReadToEnd()) : std::string();
    if (Sha256Hex(bytes) != expected_)
        return Finish(TYtDlpUpdateOutcome::uoFailed,
                      "the file fetched (" + std::to_string(bytes.size()) + " bytes) does not match its checksum in " +
                          YtDlpSumsFileName + ": it is damaged or incomplete");
    if (OnStep) OnStep("Checking the new yt-dlp");
    if (cancelled_) return Finish(TYtDlpUpdateOutcome::uoCancelled, "Cancelled");
    if (!file_.Create(folder_ + YtDlpReleaseFileName) || !WriteAll(file_.Path(), bytes))
        return Finish(TYtDlpUpdateOutcome::uoFailed, "the file cannot be written into \"" + folder_ + "\": " + Errno());
    std::string error;
    if (!check_.Start(file_.Path(), error))
        Finish(TYtDlpUpdateOutcome::uoFailed, "the file fetched does not run: " + error);
}

void TYtDlpUpdate::Verified(const std::string& version, const std::string& error) {
    if (!running_) return;
    if (cancelled_) return Finish(TYtDlpUpdateOutcome::uoCancelled, "Cancelled");
    version_ = version;
    if (version.empty()) return Finish(TYtDlpUpdateOutcome::uoFailed, "the file fetched does not run: " + error);
    if (!current_.Empty() && !current_.Version.empty()) {
        const int order = CompareYtDlpVersions(version, current_.Version);
        if (order == 0)
            return Finish(TYtDlpUpdateOutcome::uoUpToDate, "yt-dlp " + version + " in use is the latest release");
        if (order < 0)
            return Finish(TYtDlpUpdateOutcome::uoOlder, "the release offered, yt-dlp " + version +
                                                            ", is older than the one in use: it was not installed");
    }
    if (OnStep) OnStep("Installing yt-dlp " + version);
    if (cancelled_) return Finish(TYtDlpUpdateOutcome::uoCancelled, "Cancelled");
    TYtDlpUpdateResult result = InstallYtDlpCopy(folder_, file_, version);
    running_ = false;
    file_.Discard();
    if (result.Outcome == TYtDlpUpdateOutcome::uoFailed)
        result.Message = "yt-dlp was not updated: " + result.Message + KeptText();
    if (OnDone) OnDone(result);
}

void TYtDlpUpdate::TransferFailed(TWinHTTP& http, const char* what) {
    if (!running_) return;
    if (cancelled_) return Finish(TYtDlpUpdateOutcome::uoCancelled, "Cancelled");
    Finish(TYtDlpUpdateOutcome::uoFailed,
           std::string("cannot fetch ") + what + " from \"" + http.URL + "\": " + http.LastErrorMessage);
}

std::string TYtDlpUpdate::KeptText() const {
    if (current_.Empty()) return {};
    return ". yt-dlp " + (current_.Version.empty() ? std::string() : current_.Version + " ") + "(" + current_.Path +
           ") stays in use";
}

void TYtDlpUpdate::Finish(TYtDlpUpdateOutcome outcome, const std::string& message) {
    if (!running_) return;
    running_ = false;
    check_.Cancel();
    file_.Discard();
    TYtDlpUpdateResult result;
    result.Outcome = outcome;
    result.Version = version_;
    result.Message = outcome == TYtDlpUpdateOutcome::uoFailed ? "yt-dlp was not updated: " + message + KeptText()
                                                                : message;
    if (OnDone) OnDone(result);
}
