// Joins input files into one output with the engine, as the application does:
//   join_driver OUTPUT INPUT... [-o name=value]...
// Each -o line goes into the output's ExtOptions. Prints the task's end report.
#include "dispatcher.h"
#include "ff_encoder.h"
#include "ff_logger.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: join_driver OUTPUT INPUT... [-o name=value]...\n");
        return 2;
    }
    PlainDispatcher dispatcher;
    FFLogger().SetDispatcher(&dispatcher);
    std::string output = argv[1];
    std::vector<std::string> inputs;
    std::string ext;
    bool verbose = false;
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-o") && i + 1 < argc)
            ext += std::string(argv[++i]) + "\n";
        else if (!std::strcmp(argv[i], "-v"))
            verbose = true;
        else
            inputs.push_back(argv[i]);
    }
    if (verbose) {
        FFLogger().SetLogLevel(llInfo);
        FFLogger().SetOnLog([](void*, uint32_t tid, TLogLevel level, const std::string& text) {
            std::fprintf(stderr, "#%u.%d: %s\n", tid, static_cast<int>(level), text.c_str());
        });
    }
    int status = 1;
    {
        TFFEncoder encoder(&dispatcher);
        if (!encoder.LibrariesLoaded() && !encoder.LoadLibraries("")) {
            std::fprintf(stderr, "%s\n", encoder.LastErrorMessage().c_str());
            return 1;
        }
        for (const std::string& in : inputs) {
            const bool ok = encoder.TaskCount() == 0 ? encoder.AddTask(in) >= 0 : encoder.AddInputFile(0, in);
            if (!ok) {
                std::fprintf(stderr, "Adding file error: %s\n", encoder.LastErrorMessage().c_str());
                return 1;
            }
        }
        TOutputOptions options;
        InitOutputOptions(options);
        options.Join = true;
        options.ExtOptions = ext;
        if (!encoder.SetOutputFile(0, output, &options)) {
            std::fprintf(stderr, "Cannot do convert, error: %s\n", encoder.LastErrorMessage().c_str());
            return 1;
        }
        bool done = false;
        encoder.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& info) {
            dispatcher.post([&, info] {
                if (info.TaskIndex < 0) {
                    done = true;
                    return;
                }
                if (info.Outcome == toFailed)
                    std::fprintf(stderr, "task %d failed: %s\n", info.TaskIndex, info.ErrorMessage.c_str());
                status = info.Outcome == toFinished ? 0 : 1;
            });
        };
        encoder.Start(1);
        dispatcher.runUntil([&] { return done; });
        encoder.ClearTasks();
    }
    FFLogger().SetOnLog(nullptr);
    FFLogger().SetDispatcher(nullptr);
    return status;
}
