#include "thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace {
constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -20};
constexpr int kWindows[] = {-15, -2, -1, 0, 1, 2, 15};

int Index(TThreadPriority priority) {
    const int i = static_cast<int>(priority);
    return i < tpIdle || i > tpTimeCritical ? tpNormal : i;
}
}  // namespace

int ThreadPriorityValue(TThreadPriority priority) { return kWindows[Index(priority)]; }
int ThreadPriorityToNice(TThreadPriority priority) { return kNice[Index(priority)]; }

TThreadPriority ThreadPriorityFromNice(int nice) {
    for (int i = tpIdle; i <= tpTimeCritical; ++i)
        if (kNice[i] == nice) return static_cast<TThreadPriority>(i);
    return tpNormal;
}

void SetThreadPriorityOf(int tid, TThreadPriority priority) {
    if (tid != 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), ThreadPriorityToNice(priority));
}

void SetCurrentThreadPriority(TThreadPriority priority) { SetThreadPriorityOf(static_cast<int>(::gettid()), priority); }
