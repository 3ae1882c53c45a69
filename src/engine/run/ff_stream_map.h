#pragma once
// Which kinds of streams an output gets and which input stream feeds each
// output stream: plain functions of descriptions, so that their rules can be
// read and tested without media files.
#include "ff_api.h"
#include "ff_options.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Kinds of streams: one flag per kind an output can carry.
struct TStreamKinds {
    bool Video = false;
    bool Audio = false;
    bool Subtitle = false;
    // How many sound and subtitle streams an input has, or an output gets.
    int Sounds = 0;
    int Subtitles = 0;
};

// What the output's format and the pending settings ask for.
struct TOutputKindRequest {
    TStreamKinds Format;    // the format has a default codec of the kind
    TStreamKinds Named;     // an encoder is named for the kind, or the kind is copied
    TStreamKinds Disabled;  // "vn", "an", "sn"
    // The format keeps every sound track and subtitle stream (MKV, MP4):
    // the output gets as many as the input with the most.
    bool EveryTrack = false;
};

// The kinds an output gets: those the format or the settings ask for and
// some input has, without the disabled ones (in a join an input without a
// kind gets black pictures or silence for its length). Without inputs the
// request alone decides. Sounds and Subtitles count the output's streams of
// those kinds: one, or with EveryTrack the most any input has.
TStreamKinds ChooseStreamKinds(const TOutputKindRequest& request, const std::vector<TStreamKinds>& inputKinds);

// An input stream as the mapping sees it.
struct TInputStreamDesc {
    int File = 0;
    int Index = 0;
    AVMediaType Kind = AVMEDIA_TYPE_UNKNOWN;
    bool Readable = true;   // not discarded by its container settings (cover pictures, "vn", programs)
    int64_t Weight = 0;     // the clip of the pictures (VideoStreamWeight), the most channels of a sound: the highest of a kind wins
    bool InProgram = true;  // belongs to the chosen program, or no program was chosen
};

// The kinds of the streams of one output slot, in stream order.
using TSlotKinds = std::vector<AVMediaType>;

// The source of one output stream, as indexes into the input stream list;
// -1 for none (an input of a join without that kind, which the joint fills).
struct TStreamSource {
    int Source = -1;
    int Sync = -1;
};

// For every slot the source of each of its streams. Stream maps ("map") are
// taken in order and, in a join, anew for every input (their file numbers
// then name the slot's own input). Without maps each stream takes the biggest
// unused readable stream of its kind (in a join: of the slot's own input; with
// a program: of that program); sound and subtitles of a join, and several of
// a kind in one slot, take them in the input's order instead, so tracks keep
// their order and match the join plan's. When there is none a stream already
// used is taken again, except in a join or with a program. Raises FFmpegException
// with the mapping's messages.
std::vector<std::vector<TStreamSource>> MapStreams(const std::vector<TInputStreamDesc>& inputs,
                                                   const std::vector<TSlotKinds>& slots,
                                                   const std::vector<TStreamMap>& maps, bool programChosen,
                                                   bool join);

// What becomes of one subtitle stream of the output, from the streams that
// feed it (one per input of a join; its codec name, "" for none, whether it
// is made of pictures and its codec's private data).
struct TSubtitleSource {
    std::string Codec;
    bool Bitmap = false;
    std::vector<uint8_t> PrivateData;
};
struct TSubtitleChoice {
    bool Copy = false;            // copied as it is, else encoded to the format's text
    std::vector<bool> Left;       // per source: left out (its part stays empty)
};
// Copied when every source has the same codec and private data and the
// format holds it (held); otherwise text is encoded to the format's own
// subtitles and pictures, which cannot become text, are left out.
TSubtitleChoice ChooseSubtitles(const std::vector<TSubtitleSource>& sources,
                                const std::function<bool(const std::string&)>& held);

// "Video", "Audio", "Data", "Subtitle", "Attachment", "Unknown".
const char* KindName(AVMediaType kind);
