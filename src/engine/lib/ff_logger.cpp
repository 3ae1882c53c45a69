#include "ff_logger.h"

#include "dispatcher.h"
#include "ff_api.h"
#include "ff_exception.h"
#include "util_funcs.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace {
// Per-thread pending text of the libraries' lines and the repeat state.
struct LineAssembly {
    std::mutex mutex;  // guards everything here
    std::map<uint32_t, std::string> pending;
    std::string lastLine;
    int repeatCount = 0;
};

LineAssembly& Assembly() {
    static LineAssembly* a = new LineAssembly;
    return *a;
}

struct PendingLine {
    uint32_t threadId;
    TLogLevel level;
    std::string text;
};
}  // namespace

int LibraryLogLevel(TLogLevel level) { return (static_cast<int>(level) - 1) * 8; }

TLogLevel LogLevelFromLibrary(int libraryLevel) {
    int l = libraryLevel;
    if (l < 0) l += 7;
    if (l < -8) return llQuiet;
    if (l < 48) {
        // Division rounding toward minus infinity.
        const int q = l >= 0 ? l / 8 : -((-l + 7) / 8);
        return static_cast<TLogLevel>(q + 1);
    }
    return llDebug;
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(::gettid()); }

std::string FormatTextV(const char* format, va_list args) {
    char buffer[2048];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    va_copy(copy, args);
    std::vsnprintf(big.data(), big.size(), format, copy);
    va_end(copy);
    big.resize(static_cast<size_t>(n));
    return big;
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string s = FormatTextV(format, args);
    va_end(args);
    return s;
}

TFFLogger::TFFLogger() = default;

TLogLevel TFFLogger::LogLevel() const {
    std::lock_guard lock(mutex_);
    return level_;
}

void TFFLogger::SetLogLevel(TLogLevel level) {
    {
        std::lock_guard lock(mutex_);
        level_ = level;
    }
    if (FF.av_log_set_level) FF.av_log_set_level(LibraryLogLevel(level));
}

void TFFLogger::SetLogLevelText(const std::string& text) {
    static const struct {
        const char* name;
        int level;
    } names[] = {{"quiet", -8}, {"panic", 0},    {"fatal", 8},    {"error", 16},
                 {"warning", 24}, {"info", 32}, {"verbose", 40}, {"debug", 48}};
    const std::string lower = LowerCase(Trim(text));
    for (const auto& n : names) {
        if (lower == n.name) {
            SetLogLevel(LogLevelFromLibrary(n.level));
            return;
        }
    }
    const std::string t = Trim(text);
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(t.c_str(), &end, 10);
    if (t.empty() || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
        throw FFmpegException("'" + text + "' is not a valid integer value");
    SetLogLevel(LogLevelFromLibrary(static_cast<int>(v)));
}

void TFFLogger::SetDispatcher(IDispatcher* dispatcher) {
    std::lock_guard lock(mutex_);
    dispatcher_ = dispatcher;
}

bool TFFLogger::TriggerEventInMainThread() const {
    std::lock_guard lock(mutex_);
    return trigger_;
}

void TFFLogger::SetTriggerEventInMainThread(bool value) {
    std::lock_guard lock(mutex_);
    trigger_ = value;
}

void TFFLogger::SetOnLog(TLogEvent handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

bool TFFLogger::HasOnLog() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(handler_);
}

bool TFFLogger::Passes(TLogLevel level) const {
    std::lock_guard lock(mutex_);
    if (!handler_) return false;
    // Report and statistics lines (llVerbose) reach any handler that is not quiet.
    return level <= level_ || (level == llVerbose && level_ != llQuiet);
}

void TFFLogger::CallHandler(void* sender, uint32_t threadId, TLogLevel level, const std::string& message) {
    TLogEvent handler;
    {
        std::lock_guard lock(mutex_);
        handler = handler_;
    }
    if (handler) handler(sender, threadId, level, message);
}

void TFFLogger::Deliver(void* sender, uint32_t threadId, TLogLevel level, const std::string& message, bool mayBlock) {
    IDispatcher* dispatcher = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (trigger_) dispatcher = dispatcher_;
    }
    if (!dispatcher || dispatcher->isMainThread()) {
        CallHandler(sender, threadId, level, message);
    } else if (mayBlock) {
        dispatcher->invoke([this, sender, threadId, level, message] { CallHandler(sender, threadId, level, message); });
    } else {
        // Library lines may come from the libraries' own threads while the
        // user-interface thread waits inside the library for them: never block.
        dispatcher->post([this, sender, threadId, level, message] { CallHandler(sender, threadId, level, message); });
    }
}

void TFFLogger::Log(void* sender, TLogLevel level, const std::string& message) {
    if (!Passes(level)) return;
    Deliver(sender, CurrentThreadId(), level, message, true);
}

void TFFLogger::LogFmt(void* sender, TLogLevel level, const char* format, ...) {
    if (!Passes(level)) return;
    va_list args;
    va_start(args, format);
    const std::string text = FormatTextV(format, args);
    va_end(args);
    Deliver(sender, CurrentThreadId(), level, text, true);
}

namespace {
struct TComplaints {
    std::mutex Mutex;
    std::vector<std::pair<const void*, int>> Counts;  // few: the inputs being read
};
TComplaints& Complaints() {
    static TComplaints* complaints = new TComplaints;  // library threads may log at exit
    return *complaints;
}
}  // namespace

TComplaintWatch::TComplaintWatch(const void* context) : context_(context) {
    TComplaints& c = Complaints();
    std::lock_guard lock(c.Mutex);
    c.Counts.emplace_back(context, 0);
}

TComplaintWatch::~TComplaintWatch() {
    TComplaints& c = Complaints();
    std::lock_guard lock(c.Mutex);
    for (auto it = c.Counts.begin(); it != c.Counts.end(); ++it)
        if (it->first == context_) {
            c.Counts.erase(it);
            break;
        }
}

int TComplaintWatch::Count() const {
    TComplaints& c = Complaints();
    std::lock_guard lock(c.Mutex);
    for (const auto& [context, count] : c.Counts)
        if (context == context_) return count;
    return 0;
}

void TComplaintWatch::Note(const void* context) {
    TComplaints& c = Complaints();
    std::lock_guard lock(c.Mutex);
    for (auto& [watched, count] : c.Counts)
        if (watched == context) ++count;
}

void TFFLogger::LibraryCallback(void* context, int level, const char* format, va_list args) {
    if (context && level <= AV_LOG_WARNING) TComplaintWatch::Note(context);
    TFFLogger& logger = FFLogger();
    if (level > LibraryLogLevel(logger.LogLevel())) return;
    if (!format) return;
    const TLogLevel mapped = LogLevelFromLibrary(level);
    const uint32_t tid = CurrentThreadId();

    std::string prefix;
    if (context) {
        const AVClass* cls = *static_cast<AVClass**>(context);
        if (cls) {
            if (cls->parent_log_context_offset) {
                void* parent = *reinterpret_cast<void**>(static_cast<uint8_t*>(context) + cls->parent_log_context_offset);
                if (parent && *static_cast<AVClass**>(parent)) {
                    const AVClass* pcls = *static_cast<AVClass**>(parent);
                    prefix += FormatText("[%s @ %p] ", pcls->item_name ? pcls->item_name(parent) : pcls->class_name,
                                         parent);
                }
            }
            prefix += FormatText("[%s @ %p]", cls->item_name ? cls->item_name(context) : cls->class_name, context);
        }
    }
    const std::string text = FormatTextV(format, args);

    std::vector<PendingLine> out;
    {
        LineAssembly& a = Assembly();
        std::lock_guard lock(a.mutex);
        std::string& pending = a.pending[tid];
        if (pending.empty()) pending = prefix;
        pending += text;
        size_t start = 0;
        for (size_t nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n', start)) {
            std::string line = pending.substr(start, nl - start);
            start = nl + 1;
            if (line == a.lastLine) {
                ++a.repeatCount;
                continue;
            }
            if (a.repeatCount > 0) {
                out.push_back({tid, mapped, FormatText("    Last message repeated %d times", a.repeatCount)});
                a.repeatCount = 0;
            }
            a.lastLine = line;
            out.push_back({tid, mapped, std::move(line)});
        }
        pending.erase(0, start);
    }
    for (const PendingLine& l : out)
        if (logger.Passes(l.level)) logger.Deliver(nullptr, l.threadId, l.level, l.text, false);
}

TFFLogger& FFLogger() {
    // Never destroyed: library threads may still log while the process exits.
    static TFFLogger* logger = new TFFLogger;
    return *logger;
}

void InstallLibraryLogHook() {
    TFFLogger& logger = FFLogger();
    if (FF.av_log_set_callback) FF.av_log_set_callback(&TFFLogger::LibraryCallback);
    if (FF.av_log_set_level) FF.av_log_set_level(LibraryLogLevel(logger.LogLevel()));
}

void RemoveLibraryLogHook() {
    if (FF.av_log_set_callback && FF.av_log_default_callback) FF.av_log_set_callback(FF.av_log_default_callback);
}
