#pragma once
// The target shortcuts "vcd", "svcd", "dvd", "dv" and "dv50": codecs, format,
// size, rates and muxing settings of the disc standard in the PAL, NTSC or
// film norm.
#include <string>

struct TOptionState;
class IOptionHost;

// norm "pal", "ntsc" or "film"; anything else is decided from the pending
// frame rate, then from the video streams of the inputs opened so far, then by
// the fallback ("film", "ntsc", otherwise PAL). Raises FFmpegException
// ("Unknown target type", "frame_rate is invalid.", or an option's message).
void ApplyTarget(TOptionState& state, IOptionHost& host, const std::string& kind, const std::string& norm,
                 const std::string& fallback);
