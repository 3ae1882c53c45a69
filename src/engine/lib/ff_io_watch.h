#pragma once
// The time-out of a task's blocking I/O. The libraries' interrupt callback
// asks the check entered for the calling thread; while an opening, a read or
// a write of the task is under way the check ends it once IOTimeout
// milliseconds have passed, and at once after a stop request of a run without
// a worker thread.
#include <atomic>
#include <cstdint>
#include <string>

class TIoWatch {
public:
    explicit TIoWatch(void* logSender) : logSender_(logSender) {}

    int TimeoutMs = 10000;  // 0 or less: no time-out

    // An I/O phase starts now (the reason of an earlier interruption is forgotten).
    void Begin();
    // Outside I/O phases the check never fires.
    void End() { start_ = INT64_MAX; }
    // A stop request: the check ends a blocking call at once.
    void Cancel() { start_ = 0; }

    // The reason for a failed opening: the time-out's line when the check
    // ended it, else the file name and the code's text.
    std::string Failure(const std::string& fileName, int code) const;
    bool Interrupted() const { return !reason_.empty(); }

    // The interrupt check (argument: the watch; owner: the task it belongs to).
    static bool CheckTimeout(void* argument, void* owner);

private:
    void* logSender_;
    std::atomic<int64_t> start_{INT64_MAX};  // microseconds; INT64_MAX outside I/O, 0 after a stop
    // Why the check last ended a blocking call: "" or its log line. Written
    // and read on the thread doing the I/O.
    std::string reason_;
};
