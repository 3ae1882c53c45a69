#include "ff_options.h"

#include "ff_exception.h"
#include "ff_logger.h"
#include "ff_presets.h"
#include "ff_targets.h"
#include "util_funcs.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {
[[noreturn]] void Raise(const std::string& message) { throw FFmpegException(message); }

void LogLine(TLogLevel level, const std::string& message) { FFLogger().Log(nullptr, level, message); }

// The arguments of one SetOption call.
struct TCall {
    TOptionState& st;
    IOptionHost& host;
    const std::string& name;
    const std::string& value;
};
using THandler = void (*)(const TCall&);

int Int(const TCall& c) { return StrToIntStrict(c.value); }
float Float(const TCall& c) { return static_cast<float>(StrToFloatStrict(c.value)); }
bool Flag(const TCall& c) { return FlagValue(c.value); }

void DoNothing(const TCall& c) { LogLine(llInfo, "Do nothing: option - " + c.name); }

void SetGenericOrRaise(TOptionState& st, const std::string& name, const std::string& value) {
    const TOptionResult r = SetGenericOption(st, name, value);
    if (!r && st.StrictOptions) throw r.Error();
}

// "file.stream[:file.stream]", numbers as C's strtol reads them, any single
// separator character.
void ParseStreamMap(const TCall& c) {
    TStreamMap m;
    const char* arg = c.value.c_str();
    char* p = nullptr;
    m.FileIndex = static_cast<int>(std::strtol(arg, &p, 0));
    if (*p) ++p;
    m.StreamIndex = static_cast<int>(std::strtol(p, &p, 0));
    if (*p) {
        ++p;
        m.SyncFileIndex = static_cast<int>(std::strtol(p, &p, 0));
        if (*p) ++p;
        m.SyncStreamIndex = static_cast<int>(std::strtol(p, &p, 0));
    } else {
        m.SyncFileIndex = m.FileIndex;
        m.SyncStreamIndex = m.StreamIndex;
    }
    c.st.StreamMaps.push_back(m);
}

// ",type[index]" after a file number; type 'g' when there is none.
void ParseMetadataType(const char*& p, TMetadataMapEnd& end) {
    end.Type = 'g';
    if (*p != ',') return;
    ++p;
    end.Type = *p;
    switch (*p) {
    case 'g':
        ++p;
        break;
    case 's':
    case 'c':
    case 'p': {
        char* e = nullptr;
        end.Index = static_cast<int>(std::strtol(p + 1, &e, 0));
        p = e;
        break;
    }
    default:
        Raise(FormatText("Invalid metadata type %s.", std::string(1, *p).c_str()));
    }
}

void ParseMetadataMap(const TCall& c) {
    TMetadataMap m;
    const char* p = c.value.c_str();
    char* e = nullptr;
    m.Out.File = static_cast<int>(std::strtol(p, &e, 0));
    p = e;
    ParseMetadataType(p, m.Out);
    if (*p) ++p;
    m.In.File = static_cast<int>(std::strtol(p, &e, 0));
    p = e;
    ParseMetadataType(p, m.In);
    if (m.Out.Type == 'g' || m.In.Type == 'g') c.st.MetadataGlobalsAutoCopy = false;
    if (m.Out.Type == 's' || m.In.Type == 's') c.st.MetadataStreamsAutoCopy = false;
    if (m.Out.Type == 'c' || m.In.Type == 'c') c.st.MetadataChaptersAutoCopy = false;
    c.st.MetadataMaps.push_back(m);
}

void ParseChapterMap(const TCall& c) {
    TChapterMap m;
    char* p = nullptr;
    m.OutFile = static_cast<int>(std::strtol(c.value.c_str(), &p, 0));
    if (*p) ++p;
    m.InFile = static_cast<int>(std::strtol(p, &p, 0));
    c.st.ChapterMaps.push_back(m);
}

void ParseTsScale(const TCall& c) {
    char* p = nullptr;
    const long stream = std::strtol(c.value.c_str(), &p, 0);
    if (*p) ++p;
    const double scale = std::strtod(p, &p);
    // A negative index would write before the table.
    if (stream < 0 || stream >= MaxStreams) Raise(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
    c.st.TsScale[static_cast<size_t>(stream)] = scale;
}

void ParseMetadata(const TCall& c) {
    const size_t eq = c.value.find('=');
    if (eq == std::string::npos) Raise("Missing =");
    if (eq == 0) Raise("wrong parameter of metadata");
    c.st.Metadata.emplace_back(c.value.substr(0, eq), c.value.substr(eq + 1));
}

void ParseTarget(const TCall& c) {
    std::string kind = c.value, norm = "auto";
    for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
        const size_t n = std::strlen(prefix);
        if (kind.compare(0, n, prefix) == 0) {
            norm = std::string(prefix, n - 1);
            kind = kind.substr(n);
            break;
        }
    }
    ApplyTarget(c.st, c.host, kind, norm, "ntsc");
}

void SetThreads(const TCall& c) {
    c.st.ThreadCount = Int(c);
    if (c.st.Verbosity >= 0)
        LogLine(llVerbose, "Warning: if the ffmpeg libraries were not compiled with thread support, it would be using thread emulation.");
}

// "b", "vb", "ab": bit rates through the generic path, with a warning for
// values that look like kbit/s.
void SetBitrate(const TCall& c) {
    SetGenericOrRaise(c.st, c.name, c.value);
    const AVMediaType kind = c.name == "ab" ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO;
    if (c.st.Defaults().Codec(kind)->bit_rate < 1000)
        LogLine(llWarning, "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void SetFrameRate(const TCall& c) {
    AVRational r{};
    if (FF.av_parse_video_rate(&r, c.value.c_str()) < 0) Raise("Incorrect frame rate");
    c.st.FrameRate = r;
}

void SetFrameSize(const TCall& c) {
    // An output record without a size passes an empty one: the pending size
    // (a target's) stays.
    if (c.value.empty()) return;
    int w = 0, h = 0;
    if (FF.av_parse_video_size(&w, &h, c.value.c_str()) < 0) Raise("Incorrect frame size");
    c.st.FrameWidth = w, c.st.FrameHeight = h;
}

void SetAspect(const TCall& c) {
    const std::string& arg = c.value;
    double ar = 0;
    const size_t colon = arg.find(':');
    if (colon != std::string::npos) {
        char* end = nullptr;
        const long x = std::strtol(arg.c_str(), &end, 10);
        long y = 0;
        if (end == arg.c_str() + colon) y = std::strtol(end + 1, &end, 10);
        if (x > 0 && y > 0) ar = static_cast<double>(x) / static_cast<double>(y);
    } else {
        ar = std::strtod(arg.c_str(), nullptr);
    }
    // A negative ratio would give the stream a negative sample aspect.
    if (!(ar > 0)) Raise("Incorrect aspect ratio specification.");
    c.st.FrameAspectRatio = ar;
}

void SetPixelFormat(const TCall& c) {
    if (c.value == "list") {
        LogLine(llInfo, "Pixel formats:");
        LogLine(llInfo, "NAME            NB_COMPONENTS");
        for (const AVPixFmtDescriptor* d = FF.av_pix_fmt_desc_next(nullptr); d; d = FF.av_pix_fmt_desc_next(d))
            LogLine(llInfo, FormatText("%-16s %d", d->name, d->nb_components));
        return;
    }
    const AVPixelFormat f = FF.av_get_pix_fmt(c.value.c_str());
    if (f == AV_PIX_FMT_NONE) Raise(FormatText("Unknown pixel format requested: %s", c.value.c_str()));
    c.st.PixelFormat = f;
}

void SetSampleFormat(const TCall& c) {
    if (c.value == "list") {
        LogLine(llInfo, "name   depth");
        for (int i = 0; i < AV_SAMPLE_FMT_NB; ++i) {
            const auto f = static_cast<AVSampleFormat>(i);
            if (const char* n = FF.av_get_sample_fmt_name(f))
                LogLine(llInfo, FormatText("%-6s %2d", n, FF.av_get_bytes_per_sample(f) * 8));
        }
        return;
    }
    const AVSampleFormat f = FF.av_get_sample_fmt(c.value.c_str());
    if (f == AV_SAMPLE_FMT_NONE) Raise(FormatText("Invalid sample format \"%s\"", c.value.c_str()));
    c.st.SampleFormat = f;
}

void RemovedCrop(const TCall&) { Raise("Removed, use the crop filter instead"); }
void RemovedPad(const TCall&) { Raise("Removed, use the pad filter instead"); }

void SetQScale(const TCall& c) {
    const float q = Float(c);
    if (q <= 0 || q > 255) Raise("qscale must be > 0.0 and <= 255");
    c.st.VideoQScale = q;
}

// "vcodec", "acodec", "scodec": an encoder (or forced decoder) name, or "copy".
// An output record without a codec passes an empty name: a target's codec stays.
void SetCodec(const TCall& c) {
    if (c.value.empty()) return;
    bool& copy = c.name[0] == 'v' ? c.st.VideoStreamCopy : c.name[0] == 'a' ? c.st.AudioStreamCopy
                                                                             : c.st.SubtitleStreamCopy;
    std::string& codec = c.name[0] == 'v' ? c.st.VideoCodecName : c.name[0] == 'a' ? c.st.AudioCodecName
                                                                                     : c.st.SubtitleCodecName;
    codec.clear();
    if (c.value == "copy")
        copy = true;
    else
        codec = c.value;
}

void SetPass(const TCall& c) {
    char* end = nullptr;
    const long pass = std::strtol(c.value.c_str(), &end, 10);
    if (c.value.empty() || *end || pass < 1 || pass > 2) Raise("pass number can be only 1 or 2");
    c.st.Pass = static_cast<int>(pass);
}

void SetVstats(const TCall& c) {
    if (!Flag(c)) {
        c.st.VstatsFile.clear();
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char hhnnss[16];
    std::strftime(hhnnss, sizeof hhnnss, "%H%M%S", &local);
    c.st.VstatsFile = FormatText("%svstats_%s.log", ExecutableFolder().c_str(), hhnnss);
}

void AddVideoHook(const TCall& c) {
    if (!c.host.AddVideoHook(c.value)) Raise("Failed to add video hook function: " + c.value);
}

// 64 coefficients separated by commas.
void ParseMatrix(const std::string& text, std::array<uint16_t, 64>& dest) {
    const char* p = text.c_str();
    for (int i = 0;; ++i) {
        dest[static_cast<size_t>(i)] = static_cast<uint16_t>(std::atoi(p));
        if (i == 63) break;
        p = std::strchr(p, ',');
        if (!p) Raise(FormatText("Syntax error in matrix \"%s\" at coeff %d", text.c_str(), i));
        ++p;
    }
}

void SetIntraMatrix(const TCall& c) {
    ParseMatrix(c.value, c.st.IntraMatrix);
    c.st.IntraMatrixSet = true;
}
void SetInterMatrix(const TCall& c) {
    ParseMatrix(c.value, c.st.InterMatrix);
    c.st.InterMatrixSet = true;
}

void SetTag(const TCall& c) {
    uint32_t* tag = c.name == "vtag" ? &c.st.VideoCodecTag
                    : c.name == "atag" ? &c.st.AudioCodecTag
                    : c.name == "stag" ? &c.st.SubtitleCodecTag
                                       : nullptr;
    if (!tag) Raise(FormatText("Invalid tag parmeter %s", c.name.c_str()));
    *tag = ParseCodecTag(c.value);
}

void NewStream(const TCall& c, AVMediaType kind) {
    if (c.host.OutputCount() <= 0) Raise("At least one output file must be specified");
    c.host.NewStream(kind);
}

void SetStreamId(const TCall& c) {
    const size_t colon = c.value.find(':');
    if (colon == std::string::npos)
        Raise(FormatText("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
                         c.value.c_str(), c.name.c_str()));
    const std::string indexText = c.value.substr(0, colon), idText = c.value.substr(colon + 1);
    const int index = StrToIntStrict(indexText);
    if (index < 0 || index >= MaxStreams)
        Raise(FormatText("The value for %s was %s which is not within %d - %d", c.name.c_str(), indexText.c_str(), 0,
                         MaxStreams - 1));
    const int id = StrToIntStrict(idText);
    if (id < 0)
        Raise(FormatText("The value for %s was %s which is not within %d - %d", c.name.c_str(), idText.c_str(), 0,
                         INT32_MAX));
    if (c.st.StreamIds.size() <= static_cast<size_t>(index)) c.st.StreamIds.resize(static_cast<size_t>(index) + 1);
    c.st.StreamIds[static_cast<size_t>(index)] = id;
}

// "absf", "vbsf", "sbsf": name[=args] appended to the next stream's chain.
void AddBitstreamFilter(const TCall& c) {
    if (!c.value.empty() && c.value[0] == '=') return;
    const size_t eq = c.value.find('=');
    TBitstreamFilterSpec f{c.value.substr(0, eq), eq == std::string::npos ? std::string() : c.value.substr(eq + 1)};
    if (!FF.av_bsf_get_by_name(f.Name.c_str())) Raise(FormatText("Unknown bitstream filter %s", f.Name.c_str()));
    auto& chain = c.name[0] == 'a' ? c.st.AudioBitstreamFilters
                  : c.name[0] == 'v' ? c.st.VideoBitstreamFilters
                                     : c.st.SubtitleBitstreamFilters;
    chain.push_back(std::move(f));
}

struct TEntry {
    const char* name;
    THandler handler;
};

// The table, in the order names are matched.
const TEntry Table[] = {
    {"L", DoNothing},
    {"h", DoNothing},
    {"version", DoNothing},
    {"formats", DoNothing},
    {"codecs", DoNothing},
    {"bsfs", DoNothing},
    {"protocols", DoNothing},
    {"filters", DoNothing},
    {"loglevel", [](const TCall& c) { FFLogger().SetLogLevelText(c.value); }},
    {"f", [](const TCall& c) { c.st.FileFormat = c.value; }},
    {"i", DoNothing},
    {"y", DoNothing},
    {"map", ParseStreamMap},
    {"map_meta_data", ParseMetadataMap},
    {"map_chapters", ParseChapterMap},
    {"t", [](const TCall& c) { c.st.RecordingTime = ParseTimeValue(c.name, c.value, true); }},
    {"fs", [](const TCall& c) { c.st.LimitFileSize = StrToInt64Strict(c.value); }},
    {"ss", [](const TCall& c) { c.st.StartTime = ParseTimeValue(c.name, c.value, true); }},
    {"itsoffset", [](const TCall& c) { c.st.InputTsOffset = ParseTimeValue(c.name, c.value, true); }},
    {"itsscale", ParseTsScale},
    {"timestamp",
     [](const TCall& c) {
         c.st.RecordingTimestamp = std::llround(static_cast<double>(ParseTimeValue(c.name, c.value, false)) / 1e6);
     }},
    {"metadata", ParseMetadata},
    {"dframes", [](const TCall& c) { c.st.MaxFrames[AVMEDIA_TYPE_DATA] = Int(c); }},
    {"benchmark", DoNothing},
    {"timelimit", [](const TCall&) { LogLine(llWarning, "Warning: -timelimit not implemented on Windows"); }},
    {"dump", [](const TCall& c) { c.st.PacketDump = Flag(c); }},
    {"hex", [](const TCall& c) { c.st.HexDump = Flag(c); }},
    {"re", [](const TCall& c) { c.st.RateEmulation = Flag(c); }},
    {"loop_input", [](const TCall& c) { c.st.LoopInput = Flag(c); }},
    {"loop_output", [](const TCall& c) { c.st.LoopOutput = Int(c); }},
    {"v", [](const TCall& c) { c.st.Verbosity = Int(c); }},
    {"target", ParseTarget},
    {"threads", SetThreads},
    {"vsync", [](const TCall& c) { c.st.VideoSync = Int(c); }},
    {"async", [](const TCall& c) { c.st.AudioSync = Int(c); }},
    {"adrift_threshold", [](const TCall& c) { c.st.AudioDriftThreshold = Float(c); }},
    {"vglobal", [](const TCall& c) { c.st.VideoGlobalHeader = Int(c); }},
    {"copyts", [](const TCall& c) { c.st.CopyTimestamps = Flag(c); }},
    {"copytb", [](const TCall& c) { c.st.CopyTimeBase = Flag(c); }},
    {"shortest", [](const TCall& c) { c.st.Shortest = Flag(c); }},
    {"dts_delta_threshold", [](const TCall& c) { c.st.DtsDeltaThreshold = Float(c); }},
    {"programid", [](const TCall& c) { c.st.ProgramId = Int(c); }},
    {"xerror", [](const TCall& c) { c.st.ExitOnError = Flag(c); }},
    {"copyinkf", [](const TCall& c) { c.st.CopyInitialNonKeyframes = Int(c) != 0; }},
    {"b", SetBitrate},
    {"vb", SetBitrate},
    {"vframes", [](const TCall& c) { c.st.MaxFrames[AVMEDIA_TYPE_VIDEO] = Int(c); }},
    {"r", SetFrameRate},
    {"s", SetFrameSize},
    {"aspect", SetAspect},
    {"pix_fmt", SetPixelFormat},
    {"croptop", RemovedCrop},
    {"cropbottom", RemovedCrop},
    {"cropleft", RemovedCrop},
    {"cropright", RemovedCrop},
    {"padtop", RemovedPad},
    {"padbottom", RemovedPad},
    {"padleft", RemovedPad},
    {"padright", RemovedPad},
    {"padcolor", RemovedPad},
    {"intra", [](const TCall& c) { c.st.IntraOnly = Flag(c); }},
    {"vn", [](const TCall& c) { c.st.VideoDisable = Flag(c); }},
    {"vdt", [](const TCall& c) { c.st.VideoDiscard = Int(c); }},
    {"qscale", SetQScale},
    {"rc_override", [](const TCall& c) { c.st.RcOverride = c.value; }},
    {"vcodec", SetCodec},
    {"me_threshold", [](const TCall& c) { c.st.MeThreshold = Int(c); }},
    {"sameq", [](const TCall& c) { c.st.SameQuality = Flag(c); }},
    {"pass", SetPass},
    {"passlogfile", [](const TCall& c) { c.st.PassLogFile = c.value; }},
    {"deinterlace", [](const TCall& c) { c.st.Deinterlace = Flag(c); }},
    {"psnr", [](const TCall& c) { c.st.Psnr = Flag(c); }},
    {"vstats", SetVstats},
    {"vstats_file", [](const TCall& c) { c.st.VstatsFile = c.value; }},
    {"vhook", AddVideoHook},
    {"vfilters", [](const TCall& c) { c.st.VideoFilters = c.value; }},
    {"vf", [](const TCall& c) { c.st.VideoFilters = c.value; }},
    {"intra_matrix", SetIntraMatrix},
    {"inter_matrix", SetInterMatrix},
    {"top", [](const TCall& c) { c.st.TopFieldFirst = Int(c); }},
    {"dc", [](const TCall& c) { c.st.IntraDcPrecision = Int(c); }},
    {"vtag", SetTag},
    {"newvideo", [](const TCall& c) { NewStream(c, AVMEDIA_TYPE_VIDEO); }},
    {"vlang", [](const TCall& c) { c.st.VideoLanguage = c.value; }},
    {"qphist", [](const TCall& c) { c.st.QpHistogram = Flag(c); }},
    {"force_fps", [](const TCall& c) { c.st.ForceFps = Flag(c); }},
    {"streamid", SetStreamId},
    {"force_key_frames", [](const TCall& c) { c.st.ForcedKeyFrames = c.value; }},
    {"ab", SetBitrate},
    {"aframes", [](const TCall& c) { c.st.MaxFrames[AVMEDIA_TYPE_AUDIO] = Int(c); }},
    {"aq", [](const TCall& c) { c.st.AudioQScale = Float(c); }},
    {"ar", [](const TCall& c) { c.st.AudioSampleRate = Int(c); }},
    {"ac", [](const TCall& c) { c.st.AudioChannels = Int(c); }},
    {"an", [](const TCall& c) { c.st.AudioDisable = Flag(c); }},
    {"acodec", SetCodec},
    {"atag", SetTag},
    {"vol", [](const TCall& c) { c.st.AudioVolume = Int(c); }},
    {"newaudio", [](const TCall& c) { NewStream(c, AVMEDIA_TYPE_AUDIO); }},
    {"alang", [](const TCall& c) { c.st.AudioLanguage = c.value; }},
    {"sample_fmt", SetSampleFormat},
    {"sn", [](const TCall& c) { c.st.SubtitleDisable = Flag(c); }},
    {"scodec", SetCodec},
    {"newsubtitle", [](const TCall& c) { NewStream(c, AVMEDIA_TYPE_SUBTITLE); }},
    {"slang", [](const TCall& c) { c.st.SubtitleLanguage = c.value; }},
    {"stag", SetTag},
    {"vc", [](const TCall& c) { c.st.VideoChannel = Int(c); }},
    {"tvstd", [](const TCall& c) { c.st.VideoStandard = c.value; }},
    {"isync", [](const TCall& c) { c.st.InputSync = Flag(c); }},
    {"muxdelay", [](const TCall& c) { c.st.MuxMaxDelay = Float(c); }},
    {"muxpreload", [](const TCall& c) { c.st.MuxPreload = Float(c); }},
    {"absf", AddBitstreamFilter},
    {"vbsf", AddBitstreamFilter},
    {"sbsf", AddBitstreamFilter},
    {"apre", [](const TCall& c) { LoadPreset(c.st, c.host, c.name, c.value); }},
    {"vpre", [](const TCall& c) { LoadPreset(c.st, c.host, c.name, c.value); }},
    {"spre", [](const TCall& c) { LoadPreset(c.st, c.host, c.name, c.value); }},
    {"fpre", [](const TCall& c) { LoadPreset(c.st, c.host, c.name, c.value); }},
};

bool IsOutputPassLine(const std::string& name) {
    for (const char* n : {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"})
        if (name == n) return true;
    return false;
}

bool IsCodecLine(const std::string& name) {
    return name == "acodec" || name == "vcodec" || name == "scodec" || name == "s";
}

[[noreturn]] void RaiseNotInteger(const std::string& text) {
    Raise(FormatText("'%s' is not a valid integer value", text.c_str()));
}

// Optional leading blanks and sign, then decimal digits or hexadecimal after
// "$" or "0x".
int64_t ParseInteger(const std::string& text, int64_t lo, int64_t hi) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') base = 16, ++i;
    else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) base = 16, i += 2;
    if (i >= text.size()) RaiseNotInteger(text);
    uint64_t magnitude = 0;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(first, last, magnitude, base);
    if (ec != std::errc() || ptr != last) RaiseNotInteger(text);
    if (!negative && magnitude > static_cast<uint64_t>(hi)) RaiseNotInteger(text);
    if (negative && magnitude > static_cast<uint64_t>(hi) + 1) RaiseNotInteger(text);
    const int64_t v = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    if (v < lo) RaiseNotInteger(text);
    return v;
}
}  // namespace

void SetOption(TOptionState& state, IOptionHost& host, const std::string& name, const std::string& value) {
    for (const TEntry& e : Table)
        if (name == e.name) {
            e.handler(TCall{state, host, name, value});
            return;
        }
    SetGenericOrRaise(state, name, value);
}

const std::vector<std::string>& OptionTableNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const TEntry& e : Table) n.emplace_back(e.name);
        return n;
    }();
    return names;
}

std::vector<TOptionLine> SplitOptionText(const std::string& text) {
    std::string t = Trim(text);
    std::string lf;
    lf.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r') {
            lf += '\n';
            if (i + 1 < t.size() && t[i + 1] == '\n') ++i;
        } else if (t.compare(i, 6, "<CRLF>") == 0) {
            lf += '\n';
            i += 5;
        } else {
            lf += t[i];
        }
    }
    std::vector<TOptionLine> lines;
    size_t start = 0;
    while (start <= lf.size()) {
        size_t end = lf.find('\n', start);
        if (end == std::string::npos) end = lf.size();
        const std::string line = lf.substr(start, end - start);
        start = end + 1;
        // A blank line names no option.
        if (Trim(line).empty()) continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            lines.push_back({LowerCase(line), {}});
        else
            lines.push_back({LowerCase(line.substr(0, eq)), line.substr(eq + 1)});
    }
    return lines;
}

void ApplyOptionText(TOptionState& state, IOptionHost& host, const std::string& text, bool codecOptionsAllowed) {
    for (const TOptionLine& line : SplitOptionText(text)) {
        if (IsOutputPassLine(line.Name)) continue;
        if (IsCodecLine(line.Name) && !codecOptionsAllowed) continue;
        SetOption(state, host, line.Name, line.Value);
    }
}

void ConsumeInputSettings(TOptionState& state) {
    state.FileFormat.clear();
    state.StartTime = 0;
    state.InputEndTime = INT64_MAX;
    state.ProgramId = 0;
    state.VideoChannel = 0;
    state.TsScale.fill(0.0);
    state.VideoCodecName.clear();
    state.AudioCodecName.clear();
    state.SubtitleCodecName.clear();
}

void ConsumeVideoStreamSettings(TOptionState& state) {
    state.VideoCodecName.clear();
    state.VideoStreamCopy = false;
    state.VideoDisable = false;
    state.VideoLanguage.clear();
    state.PixelFormat = AV_PIX_FMT_NONE;
    state.ForcedKeyFrames.clear();
    state.VideoFilters.clear();
    state.VideoBitstreamFilters.clear();
}

void ConsumeAudioStreamSettings(TOptionState& state) {
    state.AudioCodecName.clear();
    state.AudioStreamCopy = false;
    state.AudioDisable = false;
    state.AudioLanguage.clear();
    state.AudioBitstreamFilters.clear();
}

void ConsumeSubtitleStreamSettings(TOptionState& state) {
    state.SubtitleCodecName.clear();
    state.SubtitleStreamCopy = false;
    state.SubtitleDisable = false;
    state.SubtitleLanguage.clear();
    state.SubtitleBitstreamFilters.clear();
}

void ConsumeOutputSettings(TOptionState& state) {
    state.FileFormat.clear();
    state.Metadata.clear();
    state.StreamIds.clear();
    state.ForcedKeyFrames.clear();
}

int StrToIntStrict(const std::string& text) { return static_cast<int>(ParseInteger(text, INT32_MIN, INT32_MAX)); }

int64_t StrToInt64Strict(const std::string& text) { return ParseInteger(text, INT64_MIN, INT64_MAX); }

double StrToFloatStrict(const std::string& text) {
    const std::string t = Trim(text);
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (first != last && *first == '+') ++first;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (t.empty() || ec != std::errc() || ptr != last || !std::isfinite(v))
        Raise(FormatText("'%s' is not a valid floating point value", text.c_str()));
    return v;
}

bool FlagValue(const std::string& value) { return value != "0"; }

int64_t ParseTimeValue(const std::string& option, const std::string& value, bool isDuration) {
    int64_t us = 0;
    if (FF.av_parse_time(&us, value.c_str(), isDuration ? 1 : 0) < 0 || us == AV_NOPTS_VALUE)
        Raise(FormatText("Invalid %s specification for %s: %s", isDuration ? "duration" : "date", option.c_str(),
                         value.c_str()));
    return us;
}

uint32_t ParseCodecTag(const std::string& value) {
    if (!value.empty()) {
        char* tail = nullptr;
        errno = 0;
        const unsigned long v = std::strtoul(value.c_str(), &tail, 0);
        if (*tail == '\0' && errno == 0 && v <= UINT32_MAX) return static_cast<uint32_t>(v);
    }
    if (value.size() != 4) Raise("tag parameter must be 4 chars or int value");
    const auto* b = reinterpret_cast<const unsigned char*>(value.data());
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}
