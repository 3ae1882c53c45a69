#pragma once
// The join plan: what a join copies and what it re-encodes, decided once
// before anything is written. The window's question, `orvane join --plan`,
// the job builder and the engine all read the same plan.
//
// The plan is a plain function of the inputs' stream descriptions and of what
// the output format holds and the libraries can encode, so it is tested
// without media files. Per output stream it picks a reference: the stream
// parameters that cover the longest total duration (ties: the earlier file).
// Clips that match it are copied; pictures that differ are re-encoded to it,
// clip by clip; sound that differs anywhere is re-encoded for every clip into
// one encoder. Any thread; describing a file opens it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TCustomDecoder;

enum TStreamKind : int { skOther, skVideo, skAudio, skSubtitle };

// A ratio as the libraries keep it; 0/x or x/0 is unknown.
struct TRatio {
    int Num = 0;
    int Den = 1;
};

// How a stored picture is shown: turned clockwise by quarter turns, after
// being mirrored left to right.
struct TShownAs {
    int QuarterTurns = 0;  // 0..3
    bool Mirrored = false;
    bool operator==(const TShownAs&) const = default;
};

// One stream of a file as the plan compares it.
struct TStreamDesc {
    TStreamKind Kind = skOther;
    std::string Codec;  // the libraries' short codec name ("h264")
    uint32_t Tag = 0;
    int Profile = -99;  // unknown
    std::string ProfileName;
    std::vector<uint8_t> PrivateData;  // the codec's out-of-band data (parameter sets)
    int64_t BitRate = 0;               // bit/s, 0 unknown
    int64_t DurationUs = -1;           // -1 unknown: the file's length counts
    // Pictures.
    int Width = 0, Height = 0;  // as stored
    std::string PixelFormat;
    TRatio SampleAspect;
    int FieldOrder = 0;  // the libraries' field order; 0 unknown, 1 progressive
    double FrameRate = 0;
    TRatio FrameRateExact;
    TShownAs Shown;
    int64_t Frames = 0;  // as the container counts them, 0 unknown
    // Read from a raw stream (.264, .hevc): its packets carry no times, so
    // a copy could not place them.
    bool NoTimestamps = false;
    // Sound.
    int SampleRate = 0;
    int Channels = 0;
    std::string Layout;
    std::string SampleFormat;
    std::string Language;  // its "language" tag ("fre"), for the lines
};

struct TFileDesc {
    std::string Name;  // the file name shown in the lines (no folder)
    int Number = 0;    // the file's number as the user's list counts (0: its place here + 1)
    int64_t DurationUs = -1;
    std::vector<TStreamDesc> Streams;
    // A trim: the part used, microseconds from its start (-1: its start or
    // its end), and how the lines show it ("00:05.000 to 01:30.000").
    int64_t TrimStartUs = -1;
    int64_t TrimEndUs = -1;
    std::string Range;

    bool Trimmed() const { return TrimStartUs > 0 || TrimEndUs >= 0; }
};

// What one file gives one output stream.
enum TPlanAction {
    paCopy,        // its packets as they are
    paCopyInBand,  // its packets with its parameter sets put in-band
    paEncode,      // re-encoded to the reference (sound: into the one encoder)
    paFill,        // it has none: black pictures or silence for its length
};

struct TPlanStep {
    TPlanAction Action = paCopy;
    int Stream = -1;     // the file's stream (index into TFileDesc::Streams); -1 for a fill
    std::string Reason;  // why it is re-encoded, "it is 1280x720 at 25 fps"
    // A trimmed clip's copied pictures: copied from the first key frame in
    // its range on, the pictures before it (and after the last key frame,
    // when pictures come out of order) re-encoded, so both cuts are exact.
    bool SmartCut = false;
};

struct TPlanStream {
    TStreamKind Kind = skOther;
    TStreamDesc Reference;  // what the output stream is
    int ReferenceFile = -1;
    // Sound: every file goes through one encoder with the reference's
    // codec, rate and layout.
    bool Encoded = false;
    // Parameter sets travel with some pictures (sample entry avc3/hev1).
    bool InBand = false;
    std::string Encoder;  // the encoder that re-encodes clips to the reference
    // Not empty: the reference cannot be kept (the format does not hold its
    // codec, or nothing here encodes it to match) and the stream is made by
    // the format's high-quality preset instead; the text says why.
    std::string Fallback;
    // Why the sound is re-encoded for every file, "File (2) is 44100 Hz".
    std::string Reason;
    // How an encoded sound track is made, filled in by the job that applies
    // the plan: the encoder, its rate and channels (0: the encoder's choice).
    std::string SoundCodec;
    int SoundRate = 0;
    int SoundChannels = 0;
};

struct TJoinPlan {
    std::vector<std::string> Files;
    std::vector<int> Numbers;  // each file's number in the lines
    std::vector<std::string> Ranges;  // each file's trim as the lines show it; empty: whole
    std::vector<TPlanStream> Streams;
    std::vector<std::vector<TPlanStep>> Steps;  // [file][stream]

    // Nothing is re-encoded (copies with parameter sets in-band count as copies).
    bool CopiesEverything() const;
    // The stream of a kind, -1 when the output has none.
    int StreamOf(TStreamKind kind) const;
};

// What the plan needs to know of the output format and the libraries.
struct TPlanFormat {
    std::string Name;  // "MP4", for the lines
    bool SoundOnly = false;
    // The format keeps every sound track (MKV, WebM, MP4, MOV): the plan has
    // as many as the file with the most, the n-th of each file in the n-th.
    bool EveryTrack = false;
    std::function<bool(const std::string& codec)> Holds;
    // The encoder that can re-encode a clip to match a reference of the
    // codec and pixel format; empty when there is none.
    std::function<std::string(const TStreamDesc& reference)> EncoderFor;
};

TJoinPlan MakeJoinPlan(const std::vector<TFileDesc>& files, const TPlanFormat& format);

// Every file's line: "File (1) a.mp4: copy", "... copy, parameter sets
// in-band", "... picture re-encoded to 1920x1080 H.264 30 fps (it is 1280x720
// at 25 fps)", "... sound re-encoded to AAC 48000 Hz stereo (it is 44100 Hz)";
// with several sound tracks each is named, "sound track 2 (fre) re-encoded ...".
// A stream the high-quality preset makes names fallbackTitle (its caption).
std::vector<std::string> PlanLines(const TJoinPlan& plan, const std::string& fallbackTitle = {});
// Only what is re-encoded, in plain words: one line per file whose picture
// is re-encoded, one "All files: sound re-encoded to ..." line, and one line
// per stream made by the high-quality preset. Empty when all is copied.
std::vector<std::string> ReencodeLines(const TJoinPlan& plan, const std::string& fallbackTitle = {});

// The names users know: "H.264", "AAC"; "1920x1080 H.264 30 fps", "AAC 48000 Hz stereo".
std::string CodecTitle(const std::string& codec);
std::string StreamTitle(const TStreamDesc& stream);

// Which of a file's video streams is its clip: the one with the most
// pictures (counted, or its length times its rate), then the largest. A
// phone's "motion photo" keeps its still picture as a second, larger video
// stream of one frame.
int64_t VideoStreamWeight(int64_t frames, int64_t durationUs, double rate, int width, int height);

// ---- from files and the libraries (they must be loaded) ----

// Opens a file and describes its video, sound and subtitle streams (cover
// pictures left out). False with the reason in error when it cannot be read.
bool DescribeFile(const std::string& path, TFileDesc& file, std::string& error);
// The same description of the file a probe has open (it reads a few packets
// of it), so that a file added to the list is not opened again for the plan.
// False when the probe has no file open.
bool DescribeProbed(const TCustomDecoder& decoder, TFileDesc& file);
// The output format the file name (or the named format) stands for, as the
// plan needs it.
TPlanFormat PlanFormatFor(const std::string& fileName, const std::string& formatName, const std::string& shownName,
                          bool soundOnly);
