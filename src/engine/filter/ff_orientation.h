#pragma once
// How a video stream is shown: a display matrix (phone clips carry one)
// turns and mirrors the stored pictures. Players apply it, so the engine
// turns the pictures upright before anything else looks at them.
#include "ff_api.h"

#include <string>

struct TFFBitmap;

struct TOrientation {
    // The library's transpose directions: 0 turn counter-clockwise and
    // mirror top to bottom, 1 clockwise, 2 counter-clockwise, 3 clockwise and
    // mirror; -1 no quarter turn.
    int Transpose = -1;
    bool MirrorLeftRight = false;
    bool MirrorTopBottom = false;

    bool Upright() const { return Transpose < 0 && !MirrorLeftRight && !MirrorTopBottom; }
    // Width and height swap.
    bool QuarterTurn() const { return Transpose >= 0; }
    // The filter chain that does it ("transpose=dir=1", "hflip", ...); empty
    // when the pictures stand upright already.
    std::string Filters() const;
};

// The orientation the stream's display matrix asks for, as players read it.
// Angles other than quarter turns are left alone.
TOrientation StreamOrientation(const AVStream* stream);

// The stream's picture size as shown.
void ShownSize(const AVStream* stream, int& width, int& height);

// Turns a bitmap (any of its bit depths) the same way.
void TurnBitmap(TFFBitmap& bitmap, const TOrientation& orientation);
