#pragma once
// One task's transcoding context: its inputs and outputs (opened while the
// task is built, on the caller's thread), the option state of its command line,
// the run that transcodes (and, in join mode, concatenates) the inputs into the
// outputs, and the worker thread the run happens on.
//
// Join mode: every input is read after the previous one ended and written into
// one output as if the inputs were one continuous input. Each input has its own
// decoders and its own output slot (source streams, activity); the output's
// encoders and their conversion state are shared by the slots and keep running
// across the joints, so timestamps, frame numbers and buffered samples carry on.
#include "ff_api.h"
#include "ff_bitmap.h"
#include "ff_converter.h"
#include "ff_logger.h"
#include "ff_options.h"
#include "ff_owned.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "thread_priority.h"

class TCustomFFmpeg;

class TCustomFFmpeg : public IOptionHost {
public:
    explicit TCustomFFmpeg(int maxFiles = 20);
    ~TCustomFFmpeg() override;
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    // ---- the option vocabulary ----
    void SetOption(const std::string& name, const std::string& value);
    void ApplyOptionText(const std::string& text, bool codecOptionsAllowed);
    TOptionState& Options() { return options_; }

    // ---- building (caller's thread) ----
    // False with OpenErrorMessage when the input cannot be opened.
    bool OpenInput(const std::string& fileName);
    // The index of the new output, or -1 with OpenErrorMessage.
    int OpenOutput(const std::string& fileName, bool joinRequest);
    // One output slot per input, all writing into the joining output.
    void PrepareJoin();

    // ---- running ----
    // Threaded: starts the run on a worker thread and returns true. Not
    // threaded: runs it now and returns false. Does nothing (false) for a task
    // that runs or has ended; a task without inputs or outputs ends at once.
    bool Start(bool threaded, TThreadPriority priority);
    // Asks the run to stop; with wait, returns once it has ended.
    void Stop(bool wait);
    // The whole run as the worker executes it: loop, close codecs, cleanup,
    // end notification.
    void Execute();
    // The transcoding itself; raises FFmpegException on fatal errors.
    void Transcode();
    // Releases all files, codecs and buffers; safe to call more than once.
    void Cleanup();

    int InputCount() const { return static_cast<int>(inputs_.size()); }
    int OutputCount() const override { return static_cast<int>(outputs_.size()); }
    int MaxFiles() const { return maxFiles_; }
    AVFormatContext* InputContext(int index) const;
    int64_t TotalDuration() const { return totalDuration_; }
    bool Joining() const { return join_; }

    bool Running() const { return running_; }
    bool StopRequested() const { return stopRequested_; }
    bool Completed() const { return completed_; }
    bool Ended() const { return ended_; }
    bool Failed() const { return failed_; }
    const std::string& ErrorMessage() const { return errorMessage_; }
    const std::string& OpenErrorMessage() const { return openErrorMessage_; }

    // Settings the encoder copies in.
    bool StrictOptions() const { return options_.StrictOptions; }
    void SetStrictOptions(bool value) { options_.StrictOptions = value; }
    void SetVerbosity(int value) { options_.Verbosity = value; }
    int64_t ReportInterval = 500000;   // microseconds
    int64_t PreviewInterval = 100000;  // microseconds
    int IOTimeout = 10000;             // ms
    // Bit 0 preview window, bit 1 preview bitmap; changed under the preview lock.
    void SetPreviewFlags(int flags);
    int PreviewFlags() const;
    // Bit depth of both frame converters (hooks and preview).
    void SetHookBitsPixel(int bitsPixel);

    // Callbacks into the owner, called from the worker thread.
    std::function<void(TCustomFFmpeg*, int fileIndex, int64_t totalDuration, int64_t currentDuration,
                       int64_t currentSize, float bitRate, float quality, int fps, int frameNumber)>
        ProgressCallback;
    std::function<void(TCustomFFmpeg*)> TerminateCallback;
    std::function<void(TCustomFFmpeg*, TFFBitmap*, int frameNumber, int64_t pts)> PreviewBitmapCallback;
    std::function<void(TCustomFFmpeg*, TFFBitmap*, int frameNumber, int64_t pts, bool& update, bool& stopHook)>
        VideoInputHookCallback;
    std::function<void(TCustomFFmpeg*, TFFBitmap*, int frameNumber, int64_t pts, bool& update, bool& stopHook)>
        VideoOutputHookCallback;
    std::function<void(TCustomFFmpeg*, int64_t pts, uint8_t* samples, int size, int sampleRate, int channels,
                       int sampleFormat)>
        AudioHookCallback;
    std::function<void(TCustomFFmpeg*, void* formatContext)> BeforeFindStreamInfoCallback;

    // ---- IOptionHost ----
    void NewStream(AVMediaType kind) override;
    std::vector<AVRational> InputVideoFrameRates() const override;
    bool AddVideoHook(const std::string& argument) override;

    // Interrupt checks for the registry (argument and owner are the task).
    static bool CheckStop(void* argument, void* owner);
    static bool CheckTimeout(void* argument, void* owner);

protected:
    // Issues the end notification: not running, ended, then the callback.
    void EndNotification();
    void Log(TLogLevel level, const std::string& message);
    void LogFmt(TLogLevel level, const char* format, ...) __attribute__((format(printf, 3, 4)));

public:
    // ---- tables (the run's own; public for the run's helpers) ----
    struct InputFile {
        TInputContextPtr ctx;
        std::string fileName;
        int64_t tsOffset = 0;        // microseconds
        int64_t startTimestamp = 0;  // microseconds
        int64_t joinStart = 0;       // microseconds: where a joined input begins in the output
        std::array<double, MaxStreams> tsScale{};
        int64_t duration = -1;  // microseconds, -1 unknown
        std::vector<const AVCodec*> forcedDecoders;  // per stream
        bool eof = false;
        bool wouldBlock = false;
    };
    struct InputStream {
        int file = 0;
        int index = 0;
        AVStream* st = nullptr;
        bool discard = true;  // not used by any output stream
        bool decodingNeeded = false;
        const AVCodec* decoder = nullptr;
        TCodecContextPtr dec;
        int64_t pts = 0;                    // microseconds
        int64_t nextPts = AV_NOPTS_VALUE;  // microseconds
        bool pastRecordingTime = false;
        bool flushed = false;
        int64_t framesDecoded = 0;
    };
    // One stream of an output container with its encoder and conversions; the
    // slots of a join share it.
    struct OutputTrack;
    struct OutputFile;
    struct OutputStream {  // one per stream of a slot
        int slot = 0;
        int index = 0;
        OutputTrack* track = nullptr;
        InputStream* source = nullptr;
        InputStream* sync = nullptr;
        bool active = false;
        bool started = false;  // the slot's first frame was output
    };
    struct Slot {
        OutputFile* file = nullptr;
        std::vector<OutputStream> streams;
    };

    struct RunState;

private:
    friend struct RunState;
    // Opening helpers.
    void CreateStream(OutputFile& out, AVMediaType kind);
    // Run helpers.
    void SetupRun();
    void RunLoop();
    void EndRun();
    void ReleaseRun();
    // Ends the encoders' threads and frees every encoder and decoder.
    void CloseCodecs();
    void OpenEncoders();
    void OpenDecoders();
    void MapStreams();
    void LogStreamMapping();
    void CopyChapters(const InputFile& in, AVFormatContext* oc);
    int ChooseInput();
    // End of input i in join mode; true when the loop is over.
    bool JoinBoundary(int input);
    void DrainDecoder(InputStream& ist);
    // A packet (null: drain the decoder) of an input stream; < 0 on a decoding error.
    int ProcessPacket(InputStream& ist, AVPacket* pkt);
    void HandleFrame(InputStream& ist, AVFrame* frame);
    void VideoOut(OutputStream& os, InputStream& ist, AVFrame* frame, int64_t ptsUs);
    void EncodeVideoFrame(OutputStream& os, InputStream& ist, AVFrame* picture, int64_t ptsUs);
    void AudioOut(OutputStream& os, InputStream& ist, AVFrame* frame);
    void SubtitleOut(OutputStream& os, InputStream& ist, AVSubtitle& sub);
    void CopyPacket(OutputStream& os, InputStream& ist, const AVPacket* pkt);
    // Sends a frame (null: drains) to a track's encoder and writes what comes out.
    void EncodeFrame(OutputTrack& t, AVFrame* frame);
    // A packet in the encoder's time base, or already in the stream's (mux).
    void WritePacket(OutputTrack& t, AVPacket* pkt);
    void MuxPacket(OutputTrack& t, AVPacket* pkt, size_t filterIndex = 0);
    void ApplyVolume(OutputTrack& t, uint8_t* const* data, int count);
    bool EnsureConversionBuffer(OutputTrack& t, int samples);
    // Queues converted samples and encodes every whole frame.
    void FeedAudio(OutputTrack& t, uint8_t* const* data, int offset, int count);
    void EncodeQueuedAudio(OutputTrack& t, bool flush);
    // Silence up to the sample position.
    void PadAudio(OutputTrack& t, int64_t targetSamples);
    void FlushAudioResampler(OutputTrack& t);
    void FlushEncoders();
    void Report(bool final, int fileIndex);
    // Seconds written so far on a track.
    double TrackTime(const OutputTrack& t) const;
    int64_t ProgressTotalDuration() const;
    InputStream* FindInputStream(int file, int index) const;

    TOptionState options_;
    int maxFiles_;
    std::vector<InputFile> inputs_;
    std::vector<std::unique_ptr<OutputFile>> outputs_;
    std::vector<Slot> slots_;
    std::vector<std::unique_ptr<InputStream>> inputStreams_;
    std::unique_ptr<RunState> run_;

    bool join_ = false;
    int64_t totalDuration_ = -1;
    // The picture format of the last input's video: what an output takes when
    // no option asks for one.
    AVPixelFormat inputPixelFormat_ = AV_PIX_FMT_NONE;
    std::atomic<int64_t> ioStartTime_{INT64_MAX};  // microseconds; INT64_MAX outside I/O
    // Why the interrupt check last ended a blocking call: "" or its log line.
    std::string interruptReason_;
    // The reason for a failed open: the time-out when the check ended it.
    std::string OpenFailure(const std::string& fileName, int code) const;

    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    // Writes to an output may be interrupted only while it is being opened: an
    // interrupted write spoils the file for good, and the trailer after a stop
    // must still be written.
    std::atomic<bool> outputInterruptible_{false};
    bool completed_ = false;
    std::atomic<bool> ended_{false};
    bool failed_ = false;
    std::string errorMessage_;
    std::string openErrorMessage_;
    int previewFlags_ = 0;

    std::thread thread_;
    std::atomic<bool> threadDone_{true};
    bool threaded_ = false;

    TFormatConverter hookConverter_;
    TFormatConverter previewConverter_;
};
