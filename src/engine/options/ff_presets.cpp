#include "ff_presets.h"

#include "ff_exception.h"
#include "ff_logger.h"
#include "ff_options.h"
#include "util_funcs.h"

#include <fstream>
#include <iterator>
#include <utility>

namespace {
// The libx264 presets of the old libraries' source, in today's terms:
// libx264's own speed presets, profiles and private options. "default",
// "baseline" and "main" keep their original lines, which the legacy table
// turns into today's options.
const std::pair<const char*, const char*> Builtins[] = {
    {"libx264-baseline", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0\n"},
    {"libx264-default",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_method=hex\nsubq=7\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\nqcomp=0.6\nqmin=10\n"
     "qmax=51\nqdiff=4\nbf=3\nrefs=3\ndirectpred=1\ntrellis=1\nflags2=+mixed_refs+wpred+dct8x8+fastpskip\n"
     "wpredp=2\n"},
    {"libx264-fast", "preset=fast\n"},
    {"libx264-fast_firstpass", "preset=fast\nfastfirstpass=1\n"},
    {"libx264-faster", "preset=faster\n"},
    {"libx264-faster_firstpass", "preset=faster\nfastfirstpass=1\n"},
    {"libx264-fastfirstpass", "preset=medium\nfastfirstpass=1\n"},
    {"libx264-hq", "preset=slow\n"},
    {"libx264-ipod320", "profile=baseline\nlevel=13\nmaxrate=768000\nbufsize=3000000\n"},
    {"libx264-ipod640", "profile=baseline\nlevel=30\nmaxrate=10000000\nbufsize=10000000\n"},
    {"libx264-lossless_fast", "preset=fast\nqp=0\n"},
    {"libx264-lossless_max", "preset=placebo\nqp=0\n"},
    {"libx264-lossless_medium", "preset=medium\nqp=0\n"},
    {"libx264-lossless_slow", "preset=slow\nqp=0\n"},
    {"libx264-lossless_slower", "preset=slower\nqp=0\n"},
    {"libx264-lossless_ultrafast", "preset=ultrafast\nqp=0\n"},
    {"libx264-main", "flags2=-dct8x8\n"},
    {"libx264-max", "preset=placebo\n"},
    {"libx264-medium", "preset=medium\n"},
    {"libx264-medium_firstpass", "preset=medium\nfastfirstpass=1\n"},
    {"libx264-normal", "preset=medium\n"},
    {"libx264-placebo", "preset=placebo\n"},
    {"libx264-placebo_firstpass", "preset=placebo\nfastfirstpass=1\n"},
    {"libx264-slow", "preset=slow\n"},
    {"libx264-slow_firstpass", "preset=slow\nfastfirstpass=1\n"},
    {"libx264-slower", "preset=slower\n"},
    {"libx264-slower_firstpass", "preset=slower\nfastfirstpass=1\n"},
    {"libx264-slowfirstpass", "preset=medium\nfastfirstpass=0\n"},
    {"libx264-superfast", "preset=superfast\n"},
    {"libx264-superfast_firstpass", "preset=superfast\nfastfirstpass=1\n"},
    {"libx264-ultrafast", "preset=ultrafast\n"},
    {"libx264-ultrafast_firstpass", "preset=ultrafast\nfastfirstpass=1\n"},
    {"libx264-veryfast", "preset=veryfast\n"},
    {"libx264-veryfast_firstpass", "preset=veryfast\nfastfirstpass=1\n"},
    {"libx264-veryslow", "preset=veryslow\n"},
    {"libx264-veryslow_firstpass", "preset=veryslow\nfastfirstpass=1\n"},
};

const std::string& PendingCodec(const TOptionState& st, const std::string& option) {
    static const std::string none;
    if (option == "apre") return st.AudioCodecName;
    if (option == "vpre") return st.VideoCodecName;
    if (option == "spre") return st.SubtitleCodecName;
    return none;
}

// The preset's text: built in, built in for the pending codec, or a file.
std::string PresetText(const TOptionState& st, const std::string& option, const std::string& value) {
    if (option != "fpre") {
        std::string text = BuiltinPresetText(value);
        if (text.empty() && !PendingCodec(st, option).empty())
            text = BuiltinPresetText(PendingCodec(st, option) + "-" + value);
        if (!text.empty()) return text;
    }
    std::ifstream in(value, std::ios::binary);
    if (!in || !FileExists(value)) throw FFmpegException(FormatText("Preset \"%s\" not found", value.c_str()));
    return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

const std::vector<std::string>& BuiltinPresetNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const auto& b : Builtins) n.emplace_back(b.first);
        return n;
    }();
    return names;
}

std::string BuiltinPresetText(const std::string& name) {
    const std::string lower = LowerCase(name);
    for (const auto& b : Builtins)
        if (lower == b.first) return b.second;
    return {};
}

void LoadPreset(TOptionState& state, IOptionHost& host, const std::string& option, const std::string& value) {
    if (value.empty()) return;
    std::string text = PresetText(state, option, value);
    for (char& ch : text)
        if (ch == '\r') ch = '\n';
    for (const std::string& raw : SplitText(Trim(text), "\n")) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        const std::string name = eq == std::string::npos ? line : line.substr(0, eq);
        const std::string arg = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        if (name.empty() || arg.empty())
            throw FFmpegException(FormatText("%s: Invalid syntax: \"%s\"", value.c_str(), line.c_str()));
        const std::string lower = LowerCase(name);
        if (lower == "acodec" || lower == "vcodec" || lower == "scodec") {
            SetOption(state, host, lower, arg);
        } else if (const TOptionResult set = SetGenericOption(state, name, arg); !set && state.StrictOptions) {
            throw FFmpegException(FormatText("%s\r\n%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                                             set.Error().what(), value.c_str(), line.c_str(), name.c_str(),
                                             arg.c_str()),
                                  set.Error().Code(), value);
        }
    }
}
