#pragma once
// Subcommands of the command-line front end register themselves here.
#include "command_line.h"
#include "partial_files.h"

#include <atomic>
#include <csignal>
#include <unistd.h>
#include <string>
#include <vector>

// A subcommand: its options and help are written beside the code that reads
// them, in its own cmd_*.cpp file.
struct CliCommand {
    std::string Name;
    std::string Summary;  // one line in 'orvane --help'
    TCommandHelp Help;    // 'orvane NAME --help'; Program is filled in
    int (*Run)(const TParsedArgs& args);
};

// Registers a subcommand; used through a file-scope CliRegistration object.
bool RegisterCliCommand(const CliCommand& command);

struct CliRegistration {
    explicit CliRegistration(const CliCommand& command) { RegisterCliCommand(command); }
};

// While it lives, Ctrl+C and a kill (SIGINT, SIGTERM: timeout(1), a service
// manager) only ask the running command to cancel, so the run stops the
// orderly way and leaves no unfinished or hidden partial file; a second
// signal ends the program at once, removing the outputs it was writing.
class TCliInterrupt {
public:
    TCliInterrupt() {
        requested_ = false;
        previousInt_ = std::signal(SIGINT, OnSignal);
        previousTerm_ = std::signal(SIGTERM, OnSignal);
    }
    ~TCliInterrupt() {
        std::signal(SIGINT, previousInt_);
        std::signal(SIGTERM, previousTerm_);
    }
    TCliInterrupt(const TCliInterrupt&) = delete;
    TCliInterrupt& operator=(const TCliInterrupt&) = delete;

    bool Requested() const { return requested_.load(); }

private:
    static void OnSignal(int sig) {
        if (!requested_.exchange(true)) {
            static constexpr char kStopping[] = "\nStopping... (once more to quit at once)\n";
            [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kStopping, sizeof kStopping - 1);
            return;
        }
        // The second one: the run is not waited for, but its partial outputs
        // go before the program does.
        RemovePartialFiles();
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    inline static std::atomic<bool> requested_{false};
    void (*previousInt_)(int) = nullptr;
    void (*previousTerm_)(int) = nullptr;
};
