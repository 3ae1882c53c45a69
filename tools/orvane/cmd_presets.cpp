// orvane presets [FORMAT]: every preset of the catalogue (or of one format) as
// FORMAT<TAB>INDEX<TAB>CAPTION, in catalogue order.
#include "cli.h"

#include "catalogue.h"

#include <cstdio>

namespace {

int RunPresets(const std::vector<std::string>& args) {
    if (args.size() > 1) {
        std::fprintf(stderr, "orvane presets: too many arguments (usage: orvane presets [FORMAT])\n");
        return ExitUsage;
    }
    const TFormatId* only = nullptr;
    if (!args.empty()) {
        only = FindFormatByName(args[0]);
        if (!only) {
            std::fprintf(stderr, "orvane presets: unknown format '%s'\n", args[0].c_str());
            return ExitUsage;
        }
    }
    for (const TCatalogueFormat& f : Catalogue()) {
        if (only && f.Format != only) continue;
        for (size_t i = 0; i < f.Presets.size(); ++i)
            std::printf("%.*s\t%zu\t%.*s\n", static_cast<int>(f.Format->Name.size()), f.Format->Name.data(), i,
                        static_cast<int>(f.Presets[i].size()), f.Presets[i].data());
    }
    return 0;
}

const CliRegistration registration({"presets", "presets [FORMAT]", RunPresets});

}  // namespace
