#include "partial_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace {
enum : int { SlotFree, SlotFilling, SlotHeld };
enum class TKind { File, Folder, Group };

// Fixed storage and lock-free flags: the signal handler may neither allocate
// nor take a lock.
struct TSlot {
    std::atomic<int> State{SlotFree};
    TKind Kind = TKind::File;
    int Pid = -1;
    char Path[PATH_MAX];
};
constexpr int SlotCount = 64;
TSlot slots[SlotCount];

int Register(TKind kind, const char* path, int pid) {
    if (path && std::strlen(path) >= PATH_MAX) return -1;
    for (int i = 0; i < SlotCount; ++i) {
        int expected = SlotFree;
        if (!slots[i].State.compare_exchange_strong(expected, SlotFilling)) continue;
        slots[i].Kind = kind;
        slots[i].Pid = pid;
        std::strcpy(slots[i].Path, path ? path : "");
        slots[i].State.store(SlotHeld);
        return i;
    }
    return -1;
}

// Empties a folder with system calls only (no allocation): a helper's files
// and a few levels of sub-folders. Entries removed while the folder is read
// may hide others from the same pass, so it reads again until a pass finds
// nothing.
void EmptyFolder(int dirFd, int depth) {
    alignas(8) char buffer[2048];
    for (int pass = 0; pass < 64; ++pass) {
        bool removed = false;
        ::lseek(dirFd, 0, SEEK_SET);
        for (;;) {
            const ssize_t n = ::getdents64(dirFd, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
                if (::unlinkat(dirFd, name, 0) == 0) {
                    removed = true;
                    continue;
                }
                if (errno != EISDIR || depth >= 8) continue;
                const int sub = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub < 0) continue;
                EmptyFolder(sub, depth + 1);
                ::close(sub);
                removed |= ::unlinkat(dirFd, name, AT_REMOVEDIR) == 0;
            }
        }
        if (!removed) return;
    }
}

void RemoveFolder(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    EmptyFolder(fd, 0);
    ::close(fd);
    ::rmdir(path);
}
}  // namespace

int RegisterPartialFile(const char* path) { return path ? Register(TKind::File, path, -1) : -1; }
int RegisterPartialFolder(const char* path) { return path ? Register(TKind::Folder, path, -1) : -1; }
int RegisterChildGroup(int pid) { return pid > 0 ? Register(TKind::Group, nullptr, pid) : -1; }

void ForgetPartialFile(int slot) {
    if (slot >= 0 && slot < SlotCount) slots[slot].State.store(SlotFree);
}

void RemovePartialFiles() {
    // The helpers first: none of them may write into a folder being emptied.
    for (auto& slot : slots)
        if (slot.State.load() == SlotHeld && slot.Kind == TKind::Group) ::kill(-slot.Pid, SIGKILL);
    for (auto& slot : slots) {
        if (slot.State.load() != SlotHeld || slot.Kind != TKind::Group) continue;
        // The leader is not reaped while its entry is held; waiting without
        // reaping leaves that to its owner.
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(slot.Pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
    }
    for (auto& slot : slots) {
        if (slot.State.load() != SlotHeld) continue;
        if (slot.Kind == TKind::File) ::unlink(slot.Path);
        if (slot.Kind == TKind::Folder) RemoveFolder(slot.Path);
    }
}

void RemovePartialFilesAndDie(int sig) {
    RemovePartialFiles();
    if (sig == SIGQUIT) {
        // The user asked to stop, not for a core file left behind.
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_CORE, &none);
    }
    RaiseWithDefaultAction(sig);
    ::_exit(128 + sig);
}

void RaiseWithDefaultAction(int sig) {
    struct sigaction dfl{};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, sig);
    ::sigprocmask(SIG_UNBLOCK, &just, nullptr);
    ::raise(sig);
}
