#include "ff_interrupt.h"

#include "ff_logger.h"

#include <atomic>

void TInterruptCB::Add(uint32_t threadId, void* owner, TInterruptCheck check, void* argument) {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_)
        if (e.threadId == threadId && e.owner == owner && e.check == check) return;
    entries_.push_back({threadId, check, argument, owner});
}

void TInterruptCB::Remove(uint32_t threadId, void* owner, TInterruptCheck check, void* /*argument*/) {
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->threadId == threadId && it->owner == owner && it->check == check) {
            entries_.erase(it);
            return;
        }
    }
}

bool TInterruptCB::Check(uint32_t threadId) {
    TInterruptCheck check = nullptr;
    void* argument = nullptr;
    void* owner = nullptr;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_) {
            if (e.threadId == threadId) {
                check = e.check;
                argument = e.argument;
                owner = e.owner;
                break;
            }
        }
    }
    // Outside the lock: a check may log.
    return check && check(argument, owner);
}

void TInterruptCB::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

TInterruptCB& InterruptRegistry() {
    static TInterruptCB* registry = new TInterruptCB;
    return *registry;
}

int FFInterruptCallback(void* opaque) {
    if (opaque && !static_cast<const std::atomic<bool>*>(opaque)->load()) return 0;
    return InterruptRegistry().Check(CurrentThreadId()) ? 1 : 0;
}

TInterruptScope::TInterruptScope(void* owner, TInterruptCheck check, void* argument)
    : threadId_(CurrentThreadId()), owner_(owner), check_(check), argument_(argument) {
    InterruptRegistry().Add(threadId_, owner_, check_, argument_);
}

TInterruptScope::~TInterruptScope() { InterruptRegistry().Remove(threadId_, owner_, check_, argument_); }
