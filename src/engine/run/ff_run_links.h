#pragma once
// Which input stream feeds which output track during a run, slot by slot. A
// join has one slot per input, each over the same tracks of its one output;
// otherwise a slot is an output file.
#include "ff_join_plan.h"

#include <cstdint>
#include <memory>
#include <vector>

class TInBandSets;
class TInputStream;
class TOutputTrack;
struct TOutputFile;

struct TStreamLink {
    TOutputTrack* Track = nullptr;
    TInputStream* Source = nullptr;  // null: the slot's input has no stream of the kind
    TInputStream* Sync = nullptr;
    int Slot = 0;
    int Index = 0;         // the stream's index in its output
    bool Active = false;   // feeds the track; cleared at the joint after its input
    bool Started = false;  // the slot's first sound was placed on the time line
    // Output time (microseconds) of the first thing this link wrote, NOPTS
    // before: where its input begins in the output, for the chapters.
    int64_t FirstUs = INT64_MIN;
    // A join that follows a plan: what this input gives a copied track (its
    // pictures re-encoded, or copied with its parameter sets in-band).
    TPlanAction Action = paCopy;
    std::shared_ptr<TInBandSets> InBand;
    // A trimmed clip cut at key frames: its packets from CopyFrom up to
    // CopyUntil (its own timestamps) are copied, the pictures around them
    // decoded and re-encoded. INT64_MAX: nothing copied / copied to the end.
    bool SmartCut = false;
    int64_t CopyFrom = INT64_MAX;
    int64_t CopyUntil = INT64_MAX;
    bool CutCopying = false;  // its copied part has begun
    void Wrote(int64_t us) {
        if (FirstUs == INT64_MIN && us != INT64_MIN) FirstUs = us;
    }
};

struct TRunSlot {
    TOutputFile* File = nullptr;
    std::vector<TStreamLink> Links;
};
