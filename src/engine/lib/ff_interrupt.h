#pragma once
// Ending blocking library I/O from another thread.
//
// Every format context the engine opens gets FFInterruptCallback as its
// interrupt callback. The libraries call it from the thread doing the I/O; it
// asks the registry whether that thread's current check says "stop".
#include <cstdint>
#include <mutex>
#include <vector>

// A check: true interrupts the blocking call.
using TInterruptCheck = bool (*)(void* argument, void* owner);

class TInterruptCB {
public:
    // An entry equal in thread, owner and check is not added twice.
    void Add(uint32_t threadId, void* owner, TInterruptCheck check, void* argument);
    // Removes the first entry equal in thread, owner and check.
    void Remove(uint32_t threadId, void* owner, TInterruptCheck check, void* argument);
    // The first entry of the thread decides; false without one.
    bool Check(uint32_t threadId);
    void Clear();

private:
    struct Entry {
        uint32_t threadId;
        TInterruptCheck check;
        void* argument;
        void* owner;
    };
    std::mutex mutex_;  // guards entries_
    std::vector<Entry> entries_;
};

// The one registry of the process.
TInterruptCB& InterruptRegistry();

// The libraries' interrupt callback: 1 interrupts the blocking call. The
// opaque value is null, or a std::atomic<bool> that has to be true for the
// context's calls to be interruptible at all.
int FFInterruptCallback(void* opaque);

// Keeps a check entered for the calling thread while it lives.
class TInterruptScope {
public:
    TInterruptScope(void* owner, TInterruptCheck check, void* argument);
    ~TInterruptScope();
    TInterruptScope(const TInterruptScope&) = delete;
    TInterruptScope& operator=(const TInterruptScope&) = delete;

private:
    uint32_t threadId_;
    void* owner_;
    TInterruptCheck check_;
    void* argument_;
};
