#pragma once
// The quality preference: which streams a download tries and in which order,
// the texts that describe them and the file extension of each.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TQualityInfo {
    const char* ShortName;  // "[HQ18]"
    int Itag;
    const char* Extension;  // ".mp4"
    const char* Format;     // the three columns of the dialog row
    const char* Video;
    const char* Audio;
    const char* LongText;
};

inline constexpr int QualityCodeCount = 8;
inline constexpr int DefaultQualityItag = 5;
inline constexpr char DefaultQualityExtension[] = ".flv";
inline constexpr char DefaultQualityLongText[] = "[Default Quality - HQ5 - (FLV, 400 x 240, Mono 44KHz MP3)]";

// Eight order slots, each a quality code 0..7 (slot 1 first).
using TQualityOrder = std::array<uint8_t, QualityCodeCount>;
inline constexpr TQualityOrder DefaultQualityOrder{1, 2, 3, 0, 4, 5, 6, 7};
inline constexpr TQualityOrder BestAvailableQualityOrder{7, 3, 2, 1, 0, 6, 4, 5};

// The quality of a code; nullptr for a code outside 0..7 (a hand-edited
// settings file). Such a code offers no stream, so its attempt fails at once.
const TQualityInfo* QualityOf(unsigned code);
// Short name of a code, empty outside 0..7.
std::string QualityShortName(unsigned code);

// The text of LabelYouTubeQuality.
std::string PreferenceText(bool prefer, const TQualityOrder& order);

// Attempt 0 is the default quality (itag 5); attempt n (1..8) is the code in
// order slot n.
int AttemptItag(int attempt, const TQualityOrder& order);
std::string AttemptLongText(int attempt, const TQualityOrder& order);
std::string AttemptExtension(int attempt, const TQualityOrder& order);
std::string AttemptShortName(int attempt, const TQualityOrder& order);

// The quality dialog's list, as codes from top to bottom.
// The rows for an order: one per slot, skipping codes outside 0..7.
std::vector<uint8_t> QualityRowsOf(const TQualityOrder& order);
// Moves row index up (delta -1) or down (+1). Returns the new index of the
// moved row, or -1 when nothing moved (no selection, top row up, last row down).
int MoveQualityRow(std::vector<uint8_t>& rows, int index, int delta);
// The order taken from the row captions: slot k from row k, a caption that
// names no quality counting as code 0. Slots without a row (the list was
// short) take the codes not yet in the order, ascending.
TQualityOrder QualityOrderFromCaptions(const std::vector<std::string>& captions);
