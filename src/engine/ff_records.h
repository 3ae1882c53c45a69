#pragma once
// The records that cross the encoder's interface: the option records a caller
// fills before adding inputs and outputs, and the records of the events.
// Texts are UTF-8; file names too.
#include "ff_bitmap.h"
#include "ff_join_plan.h"

#include <cstdint>
#include <string>
#include <vector>

// The codec library's no-value timestamp (-2^63): "not set".
inline constexpr int64_t NoTimestamp = INT64_MIN;

struct TInputOptions {
    std::string FileName;    // empty: the file name argument is used
    std::string FileFormat;  // "f"; empty lets the library probe
    int64_t StartTime = NoTimestamp;  // "ss", microseconds
    // Where the input ends, microseconds from the file's start (a trim's
    // end); NoTimestamp: at its end. With StartTime the input is trimmed: only
    // what lies between goes into the output, cut at the frame.
    int64_t EndTime = NoTimestamp;
    int32_t ProgramID = -1;           // "programid"
    std::string ExtOptions;           // lines name=value
};

struct TStreamInfo {
    // 0: now; > 0: a local date-time value (days since 1899-12-30) that becomes
    // the output's timestamp; < 0: unset.
    double TimeStamp = -1.0;
    int32_t Year = -1;   // "year" when > 0
    int32_t Track = -1;  // "track" when > 0
    std::string Title;
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

struct TOutputOptions {
    std::string FileName;    // empty: the file name argument is used
    std::string FileExt;     // not read by the engine
    std::string FileFormat;  // "f"
    int32_t PacketSize = -1;     // "packetsize" when > 0
    int32_t MuxRate = -1;        // "muxrate" when > 0
    float MuxDelay = -1.0f;      // seconds, when > 0
    float MuxPreload = -1.0f;    // seconds, when > 0
    std::string AudioCodec;      // default "acodec"
    std::string AudioPreset;     // default "apre"
    bool DisableAudio = false;   // "an"
    int32_t AudioVolume = -1;    // "vol" when >= 0
    int32_t AudioChannels = -1;  // "ac" when > 0
    int32_t AudioSampleRate = -1;        // "ar" when > 0
    int32_t AudioBitrate = -1;           // "ab", bit/s, when > 0 and Target = 0
    int32_t AudioBitrateTolerance = -1;  // "abt" when > 0
    std::string AudioLanguage;           // "alang"
    int32_t AudioSyncMethod = 0;         // "async" (always)
    std::string AudioTag;                // "atag" when not empty
    std::string VideoCodec;              // default "vcodec"
    std::string VideoPreset;             // default "vpre"
    bool DisableVideo = false;           // "vn"
    std::string FrameRate;               // "r" when not empty
    std::string FrameSize;               // default "s"
    std::string FrameAspectRatio;        // "aspect" when not empty
    int32_t GOPSize = -1;                // "g" when > 0
    int32_t VideoBitrate = -1;           // "vb", bit/s, when > 0 and Target = 0
    int32_t VideoMaxRate = -1;           // "maxrate" when > 0
    int32_t VideoMinRate = -1;           // "minrate" when > 0
    int32_t VideoBitrateTolerance = -1;  // "bt" when > 0
    int32_t VideoBufferSize = -1;        // "bufsize" when > 0
    int32_t VideoSyncMethod = -1;        // "vsync" (always)
    std::string VideoTag;                // "vtag" when not empty
    std::string VideoFilters;            // default "vf"
    std::string VideoLanguage;           // "vlang" (always)
    std::string SubtitleCodec;           // default "scodec"
    std::string SubtitlePreset;          // default "spre"
    bool DisableSubtitle = false;        // "sn"
    std::string SubtitleLanguage;        // "slang" (always)
    bool InputSync = false;              // "isync" (always)
    bool CopyTimestamps = false;         // "copyts" when true
    int64_t StartTime = NoTimestamp;     // "ss", microseconds
    int64_t RecordingTime = NoTimestamp;  // "t", microseconds; also the progress TotalDuration
    TStreamInfo Metadata;
    int32_t Target = 0;             // 1 "vcd", 2 "svcd", 3 "dvd"
    int32_t TargetNorm = 0;         // 0 "auto", 1 "pal", 2 "ntsc", other "auto"
    int32_t TargetNormDefault = 1;  // 1 "pal", other "ntsc"
    bool AudioHook = false;
    bool VideoInputHook = false;
    bool VideoOutputHook = false;
    int32_t VideoHookBitsPixel = 24;
    bool Join = false;  // concatenate all inputs of the task into this output
    // A join that copies what matches and re-encodes what differs: the plan
    // for the task's inputs in their order (no steps: none). The copied
    // picture stream re-encodes the clips the plan says; the output's other
    // options say what the sound becomes.
    TJoinPlan Plan;
    // After the run, before the output takes its name: every frame decoded,
    // none missing, the length that of the inputs; else the task fails.
    bool Verify = false;
    std::string ExtOptions;  // lines name=value
};

// How a task ended. The run, the window and the command line decide from
// this, never from the text of a message.
enum TTaskOutcome : int32_t {
    toFinished,   // ended without a stop request and without an error
    toFailed,     // ended by an error; ErrorMessage says why
    toCancelled,  // a stop request ended it (or it never started)
    toRefused,    // an input or the output could not be added; the task never ran
};

// Something a task met in one of its inputs that did not stop it.
struct TInputWarning {
    int32_t FileIndex = -1;  // the task's input
    std::string Message;     // in plain words, without the file's name
};

struct TTerminateInfo {
    int32_t TaskIndex = -1;  // -1 in the run's final notification
    std::string ErrorMessage;
    TTaskOutcome Outcome = toFinished;
    int32_t ErrorCode = 0;  // the library's error code of a failure (AVERROR), 0 when there is none
    int32_t FileIndex = -1;  // the task's input being read when it failed; -1 when none was
    std::string OutputFile;  // the output as written (its name may have moved on to a free one); else empty
    std::vector<TInputWarning> Warnings;
};

struct TProgressInfo {
    int32_t TaskIndex = 0;
    int32_t FileIndex = 0;     // input of the last packet read; -1 in the final report
    int32_t FrameNumber = -1;  // -1 without video
    int32_t FPS = -1;
    float Quality = -1.0f;
    float BitRate = 0.0f;      // kbit/s
    int64_t CurrentSize = 0;   // bytes written to the first output
    int64_t CurrentDuration = 0;  // microseconds
    int64_t TotalDuration = 0;    // microseconds
};
using PProgressInfo = TProgressInfo*;

struct TPreviewInfo {
    int32_t TaskIndex = 0;
    TFFBitmap* Bitmap = nullptr;  // owned by the task
    int32_t FrameNumber = 0;      // 1-based output frame number
    int64_t PTS = 0;              // microseconds
};

struct THookInfo {
    int32_t TaskIndex = 0;
    TFFBitmap* Bitmap = nullptr;  // owned by the task
    int32_t FrameNumber = 0;
    int64_t PTS = 0;
    bool Update = true;     // write the bitmap back into the frame
    bool StopHook = false;  // detach this hook for the rest of the task
};
using PHookInfo = THookInfo*;

// Reset a record to its defaults; callers reset before filling.
void InitInputOptions(TInputOptions& options);
void InitOutputOptions(TOutputOptions& options);

// Unix seconds of a local date-time value (days since 1899-12-30).
int64_t DateTimeToUnix(double localDateTime);
