#pragma once
// The time line of a run: which input is read now, where each input's
// timestamps land in the output, and, in a join, everything that happens at a
// joint. The rules of a join live here.
//
// A join reads its inputs one after another as if they were one input. At the
// end of an input (the joint) its decoders are drained, every stream of the
// output is filled up to where the longest one stopped (copied pictures,
// which cannot be stretched, decide alone), and the next input is placed
// there: its timestamps are offset by that time and its first picture
// becomes a key frame. Without a join, the input read next is the one whose
// stream lags most in the output.
#include "ff_input_file.h"
#include "ff_logger.h"
#include "ff_run_links.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// a + b, held at the ends of int64: damaged headers and stamps reach them.
int64_t SaturatingSum(int64_t a, int64_t b);

// Keeps one stream's packet times in bounds. A packet stamped far beyond the
// one before it and beyond the end of its input (its probed length and a
// margin; without one, what its size can hold) carries a damaged stamp, not a gap: kept, it would have pictures
// repeated and silence added up to it, for hours. Its times are moved to
// right after the packet before it. All times in the stream's time base.
class TStampGuard {
public:
    // end: NOPTS when the input's length is unknown (nothing is moved then).
    // True when the packet's times were moved.
    bool Check(AVPacket* packet, int64_t start, int64_t end, int64_t jumpLimit);

private:
    int64_t last_ = AV_NOPTS_VALUE;  // decoding time of the packet before
    int64_t step_ = 0;               // and its distance from the one before it
};

class TJoinTimeline {
public:
    TJoinTimeline(bool join, const std::vector<std::unique_ptr<TInputFile>>& inputs);

    bool Joining() const { return join_; }
    // A trimmed input, and where its range ends on the output's time line
    // (microseconds; INT64_MAX: at its end).
    bool Trimmed(int input) const { return places_[static_cast<size_t>(input)].File->Trimmed; }
    int64_t InputEnd(int input) const;
    // The input a join reads now.
    int CurrentInput() const { return current_; }
    // Where an input begins in the output, in microseconds: 0 outside joins
    // and for the first input.
    int64_t StartOf(int input) const { return places_[static_cast<size_t>(input)].Start; }

    // The input to read next, -1 for none: in a join the current input, none
    // once one of its streams reached its frame limit or all of them passed
    // the recording time; otherwise the input of the stream that is furthest
    // behind (in the output, or in its input with "isync") among the inputs
    // not ended and not waiting for data.
    int ChooseInput(const std::vector<TRunSlot>& slots, const TOptionState& options) const;

    // Waiting for data: an input that would block is passed over until some
    // input delivers a packet.
    void MarkWouldBlock(int input) {
        bool& mark = places_[static_cast<size_t>(input)].WouldBlock;
        blocked_ += mark ? 0 : 1;
        mark = true;
    }
    bool AnyWouldBlock() const;
    void ClearWouldBlock();
    void MarkEnded(int input) { places_[static_cast<size_t>(input)].Ended = true; }
    // Damage met while reading an input: a read error other than the end of
    // the file, or a packet cut off (the demuxer's warnings count too).
    void MarkDamaged(int input) { places_[static_cast<size_t>(input)].Damaged = true; }
    // The first input that ended on damage after under half its probed
    // length (a file cut short), -1 for none; how far it was read and its
    // length, in seconds.
    struct TCutShort {
        int Input = -1;
        double Read = 0, Length = 0;
    };
    TCutShort CutShort() const;
    // The inputs read to their end that ended over a second before their
    // probed length (or their used streams' length) without being cut short.
    std::vector<TCutShort> EndedEarly() const;

    // Puts a packet's timestamps on the output's time line: the input's
    // offset, the stream's time scale ("itsscale"), and for containers with
    // timestamp jumps a jump beyond "dts_delta_threshold" taken out of the
    // offset (unless timestamps are copied).
    void PlacePacket(int input, const TInputStream& stream, AVPacket* packet, const TOptionState& options,
                     void* logSender);

    // In a join, where an input's sound ends on the output's time line
    // (microseconds): with its pictures, so that sound running on past them
    // does not push every later clip's sound out of step. INT64_MAX when the
    // input has no pictures (picture: its stream, null) or their length is
    // unknown.
    int64_t SoundEnd(int input, const TInputStream* picture) const;

    // Where output tracks stop repeating pictures and adding silence
    // (microseconds of output time, INT64_MAX: no bound): the inputs' probed
    // lengths (summed in a join) and a margin, when every length is known
    // and nothing stretches time.
    int64_t OutputEnd() const { return outputEnd_; }
    void SetOutputEnd(const TOptionState& options, bool filtered);

    // The joint after input i of a join: drain gets each decoding stream of
    // the input, every stream of its slot is filled up to where the longest
    // one stopped and retired, and the next input is placed there. True when
    // input i was the last.
    bool EndInput(int input, const std::vector<std::unique_ptr<TInputStream>>& streams, std::vector<TRunSlot>& slots,
                  const std::function<void(TInputStream&)>& drain);

    // The length of a join: the sum of its inputs' known durations, -1 when
    // none is known.
    static int64_t JoinedDuration(const std::vector<std::unique_ptr<TInputFile>>& inputs);

private:
    struct TPlace {
        const TInputFile* File = nullptr;
        int64_t Offset = 0;  // microseconds added to the input's timestamps
        int64_t Start = 0;   // microseconds: where the input begins in the output
        bool Ended = false;
        bool WouldBlock = false;
        bool Damaged = false;
        double Reached = 0;  // seconds: the end of its packets read, from the container's start
        double StreamsEnd = 0;  // seconds: the longest known length of its streams read, 0 if none is known
        std::shared_ptr<TComplaintWatch> Complaints;
        // Copied sound without copied pictures: the input's first packet goes
        // right where the output's sound ended, whatever the input's start
        // time says (an MP3 part's decoder delay is no gap in the sound).
        bool AlignFirstPacket = false;
        std::vector<TStampGuard> Guards;  // one per stream of the input
        bool GuardLogged = false;
    };
    // Moves a damaged stamp (TStampGuard); one warning per input.
    void GuardPacket(TPlace& place, const TInputStream& stream, AVPacket* packet, void* logSender);
    // How far an input was read; cut-off packets mark it damaged.
    static void NoteRead(TPlace& place, const TInputStream& stream, const AVPacket* packet);
    bool join_;
    int current_ = 0;
    int64_t outputEnd_ = INT64_MAX;
    std::vector<TPlace> places_;
    size_t blocked_ = 0;  // places marked WouldBlock
};

// Where the first sound of an input goes, so that it starts with the input's
// first picture: the sample position the output should be at (expected) and
// the one it is at (queued, with what the resampler holds). Silence fills a
// late start up to padTo (0: none); an early start loses its first skip
// samples. Differences within 5 ms stand.
struct TAudioStart {
    int64_t PadTo = 0;
    int64_t Skip = 0;
};
TAudioStart PlaceFirstAudio(int64_t expected, int64_t queued, int64_t delay, int64_t rate);

// Where a copied packet goes in its output stream (all times in the stream's
// time base; lastDts NOPTS before the first packet). Copied sound that lies
// wholly before where the previous input of a join ended (jointEnd) is
// dropped: the later input's encoder priming, or sound the previous input
// already carried.
// Otherwise a decoding time that would not advance is moved just past the
// last one, so that the muxer gets strictly increasing times.
struct TCopyPlace {
    bool Drop = false;
    int64_t Dts = 0;
    int64_t Pts = 0;
};
TCopyPlace PlaceCopiedPacket(int64_t dts, int64_t pts, int64_t duration, int64_t lastDts, int64_t jointEnd,
                             bool sound);
// Later sound of an input: a gap in its timestamps of more than 0.1 s is
// filled with silence, an overlap of more than 0.1 s is cut, so that the
// pictures after it keep their sound; smaller jitter stands.
TAudioStart PlaceLaterAudio(int64_t expected, int64_t queued, int64_t delay, int64_t rate);
