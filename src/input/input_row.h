#pragma once
// One row of the input list: what the probe found about a file, as the slide
// shows it (the name and three description lines) and as the job builder
// takes it (the values).
#include "convert_list.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct TFileStreamInfo;
struct TVideoStreamInfo;
struct TAudioStreamInfo;

struct TInputRow {
    std::string FullName;       // the path as it was added
    std::string DurationLine;   // "Duration: ..."
    std::string BitrateLine;    // "Bit rate: ..." or, without video, "Audio Bit rate: ..."
    std::string DimensionLine;  // "Dimension: W x H" or, without video, "Audio Encoder: ..."
    // "Tracks: 2 sound tracks, 1 subtitle track"; empty for a file with at
    // most one sound track and no subtitles.
    std::string TracksLine;
    // The values the job is built from.
    int64_t RealDuration = 0;  // microseconds; 0 when the probe knows none
    int32_t Width = -1;        // -1 without a video stream
    int32_t Height = -1;
    float AspectRatio = -1.0f;
    bool HasVideo = false;
    // What the user trimmed it to, microseconds from its start; -1: its
    // start or its end.
    int64_t TrimStartUs = -1;
    int64_t TrimEndUs = -1;
    // The probe's description of its streams for the join plan (shared, not copied).
    std::shared_ptr<const TFileDesc> Described;

    TJobInput JobInput() const {
        return {FullName, RealDuration, Width, Height, AspectRatio, -1, TrimStartUs, TrimEndUs, Described};
    }
    // The Duration line as the slide shows it: a trimmed row gives its
    // length and range ("Duration: 01:25.000 (00:05.000 to 01:30.000)").
    std::string ShownDurationLine() const;
};

// FormatMicroseconds of the duration, or "Duration is not preseted" when unknown.
std::string DurationText(int64_t durationUs);
// "%d Kbps" of the bit rate / 1000, or "Bit rate is not preseted" below 1.
std::string BitRateText(int32_t bitsPerSecond);

// TracksLine of a file with so many sound and subtitle streams.
std::string TracksText(int sounds, int subtitles);

// The row of one probed file; video or audio wording by hasVideo.
TInputRow MakeInputRow(const std::string& fullName, const TFileStreamInfo& file, bool hasVideo,
                       const TVideoStreamInfo& video, const TAudioStreamInfo& audio);

// The path shortened until measure() of it is at most maxWidth: leading
// folders give way to "...", and when the file name alone is too wide, its
// end is cut and marked with "...". Multi-byte characters are never split.
std::string ShortenPath(const std::string& path, int maxWidth,
                        const std::function<int(std::string_view)>& measure);
