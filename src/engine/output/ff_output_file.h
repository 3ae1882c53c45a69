#pragma once
// One output container of a task with its streams: created while the task is
// built (on the caller's thread), its header and trailer written by the run.
#include "ff_join_plan.h"
#include "ff_options.h"
#include "hidden_file.h"
#include "ff_owned.h"
#include "ff_stream_map.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class TIoWatch;
class TOutputTrack;

struct TOutputFile {
    TOutputFile();
    // Closes the file. One written under a temporary name and not committed
    // is deleted; one written in place is deleted when it is empty.
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    TOutputContextPtr Context;
    std::string FileName;
    // Where the bytes go until the run has ended well: a hidden file in the
    // same folder (so the rename is atomic), or FileName itself for what is
    // no plain file.
    std::string WrittenName;
    THiddenFile Hidden;
    bool FileOpened = false;  // the file was opened for writing
    bool Committed = false;
    bool HeaderWritten = false;
    // Writes may be interrupted only while the file is being opened: an
    // interrupted write spoils the file for good, and the trailer after a
    // stop must still be written.
    std::atomic<bool> Interruptible{false};
    std::vector<std::unique_ptr<TOutputTrack>> Tracks;

    // A stream of the kind with the pending settings of that kind, which it
    // uses up. Raises FFmpegException.
    void AddStream(AVMediaType kind, TOptionState& options, AVPixelFormat& lastPixelFormat, void* logSender);

    // Closes a file written under a temporary name until its run writes the
    // header: an output waiting for its run holds no open file.
    void Rest();

    // The run: the file opened again when it rests, "Could not write header
    // for output file #number ..." (logged and raised), and the trailer with the file's last checks (a write error,
    // a file that vanished with its folder).
    void WriteHeader(int number, void* logSender);
    void WriteTrailer();
    // The run ended well: the file takes its final name, or the next free
    // one when a file appeared under it meanwhile (FileName then says which).
    // Raises FFmpegException when the rename fails.
    void Commit();
    // Bytes written so far (the write position when the size is unknown).
    int64_t Size() const;
};

// What creating an output needs from its task.
struct TOutputCreation {
    TIoWatch& Io;
    void* Owner;  // the task, for the interrupt registry
    void* LogSender;
    const std::vector<TStreamKinds>& InputKinds;  // of the inputs opened so far
    AVPixelFormat& LastPixelFormat;
    // A join's plan (null or without steps: none): how its further sound
    // tracks are made.
    const TJoinPlan* Plan = nullptr;
};

// Creates an output with the pending output settings, which it uses up: the
// format (named or guessed from the file name), the streams of the kinds that
// the format, the settings and the inputs ask for, the metadata, and the file
// opened for writing (replacing any). Raises FFmpegException with the reason.
std::unique_ptr<TOutputFile> CreateOutputFile(TOptionState& options, const std::string& fileName,
                                              const TOutputCreation& how);
