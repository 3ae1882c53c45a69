#pragma once
// HTTP(S) GET/POST of one resource at a time, or the read of a "file" URL, on
// a worker thread of its own (libcurl, one easy handle per transfer). Events
// marked "UI" run on the user-interface thread while the worker waits.
//
// Sizes, positions and byte counters are 64-bit, so bodies of any size work.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net_stream.h"
#include "win_http_url.h"
#include "win_thread.h"

enum TWinHTTPRequestMethod { rmAutoDetect, rmGET, rmPOST };
enum TWinHTTPAccessType { atPreconfig, atDirect, atUseProxy };
enum TWinHTTPFileAttribute { atrArchive, atrHidden, atrReadOnly, atrSystem, atrTemporary, atrOffline };
enum TCacheOption {
    coAlwaysReload,
    coReloadIfNoExpireInformation,
    coReloadUpdatedObjects,
    coPragmaNoCache,
    coNoCacheWrite,
    coCreateTempFilesIfCantCache,
    coUseCacheIfNetFail
};
enum TInternetOption {
    ioIgnoreCertificateInvalid,
    ioIgnoreCertificateDateInvalid,
    ioIgnoreUnknownCertificateAuthority,
    ioIgnoreRedirectToHTTP,
    ioIgnoreRedirectToHTTPS,
    ioKeepConnection,
    ioNoAuthentication,
    ioNoAutoRedirect,
    ioNoCookies
};

// A set of enumeration values.
template <class E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> values) {
        for (E v : values) bits_ |= Bit(v);
    }
    constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
    constexpr void Include(E v) { bits_ |= Bit(v); }
    constexpr void Exclude(E v) { bits_ &= ~Bit(v); }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr uint32_t Bit(E v) { return 1u << static_cast<unsigned>(v); }
    uint32_t bits_ = 0;
};

using TWinHTTPFileAttributes = TSet<TWinHTTPFileAttribute>;
using TCacheOptions = TSet<TCacheOption>;
using TInternetOptions = TSet<TInternetOption>;

// Of the attributes only atrReadOnly has a counterpart here (the write
// permission bits); the others are kept as values and have no effect.
bool SetFileAttributes(const std::string& fileName, TWinHTTPFileAttributes attributes);

struct TWinHTTPProxy {
    TWinHTTPAccessType AccessType = atPreconfig;
    int ProxyPort = 8080;
    std::string ProxyServer;
    std::string ProxyBypass = "127.0.0.1;";
    std::string ProxyUsername, ProxyPassword;
    // Assigning null restores the defaults.
    void Assign(const TWinHTTPProxy* source) { *this = source ? *source : TWinHTTPProxy(); }
};

struct TWinHTTPRange {
    uint64_t StartRange = 0, EndRange = 0;
    void Assign(const TWinHTTPRange* source) { *this = source ? *source : TWinHTTPRange(); }
};

struct TWinHTTPTimeouts {
    uint32_t ConnectTimeout = 0, ReceiveTimeout = 0, SendTimeout = 0;
    void Assign(const TWinHTTPTimeouts* source) { *this = source ? *source : TWinHTTPTimeouts(); }
};

class TWinHTTPOutputFileAttributes {
public:
    TWinHTTPFileAttributes Complete() const { return complete_; }
    TWinHTTPFileAttributes Incomplete() const { return incomplete_; }
    void SetComplete(TWinHTTPFileAttributes value);
    void SetIncomplete(TWinHTTPFileAttributes value);
    void Assign(const TWinHTTPOutputFileAttributes* source);
    // Told only when a value really changes.
    std::function<void()> OnChange;

private:
    TWinHTTPFileAttributes complete_{atrArchive};
    TWinHTTPFileAttributes incomplete_{atrArchive, atrTemporary};
};

class TWinLoginComponent {
public:
    virtual ~TWinLoginComponent() = default;
    std::string Username, Password;
};

class TCustomWinHTTP;
using TNotifyEvent = std::function<void(TCustomWinHTTP* Sender)>;
using TWinHTTPBeforeSendRequest = std::function<void(TCustomWinHTTP* Sender, void* hRequest)>;
using TWinHTTPHeaderInfoEvent = std::function<void(
    TCustomWinHTTP* Sender, int ErrorCode, const std::string& RawHeadersCRLF, const std::string& ContentType,
    const std::string& ContentLanguage, const std::string& ContentEncoding, int64_t ContentLength,
    const std::string& Location, TDateTime Date, TDateTime LastModified, TDateTime Expires, const std::string& ETag,
    bool& ContinueDownload)>;
using TWinHTTPDoneEvent =
    std::function<void(TCustomWinHTTP* Sender, const std::string& ContentType, int64_t FileSize, TStream* Stream)>;
using TWinHTTPProgressEvent = std::function<void(TCustomWinHTTP* Sender, const std::string& ContentType,
                                                 int64_t DataSize, int64_t BytesRead, int64_t ElapsedTime,
                                                 int64_t EstimatedTimeLeft, uint8_t PercentsDone,
                                                 float TransferRate, TStream* Stream)>;
using TWinHTTPRedirected = std::function<void(TCustomWinHTTP* Sender, const std::string& NewURL)>;
using TWinHTTPConnLostEvent = std::function<void(TCustomWinHTTP* Sender, const std::string& ContentType,
                                                 int64_t FileSize, int64_t BytesRead, TStream* Stream)>;
using TWinHTTPErrorEvent = std::function<void(TCustomWinHTTP* Sender, int ErrorCode, TStream* Stream)>;
using TWinHTTPPasswordRequestEvent =
    std::function<void(TCustomWinHTTP* Sender, const std::string& Realm, bool& TryAgain)>;
using TWinHTTPProxyAuthenticationEvent = std::function<void(TCustomWinHTTP* Sender, std::string& ProxyUsername,
                                                            std::string& ProxyPassword, bool& TryAgain)>;
using TWinHTTPStatusEvent = std::function<void(TCustomWinHTTP* Sender, int StatusCode, const std::string& StatusText)>;
using TWinHTTPWaitTimeoutExpired = std::function<void(TCustomWinHTTP* Sender, bool& TerminateThread)>;

// The status text of a transfer status code ("Unknown status" for others).
std::string WinHTTPStatusText(int statusCode);

// The progress figures of one chunk. BytesRead > 0 in every progress step.
struct TWinHTTPProgressFigures {
    uint8_t PercentsDone = 0;
    int64_t ElapsedTime = 0;        // seconds
    int64_t EstimatedTimeLeft = 0;  // seconds; 0 when the size is unknown
    float TransferRate = 0;         // KB/s
};
TWinHTTPProgressFigures ComputeProgress(int64_t fileSize, int64_t bytesRead, int64_t startPosition,
                                        int64_t elapsedMs);

class TCustomWinHTTP : public TWinLoginComponent {
public:
    // dispatcher: the user-interface thread's, where the events arrive.
    explicit TCustomWinHTTP(IDispatcher& dispatcher);
    // Abandons a running transfer; no event fires during destruction.
    ~TCustomWinHTTP() override;
    TCustomWinHTTP(const TCustomWinHTTP&) = delete;
    TCustomWinHTTP& operator=(const TCustomWinHTTP&) = delete;

    // Same as ReadRange(0, 0, ForceWait).
    bool Read(bool ForceWait = false);
    // False, doing nothing else, while a transfer is busy.
    bool ReadRange(uint64_t StartPosition, uint64_t EndPosition, bool ForceWait = false);
    // Cancels a running transfer: exactly one OnAborted follows (directly with
    // KillThread, otherwise from the worker at its next checkpoint).
    void Abort(bool DeleteOutputFile = false, bool KillThread = false);
    // A worker is executing, its completion step included.
    bool Running() const;
    // A transfer was accepted by Read and has not been cleaned up.
    bool Busy() const { return busy_.load(std::memory_order_acquire); }

    TThreadPriority ThreadPriority() const { return thread_.Priority(); }
    void SetThreadPriority(TThreadPriority value) { thread_.SetPriority(value); }
    bool WaitThread() const { return thread_.WaitThread; }
    void SetWaitThread(bool value) { thread_.WaitThread = value; }
    uint32_t WaitTimeout() const { return thread_.WaitTimeout; }
    void SetWaitTimeout(uint32_t value) { thread_.WaitTimeout = value; }

    // Settings (read once when a transfer starts).
    std::string URL;
    std::string AcceptTypes = "text/html, */*";
    std::vector<std::string> AddHeaders;
    std::string Agent = "Orvane HTTP transfer";
    std::string Referer;
    std::string POSTData;
    TWinHTTPRequestMethod RequestMethod = rmAutoDetect;
    TCacheOptions CacheOptions{coReloadIfNoExpireInformation, coReloadUpdatedObjects, coCreateTempFilesIfCantCache};
    TInternetOptions InternetOptions{ioKeepConnection};
    std::string OutputFileName;
    TWinHTTPOutputFileAttributes OutputFileAttributes;
    TWinHTTPRange Range;
    TWinHTTPTimeouts Timeouts;
    TWinHTTPProxy Proxy;
    bool ShowGoOnlineMessage = false;
    bool WorkOffline = false;
    // Bytes per read, 255..2147483647. Each read asks for a progress step.
    int32_t TransferBufferSize = 4096;
    // Largest body taken into memory, in bytes (0: no limit). A larger one
    // ends the transfer with OnAnyError alone and a LastErrorMessage.
    int64_t MaxBodySize = 0;
    // A body that comes slower than MinTransferRate bytes a second over a
    // whole MinTransferRateWindowMs fails the transfer, as silence does
    // (0: no floor).
    int64_t MinTransferRate = 1024;
    uint32_t MinTransferRateWindowMs = 60000;

    // The errno of a write to OutputFileName that failed during the last
    // transfer (then OnOutputFileError comes instead of OnConnLost), else 0.
    int OutputFileErrorCode = 0;
    // Why the last transfer failed, in plain words (set before the failure
    // events fire; empty after a success).
    std::string LastErrorMessage;

    // Worker-thread events (must not touch the user interface).
    TWinHTTPBeforeSendRequest OnBeforeSendRequest;
    TWinHTTPRedirected OnRedirected;
    TWinHTTPStatusEvent OnStatus;
    // UI events. OnProgress does not hold the worker: while one is waiting
    // for the user-interface thread the worker reads on, so at most one is
    // pending and its figures are those of the moment it runs. Every other
    // event comes after the progress steps before it.
    TWinHTTPHeaderInfoEvent OnHeaderInfo;
    TWinHTTPDoneEvent OnDone;
    TNotifyEvent OnDoneInterrupted;
    TNotifyEvent OnOutputFileError;
    TWinHTTPProgressEvent OnProgress;
    TNotifyEvent OnAnyError;
    TNotifyEvent OnAborted;
    TWinHTTPConnLostEvent OnConnLost;
    TWinHTTPErrorEvent OnHTTPError;
    TNotifyEvent OnHostUnreachable;
    TWinHTTPPasswordRequestEvent OnPasswordRequest;
    TWinHTTPProxyAuthenticationEvent OnProxyAuthenticationRequest;
    // Runs on the thread that called Read while it waits.
    TWinHTTPWaitTimeoutExpired OnWaitTimeoutExpired;

    struct Transfer;

private:
    void TransferRoutine(TEventWinThread& thread);
    void WorkerAbort(Transfer& t, TEventWinThread& thread);
    void CompletionStep();
    // The part of the clean-up that belongs to the component (UI thread).
    void CleanUpComponent(Transfer& t, bool deleteFile);
    void AbortCleanUpOnCaller();

    TCustomWinThread thread_;
    std::atomic<bool> starting_{false};
    std::atomic<bool> busy_{false};
    std::shared_ptr<Transfer> current_;
    // Every transfer whose worker may still run, abandoned ones included.
    std::vector<std::weak_ptr<Transfer>> workers_;
    bool destroying_ = false;
};

class TWinHTTP : public TCustomWinHTTP {
public:
    using TCustomWinHTTP::TCustomWinHTTP;
};
