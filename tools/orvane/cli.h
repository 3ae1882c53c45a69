#pragma once
// Subcommands of the command-line front end register themselves here.
#include <string>
#include <vector>

struct CliCommand {
    const char* Name;
    const char* Usage;  // one line, shown by "orvane help"
    int (*Run)(const std::vector<std::string>& args);
};

// Registers a subcommand; used through a file-scope CliRegistration object.
bool RegisterCliCommand(const CliCommand& command);

struct CliRegistration {
    explicit CliRegistration(const CliCommand& command) { RegisterCliCommand(command); }
};

// Exit status for wrong usage (bad option, missing argument).
inline constexpr int ExitUsage = 2;
