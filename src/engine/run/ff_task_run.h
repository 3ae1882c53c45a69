#pragma once
// The run of a task: set up (streams linked, decoders and encoders opened,
// metadata copied, headers written), the read loop that takes each packet
// from the input the time line chooses through its decoder into the tracks,
// the end (drains, trailers, the final report) and the progress reports.
// Lives on the task's worker thread from the start of the run to its end.
#include "ff_bitmap.h"
#include "ff_input_stream.h"
#include "ff_join_timeline.h"
#include "ff_output_track.h"
#include "ff_run_links.h"
#include "ff_stream_map.h"

#include <memory>
#include <vector>

class TCustomFFmpeg;
struct TInputFile;
class TInBandSets;
class TTaskMedia;

class TTaskRun final : public ITrackHost {
public:
    explicit TTaskRun(TCustomFFmpeg& task);
    ~TTaskRun() override;
    TTaskRun(const TTaskRun&) = delete;
    TTaskRun& operator=(const TTaskRun&) = delete;

    // Raises FFmpegException with the setup's messages.
    void Setup();
    // Reads until every input has ended (or a join's last one), a limit is
    // reached or a stop is requested.
    void Loop();
    // Drains the decoders and encoders, writes the trailers and the final
    // report, and closes the codecs.
    void End();
    // Ends the encoders' threads, frees every encoder and decoder.
    void CloseCodecs();
    // The input read last (a join's current one), or the one a failure is about.
    int ReadingInput() const {
        if (cutShortInput_ >= 0) return cutShortInput_;
        return timeline_.Joining() ? timeline_.CurrentInput() : lastFileIndex_;
    }

    // ---- ITrackHost ----
    void OnOutputPicture(AVFrame* picture, int frameNumber, int64_t ptsUs) override;
    bool StopRequested() const override;

private:
    // Raises FFmpegException when an output got nothing of a kind it was
    // made for.
    void CheckSomethingWritten() const;
    // Raises FFmpegException when an input ended on damage after under half
    // its probed length.
    void CheckNotCutShort();
    // Tells the task of inputs that ended over a second early and were kept.
    void NoteEndedEarly();
    // Raises FFmpegException when an output asked to be verified does not
    // read whole (ff_verify.h).
    void Verify();
    // Setup (ff_run_setup.cpp).
    void MakeInputStreams();
    void LinkStreams();
    // Subtitle streams are copied where all their clips can be; picture
    // subtitles that would have to become text are left out.
    void ChooseSubtitleCopies(std::vector<std::vector<TStreamSource>>& sources);
    // A join's plan on the links: what each input gives the copied pictures.
    void ApplyPlan();
    // A trimmed clip cut at key frames: where its copied part lies.
    void FindCopiedPart(TInputFile& input, TStreamLink& link);
    // What becomes of a packet of such a clip: decoded (and re-encoded),
    // copied, or left out.
    enum TCutRoute { crDecode, crCopy, crDrop };
    TCutRoute RouteCutPacket(TInputStream& stream, const AVPacket* packet);
    // The stream a track is opened with.
    const TInputStream* TrackSource(const TOutputFile& out, const TOutputTrack& track) const;
    // The decoders of one input's streams (-1: of every input's).
    void OpenDecoders(int input);
    void OpenTracks();
    // A joined sound or subtitle track takes its language and title from
    // the first clip that names them: a plain clip before it often says "und".
    void NameJoinedTracks();
    void CopyMetadata(int outFile);
    void CopyChapters(const TInputFile& in, AVFormatContext* oc);
    void WriteHeaders();
    void LogStreamMapping();
    TInputStream* FindStream(int file, int index) const;
    // An input stream's place in streams_.
    size_t PlaceOf(const TInputStream& ist) const;
    // The links an input stream feeds (made once its links are final).
    void IndexLinks();
    const std::vector<TStreamLink*>& LinksFedBy(const TInputStream& ist) const;

    // The loop (ff_run_loop.cpp).
    // Reads one packet of the input and passes it on.
    enum TRead { rdPacket, rdNothing, rdEnd };  // a packet went through; none did; the loop is over
    TRead ReadPacket(int input);
    // An input read to its end or its trim's: its joint in a join.
    TRead EndReading(int input, bool damaged);
    // A packet placed at or after its input's trim end marks its stream so.
    bool PastTrimEnd(TInputStream& stream, const AVPacket* packet);
    bool AllPastTrimEnd(int input) const;
    // A packet (null: drains the decoder) of an input stream; 0 or the
    // library's error code of damaged data.
    int ProcessPacket(TInputStream& stream, AVPacket* packet);
    void HandleFrame(TInputStream& stream, AVFrame* frame);
    void RunInputHooks(TInputStream& stream, AVFrame* frame);
    // Where the sound of an input stream ends in a join whose pictures are
    // copied: with its clip's pictures.
    int64_t SoundLimit(const TInputStream& stream) const;
    // The in-band sets a copied packet goes through (null: none).
    TInBandSets* InBandSets(TStreamLink& link, const TInputStream& stream);
    void DrainDecoder(TInputStream& stream);

    // Chapters at the joints (ff_run_chapters.cpp): a join into the MP4
    // family gets one chapter per input, named after the input's file and
    // starting where its first frame was written.
    bool JointChapters() const;
    void AddJointChapters();

    // Progress (ff_run_report.cpp).
    void Report(bool final, int fileIndex);
    const TStreamLink* ReportedVideo(bool final) const;

    TCustomFFmpeg& task_;
    TTaskMedia& media_;
    TOptionState& options_;
    TMuxStats mux_;
    TTrackRun trackRun_;
    std::vector<std::unique_ptr<TInputStream>> streams_;
    std::vector<TRunSlot> slots_;
    // Per input, its first stream's place in streams_; per stream, the links
    // it feeds: a packet finds its way without walking every input's.
    std::vector<size_t> firstStream_;
    std::vector<std::vector<TStreamLink*>> fedLinks_;
    TJoinTimeline timeline_;
    TPacketPtr packet_;
    TFramePtr frame_;
    int64_t startTime_ = 0;        // microseconds (wall clock, relative)
    int64_t lastReportTime_ = 0;   // microseconds
    int64_t lastPreviewTime_ = 0;  // microseconds
    int lastFileIndex_ = 0;        // input of the last packet read
    int cutShortInput_ = -1;       // the input that ended early on damage
    int wouldBlockCount_ = 0;
    bool dupDropLogged_ = false;
    TFFBitmap hookBitmap_;
    TFFBitmap previewBitmap_;
    bool videoInputHook_ = false, videoOutputHook_ = false;
};
