#pragma once
// The engine's logger: collects the engine's own messages and the libraries'
// log lines from any thread and hands them to one handler.
//
// The libraries' lines are assembled per thread (a line may arrive in pieces),
// and a line identical to the previous one is only counted, then reported as
// "    Last message repeated N times" before the next different line.
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class IDispatcher;

enum TLogLevel : int { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// The library level of a TLogLevel: (v - 1) * 8 (llQuiet -8 ... llDebug 48).
int LibraryLogLevel(TLogLevel level);
// A library level back to a TLogLevel.
TLogLevel LogLevelFromLibrary(int libraryLevel);

// Sender, thread id, level, message.
using TLogEvent = std::function<void(void* sender, uint32_t threadId, TLogLevel level, const std::string& message)>;

// The calling thread's id as the log lines show it.
uint32_t CurrentThreadId();

class TFFLogger {
public:
    TFFLogger();
    TFFLogger(const TFFLogger&) = delete;
    TFFLogger& operator=(const TFFLogger&) = delete;

    TLogLevel LogLevel() const;
    // Also sets the libraries' level.
    void SetLogLevel(TLogLevel level);
    // "quiet", "panic", "fatal", "error", "warning", "info", "verbose",
    // "debug" (any case) or an integer library level. Raises FFmpegException
    // on any other text.
    void SetLogLevelText(const std::string& text);

    // The user-interface thread's dispatcher, given when the program starts
    // and taken back (null) before it goes. Without one, or without
    // TriggerEventInMainThread, the handler runs on the thread that logged.
    void SetDispatcher(IDispatcher* dispatcher);

    bool TriggerEventInMainThread() const;
    void SetTriggerEventInMainThread(bool value);

    void SetOnLog(TLogEvent handler);
    bool HasOnLog() const;

    void Log(void* sender, TLogLevel level, const std::string& message);
    void LogFmt(void* sender, TLogLevel level, const char* format, ...) __attribute__((format(printf, 4, 5)));

    // The libraries' log callback (installed by the loader).
    static void LibraryCallback(void* context, int level, const char* format, va_list args);

private:
    bool Passes(TLogLevel level) const;
    void Deliver(void* sender, uint32_t threadId, TLogLevel level, const std::string& message, bool mayBlock);
    void CallHandler(void* sender, uint32_t threadId, TLogLevel level, const std::string& message);

    mutable std::mutex mutex_;  // guards level_, trigger_, dispatcher_ and handler_
    TLogLevel level_ = llInfo;
    bool trigger_ = true;
    IDispatcher* dispatcher_ = nullptr;
    TLogEvent handler_;
};

// The one logger of the process, created on first use.
TFFLogger& FFLogger();

// Formatting helper for the engine's messages.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatTextV(const char* format, va_list args);

// Warnings and errors the libraries log about a watched object (an input's
// container while it is read), counted whatever the log level: a file that
// ended on damage ("partial file", "File ended prematurely") can then be
// told from one that ended cleanly. Watch and Unwatch pair up.
class TComplaintWatch {
public:
    explicit TComplaintWatch(const void* context);
    ~TComplaintWatch();
    TComplaintWatch(const TComplaintWatch&) = delete;
    TComplaintWatch& operator=(const TComplaintWatch&) = delete;
    int Count() const;
    // From the libraries' log callback.
    static void Note(const void* context);

private:
    const void* context_;
};

// Installed by the loader once avutil is loaded; removed before it unloads.
void InstallLibraryLogHook();
void RemoveLibraryLogHook();
