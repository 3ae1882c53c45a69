#pragma once
// The option vocabulary of a task: the pending settings of one transcoding
// command line, the table of SetOption, the generic path to the libraries' own
// options, option texts (lines name=value) and the stored generic options that
// every new codec and container context receives.
//
// An option that describes a file or a stream takes effect on the next input
// opened or on the streams of the next output created; the opening code reads
// the pending settings and then calls the Consume* routine of what it made.
//
// Where the opening code calls in (ff_legacy.h has the adaptations):
//  - OpenInput: the pending input settings (file format, sample rate,
//    channels, frame rate, size, pixel format, video channel, TV standard,
//    start time, itsoffset, itsscale, program id, loop_input, codec names);
//    ApplyStoredFormatOptions(state, ic, OptFlagsInputContainer) before opening,
//    ApplyStoredCodecOptions(..., OptFlagsInputVideo / OptFlagsInputAudio) for
//    each decoder context; then ConsumeInputSettings.
//  - OpenOutput: the stream kinds, then per stream: encoder name through
//    FindEncoderAdapted (a missing format default through
//    DefaultEncoderAdapted), codec context made with that encoder (so its
//    private options exist), ApplyStoredCodecOptions(..., OptFlagsOutputVideo /
//    OptFlagsOutputAudio), the pending size through AdaptFrameSize, the pending
//    sample rate through NearestSupportedSampleRate and then the bit rate
//    through NearestSupportedBitRate, thread count; then
//    ConsumeVideoStreamSettings / ...Audio... / ...Subtitle...; after the
//    container: ApplyStoredFormatOptions(state, oc, OptFlagsOutputContainer)
//    and ConsumeOutputSettings.
//  - SetOutputFile: SplitOptionText for the list L and the new-stream pass,
//    ApplyTarget, SetOption for codecs and presets, ApplyOptionText.
#include "ff_api.h"
#include "ff_exception.h"
#include "ff_owned.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Stream index limit of "itsscale" and "streamid".
inline constexpr int MaxStreams = 20;

// Flag sets of ApplyStoredOptions (the libraries' AV_OPT_FLAG_* bits).
inline constexpr int OptFlagsInputContainer = AV_OPT_FLAG_DECODING_PARAM;                              // 2
inline constexpr int OptFlagsInputVideo = AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM;        // 18
inline constexpr int OptFlagsInputAudio = AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM;        // 10
inline constexpr int OptFlagsOutputContainer = AV_OPT_FLAG_ENCODING_PARAM;                             // 1
inline constexpr int OptFlagsOutputVideo = AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM;       // 17
inline constexpr int OptFlagsOutputAudio = AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM;       // 9
inline constexpr int OptFlagsOutputSubtitle = AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM; // 33

// "map": output stream <- input file.stream, synchronised on file.stream.
struct TStreamMap {
    int FileIndex = 0;
    int StreamIndex = 0;
    int SyncFileIndex = 0;
    int SyncStreamIndex = 0;
};

// One side of a "map_meta_data" entry: type 'g' (global), 's' (stream),
// 'c' (chapter) or 'p' (program), with the index for the last three.
struct TMetadataMapEnd {
    int File = 0;
    char Type = 'g';
    int Index = 0;
};
struct TMetadataMap {
    TMetadataMapEnd Out;
    TMetadataMapEnd In;
};

struct TChapterMap {
    int OutFile = 0;
    int InFile = 0;
};

// One bitstream filter of a chain: "name[=args]".
struct TBitstreamFilterSpec {
    std::string Name;
    std::string Args;
};

// A generic option kept for the contexts made later: a name set on a defaults
// context (its value is read back from there) or a private option of some codec
// or muxer with its value.
struct TStoredOption {
    std::string Name;
    std::string Value;  // private options only
    bool Private = false;
};

// The generic store: one codec context per media kind with that kind's
// defaults, one container context, one scaler context, and the generic options
// in the order given. Made on first use (the libraries must be loaded) and
// released with the task.
class TOptionDefaults {
public:
    TOptionDefaults();
    TOptionDefaults(const TOptionDefaults&) = delete;
    TOptionDefaults& operator=(const TOptionDefaults&) = delete;

    // AVMEDIA_TYPE_VIDEO .. AVMEDIA_TYPE_ATTACHMENT; null for another kind.
    AVCodecContext* Codec(AVMediaType kind) const;
    AVFormatContext* Format() const { return format_.get(); }
    SwsContext* Scaler() const { return scaler_.get(); }

    std::vector<TStoredOption> Stored;

private:
    std::array<TCodecContextPtr, AVMEDIA_TYPE_NB> codecs_;
    TFormatContextPtr format_;
    TScalerPtr scaler_;
};

// One task's option state. Initial values are those of the classic command
// line except the thread count (0: automatic, so all cores work).
struct TOptionState {
    TOptionState();
    ~TOptionState();
    TOptionState(const TOptionState&) = delete;
    TOptionState& operator=(const TOptionState&) = delete;

    // ---- per input file (ConsumeInputSettings clears them) ----
    std::string FileFormat;        // "f"; also cleared when an output is created
    int64_t StartTime = 0;         // "ss", microseconds; per input and per output
    int64_t InputEndTime = INT64_MAX;  // the pending input's end (TInputOptions::EndTime), microseconds
    int ProgramId = 0;             // "programid"; 0: none
    int VideoChannel = 0;          // "vc"
    std::array<double, MaxStreams> TsScale{};  // "itsscale" of the next input; 0: none
    std::string VideoCodecName;    // "vcodec" (forced decoder on inputs)
    std::string AudioCodecName;    // "acodec"
    std::string SubtitleCodecName; // "scodec"

    // ---- input parameters, kept (opening an input also writes some back) ----
    int FrameWidth = 0;            // "s"
    int FrameHeight = 0;
    double FrameAspectRatio = 0.0; // "aspect"
    AVRational FrameRate{25, 0};   // "r"; an input with video replaces it
    AVSampleFormat SampleFormat = AV_SAMPLE_FMT_NONE;  // "sample_fmt"
    int AudioSampleRate = 44100;   // "ar"
    int AudioChannels = 2;         // "ac"
    std::string VideoStandard;     // "tvstd"
    int64_t InputTsOffset = 0;     // "itsoffset", microseconds
    bool LoopInput = false;        // "loop_input"

    // ---- per video stream (ConsumeVideoStreamSettings) ----
    AVPixelFormat PixelFormat = AV_PIX_FMT_NONE;  // "pix_fmt"
    bool VideoStreamCopy = false;  // "vcodec copy"
    bool VideoDisable = false;     // "vn"
    std::string VideoLanguage;     // "vlang"
    std::string ForcedKeyFrames;   // "force_key_frames"; also per output
    std::string VideoFilters;      // "vf", "vfilters"
    std::vector<TBitstreamFilterSpec> VideoBitstreamFilters;  // "vbsf"

    // ---- per audio stream (ConsumeAudioStreamSettings) ----
    bool AudioStreamCopy = false;
    bool AudioDisable = false;     // "an"
    std::string AudioLanguage;     // "alang"
    std::vector<TBitstreamFilterSpec> AudioBitstreamFilters;  // "absf"

    // ---- per subtitle stream (ConsumeSubtitleStreamSettings) ----
    bool SubtitleStreamCopy = false;
    bool SubtitleDisable = false;  // "sn"
    std::string SubtitleLanguage;  // "slang"
    std::vector<TBitstreamFilterSpec> SubtitleBitstreamFilters;  // "sbsf"

    // ---- per output file (ConsumeOutputSettings) ----
    std::vector<std::pair<std::string, std::string>> Metadata;  // "metadata"
    std::vector<int> StreamIds;    // "streamid": index -> id; 0: not set

    // ---- stream settings kept for every later stream ----
    uint32_t VideoCodecTag = 0;    // "vtag"
    uint32_t AudioCodecTag = 0;    // "atag"
    uint32_t SubtitleCodecTag = 0; // "stag"
    float VideoQScale = 0.0f;      // "qscale"
    bool IntraMatrixSet = false;   // "intra_matrix"
    std::array<uint16_t, 64> IntraMatrix{};
    bool InterMatrixSet = false;   // "inter_matrix"
    std::array<uint16_t, 64> InterMatrix{};
    float AudioQScale = -99999.0f; // "aq"; -99999: none
    int AudioVolume = 256;         // "vol"; 256: unchanged
    int IntraDcPrecision = 8;      // "dc"
    int TopFieldFirst = -1;        // "top"
    int VideoGlobalHeader = 0;     // "vglobal"
    int VideoDiscard = 0;          // "vdt"
    int MeThreshold = 0;           // "me_threshold"
    bool IntraOnly = false;        // "intra"
    bool SameQuality = false;      // "sameq"
    bool Deinterlace = false;      // "deinterlace"
    bool Psnr = false;             // "psnr"
    bool QpHistogram = false;      // "qphist"
    bool ForceFps = false;         // "force_fps"
    std::string RcOverride;        // "rc_override"
    int Pass = 0;                  // "pass": 0, 1 or 2
    std::string PassLogFile;       // "passlogfile"
    int ThreadCount = 0;           // "threads"; 0: automatic

    // ---- maps and run settings ----
    std::array<int, 4> MaxFrames{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};  // by AVMediaType 0..3
    std::vector<TStreamMap> StreamMaps;        // "map"
    std::vector<TMetadataMap> MetadataMaps;    // "map_meta_data"
    std::vector<TChapterMap> ChapterMaps;      // "map_chapters"
    bool MetadataGlobalsAutoCopy = true;
    bool MetadataStreamsAutoCopy = true;
    bool MetadataChaptersAutoCopy = true;
    int64_t RecordingTime = INT64_MAX;  // "t", microseconds; also the progress TotalDuration
    int64_t RecordingTimestamp = 0;     // "timestamp", seconds
    int64_t LimitFileSize = 0;          // "fs", bytes; 0: none
    int VideoSync = -1;                 // "vsync"
    int AudioSync = 0;                  // "async"
    float AudioDriftThreshold = 0.1f;   // "adrift_threshold"
    float DtsDeltaThreshold = 10.0f;    // "dts_delta_threshold", seconds
    float MuxPreload = 0.5f;            // "muxpreload", seconds
    float MuxMaxDelay = 0.7f;           // "muxdelay", seconds
    int LoopOutput = -1;                // "loop_output"
    bool PacketDump = false;            // "dump"
    bool HexDump = false;               // "hex"
    bool RateEmulation = false;         // "re"
    bool CopyTimestamps = false;        // "copyts"
    bool CopyTimeBase = false;          // "copytb"
    bool Shortest = false;              // "shortest"
    bool ExitOnError = false;           // "xerror"
    bool CopyInitialNonKeyframes = false;  // "copyinkf"
    bool InputSync = false;             // "isync"
    std::string VstatsFile;             // "vstats", "vstats_file"; empty: none
    int Verbosity = 1;                  // "v"; set again from the encoder
    int SwsFlags = SWS_BICUBIC;         // generic "sws_flags"
    bool StrictOptions = true;

    // ---- legacy options that combine into one of today's options ----
    std::string DeblockAlpha = "0", DeblockBeta = "0";
    std::string PsyRd = "1.0", PsyTrellis = "0.0";

    // The generic store, made on first use.
    TOptionDefaults& Defaults();
    bool HasDefaults() const { return defaults_ != nullptr; }

private:
    std::unique_ptr<TOptionDefaults> defaults_;
};

// What SetOption needs from the task that owns the state.
class IOptionHost {
public:
    virtual ~IOptionHost() = default;
    // Outputs created so far.
    virtual int OutputCount() const = 0;
    // "newvideo", "newaudio", "newsubtitle": a stream of the kind for the last
    // output, consuming that kind's pending stream settings.
    virtual void NewStream(AVMediaType kind) = 0;
    // Frame rates of the video streams of the inputs opened so far, in order
    // (the target's norm).
    virtual std::vector<AVRational> InputVideoFrameRates() const = 0;
    // "vhook": adds a frame-hook library; false when it cannot.
    virtual bool AddVideoHook(const std::string& argument) = 0;
};

// Applies one option of the table (117 names); any other name goes to
// SetGenericOption. Raises FFmpegException on a bad value, and for a generic
// option that fails while StrictOptions is on.
void SetOption(TOptionState& state, IOptionHost& host, const std::string& name, const std::string& value);

// The names of SetOption's table in the order they are matched.
const std::vector<std::string>& OptionTableNames();

// Whether a generic option was set: true, or false with the error.
class TOptionResult {
public:
    TOptionResult() = default;
    explicit TOptionResult(FFmpegException error) : error_(std::move(error)) {}
    explicit operator bool() const { return !error_; }
    const FFmpegException& Error() const { return *error_; }

private:
    std::optional<FFmpegException> error_;
};

// The libraries' own options: codec defaults of every kind, then the
// container, the scaler, "a"/"v"/"s" + codec option, then the private options
// of codecs and muxers. Options today's libraries no longer know go through
// the legacy table first. A failure is also logged through the libraries' log.
TOptionResult SetGenericOption(TOptionState& state, const std::string& name, const std::string& value);

// Gives a new context the stored generic options whose defaults carry all the
// flags, and the private options its codec or muxer knows.
void ApplyStoredCodecOptions(TOptionState& state, AVCodecContext* context, int flags);
void ApplyStoredFormatOptions(TOptionState& state, AVFormatContext* context, int flags);

// One line of an option text; the name is lower-cased, the value unchanged.
struct TOptionLine {
    std::string Name;
    std::string Value;
};
// The lines of an option text: trimmed, every line break and "<CRLF>" a line
// end, each line split at its first "=". Empty lines are left out.
std::vector<TOptionLine> SplitOptionText(const std::string& text);
// Applies the lines of an option text. The stream-creating and preset lines
// are left to the output's own passes; "acodec", "vcodec", "scodec" and "s"
// only apply when codec options are allowed (inputs).
void ApplyOptionText(TOptionState& state, IOptionHost& host, const std::string& text, bool codecOptionsAllowed);

// Clear the settings an opened input, a created stream of a kind or a created
// output has used.
void ConsumeInputSettings(TOptionState& state);
void ConsumeVideoStreamSettings(TOptionState& state);
void ConsumeAudioStreamSettings(TOptionState& state);
void ConsumeSubtitleStreamSettings(TOptionState& state);
void ConsumeOutputSettings(TOptionState& state);

// Value parsers; each raises FFmpegException with its message.
// Strict whole-text conversions ("'%s' is not a valid integer value", ...).
int StrToIntStrict(const std::string& text);
int64_t StrToInt64Strict(const std::string& text);
double StrToFloatStrict(const std::string& text);
// Flag arguments: true unless the value is exactly "0".
bool FlagValue(const std::string& value);
// Durations and dates in microseconds through the libraries' time parser;
// "Invalid %s specification for %s: %s".
int64_t ParseTimeValue(const std::string& option, const std::string& value, bool isDuration);
// Integer text, else four characters little-endian;
// "tag parameter must be 4 chars or int value".
uint32_t ParseCodecTag(const std::string& value);
