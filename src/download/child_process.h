#pragma once
// Runs one program at a time as a child in a process group of its own, with
// no shell between: its standard output and error are read line by line on a
// worker thread and handed to the user-interface thread through the
// dispatcher, in order, followed by one end event. Kill ends the whole group,
// so helpers the program started (a muxer, say) end with it. The group is in
// the partial-file registry, so a program ended by a second signal ends it
// too, and the child is killed when the thread that started it dies (call
// Start on a thread that lives as long as the program: the main thread).
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dispatcher.h"

enum class TChildStream { csOut, csErr };

struct TChildExit {
    bool Killed = false;   // Kill ended it
    int ExitCode = -1;     // its exit status when it exited, else -1
    int Signal = 0;        // the signal that ended it, else 0
    bool Succeeded() const { return ExitCode == 0 && !Killed; }
};

// Where a program name is found: a name with a "/" as it stands, otherwise
// the first executable regular file of that name in the PATH folders (the
// system's default path when PATH is unset). Empty when there is none.
std::string FindProgram(const std::string& name);

class TChildProcess {
public:
    // The lines and the end event arrive through dispatcher.
    explicit TChildProcess(IDispatcher& dispatcher);
    // Kills a child still running and waits for the worker; no event follows.
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // Each line without its line break; a line longer than MaxLineBytes
    // arrives in pieces of that size.
    std::function<void(TChildStream stream, const std::string& line)> OnLine;
    // After the last line.
    std::function<void(const TChildExit& exit)> OnExit;

    // Starts program (a path) with the arguments (argv[1]...), in the folder
    // workDir when not empty, with the extra "NAME=value" entries over this
    // process's environment. Standard input reads nothing. Returns false with
    // a reason in error when it could not be started, or when a child of
    // this object still runs; no event follows then.
    bool Start(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
               const std::vector<std::string>& extraEnv, std::string& error);
    // Ends the child's whole process group. The end event still follows,
    // marked Killed. Does nothing when no child runs.
    void Kill();
    // From Start until the end event has been delivered.
    bool Running() const { return running_; }
    // The child's process id (its group's id too) while it runs, else -1.
    int Pid() const;

    static constexpr size_t MaxLineBytes = 64 * 1024;

private:
    struct TShared;
    void Deliver();
    void Join();

    IDispatcher& dispatcher_;
    std::shared_ptr<TShared> shared_;
    bool running_ = false;
};
