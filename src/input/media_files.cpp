#include "media_files.h"

#include "util_funcs.h"

#include <algorithm>
#include <array>

namespace {
// The Add dialog's extensions: a drop takes what the dialog offers.
constexpr std::array<std::string_view, 43> kMediaExtensions = {
    ".mp3", ".aac", ".wav", ".wma", ".cda", ".flac", ".m4a", ".mid", ".mka", ".mp2", ".mpa",
    ".mpc", ".ape", ".ofr", ".ogg", ".ra",  ".wv",   ".tta", ".ac3", ".dts", ".avi", ".avm",
    ".asf", ".wmv", ".avs", ".flv", ".mkv", ".mov",  ".3gp", ".mp4", ".mpg", ".dat", ".ogm",
    ".vob", ".rm",  ".rmvb", ".ts", ".tp",  ".ifo",  ".nsv", ".swf", ".mpeg", ".webm"};

constexpr char kVideoPatterns[] =
    "*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*.VOB;*.RM;*.RMVB;*.TS;"
    "*.TP;*.IFO;*.NSV;*.SWF;*.WEBM;";
constexpr char kAudioPatterns[] =
    "*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;"
    "*.AC3;*.DTS;";
}  // namespace

bool IsMediaExtension(std::string_view extension) {
    const std::string lower = LowerCase(extension);
    return std::find(kMediaExtensions.begin(), kMediaExtensions.end(), lower) != kMediaExtensions.end();
}

const std::vector<TFileFilter>& OpenDialogFilters() {
    static const std::vector<TFileFilter> filters = {
        {"All Supported Formats", std::string(kVideoPatterns) + kAudioPatterns},
        {"All Video Formats (all types)", kVideoPatterns},
        {"All Audio Formats (all types)", kAudioPatterns},
        {"All Files", "*.*"},
    };
    return filters;
}

std::string OpenDialogFilterText() {
    std::string text;
    for (const TFileFilter& f : OpenDialogFilters()) {
        if (!text.empty()) text += '|';
        text += f.Display + '|' + f.Patterns;
    }
    return text;
}
