#include "child_process.h"

#include "partial_files.h"

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {
// Lines waiting for the user-interface thread before the reader pauses, so a
// chatty child cannot fill the memory while the window is busy.
constexpr size_t MaxQueuedLines = 10000;

bool IsExecutableFile(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// This process's environment with the extra entries replacing those of the
// same name.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& x : extra) replaced |= nameOf(x) == nameOf(entry);
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> PointersOf(std::vector<std::string>& texts) {
    std::vector<char*> p;
    for (std::string& t : texts) p.push_back(t.data());
    p.push_back(nullptr);
    return p;
}

// A forked child's end: the system call itself, since a sanitizer's _exit
// would check the threads the fork copied and change the status.
[[noreturn]] void ExitNow(int code) {
    ::syscall(SYS_exit_group, code);
    __builtin_unreachable();
}

// What the program's process does between fork and exec: system calls only,
// since we may have other threads (whose locks the child inherits). Returns
// only when the exec failed, with errno set.
void ExecInChild(pid_t parent, const char* program, char* const argv[], char* const envp[], const char* workDir,
                 int outFd, int errFd) {
    // It dies with its guardian, even when that is killed.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ExitNow(127);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl{};
    dfl.sa_handler = SIG_DFL;
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) ::sigaction(sig, &dfl, nullptr);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0) return;
    if (workDir && ::chdir(workDir) != 0) return;
    // Nothing else of this process (sockets, files of the window) reaches it.
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
        for (int fd = 3; fd < 4096; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::execve(program, argv, envp);
}

// Ends the guardian as the program ended: by its exit code or its signal.
[[noreturn]] void EndAs(int status) {
    if (WIFSIGNALED(status)) {
        RaiseWithDefaultAction(WTERMSIG(status));
        ExitNow(128 + WTERMSIG(status));
    }
    ExitNow(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
}

// The child we start is a guardian that leads the program's process group:
// the program runs as its child and the guardian passes its end on. When we
// die, even by SIGKILL where nothing of ours can clean up, the kernel tells
// the guardian, which ends the whole group: the program and every helper it
// started (yt-dlp's ffmpeg). System calls only, as in ExecInChild.
[[noreturn]] void GuardInChild(pid_t parent, int report, const char* program, char* const argv[],
                               char* const envp[], const char* workDir, int outFd, int errFd) {
    sigset_t watched;
    sigemptyset(&watched);
    sigaddset(&watched, SIGTERM);
    sigaddset(&watched, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &watched, nullptr);
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) ExitNow(127);
    // Its own group: Kill reaches the helpers, and Ctrl+C in a terminal
    // reaches only us, which cancel in order.
    ::setpgid(0, 0);
    const pid_t guardian = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ExecInChild(guardian, program, argv, envp, workDir, outFd, errFd);
        const int code = errno;
        [[maybe_unused]] const ssize_t n = ::write(report, &code, sizeof code);
        ExitNow(127);
    }
    if (child < 0) {
        const int code = errno;
        [[maybe_unused]] const ssize_t n = ::write(report, &code, sizeof code);
        ExitNow(127);
    }
    // Our pipes and files stay with the program alone.
    if (::close_range(3, ~0U, 0) != 0)
        for (int fd = 3; fd < 4096; ++fd) ::close(fd);
    for (;;) {
        siginfo_t info;
        const int sig = ::sigwaitinfo(&watched, &info);
        if (sig == SIGTERM) {
            ::kill(-guardian, SIGKILL);
            ExitNow(128 + SIGKILL);
        }
        int status = 0;
        if (sig == SIGCHLD && ::waitpid(child, &status, WNOHANG) == child) EndAs(status);
    }
}

// Starts program; the pid, or -1 with the errno in error.
pid_t Spawn(const std::string& program, std::vector<std::string> argv, std::vector<std::string> env,
            const std::string& workDir, int outFd, int errFd, int& error) {
    std::vector<char*> argp = PointersOf(argv), envp = PointersOf(env);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = errno;
        return -1;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        GuardInChild(parent, report[1], program.c_str(), argp.data(), envp.data(),
                     workDir.empty() ? nullptr : workDir.c_str(), outFd, errFd);
    }
    error = errno;
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return -1;
    }
    // Set here too, so a Kill right after Start finds the group.
    ::setpgid(pid, pid);
    // The exec closes the pipe; an errno arrives when it failed.
    int code = 0;
    ssize_t n;
    while ((n = ::read(report[0], &code, sizeof code)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n <= 0) return pid;
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    error = code;
    return -1;
}
}  // namespace

std::string FindProgram(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
    std::string path;
    if (const char* p = std::getenv("PATH")) {
        path = p;
    } else {
        char buf[PATH_MAX] = {};
        if (::confstr(_CS_PATH, buf, sizeof buf) > 0) path = buf;
    }
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        const std::string dir = path.substr(start, end - start);
        // An empty entry would mean the current folder: never look there.
        if (!dir.empty()) {
            const std::string candidate = dir + (dir.back() == '/' ? "" : "/") + name;
            if (IsExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return {};
}

// What the reader thread and the user-interface thread share for one child.
struct TChildProcess::TShared {
    std::mutex mutex;  // guards everything below except owner, exitWatcher and exitEvent
    std::condition_variable roomForLines;
    pid_t pid = -1;
    int groupSlot = -1;  // the group's entry among the partial files
    bool reaped = false;
    bool killRequested = false;
    bool closing = false;  // the owner is going: stop waiting for room
    std::deque<std::pair<TChildStream, std::string>> lines;
    bool exitQueued = false;
    TChildExit exit;
    bool deliveryPosted = false;
    IDispatcher* dispatcher = nullptr;
    std::thread reader;
    // Blocks until the child has exited (without reaping it), then signals
    // exitEvent: the reader's wake-up when a helper holds a pipe open.
    std::thread exitWatcher;
    int exitEvent = -1;
    // Touched only on the user-interface thread; null once the owner is gone.
    TChildProcess* owner = nullptr;

    // Called with the mutex held: makes sure one delivery is on its way.
    void PostDelivery(const std::shared_ptr<TShared>& self) {
        if (deliveryPosted) return;
        deliveryPosted = true;
        std::weak_ptr<TShared> weak = self;
        dispatcher->post([weak] {
            if (auto shared = weak.lock())
                if (shared->owner) shared->owner->Deliver();
        });
    }

    void QueueLine(const std::shared_ptr<TShared>& self, TChildStream stream, std::string line) {
        std::unique_lock lock(mutex);
        roomForLines.wait(lock, [&] { return lines.size() < MaxQueuedLines || closing; });
        lines.emplace_back(stream, std::move(line));
        PostDelivery(self);
    }

    void WatchExit() {
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(exitEvent, &one, sizeof one);
    }

    static void Read(const std::shared_ptr<TShared>& self, int outFd, int errFd);
    static void Reap(const std::shared_ptr<TShared>& self);
};

namespace {
// One of the child's output pipes, cut into lines.
class TPipeLines {
public:
    TPipeLines(int fd, TChildStream kind) : fd_(fd), kind_(kind) {}
    ~TPipeLines() { Close(); }
    TPipeLines(const TPipeLines&) = delete;
    TPipeLines& operator=(const TPipeLines&) = delete;

    int Fd() const { return fd_; }
    // Reads what is there now and queues the whole lines; false once the
    // pipe has ended.
    template <class Queue>
    bool ReadSome(const Queue& queue) {
        char buf[16384];
        for (;;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) {
                pending_.append(buf, static_cast<size_t>(n));
                Flush(queue, false);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }
    // Queues the whole lines, pieces of MaxLineBytes, and with all the rest.
    template <class Queue>
    void Flush(const Queue& queue, bool all) {
        size_t start = 0;
        for (;;) {
            const size_t nl = pending_.find('\n', start);
            if (nl == std::string::npos) break;
            std::string line = pending_.substr(start, nl - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            queue(kind_, std::move(line));
            start = nl + 1;
        }
        pending_.erase(0, start);
        while (pending_.size() >= TChildProcess::MaxLineBytes) {
            queue(kind_, pending_.substr(0, TChildProcess::MaxLineBytes));
            pending_.erase(0, TChildProcess::MaxLineBytes);
        }
        if (all && !pending_.empty()) {
            queue(kind_, std::move(pending_));
            pending_.clear();
        }
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
    TChildStream kind_;
    std::string pending_;
};
}  // namespace

void TChildProcess::TShared::Read(const std::shared_ptr<TShared>& self, int outFd, int errFd) {
    const auto queue = [&self](TChildStream stream, std::string line) { self->QueueLine(self, stream, std::move(line)); };
    TPipeLines pipes[2] = {{outFd, TChildStream::csOut}, {errFd, TChildStream::csErr}};
    pollfd fds[3] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {self->exitEvent, POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (!pipes[i].ReadSome(queue)) {
                pipes[i].Close();
                fds[i].fd = -1;
                --open;
            }
        }
        if (open > 0 && (fds[2].revents & POLLIN)) {
            // The child is gone but something else holds a pipe: take what
            // is there and stop.
            for (TPipeLines& pipe : pipes)
                if (pipe.Fd() >= 0) pipe.ReadSome(queue);
            break;
        }
    }
    for (TPipeLines& pipe : pipes) {
        pipe.Flush(queue, true);
        pipe.Close();
    }
    Reap(self);
}

void TChildProcess::TShared::Reap(const std::shared_ptr<TShared>& self) {
    // The output has ended; the program may still be finishing.
    self->exitWatcher.join();
    ::close(self->exitEvent);
    TChildExit result;
    std::lock_guard lock(self->mutex);
    // The leader is not reaped yet, so the group id cannot have been
    // reused: helpers it left behind go with it.
    ::kill(-self->pid, SIGKILL);
    ForgetPartialFile(self->groupSlot);
    int status = 0;
    while (::waitpid(self->pid, &status, 0) < 0 && errno == EINTR) {
    }
    self->reaped = true;
    result.Killed = self->killRequested;
    if (WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.Signal = WTERMSIG(status);
    self->exit = result;
    self->exitQueued = true;
    self->PostDelivery(self);
}

TChildProcess::TChildProcess(IDispatcher& dispatcher) : dispatcher_(dispatcher) {}

TChildProcess::~TChildProcess() {
    if (!shared_) return;
    shared_->owner = nullptr;
    Kill();
    {
        std::lock_guard lock(shared_->mutex);
        shared_->closing = true;
    }
    shared_->roomForLines.notify_all();
    Join();
}

void TChildProcess::Join() {
    if (shared_ && shared_->reader.joinable()) shared_->reader.join();
}

int TChildProcess::Pid() const {
    if (!shared_) return -1;
    std::lock_guard lock(shared_->mutex);
    return shared_->reaped ? -1 : shared_->pid;
}

bool TChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workDir, const std::vector<std::string>& extraEnv, std::string& error) {
    if (running_) {
        error = "a program is still running";
        return false;
    }
    Join();
    int out[2] = {-1, -1}, err[2] = {-1, -1};
    const int exitEvent = ::eventfd(0, EFD_CLOEXEC);
    if (exitEvent < 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        for (int fd : {out[0], out[1], exitEvent}) if (fd >= 0) ::close(fd);
        return false;
    }
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    int spawnError = 0;
    const pid_t pid = Spawn(program, std::move(argv), ChildEnvironment(extraEnv), workDir, out[1], err[1], spawnError);
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        ::close(exitEvent);
        error = std::strerror(spawnError);
        return false;
    }
    for (int fd : {out[0], err[0]}) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    auto shared = std::make_shared<TShared>();
    shared->pid = pid;
    shared->groupSlot = RegisterChildGroup(pid);
    shared->dispatcher = &dispatcher_;
    shared->owner = this;
    if (shared_) shared_->owner = nullptr;
    shared_ = shared;
    running_ = true;
    shared->exitEvent = exitEvent;
    shared->exitWatcher = std::thread(&TShared::WatchExit, shared.get());
    shared->reader = std::thread(&TShared::Read, shared, out[0], err[0]);
    return true;
}

void TChildProcess::Kill() {
    if (!shared_) return;
    std::lock_guard lock(shared_->mutex);
    if (shared_->reaped) return;
    shared_->killRequested = true;
    ::kill(-shared_->pid, SIGKILL);
}

void TChildProcess::Deliver() {
    const std::shared_ptr<TShared> shared = shared_;
    std::deque<std::pair<TChildStream, std::string>> lines;
    bool ended = false;
    TChildExit exit;
    {
        std::lock_guard lock(shared->mutex);
        lines.swap(shared->lines);
        shared->deliveryPosted = false;
        ended = shared->exitQueued;
        exit = shared->exit;
    }
    shared->roomForLines.notify_all();
    for (const auto& [stream, line] : lines) {
        if (OnLine) OnLine(stream, line);
        // A handler may have started another child or be winding us down.
        if (shared_ != shared || !shared->owner) return;
    }
    if (!ended) return;
    shared->owner = nullptr;
    Join();
    running_ = false;
    if (OnExit) OnExit(exit);
}
