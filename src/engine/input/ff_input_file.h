#pragma once
// One opened input of a task: its container and the facts its run starts
// from. Opened while the task is built, on the caller's thread.
#include "ff_options.h"
#include "ff_owned.h"
#include "ff_stream_map.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TIoWatch;

class TLocalFileIo;

struct TInputFile {
    TInputFile();
    ~TInputFile();
    // The file's own I/O when it is a local file (declared before the
    // container, which reads through it, so that it outlives it); null for
    // the library's own.
    std::unique_ptr<TLocalFileIo> Io;
    TInputContextPtr Context;
    std::string FileName;
    int64_t StartTimestamp = 0;   // microseconds: the pending start time plus the container's start
    int64_t TimestampOffset = 0;  // microseconds added to its timestamps ("itsoffset" less the start)
    std::array<double, MaxStreams> TimestampScale{};  // "itsscale" per stream; 0: none
    int64_t Duration = -1;                            // microseconds; -1 unknown (trimmed: the trim's)
    // Trimmed: only [start, start + TrimLength) of it (microseconds from
    // where reading starts) is used; -1: all from the start on.
    int64_t TrimLength = -1;
    bool Trimmed = false;  // a start or an end was given
    std::vector<const AVCodec*> ForcedDecoders;       // per stream; null: the stream's own

    // The kinds of the streams that are read (not discarded).
    TStreamKinds Kinds() const;
    // Frame rates of its video streams, in order.
    std::vector<AVRational> VideoFrameRates() const;
    // Frees the packets the probe read ahead by going back to the start, for
    // an input that waits for its turn; only containers that find their start
    // exactly. Raises FFmpegException when the start cannot be found again.
    void DropProbedPackets();
    // Gives back the open file until the next read (nothing for inputs
    // the library reads itself).
    void RestIo();
    // The code for why a resting file could not be opened again; 0 if none.
    int ReopenError() const;
};

// What opening an input needs from its task.
struct TInputOpening {
    TIoWatch& Io;
    void* Owner;  // the task, for the interrupt registry
    void* LogSender;
    int Number;   // the input's number in the task (the library's description shows it)
    std::function<void(AVFormatContext*)> BeforeFindStreamInfo;  // may be empty
    // In: the picture format raw input is read in when no option names one.
    // Out: the last video stream's format.
    AVPixelFormat& LastPixelFormat;
};

// Opens an input with the pending input settings, which it uses up, and
// writes the input's own size, rates and formats back into the settings.
// Raises FFmpegException with the reason when it cannot be opened.
std::unique_ptr<TInputFile> OpenInputFile(TOptionState& options, const std::string& fileName, const TInputOpening& how);

// How much a video stream looks like the file's clip (VideoStreamWeight):
// the highest of a file's video streams is its clip.
int64_t ClipWeight(const AVStream* st);
