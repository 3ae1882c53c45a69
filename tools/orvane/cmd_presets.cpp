// orvane presets [FORMAT]: every preset of the catalogue (or of one format) as
// FORMAT<TAB>INDEX<TAB>CAPTION, in catalogue order.
#include "cli.h"

#include "catalogue.h"

#include <cstdio>

namespace {

int RunPresets(const TParsedArgs& args, IDispatcher&) {
    if (args.Operands.size() > 1) return UsageError("orvane presets", "too many arguments");
    const TFormatId* only = nullptr;
    if (!args.Operands.empty()) {
        only = FindFormatByName(args.Operands[0]);
        if (!only) return UsageError("orvane presets", "unknown format '" + args.Operands[0] + "'");
    }
    for (const TCatalogueFormat& f : Catalogue()) {
        if (only && f.Format != only) continue;
        for (size_t i = 0; i < f.Presets.size(); ++i)
            std::printf("%.*s\t%zu\t%.*s\n", static_cast<int>(f.Format->Name.size()), f.Format->Name.data(), i,
                        static_cast<int>(f.Presets[i].size()), f.Presets[i].data());
    }
    return 0;
}

const CliRegistration registration({
    .Name = "presets",
    .Summary = "list the output formats and their presets",
    .Help = {.Synopsis = "[FORMAT]",
             .Description = "Lists every preset of every output format, or of FORMAT only, one a line: the format's "
                            "name, the preset's index and its caption, parted by tabs, in the order the window "
                            "shows them. The index is what 'orvane join --preset' takes. FORMAT is a format name "
                            "such as MP4, mp3 or iPod; case does not matter.",
             .ExitStatuses = {{0, "the presets were listed"},
                              {ExitUsage, "an unknown format, more than one FORMAT, or an unknown option"}}},
    .Run = RunPresets,
});

}  // namespace
