#pragma once
// What yt-dlp prints when it runs with our --print and --progress-template
// options, read line by line: its progress, the video it chose, the file it
// wrote, and its reason when it fails.
#include <cstdint>
#include <string>
#include <string_view>

// The templates our lines come from. Each starts with its marker, so no line
// yt-dlp writes on its own is taken for one of ours.
inline constexpr char YtDlpProgressMarker[] = "[orvane-progress] ";
inline constexpr char YtDlpInfoMarker[] = "[orvane-info] ";
inline constexpr char YtDlpFileMarker[] = "[orvane-file] ";
// --progress-template: status, bytes so far, total, estimated total, elapsed
// seconds, seconds left, bytes per second, fragment number and count; "NA"
// where yt-dlp does not know a value.
inline constexpr char YtDlpProgressTemplate[] =
    "download:[orvane-progress] %(progress.status)s %(progress.downloaded_bytes)s %(progress.total_bytes)s "
    "%(progress.total_bytes_estimate)s %(progress.elapsed)s %(progress.eta)s %(progress.speed)s "
    "%(progress.fragment_index)s %(progress.fragment_count)s";
// --print before_dl: the chosen video as one JSON object (ASCII only).
inline constexpr char YtDlpInfoTemplate[] =
    "before_dl:[orvane-info] %(.{id,title,ext,width,height,format_id,playlist_index})j";
// --print after_move: the finished file as a JSON string.
inline constexpr char YtDlpFileTemplate[] = "after_move:[orvane-file] %(filepath)j";

struct TYtDlpProgress {
    bool Finished = false;       // this file is complete
    int64_t DownloadedBytes = 0;
    int64_t TotalBytes = 0;      // the size, or yt-dlp's estimate of it; 0 when unknown
    int64_t ElapsedSeconds = 0;  // 0 when unknown
    int64_t SecondsLeft = 0;     // 0 when unknown
    double BytesPerSecond = -1;  // below 0 when unknown
    int FragmentIndex = 0, FragmentCount = 0;  // 0 when not in fragments
    // 0..100 from the bytes, else from the fragments; 0 when neither is known.
    int Percent() const;
};

struct TYtDlpInfo {
    std::string Id, Title, Ext, FormatId;
    int Width = 0, Height = 0;  // 0 when unknown
};

enum class TYtDlpLineKind { lkOther, lkProgress, lkInfo, lkFile, lkError };

struct TYtDlpLine {
    TYtDlpLineKind Kind = TYtDlpLineKind::lkOther;
    TYtDlpProgress Progress;  // lkProgress
    TYtDlpInfo Info;          // lkInfo
    std::string Text;         // lkFile: the path; lkError: the plain reason
};

// One line of yt-dlp's standard output or error. A marked line that does not
// parse counts as other.
TYtDlpLine ParseYtDlpLine(std::string_view line);

// yt-dlp's "ERROR: ..." line in plain words: without the "ERROR:" prefix, the
// extractor and video id in front, the Python exception behind "(caused by",
// the request to report a bug and hints about command-line options.
std::string PlainYtDlpReason(std::string_view errorLine);
