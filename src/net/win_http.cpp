#include "win_http.h"

#include "http_headers.h"

#include "util_funcs.h"

#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <thread>

namespace {

int64_t TickMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void EnsureCurlGlobal() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsStatusOk(int status) { return status == 200 || status == 206; }

}  // namespace

// ------------------------------------------------------------------ helpers

bool SetFileAttributes(const std::string& fileName, TWinHTTPFileAttributes attributes) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (attributes.Contains(atrReadOnly))
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    return ::chmod(fileName.c_str(), mode) == 0;
}

void TWinHTTPOutputFileAttributes::SetComplete(TWinHTTPFileAttributes value) {
    if (value == complete_) return;
    complete_ = value;
    if (OnChange) OnChange();
}

void TWinHTTPOutputFileAttributes::SetIncomplete(TWinHTTPFileAttributes value) {
    if (value == incomplete_) return;
    incomplete_ = value;
    if (OnChange) OnChange();
}

void TWinHTTPOutputFileAttributes::Assign(const TWinHTTPOutputFileAttributes* source) {
    const TWinHTTPOutputFileAttributes defaults;
    const auto& from = source ? *source : defaults;
    SetComplete(from.complete_);
    SetIncomplete(from.incomplete_);
}

std::string WinHTTPStatusText(int statusCode) {
    switch (statusCode) {
        case 10: return "Resolving name";
        case 11: return "Name resolved";
        case 20: return "Connecting to server";
        case 21: return "Connected";
        case 30: return "Sending Request";
        case 31: return "Request sent";
        case 40: return "Receiving response";
        case 41: return "Response received";
        case 42: return "CTL Response received";
        case 43: return "Prefetch";
        case 50: return "Closing connection";
        case 51: return "Connection closed";
        case 60: return "Handle created";
        case 70: return "Handle closing";
        case 100: return "Request complete";
        case 110: return "Redirect";
        case 120: return "Intermediate response";
        case 200: return "State change";
        default: return "Unknown status";
    }
}

TWinHTTPProgressFigures ComputeProgress(int64_t fileSize, int64_t bytesRead, int64_t startPosition,
                                        int64_t elapsedMs) {
    TWinHTTPProgressFigures f;
    const long double denominator = static_cast<long double>(fileSize) + startPosition;
    if (denominator > 0) {
        // nearbyint rounds half to even in the default rounding mode.
        const long double pct = std::nearbyint(100.0L * (static_cast<long double>(bytesRead) + startPosition) /
                                               denominator);
        f.PercentsDone = static_cast<uint8_t>(static_cast<uint64_t>(pct) & 0xFF);
    }
    f.ElapsedTime = elapsedMs < 0 ? 0 : elapsedMs / 1000;
    // Unknown size (or nothing read yet) gives no estimate rather than minus
    // the elapsed time; more bytes than announced gives none either.
    if (fileSize > 0 && bytesRead > 0) {
        const long double total =
            std::nearbyint(static_cast<long double>(fileSize) / bytesRead * f.ElapsedTime);
        f.EstimatedTimeLeft = std::max<int64_t>(0, static_cast<int64_t>(total) - f.ElapsedTime);
    }
    f.TransferRate = static_cast<float>(bytesRead / 1024.0);
    if (f.ElapsedTime != 0) f.TransferRate = static_cast<float>(bytesRead / 1024.0 / f.ElapsedTime);
    return f;
}

// --------------------------------------------------------------- transfer state

struct TCustomWinHTTP::Transfer : std::enable_shared_from_this<TCustomWinHTTP::Transfer> {
    TCustomWinHTTP* owner = nullptr;  // used only on the user-interface thread
    // Settings taken when Read accepted the transfer.
    std::string url, acceptTypes, agent, referer, postData, outputFileName, username, password;
    std::vector<std::string> addHeaders;
    bool post = false;
    TCacheOptions cacheOptions;
    TInternetOptions internetOptions;
    TWinHTTPFileAttributes complete, incomplete;
    TWinHTTPRange range;
    TWinHTTPTimeouts timeouts;
    TWinHTTPProxy proxy;
    int64_t bufferSize = 4096;
    int64_t maxBodySize = 0;
    int64_t minRate = 0;           // bytes per second
    int64_t minRateWindowMs = 0;
    bool hasProgress = false, hasHeaderInfo = false, hasPasswordRequest = false, hasProxyAuth = false;
    TWinHTTPBeforeSendRequest onBeforeSendRequest;
    TWinHTTPRedirected onRedirected;
    TWinHTTPStatusEvent onStatus;

    // Run state: written by the worker, read on the user-interface thread
    // only while the worker waits in Synchronize or after it has ended.
    TUrlParts parts;
    int status = -1;
    std::string contentType, contentLanguage, contentEncoding, location, etag, rawHeaders;
    TDateTime date = 0, lastModified = 0, expires = 0;
    int64_t fileSize = 0;
    // Also read by a progress step while the worker reads on.
    std::atomic<int64_t> bytesRead{0};
    std::atomic<bool> progressPending{false};
    uint64_t startPosition = 0, endPosition = 0;
    int64_t startTick = 0;
    int writeErrno = 0;  // a failed write to the output file (disk full, ...)
    bool success = false, tryAgain = false, continueDownload = true, uploading = false;
    bool bodyTooLarge = false;
    bool stalled = false;  // the server sent nothing for the receive time-out
    bool tooSlow = false;  // the body came slower than minRate
    std::string failure;   // why no status came, in plain words
    std::atomic<bool> outputFileOpened{false};
    // Guards the data stream (the memory body's bytes, the stream object)
    // between the worker and a progress step running at the same time.
    std::mutex bodyMutex;
    std::unique_ptr<TStream> stream;
    TWinHTTPFileStream* file = nullptr;  // the stream when it is the output file
    // A file body is written in large blocks: the bytes not yet written, and
    // the file offset they go to. Worker only.
    std::vector<char> block;
    int64_t writeOffset = 0;
    dev_t fileDev = 0;
    ino_t fileIno = 0;
    std::atomic<bool> deleteOnAbort{false};
    std::atomic<bool> workerDone{false};

    // Deletes the output file only while the name still refers to the file
    // this transfer created, never a later transfer's file of the same name.
    void DeleteOwnOutputFile() {
        struct stat st {};
        if (outputFileName.empty() || ::stat(outputFileName.c_str(), &st) != 0) return;
        if (st.st_dev == fileDev && st.st_ino == fileIno) ::unlink(outputFileName.c_str());
    }
    // Writes bytes of a file body where they belong; false (writeErrno set)
    // when the file does not take them.
    bool WriteOut(const char* data, int64_t size) {
        errno = 0;
        const int64_t written = file->WriteAt(data, size, writeOffset);
        if (written != size) {
            // A short write without an error code: the disk is full.
            writeErrno = errno != 0 ? errno : ENOSPC;
            return false;
        }
        writeOffset += size;
        return true;
    }
    // Writes the pending block of a file body.
    bool FlushBlock() {
        if (!file || block.empty()) return true;
        const bool written = WriteOut(block.data(), static_cast<int64_t>(block.size()));
        block.clear();
        return written;
    }
    // Clean-up of the transfer's own resources (completion step 5). What
    // arrived is written to a kept file first.
    void FreeStream() {
        std::lock_guard<std::mutex> lock(bodyMutex);
        if (file) {
            FlushBlock();
            file->Close();
            if (!(incomplete == TWinHTTPFileAttributes{atrArchive})) SetFileAttributes(outputFileName, incomplete);
        }
        file = nullptr;
        block.clear();
        block.shrink_to_fit();
        stream.reset();
    }
    void Status(int code, const std::string& text = {}) {
        if (onStatus && !TEventWinThread::Current()->Abandoned())
            onStatus(owner, code, text.empty() ? WinHTTPStatusText(code) : text);
    }
};

namespace {

using Transfer = TCustomWinHTTP::Transfer;

constexpr uint32_t DefaultReceiveTimeoutMs = 60000;

// What the header callback decided about the response.
enum class After { Continue, Retry, Range416, EndRoutine, Restart, Abort };

struct CurlCallContext {
    Transfer* t = nullptr;
    TEventWinThread* thread = nullptr;
    CURL* easy = nullptr;
    bool follow = true;
    bool probeOnly = false;  // the 416 length probe: stop after the headers
    bool headersDone = false;
    bool readFailed = false;
    After after = After::Continue;
    std::vector<std::pair<std::string, std::string>> headers;  // of the current response
    int64_t probedLength = -1;
    int64_t sinceStep = 0;  // bytes of the read under way
    std::string refused;    // why the header callback stopped the transfer
    int64_t lastDataTick = 0;
    bool stalled = false;   // nothing came for the receive time-out
    bool tooSlow = false;   // the body came slower than the floor for a whole window
    int64_t rateTick = 0;   // start of the current rate window, 0 before the body
    int64_t rateBytes = 0;  // bytes of the body before that window
    bool aborted() const { return after == After::Abort; }
    bool Checkpoint() {
        if (thread->Terminated()) after = After::Abort;
        return aborted();
    }
    std::string Header(std::string_view name) const {
        const std::string lower = LowerCase(name);
        for (const auto& [n, v] : headers)
            if (n == lower) return v;
        return {};
    }
    bool HasHeader(std::string_view name) const {
        const std::string lower = LowerCase(name);
        for (const auto& h : headers)
            if (h.first == lower) return true;
        return false;
    }
};

}  // namespace

// ------------------------------------------------------------------ component

TCustomWinHTTP::TCustomWinHTTP(IDispatcher& dispatcher) : thread_(dispatcher) {
    thread_.OnExecute = [this](TEventWinThread& thread) { TransferRoutine(thread); };
    thread_.OnException = [this](TCustomWinThread*, std::exception_ptr) {
        if (OnAnyError && !destroying_) OnAnyError(this);
    };
    thread_.OnTerminate = [this](TCustomWinThread*) { CompletionStep(); };
    thread_.OnWaitTimeoutExpired = [this](TCustomWinThread*, bool& terminateThread) {
        if (OnWaitTimeoutExpired) OnWaitTimeoutExpired(this, terminateThread);
        if (terminateThread && current_) {
            // The worker is abandoned right after this; it frees its own
            // resources when it notices.
            current_->deleteOnAbort = false;
            busy_ = false;
            starting_ = false;
        }
    };
}

TCustomWinHTTP::~TCustomWinHTTP() {
    destroying_ = true;
    thread_.Stop(true);
    // Abandoned workers stop at their next checkpoint (curl polls at least
    // once a second); wait for them so that no worker-thread event can reach
    // this component after it is gone.
    for (auto& weak : workers_) {
        if (auto t = weak.lock()) {
            TCustomWinThread::WorkerEvents().WaitUntil(&thread_.Dispatcher(), [&] { return t->workerDone.load(); });
        }
    }
}

bool TCustomWinHTTP::Running() const { return thread_.Running(); }

bool TCustomWinHTTP::Read(bool ForceWait) { return ReadRange(0, 0, ForceWait); }

bool TCustomWinHTTP::ReadRange(uint64_t StartPosition, uint64_t EndPosition, bool ForceWait) {
    if (busy_.load(std::memory_order_acquire)) return false;
    starting_ = true;
    busy_ = true;

    auto t = std::make_shared<Transfer>();
    t->owner = this;
    t->url = URL;
    t->acceptTypes = AcceptTypes;
    t->agent = Agent;
    t->referer = Referer;
    t->postData = POSTData;
    t->outputFileName = OutputFileName;
    t->username = Username;
    t->password = Password;
    t->addHeaders = AddHeaders;
    t->post = RequestMethod == rmPOST || (RequestMethod == rmAutoDetect && !POSTData.empty());
    t->cacheOptions = CacheOptions;
    t->internetOptions = InternetOptions;
    t->complete = OutputFileAttributes.Complete();
    t->incomplete = OutputFileAttributes.Incomplete();
    t->range = Range;
    t->timeouts = Timeouts;
    t->proxy = Proxy;
    t->bufferSize = std::max<int64_t>(255, TransferBufferSize);
    t->maxBodySize = std::max<int64_t>(0, MaxBodySize);
    t->minRate = std::max<int64_t>(0, MinTransferRate);
    t->minRateWindowMs = std::max<int64_t>(0, MinTransferRateWindowMs);
    t->hasProgress = static_cast<bool>(OnProgress);
    t->hasHeaderInfo = static_cast<bool>(OnHeaderInfo);
    t->hasPasswordRequest = static_cast<bool>(OnPasswordRequest);
    t->hasProxyAuth = static_cast<bool>(OnProxyAuthenticationRequest);
    t->onBeforeSendRequest = OnBeforeSendRequest;
    t->onRedirected = OnRedirected;
    t->onStatus = OnStatus;
    t->startPosition = StartPosition;
    t->endPosition = EndPosition;
    current_ = t;
    workers_.erase(std::remove_if(workers_.begin(), workers_.end(), [](auto& w) { return w.expired(); }),
                   workers_.end());
    workers_.push_back(t);

    const bool oldWait = thread_.WaitThread;
    if (ForceWait) thread_.WaitThread = true;
    thread_.Data = t;
    const bool started = thread_.Start();
    thread_.Data.reset();
    thread_.WaitThread = oldWait;
    return started;
}

void TCustomWinHTTP::Abort(bool DeleteOutputFile, bool KillThread) {
    if (!Running()) return;
    if (current_) current_->deleteOnAbort = DeleteOutputFile;
    thread_.Stop(KillThread);
    if (KillThread) AbortCleanUpOnCaller();
}

void TCustomWinHTTP::CleanUpComponent(Transfer& t, bool deleteFile) {
    starting_ = false;
    busy_ = false;
    if (deleteFile && t.outputFileOpened) t.DeleteOwnOutputFile();
}

void TCustomWinHTTP::AbortCleanUpOnCaller() {
    // The abandoned worker frees its curl handle and stream itself; only the
    // component's part and the file happen here.
    auto t = current_;
    if (t) CleanUpComponent(*t, t->deleteOnAbort);
    if (!destroying_ && OnAborted) OnAborted(this);
}

// ------------------------------------------------------------ worker routine

namespace {

enum class Outcome { Done, Abort };

// Largest buffer a single read uses, whatever TransferBufferSize says.
constexpr int64_t kMaxReadBuffer = 16 << 20;
// A file body goes to the disk in writes of at least this size: small
// pieces are gathered first; the block stays small enough for the cache, so
// that the system's copy reads it from there.
constexpr size_t kFileBlockBytes = 256 << 10;

// The progress step (user-interface thread), with the figures of the moment.
void ProgressStep(Transfer& t, const TEventWinThread& thread) {
    t.progressPending.store(false, std::memory_order_release);
    TCustomWinHTTP* o = t.owner;
    // After an Abort no progress is told any more.
    if (thread.Terminated() || !o->OnProgress) return;
    std::lock_guard<std::mutex> lock(t.bodyMutex);
    const int64_t bytesRead = t.bytesRead.load(std::memory_order_acquire);
    const auto f =
        ComputeProgress(t.fileSize, bytesRead, static_cast<int64_t>(t.startPosition), TickMs() - t.startTick);
    const int64_t start = static_cast<int64_t>(t.startPosition);
    // The handler may move a memory body's position; the next bytes still
    // land at the end. (A file body is written at explicit offsets.)
    TStream* memory = t.file ? nullptr : t.stream.get();
    const int64_t position = memory ? memory->Position() : 0;
    o->OnProgress(o, t.contentType, t.fileSize + start, bytesRead + start, f.ElapsedTime, f.EstimatedTimeLeft,
                  f.PercentsDone, f.TransferRate, t.stream.get());
    if (memory) memory->SetPosition(position);
}

// Received bytes into the data stream. False stops reading.
bool WriteBytes(Transfer& t, const char* data, int64_t size, bool& readFailed) {
    if (t.file) {
        bool written = true;
        if (t.block.empty() && static_cast<size_t>(size) >= kFileBlockBytes) {
            written = t.WriteOut(data, size);  // large enough as it came: no second copy
        } else {
            t.block.insert(t.block.end(), data, data + size);
            if (t.block.size() >= kFileBlockBytes) written = t.FlushBlock();
        }
        if (!written) {
            readFailed = true;
            return false;
        }
    } else {
        if (t.maxBodySize > 0 && t.bytesRead.load(std::memory_order_relaxed) + size > t.maxBodySize) {
            t.bodyTooLarge = true;
            readFailed = true;
            return false;
        }
        try {
            std::lock_guard<std::mutex> lock(t.bodyMutex);
            t.stream->Write(data, size);
        } catch (const std::bad_alloc&) {
            readFailed = true;
            return false;
        }
    }
    t.bytesRead.fetch_add(size, std::memory_order_release);
    return true;
}

// A read has ended: ask for a progress step unless one is still waiting for
// the user-interface thread.
void ReportRead(Transfer& t, TEventWinThread& thread) {
    if (!t.hasProgress || t.progressPending.exchange(true, std::memory_order_acq_rel)) return;
    thread.Queue([self = t.shared_from_this(), &thread] { ProgressStep(*self, thread); });
}

// One read of the local file: write it, count it and report it.
bool TakeChunk(Transfer& t, TEventWinThread& thread, const char* data, int64_t size, bool& readFailed) {
    if (!WriteBytes(t, data, size, readFailed)) return false;
    ReportRead(t, thread);
    return true;
}

// Data phase: the output file for a good status, else a memory body.
After OpenDataStream(Transfer& t) {
    if (IsStatusOk(t.status) && !t.outputFileName.empty()) {
        auto file = std::make_unique<TWinHTTPFileStream>(t.outputFileName, t.startPosition == 0);
        if (file->IsOpen()) {
            const auto start = static_cast<int64_t>(t.startPosition);
            if (start != 0 && file->Seek(start, soBeginning) != start) {
                t.status = -1;
                return After::Restart;
            }
            struct stat st {};
            if (::fstat(file->Handle(), &st) == 0) {
                t.fileDev = st.st_dev;
                t.fileIno = st.st_ino;
            }
            if (!(t.incomplete == TWinHTTPFileAttributes{atrArchive})) SetFileAttributes(t.outputFileName, t.incomplete);
            t.writeOffset = start;
            t.block.reserve(kFileBlockBytes + static_cast<size_t>(std::min(t.bufferSize, kMaxReadBuffer)));
            std::lock_guard<std::mutex> lock(t.bodyMutex);
            t.file = file.get();
            t.stream = std::move(file);
            t.outputFileOpened = true;
            return After::Continue;
        }
        if (t.success) {  // no stream: OnOutputFileError
            t.failure = "the file cannot be created: " + std::string(std::strerror(errno));
            return After::EndRoutine;
        }
        std::lock_guard<std::mutex> lock(t.bodyMutex);
        t.stream = std::make_unique<TMemoryStream>();
        return After::Continue;
    }
    if (t.maxBodySize > 0 && t.success && t.fileSize > t.maxBodySize) {
        // Announced too large for memory: not one byte of it is read.
        t.bodyTooLarge = true;
        return After::EndRoutine;
    }
    auto memory = std::make_unique<TMemoryStream>();
    if (t.success) {
        try {
            memory->Reserve(t.fileSize);
        } catch (const std::bad_alloc&) {
            // An announced size too big to reserve: grow as the data comes.
        }
    }
    std::lock_guard<std::mutex> lock(t.bodyMutex);
    t.stream = std::move(memory);
    return After::Continue;
}

Outcome FileRoutine(Transfer& t, TEventWinThread& thread) {
    const int fd = ::open(t.parts.path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        t.status = 404;
        t.fileSize = 0;
    } else {
        t.status = 200;
        uint64_t start = t.startPosition != 0 ? t.startPosition : t.range.StartRange;
        if (t.startPosition == 0 && start != 0) t.startPosition = start;
        if (start > static_cast<uint64_t>(st.st_size)) start = static_cast<uint64_t>(st.st_size);
        ::lseek(fd, static_cast<off_t>(start), SEEK_SET);
        // The part still to read, as a Content-Length would give it.
        t.fileSize = st.st_size - static_cast<int64_t>(start);
        t.success = true;
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) ::close(fd);
        }
    } closer{t.status == 200 ? fd : -1};

    if (thread.Terminated()) return Outcome::Abort;
    if (OpenDataStream(t) != After::Continue) return Outcome::Done;
    bool readFailed = false;
    if (closer.fd >= 0) {
        std::vector<char> buffer(static_cast<size_t>(std::min(t.bufferSize, kMaxReadBuffer)));
        t.bytesRead = 0;
        for (;;) {
            if (thread.Terminated()) return Outcome::Abort;
            const ssize_t n = ::read(closer.fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) readFailed = true;
            if (n <= 0) break;
            if (!TakeChunk(t, thread, buffer.data(), n, readFailed)) break;
        }
    }
    if (!t.FlushBlock()) readFailed = true;
    t.success = IsStatusOk(t.status) && !readFailed;
    if (t.success && t.fileSize != 0 && t.stream) t.success = t.bytesRead == t.fileSize;
    return Outcome::Done;
}

// ------------------------------------------------------------ libcurl glue

std::string RangeHeader(uint64_t start, uint64_t end) {
    std::string h = "RANGE: bytes=" + std::to_string(start) + "-";
    if (end != 0) h += std::to_string(end);
    return h;
}

curl_slist* BuildHeaders(const Transfer& t, bool fromZero) {
    curl_slist* list = nullptr;
    auto add = [&](const std::string& line) {
        if (curl_slist* next = curl_slist_append(list, line.c_str())) list = next;
    };
    for (const auto& line : t.addHeaders)
        if (!Trim(line).empty()) add(line);
    if (fromZero)
        add(RangeHeader(0, 0));
    else if (t.startPosition != 0 || t.endPosition != 0)
        add(RangeHeader(t.startPosition, t.endPosition));
    else if (t.range.StartRange != 0 || t.range.EndRange != 0)
        add(RangeHeader(t.range.StartRange, t.range.EndRange));
    add("Accept: " + t.acceptTypes);
    if (t.cacheOptions.Contains(coPragmaNoCache)) add("Pragma: no-cache");
    if (t.cacheOptions.Contains(coAlwaysReload)) add("Cache-Control: no-cache");
    if (t.post) add("Content-Type: application/x-www-form-urlencoded");
    return list;
}

void ApplyCredentials(CURL* easy, const Transfer& t) {
    if (t.internetOptions.Contains(ioNoAuthentication)) return;
    const std::string& user = t.parts.userName.empty() ? t.username : t.parts.userName;
    const std::string& pass = t.parts.password.empty() ? t.password : t.parts.password;
    if (!user.empty() || !pass.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, pass.c_str());
    }
}

void ApplyProxy(CURL* easy, const Transfer& t) {
    const TWinHTTPProxy& p = t.proxy;
    switch (p.AccessType) {
        case atPreconfig:
            break;  // libcurl takes the proxy settings of the environment
        case atDirect:
            curl_easy_setopt(easy, CURLOPT_PROXY, "");
            break;
        case atUseProxy: {
            const std::string server = p.ProxyServer + ":" + std::to_string(p.ProxyPort);
            curl_easy_setopt(easy, CURLOPT_PROXY, server.c_str());
            if (!p.ProxyBypass.empty()) {
                std::string bypass = p.ProxyBypass;
                std::replace(bypass.begin(), bypass.end(), ';', ',');
                curl_easy_setopt(easy, CURLOPT_NOPROXY, bypass.c_str());
            }
            break;
        }
    }
    if (p.AccessType != atDirect && !p.ProxyUsername.empty() && !p.ProxyPassword.empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, p.ProxyUsername.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, p.ProxyPassword.c_str());
    }
}

// Only these two are ever requested or followed: a server must not make the
// program read local files or talk other protocols.
constexpr char kWebProtocols[] = "http,https";

uint32_t ReceiveTimeoutMs(const Transfer& t) {
    return t.timeouts.ReceiveTimeout != 0 ? t.timeouts.ReceiveTimeout : DefaultReceiveTimeoutMs;
}

// Why a request got no answer at all, in plain words.
std::string NoAnswerReason(CURLcode res, const Transfer& t) {
    if (t.stalled) res = CURLE_OPERATION_TIMEDOUT;
    switch (res) {
        case CURLE_OPERATION_TIMEDOUT:
            return "the server did not answer for " + std::to_string((ReceiveTimeoutMs(t) + 999) / 1000) +
                   " seconds";
        case CURLE_TOO_MANY_REDIRECTS:
            return "the server redirected too often (a redirect loop)";
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "the address is neither http nor https";
        case CURLE_COULDNT_RESOLVE_HOST:
            return "the host name \"" + t.parts.host + "\" is unknown";
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "the proxy's name is unknown";
        case CURLE_GOT_NOTHING:
            return "the server closed the connection without an answer";
        case CURLE_WEIRD_SERVER_REPLY:
            return "the server's answer is not HTTP";
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
            return std::string("the secure connection failed (") + curl_easy_strerror(res) + ")";
        case CURLE_COULDNT_CONNECT:
            return "the server could not be reached";
        default:
            return std::string("the server could not be reached (") + curl_easy_strerror(res) + ")";
    }
}

bool IsFollowedRedirect(long code) { return code == 301 || code == 302 || code == 303 || code == 307 || code == 308; }

std::string RedirectTarget(CURL* easy, const std::string& location) {
    char* base = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &base);
    return base ? AbsoluteLocation(std::string(base), location) : location;
}

// A status the transfer answers itself: a 401 or 407 the owner gives new
// credentials for (tried again), a 416 of a resumed download. True: the
// perform stops here, c.after says what follows.
bool StatusEndsPerform(CurlCallContext& c, long code) {
    Transfer& t = *c.t;
    TEventWinThread& thread = *c.thread;
    if (code == 401 && t.hasPasswordRequest) {
        const std::string realm = AuthRealm(c.Header("www-authenticate"));
        t.contentType = realm;
        bool tryAgain = false;
        thread.Synchronize([&] {
            TCustomWinHTTP* o = t.owner;
            o->OnPasswordRequest(o, realm, tryAgain);
            t.username = o->Username;
            t.password = o->Password;
            t.parts.userName.clear();
            t.parts.password.clear();
        });
        if (tryAgain) {
            c.after = After::Retry;
            return true;
        }
    } else if (code == 407 && t.hasProxyAuth) {
        bool tryAgain = false;
        thread.Synchronize([&] {
            TCustomWinHTTP* o = t.owner;
            o->OnProxyAuthenticationRequest(o, o->Proxy.ProxyUsername, o->Proxy.ProxyPassword, tryAgain);
            t.proxy.ProxyUsername = o->Proxy.ProxyUsername;
            t.proxy.ProxyPassword = o->Proxy.ProxyPassword;
        });
        if (tryAgain) {
            c.after = After::Retry;
            return true;
        }
    } else if (code == 416 && t.startPosition != 0) {
        c.after = After::Range416;
        return true;
    }
    return false;
}

// Type and length of the body; with header info asked for, the other headers
// through OnHeaderInfo. False: the owner does not want the body.
bool EntityHeaders(CurlCallContext& c) {
    Transfer& t = *c.t;
    t.contentType = c.Header("content-type");
    const std::string length = c.Header("content-length");
    const bool chunked = LowerCase(c.Header("transfer-encoding")).find("chunked") != std::string::npos;
    const int64_t value = ContentLength(length);
    t.success = !chunked && value >= 0;
    t.fileSize = t.success ? value : 0;
    if (!c.HasHeader("accept-ranges")) t.startPosition = 0;
    if (t.hasHeaderInfo) {
        t.contentLanguage = c.Header("content-language");
        t.contentEncoding = c.Header("content-encoding");
        t.location = c.Header("location");
        t.etag = c.Header("etag");
        t.date = ParseHttpDate(c.Header("date"));
        t.lastModified = ParseHttpDate(c.Header("last-modified"));
        t.expires = ParseHttpDate(c.Header("expires"));
        c.thread->Synchronize([&t] {
            TCustomWinHTTP* o = t.owner;
            o->OnHeaderInfo(o, t.status, t.rawHeaders, t.contentType, t.contentLanguage, t.contentEncoding,
                            t.fileSize + static_cast<int64_t>(t.startPosition), t.location, t.date, t.lastModified,
                            t.expires, t.etag, t.continueDownload);
        });
        if (!t.continueDownload) {
            c.after = After::EndRoutine;
            return false;
        }
    }
    return true;
}

// The final response's headers (steps 8 to 10). False stops the perform.
bool FinalHeaders(CurlCallContext& c, long code) {
    Transfer& t = *c.t;
    t.status = static_cast<int>(code);
    t.Status(41);
    if (c.probeOnly) {
        const std::string length = c.Header("content-length");
        c.probedLength = ContentLength(length);
        c.after = After::EndRoutine;
        return false;
    }
    if (StatusEndsPerform(c, code)) return false;
    if (c.Checkpoint() || !EntityHeaders(c) || c.Checkpoint()) return false;
    c.after = OpenDataStream(t);
    if (c.after != After::Continue) return false;
    t.bytesRead = 0;
    c.headersDone = true;
    c.rateTick = 0;  // the floor counts from the body's start
    return true;
}

size_t HeaderCallback(char* buffer, size_t size, size_t count, void* user) {
    auto& c = *static_cast<CurlCallContext*>(user);
    const size_t n = size * count;
    c.lastDataTick = TickMs();
    if (c.Checkpoint()) return 0;
    std::string_view line(buffer, n);
    if (line.substr(0, 5) == "HTTP/") {
        c.headers.clear();
        c.t->rawHeaders.clear();
    }
    c.t->rawHeaders.append(line);
    if (auto header = HeaderLine(line)) {
        c.headers.push_back(std::move(*header));
        return n;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (!line.empty()) return n;
    long code = 0;
    curl_easy_getinfo(c.easy, CURLINFO_RESPONSE_CODE, &code);
    if (code >= 100 && code < 200) return n;
    if (c.follow && IsFollowedRedirect(code) && c.HasHeader("location")) {
        const std::string location = RedirectTarget(c.easy, c.Header("location"));
        if (!IsWebAddress(location)) {
            c.refused = "the server redirected to an address that is neither http nor https: " + location;
            return 0;
        }
        if (c.t->onRedirected && !c.thread->Abandoned()) c.t->onRedirected(c.t->owner, location);
        c.t->Status(110);
        return n;
    }
    const bool go = FinalHeaders(c, code);
    c.lastDataTick = TickMs();  // a handler may have held the worker
    return go ? n : 0;
}

// A read is TransferBufferSize bytes, or less only at the end of the body.
// The bytes go to the stream as they come (no second copy); a completed read
// asks for a progress step.
size_t WriteCallback(char* data, size_t size, size_t count, void* user) {
    auto& c = *static_cast<CurlCallContext*>(user);
    const auto n = static_cast<int64_t>(size * count);
    c.lastDataTick = TickMs();
    if (!c.headersDone) return static_cast<size_t>(n);
    if (c.Checkpoint()) return 0;
    Transfer& t = *c.t;
    if (!WriteBytes(t, data, n, c.readFailed)) return 0;
    c.sinceStep += n;
    if (c.sinceStep >= t.bufferSize) {
        c.sinceStep %= t.bufferSize;
        ReportRead(t, *c.thread);
    }
    return static_cast<size_t>(n);
}

// The last, short read of a body.
bool FlushPending(CurlCallContext& c) {
    if (c.sinceStep == 0) return true;
    c.sinceStep = 0;
    if (c.Checkpoint()) return false;
    ReportRead(*c.t, *c.thread);
    return true;
}

// Called at least once a second: the checkpoint of a quiet connection, and
// the receive time-out (no byte at all for that long).
int XferInfoCallback(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto& c = *static_cast<CurlCallContext*>(user);
    if (c.Checkpoint()) return 1;
    const int64_t now = TickMs();
    if (now - c.lastDataTick > static_cast<int64_t>(ReceiveTimeoutMs(*c.t))) {
        c.stalled = true;
        return 1;
    }
    // A trickle is no better than silence: each window must bring the floor.
    const Transfer& t = *c.t;
    if (!c.headersDone || t.minRate <= 0 || t.minRateWindowMs <= 0) return 0;
    if (c.rateTick == 0) {
        c.rateTick = now;
        c.rateBytes = received;
    } else if (now - c.rateTick >= t.minRateWindowMs) {
        if ((received - c.rateBytes) * 1000 < t.minRate * (now - c.rateTick)) {
            c.tooSlow = true;
            return 1;
        }
        c.rateTick = now;
        c.rateBytes = received;
    }
    return 0;
}

struct EasyHandle {
    CURL* easy = curl_easy_init();
    curl_slist* headers = nullptr;
    ~EasyHandle() {
        if (easy) curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }
    void SetHeaders(curl_slist* list) {
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
        curl_slist_free_all(headers);
        headers = list;
    }
};

void SetupEasy(CURL* easy, const Transfer& t, CurlCallContext& c) {
    const TUrlParts& p = t.parts;
    const std::string url = p.scheme + "://" + p.host + ":" + std::to_string(p.port) + ObjectName(p);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, t.agent.c_str());
    if (!t.referer.empty()) curl_easy_setopt(easy, CURLOPT_REFERER, t.referer.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kWebProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kWebProtocols);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, c.follow ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
    if (!t.internetOptions.Contains(ioNoCookies)) curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    if (t.internetOptions.Contains(ioKeepConnection)) curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    if (t.internetOptions.Contains(ioIgnoreCertificateInvalid)) {
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (t.internetOptions.Contains(ioIgnoreUnknownCertificateAuthority))
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    if (t.timeouts.ConnectTimeout != 0)
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(t.timeouts.ConnectTimeout));
    ApplyProxy(easy, t);
    ApplyCredentials(easy, t);
    // Large network reads (a file body's block at least); the reads of
    // TransferBufferSize are counted off them.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE,
                     static_cast<long>(std::clamp<int64_t>(t.bufferSize, kFileBlockBytes, CURL_MAX_READ_SIZE)));
    if (t.post) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.postData.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, t.postData.c_str());
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &c);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &c);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, XferInfoCallback);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &c);
}

Outcome HttpRoutine(Transfer& t, TEventWinThread& thread) {
    EnsureCurlGlobal();
    for (;;) {  // connect (again)
        if (thread.Terminated()) return Outcome::Abort;
        EasyHandle h;
        if (!h.easy) return Outcome::Done;
        CurlCallContext c;
        c.t = &t;
        c.thread = &thread;
        c.easy = h.easy;
        c.follow = !t.internetOptions.Contains(ioNoAutoRedirect);
        SetupEasy(h.easy, t, c);
        h.SetHeaders(BuildHeaders(t, false));
        if (t.onBeforeSendRequest && !thread.Abandoned()) t.onBeforeSendRequest(t.owner, h.easy);

        bool reconnect = false;
        do {
            if (thread.Terminated()) return Outcome::Abort;
            t.tryAgain = false;
            c.after = After::Continue;
            c.headersDone = false;
            c.readFailed = false;
            c.headers.clear();
            c.sinceStep = 0;
            t.Status(30);
            c.lastDataTick = TickMs();
            c.stalled = c.tooSlow = false;
            const CURLcode res = curl_easy_perform(h.easy);
            if (c.aborted() || (res == CURLE_ABORTED_BY_CALLBACK && !c.stalled && !c.tooSlow)) return Outcome::Abort;
            t.stalled = t.stalled || c.stalled;
            t.tooSlow = t.tooSlow || c.tooSlow;
            switch (c.after) {
                case After::Retry:
                    t.tryAgain = true;
                    ApplyCredentials(h.easy, t);
                    ApplyProxy(h.easy, t);
                    break;
                case After::EndRoutine:
                    return Outcome::Done;
                case After::Restart:
                    reconnect = true;
                    break;
                case After::Range416: {
                    // Is the whole resource exactly what we already have?
                    h.SetHeaders(BuildHeaders(t, true));
                    c.probeOnly = true;
                    c.after = After::Continue;
                    curl_easy_perform(h.easy);
                    c.probeOnly = false;
                    if (c.aborted()) return Outcome::Abort;
                    if (IsStatusOk(t.status) && c.probedLength == static_cast<int64_t>(t.startPosition))
                        return Outcome::Done;
                    t.status = -1;
                    t.startPosition = 0;
                    reconnect = true;
                    break;
                }
                case After::Continue:
                case After::Abort:
                    if (!c.headersDone) {
                        t.status = -1;
                        t.failure = c.refused.empty() ? NoAnswerReason(res, t) : c.refused;
                        return Outcome::Done;
                    }
                    // What arrived before a failure is still written and counted.
                    if (!FlushPending(c)) return Outcome::Abort;
                    if (!t.FlushBlock()) c.readFailed = true;
                    if (res != CURLE_OK) c.readFailed = true;
                    t.success = IsStatusOk(t.status) && !c.readFailed;
                    if (t.success && t.fileSize != 0 && t.stream) t.success = t.bytesRead == t.fileSize;
                    return Outcome::Done;
            }
        } while (t.tryAgain && !reconnect);
        if (reconnect) {
            t.FreeStream();
            continue;
        }
    }
}

}  // namespace

void TCustomWinHTTP::TransferRoutine(TEventWinThread& thread) {
    auto t = std::static_pointer_cast<Transfer>(thread.Data());
    if (!t) return;
    struct Finally {
        Transfer& t;
        TEventWinThread& thread;
        ~Finally() {
            // An abandoned worker frees what it holds itself; the component
            // that abandoned it has already moved on.
            if (thread.Abandoned()) {
                t.FreeStream();
                if (t.deleteOnAbort && t.outputFileOpened) t.DeleteOwnOutputFile();
            }
            t.Status(70);
            t.workerDone = true;
            TCustomWinThread::WorkerEvents().Notify();
        }
    } finally{*t, thread};

    t->uploading = false;
    t->status = -1;
    t->contentType.clear();
    t->startTick = TickMs();
    t->continueDownload = true;
    t->parts = CrackUrl(CompleteUrl(t->url));
    if (thread.Terminated()) return WorkerAbort(*t, thread);

    Outcome outcome = Outcome::Done;
    if (t->parts.scheme == "file")
        outcome = FileRoutine(*t, thread);
    else if (t->parts.valid && (t->parts.scheme == "http" || t->parts.scheme == "https"))
        outcome = HttpRoutine(*t, thread);
    else if (!t->parts.valid)
        t->failure = "the address is not valid";
    else
        t->failure = "the address is neither http nor https";
    if (outcome == Outcome::Abort) WorkerAbort(*t, thread);
}

void TCustomWinHTTP::WorkerAbort(Transfer& t, TEventWinThread& thread) {
    t.FreeStream();
    if (t.deleteOnAbort && t.outputFileOpened) t.DeleteOwnOutputFile();
    // No completion step follows; OnAborted is the only event.
    thread.EndWithoutEvents();
    thread.Synchronize([this, &t] {
        CleanUpComponent(t, false);
        if (!destroying_ && OnAborted) OnAborted(this);
    });
}

namespace {
std::string ByteCount(int64_t bytes) {
    if (bytes >= 10 * 1048576) return std::to_string(bytes / 1048576) + " MB";
    if (bytes >= 10 * 1024) return std::to_string(bytes / 1024) + " KB";
    return std::to_string(bytes) + " bytes";
}

// The plain reason of a finished transfer's failure; empty for a success.
std::string FailureText(const Transfer& t) {
    const int64_t read = t.bytesRead.load();
    if (t.bodyTooLarge) return "the answer is larger than the " + ByteCount(t.maxBodySize) + " allowed";
    if (!t.continueDownload) return {};
    if (t.success) return t.stream ? std::string() : t.failure;
    if (t.writeErrno != 0) return "the file cannot be written: " + std::string(std::strerror(t.writeErrno));
    if (IsStatusOk(t.status)) {
        const std::string of = t.fileSize > 0 ? " of " + ByteCount(t.fileSize) : std::string();
        if (t.stalled)
            return "the server stopped sending after " + ByteCount(read) + of + " (nothing came for " +
                   std::to_string((ReceiveTimeoutMs(t) + 999) / 1000) + " seconds)";
        if (t.tooSlow)
            return "the server sent too slowly: " + ByteCount(read) + of + ", less than " + ByteCount(t.minRate) +
                   " a second for " + std::to_string((t.minRateWindowMs + 999) / 1000) + " seconds";
        return "the connection was lost after " + ByteCount(read) + of;
    }
    if (t.status == -1) return t.failure.empty() ? "the server could not be reached" : t.failure;
    return "the server answered with HTTP error " + std::to_string(t.status);
}
}  // namespace

void TCustomWinHTTP::CompletionStep() {
    auto t = current_;
    if (!t) return;
    bool cleaned = false;
    bool deleteFile = false;
    auto finish = [&] {
        if (cleaned) return;
        cleaned = true;
        t->FreeStream();
        CleanUpComponent(*t, deleteFile);
        t->outputFileOpened = false;
    };
    // An Abort that came after the worker's last checkpoint still cancels.
    if (thread_.Terminated()) {
        deleteFile = t->deleteOnAbort;
        finish();
        if (!destroying_ && OnAborted) OnAborted(this);
        return;
    }
    try {
        if (t->stream) t->stream->SetPosition(0);
        starting_ = false;
        OutputFileErrorCode = t->writeErrno;
        LastErrorMessage = FailureText(*t);
        if (t->bodyTooLarge) {
            // Not one of the failures the events tell apart.
            if (OnAnyError) OnAnyError(this);
        } else if (t->continueDownload) {
            if (t->success) {
                if (!t->stream) {
                    if (OnAnyError) OnAnyError(this);
                    if (OnOutputFileError) OnOutputFileError(this);
                    finish();
                    return;
                }
                TStream* doneStream = t->stream.get();
                if (t->file) {
                    t->file->Close();
                    if (!(t->complete == t->incomplete)) SetFileAttributes(t->outputFileName, t->complete);
                    t->file = nullptr;
                    t->stream.reset();
                    doneStream = nullptr;
                }
                if (OnDone) OnDone(this, t->contentType, t->bytesRead + static_cast<int64_t>(t->startPosition), doneStream);
            } else {
                if (t->writeErrno != 0) {
                    // The file could not take the data: not a lost connection.
                    if (OnOutputFileError) OnOutputFileError(this);
                } else if (IsStatusOk(t->status)) {
                    if (OnConnLost) OnConnLost(this, t->contentType, t->fileSize, t->bytesRead, t->stream.get());
                } else if (t->status == -1) {
                    if (OnHostUnreachable) OnHostUnreachable(this);
                } else {
                    if (OnHTTPError) OnHTTPError(this, t->status, t->stream.get());
                    deleteFile = true;
                }
                if (OnAnyError) OnAnyError(this);
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (!t->continueDownload && OnDoneInterrupted) OnDoneInterrupted(this);
}
