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
    struct sigaction action{};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    // One handler at a time: a second signal waits for the first to return.
    sigemptyset(&action.sa_mask);
    for (int sig : kHandled) sigaddset(&action.sa_mask, sig);
    for (size_t i = 0; i < std::size(kHandled); ++i) {
        ::sigaction(kHandled[i], nullptr, &previous_[i]);
        // Started by nohup: the terminal closing is not meant to stop it.
        if (kHandled[i] == SIGHUP && previous_[i].sa_handler == SIG_IGN) continue;
        ::sigaction(kHandled[i], &action, nullptr);
    }
}

TCliInterrupt::~TCliInterrupt() {
    for (size_t i = 0; i < std::size(kHandled); ++i) ::sigaction(kHandled[i], &previous_[i], nullptr);
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
    // The second one: the run is not waited for, but its helpers and partial
    // outputs go before the program does, which ends by the signal.
    RemovePartialFilesAndDie(sig);
}
