// orvane: the command-line front end of Orvane Video Joiner.
#include "cli.h"

#include "dispatcher.h"
#include "global_vars.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace {
std::map<std::string, CliCommand>& Commands() {
    static std::map<std::string, CliCommand> commands;
    return commands;
}

void PrintUsage(FILE* out) {
    std::fprintf(out, "%s command-line front end\n\nUsage: orvane COMMAND [OPTIONS] [ARGS]\n\nCommands:\n", AppTitle);
    for (const auto& [name, cmd] : Commands()) std::fprintf(out, "  %s\n", cmd.Usage);
    std::fprintf(out, "  help\n");
}
}  // namespace

bool RegisterCliCommand(const CliCommand& command) {
    Commands()[command.Name] = command;
    return true;
}

int main(int argc, char** argv) {
    PlainDispatcher dispatcher;
    SetMainDispatcher(&dispatcher);
    if (argc < 2 || !std::strcmp(argv[1], "help") || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? ExitUsage : 0;
    }
    const auto it = Commands().find(argv[1]);
    if (it == Commands().end()) {
        std::fprintf(stderr, "orvane: unknown command '%s' (try 'orvane help')\n", argv[1]);
        return ExitUsage;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    const int status = it->second.Run(args);
    SetMainDispatcher(nullptr);
    return status;
}
