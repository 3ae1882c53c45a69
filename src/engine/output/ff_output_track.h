#pragma once
// One stream of an output container: its encoder (or the copy of an input
// stream), the conversion of what comes in to what the encoder takes (filters
// and scaler for pictures, resampler for sound), the flush at the end, and the
// muxing of what comes out. The inputs of a join share the track, so
// timestamps, frame numbers and buffered samples carry on across the joints.
//
// Made with the output (its encoder set up from the pending settings,
// ff_track_setup.cpp), opened when the run starts. Pictures are encoded on a
// thread of the track's own while the next ones are decoded; the muxer, the
// byte counts and the quality are shared with it under the run's mux lock.
#include "ff_audio_conversion.h"
#include "ff_frame_pipe.h"
#include "ff_options.h"
#include "ff_owned.h"
#include "ff_video_conversion.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TInBandSets;
class TInputStream;
class TSegmentEncoder;
struct TOutputFile;

// What the tracks of a run share.
struct TMuxStats {
    // Guards the muxers, the counts, the statistics file and each track's
    // bytes and quality: video packets come from the encoders' own threads.
    std::mutex Mutex;
    int64_t VideoBytes = 0, AudioBytes = 0, ExtraBytes = 0;
    TFilePtr Vstats;
    // Pictures dropped and repeated by the video sync (the run's thread only).
    int DupFrames = 0, DropFrames = 0;
};

// What a track asks of its run.
class ITrackHost {
public:
    virtual ~ITrackHost() = default;
    // A picture ready for the encoder (the output hook, the preview).
    // frameNumber counts the output's pictures from 1.
    virtual void OnOutputPicture(AVFrame* picture, int frameNumber, int64_t ptsUs) = 0;
    virtual bool StopRequested() const = 0;
};

struct TTrackRun {
    const TOptionState& Options;
    TMuxStats& Mux;
    ITrackHost& Host;
    void* LogSender;
    // Output time (microseconds) past which a gap in an input's times is no
    // longer filled with repeated pictures or silence (the pictures and
    // sound themselves still go out; joints are filled as ever).
    int64_t EndUs = INT64_MAX;
    bool AudioHook = false;   // decoded sound goes to a hook: it cannot be copied
    bool VideoHooks = false;  // decoded pictures go to hooks: they cannot be copied
};

class TOutputTrack {
public:
    // A new stream of the kind in the output, its encoder chosen and set up
    // from the pending settings of its kind, which it uses up. lastPixelFormat
    // is the input's picture format an output takes when no option asks for
    // one (used up too). Raises FFmpegException.
    static std::unique_ptr<TOutputTrack> Create(TOutputFile& file, AVMediaType kind, TOptionState& options,
                                                AVPixelFormat& lastPixelFormat, void* logSender);
    TOutputTrack(TOutputFile& file, AVStream* stream, AVMediaType kind);
    ~TOutputTrack();
    TOutputTrack(const TOutputTrack&) = delete;
    TOutputTrack& operator=(const TOutputTrack&) = delete;

    TOutputFile& File;
    AVStream* const Stream;
    const AVMediaType Kind;
    int Index() const { return Stream->index; }
    bool Copy() const { return copy_; }
    // Pictures go through filters, which may change their times.
    bool Filtered() const { return !filter_.Empty(); }

    // A copied picture stream of a join that follows a plan: clips whose
    // pictures differ are re-encoded by the encoder to the stream's own
    // parameters, and with inBand every clip carries its parameter sets (the
    // sample entry says so). Set before the run opens the track.
    void SetSegments(const std::string& encoder, bool inBand);
    // A subtitle stream whose clips can all be copied as they are is copied
    // instead of encoded. Set before the run opens the track.
    void CopyInstead();
    // The NAL length size of the copied stream (0: Annex B), for the clips
    // copied with their parameter sets in-band.
    int NalLength() const;
    // ---- the run ----
    // Makes the track ready with the first input stream that feeds it (null:
    // none does): the stream's metadata, the copied parameters or the opened
    // encoder, the bitstream filters. outFile numbers the output in messages.
    void Open(const TInputStream* source, int outFile, const TTrackRun& run);

    // A decoded picture at its input time: filtered, synchronised, scaled and
    // encoded. file.index name its input stream in messages. The output time
    // (microseconds) of its first coded picture, NOPTS when it was dropped.
    int64_t EncodeVideo(AVFrame* frame, int64_t ptsUs, int file, int index);
    // Decoded sound of an input stream at its time; the first sound of each
    // input (started false) is placed to start with the input's picture.
    // The output time (microseconds) it lands at.
    int64_t EncodeAudio(AVFrame* frame, int64_t ptsUs, bool& started, int file, int index);
    void WriteSubtitle(AVSubtitle& subtitle);
    // A packet of the input stream, timed on the output's line, passed on.
    // The output time it was written at (microseconds), NOPTS when it was
    // left out.
    int64_t WriteCopy(const AVPacket* packet, AVRational timeBase, TInBandSets* inBand = nullptr);
    // An upright picture of a clip re-encoded into a copied stream, at its
    // input time; the output time it lands at, NOPTS when dropped.
    int64_t EncodeSegment(AVFrame* frame, int64_t ptsUs, int file, int index);
    // What the clip's encoder holds comes out; the next clip starts anew.
    void FinishSegment();

    // At a joint: the sound the resampler holds goes out (a copy notes where
    // the input ended, a re-encoded clip's encoder is drained), then the
    // track is filled up to the time (seconds) where the joint is: with
    // silence, or with the input's last picture (black when it had none; a
    // copied stream with re-encoded clips encodes black pictures).
    void FlushConversion();
    void FillTo(double seconds);
    // The next picture starts the next input: a key frame.
    void ForceKeyFrame() { forceKeyFrame_ = true; }

    // At the end of the run: the queued sound and pictures, then what the
    // encoder holds back.
    void Flush();
    // Ends the encoder's thread and frees the encoder.
    void CloseCodec();

    // Seconds written so far.
    double Time() const;
    // Bytes handed to the muxer; read when the run's threads are done.
    int64_t Bytes() const { return bytes_; }
    // Frames encoded (sound: encoder frames) or packets copied.
    int64_t FrameNumber() const { return frameNumber_; }
    // The last coded picture's quality; read under the mux lock.
    float Quality() const { return quality_; }

private:
    friend struct TTrackSetup;

    void OpenCopy(const TInputStream& source, const TTrackRun& run);
    void OpenEncoder(const TInputStream* source, int outFile, const TTrackRun& run);
    void PrepareVideo(const TInputStream* source, const TOptionState& options);
    void OpenPassLog(const TOptionState& options);
    void OpenBitstreamFilters();
    int64_t EncodePicture(AVFrame* picture, int64_t ptsUs, int file, int index);
    void FillPictures(double seconds);
    // The picture position (encoder time base) of the run's end bound.
    int64_t EndPosition() const;
    // The same in samples of the sound encoder.
    int64_t EndSample() const;
    // The picture count times at the next positions (a stop ends the repeats).
    void WritePictures(AVFrame* picture, int64_t count);
    void MarkKeyFrame(AVFrame* picture);
    // Sends a frame (null: drains) to the encoder and writes what comes out.
    void EncodeFrame(AVFrame* frame);
    void WritePacket(AVPacket* packet);
    void Mux(AVPacket* packet, size_t filterIndex = 0);
    // A packet for a copied stream, on the output's time line in the time
    // base: placed after the last one and muxed.
    int64_t PlaceCopy(AVPacket* out, AVRational timeBase);
    TSegmentEncoder& Segment(int64_t startUs);

    // Set up when the output is created.
    bool copy_ = false;
    const AVCodec* codec_ = nullptr;
    TCodecContextPtr encoder_;
    AVCodecID codecId_ = AV_CODEC_ID_NONE;
    TVideoFilter filter_;
    std::vector<TBitstreamFilterSpec> bsfSpecs_;
    std::vector<int64_t> forcedKeyTimes_;  // microseconds, ascending
    uint32_t tag_ = 0;
    int volume_ = 256;

    // The run.
    const TTrackRun* run_ = nullptr;
    std::vector<TBsfPtr> bsfs_;
    size_t nextForcedKey_ = 0;
    // Position of the next picture, in the encoder's time base.
    int64_t nextPts_ = 0;
    int64_t frameNumber_ = 0;
    float quality_ = -1.0f;
    int64_t bytes_ = 0;
    int64_t copyEndUs_ = 0;       // stream copy: end of the packets written
    int64_t copyEnd_ = INT64_MIN;  // the same in the stream's time base
    int64_t copyLastDts_ = AV_NOPTS_VALUE;
    int64_t copyJointEnd_ = INT64_MIN;  // copyEnd_ at the last joint of a join
    bool wroteKeyFrame_ = false;  // stream copy: the first key frame passed
    std::string segmentEncoder_;  // re-encodes the clips of a copied stream that differ
    bool inBand_ = false;
    std::unique_ptr<TSegmentEncoder> segment_;  // the clip being re-encoded
    bool forceKeyFrame_ = false;
    TVideoScaler scaler_;
    TFramePtr lastPicture_;  // the input's last picture, until its joint
    TAudioConversion audio_;
    TPacketPtr packet_;
    std::vector<uint8_t> subtitleBuffer_;
    TFilePtr passLog_;
    std::string passStats_;  // pass 2 statistics handed to the encoder
    // Declared last: its thread uses the encoder, the packet and the log, so
    // it ends before they go.
    std::unique_ptr<TFramePipe> pipe_;
};
