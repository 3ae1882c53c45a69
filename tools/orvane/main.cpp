// orvane: the command-line front end of Orvane Video Joiner.
#include "cli.h"

#include "app_title.h"
#include "dispatcher.h"
#include "ff_logger.h"
#include "ov_version.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {
std::map<std::string, CliCommand>& Commands() {
    static std::map<std::string, CliCommand> commands;
    return commands;
}

TCommandHelp ProgramHelp() {
    std::string commands;
    size_t width = 0;
    for (const auto& [name, cmd] : Commands()) width = std::max(width, name.size());
    for (const auto& [name, cmd] : Commands())
        commands += "  " + name + std::string(width - name.size() + 2, ' ') + cmd.Summary + "\n";
    commands.pop_back();
    return {
        .Program = "orvane",
        .Synopsis = "COMMAND [OPTIONS] [ARGUMENTS]",
        .Description = std::string("Joins or converts audio and video files into one of 27 output formats, and downloads "
                                   "videos by their links, with the presets and the choices saved by the ") +
                       AppTitle +
                       " window. Progress and errors go to standard error, results to standard output.\n\n"
                       "Commands:\n" +
                       commands +
                       "\n\nRun 'orvane COMMAND --help' for the options of a command, and 'man orvane' for the "
                       "manual.",
        .Options = {{"--version", "", "", "show the version and exit"}},
        .ExitStatuses = {{0, "the command did all it was asked"},
                         {1, "a file could not be read or written, was left out, or the run was cancelled"},
                         {ExitUsage, "wrong usage: an unknown command or option, a missing or bad value"}},
    };
}
}  // namespace

bool RegisterCliCommand(const CliCommand& command) {
    CliCommand& c = Commands()[command.Name] = command;
    c.Help.Program = "orvane " + c.Name;
    return true;
}

int main(int argc, char** argv) {
    PlainDispatcher dispatcher;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(HelpText(ProgramHelp()).c_str(), stderr);
        return ExitUsage;
    }
    std::string name = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    // "orvane help COMMAND" is "orvane COMMAND --help".
    if (name == "help" && !rest.empty()) {
        name = rest[0];
        rest = {"--help"};
    }
    const auto it = Commands().find(name);
    if (it == Commands().end()) {
        if (name == "help" || name == "--help" || name == "-h") {
            std::fputs(HelpText(ProgramHelp()).c_str(), stdout);
            return 0;
        }
        if (name == "--version") {
            std::printf("orvane (%s) %s\n", AppTitle, OvVersion);
            return 0;
        }
        if (name.starts_with("-")) return UsageError("orvane", "unknown option '" + name + "'");
        return UsageError("orvane", "unknown command '" + name + "'");
    }
    TParsedArgs parsed;
    if (const auto status = ParseCommandLine(it->second.Help, rest, parsed)) return *status;
    // The engine's one logger hands its lines to this thread through it.
    FFLogger().SetDispatcher(&dispatcher);
    const int status = it->second.Run(parsed, dispatcher);
    FFLogger().SetDispatcher(nullptr);
    return status;
}
