// Ctrl+C and kills while a command runs (see TCliInterrupt in cli.h).
#include "cli.h"

#include "dispatcher.h"
#include "partial_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {
constexpr char kSignalled = 's';
constexpr char kEnd = 'e';
}  // namespace

TCliInterrupt::TCliInterrupt(IDispatcher& dispatcher) {
    requested_ = false;
    if (::pipe2(pipe_, O_CLOEXEC) == 0) {
        wakeFd_ = pipe_[1];
        relay_ = std::thread([this, &dispatcher] {
            char byte = 0;
            for (;;) {
                const ssize_t n = ::read(pipe_[0], &byte, 1);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0 || byte == kEnd) return;
                dispatcher.post([] {});
            }
        });
    }
    previousInt_ = std::signal(SIGINT, OnSignal);
    previousTerm_ = std::signal(SIGTERM, OnSignal);
}

TCliInterrupt::~TCliInterrupt() {
    std::signal(SIGINT, previousInt_);
    std::signal(SIGTERM, previousTerm_);
    wakeFd_ = -1;
    if (relay_.joinable()) {
        [[maybe_unused]] const ssize_t n = ::write(pipe_[1], &kEnd, 1);
        relay_.join();
    }
    for (int fd : pipe_)
        if (fd >= 0) ::close(fd);
}

void TCliInterrupt::OnSignal(int sig) {
    if (!requested_.exchange(true)) {
        const int saved = errno;
        const int fd = wakeFd_.load();
        if (fd >= 0 && ::write(fd, &kSignalled, 1) < 0) {
            // Nothing to do: the main thread then wakes with the run's next event.
        }
        errno = saved;
        return;
    }
    // The second one: the run is not waited for, but its partial outputs
    // go before the program does.
    RemovePartialFiles();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}
