#pragma once
// Subcommands of the command-line front end register themselves here.
#include "command_line.h"

#include <signal.h>

#include <atomic>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

class IDispatcher;

// A subcommand: its options and help are written beside the code that reads
// them, in its own cmd_*.cpp file.
struct CliCommand {
    std::string Name;
    std::string Summary;  // one line in 'orvane --help'
    TCommandHelp Help;    // 'orvane NAME --help'; Program is filled in
    // dispatcher: the main thread's, which runs the command's events.
    int (*Run)(const TParsedArgs& args, IDispatcher& dispatcher);
};

// Registers a subcommand; used through a file-scope CliRegistration object.
bool RegisterCliCommand(const CliCommand& command);

struct CliRegistration {
    explicit CliRegistration(const CliCommand& command) { RegisterCliCommand(command); }
};

// While it lives, Ctrl+C, a kill (SIGTERM: timeout(1), a service manager),
// the terminal closing (SIGHUP) and Ctrl+\ (SIGQUIT) only ask the running command to cancel, so the run stops the
// orderly way and leaves no unfinished or hidden partial file; a second
// signal ends the program at once by that signal, ending the helper programs
// and removing the outputs and folders it was writing.
// The first signal also queues an empty call on the dispatcher, which wakes a
// main thread waiting there for its run, so it can look at Requested().
class TCliInterrupt {
public:
    explicit TCliInterrupt(IDispatcher& dispatcher);
    ~TCliInterrupt();
    TCliInterrupt(const TCliInterrupt&) = delete;
    TCliInterrupt& operator=(const TCliInterrupt&) = delete;

    bool Requested() const { return requested_.load(); }
    // The same, for code that has no TCliInterrupt at hand.
    static bool Pending() { return requested_.load(); }

private:
    static void OnSignal(int sig);
    inline static std::atomic<bool> requested_{false};
    // The write end of the pipe to the thread that wakes the dispatcher:
    // all a signal handler may safely do is write to it.
    inline static std::atomic<int> wakeFd_{-1};
    int pipe_[2] = {-1, -1};
    std::thread relay_;
    static constexpr int kHandled[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    struct sigaction previous_[std::size(kHandled)] = {};
};
