#include "partial_files.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace {
enum : int { SlotFree, SlotFilling, SlotHeld };

// Fixed storage and lock-free flags: the signal handler may neither allocate
// nor take a lock.
struct TSlot {
    std::atomic<int> State{SlotFree};
    char Path[PATH_MAX];
};
constexpr int SlotCount = 64;
TSlot slots[SlotCount];
}  // namespace

int RegisterPartialFile(const char* path) {
    if (!path || std::strlen(path) >= PATH_MAX) return -1;
    for (int i = 0; i < SlotCount; ++i) {
        int expected = SlotFree;
        if (!slots[i].State.compare_exchange_strong(expected, SlotFilling)) continue;
        std::strcpy(slots[i].Path, path);
        slots[i].State.store(SlotHeld);
        return i;
    }
    return -1;
}

void ForgetPartialFile(int slot) {
    if (slot >= 0 && slot < SlotCount) slots[slot].State.store(SlotFree);
}

void RemovePartialFiles() {
    for (auto& slot : slots)
        if (slot.State.load() == SlotHeld) ::unlink(slot.Path);
}
