#include "input_row.h"

#include "ff_decoder.h"
#include "trims.h"
#include "util_funcs.h"

#include <vector>

std::string DurationText(int64_t durationUs) {
    return durationUs < 0 ? "Duration is not preseted" : FormatMicroseconds(durationUs);
}

std::string BitRateText(int32_t bitsPerSecond) {
    if (bitsPerSecond < 1) return "Bit rate is not preseted";
    return std::to_string(bitsPerSecond / 1000) + " Kbps";
}

std::string TracksText(int sounds, int subtitles) {
    if (sounds <= 1 && subtitles <= 0) return {};
    const auto count = [](int n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? " track" : " tracks");
    };
    std::string text = sounds > 0 ? count(sounds, "sound") : "";
    if (subtitles > 0) text += (text.empty() ? "" : ", ") + count(subtitles, "subtitle");
    return "Tracks: " + text;
}

std::string TInputRow::ShownDurationLine() const {
    const TJobInput input = JobInput();
    if (!input.Trimmed()) return DurationLine;
    return "Duration: " + TrimTimeText(input.Length()) + " (" + TrimRangeText(input) + ")";
}

TInputRow MakeInputRow(const std::string& fullName, const TFileStreamInfo& file, bool hasVideo,
                       const TVideoStreamInfo& video, const TAudioStreamInfo& audio) {
    TInputRow row;
    row.FullName = fullName;
    row.HasVideo = hasVideo;
    row.DurationLine = "Duration: " + DurationText(file.Duration);
    if (hasVideo) {
        row.BitrateLine = "Bit rate: " + BitRateText(video.BitRate);
        row.DimensionLine = "Dimension: " + std::to_string(video.Width) + " x " + std::to_string(video.Height);
    } else {
        row.BitrateLine = "Audio Bit rate: " + BitRateText(audio.BitRate);
        row.DimensionLine = "Audio Encoder: " + audio.CodecName;
    }
    row.RealDuration = file.Duration > 0 ? file.Duration : 0;
    row.Width = video.Width;
    row.Height = video.Height;
    row.AspectRatio = video.DisplayAspectRatio;
    return row;
}

std::string ShortenPath(const std::string& path, int maxWidth, const std::function<int(std::string_view)>& measure) {
    if (measure(path) <= maxWidth) return path;
    const size_t slash = path.rfind(PathDelim);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string root = !path.empty() && path[0] == PathDelim ? std::string(1, PathDelim) : std::string();
    // The folders between the root and the name.
    std::vector<std::string> folders;
    if (slash != std::string::npos) {
        for (const std::string& part : SplitText(std::string_view(path).substr(0, slash), std::string(1, PathDelim)))
            if (!part.empty()) folders.push_back(part);
    }
    for (size_t drop = 1; drop <= folders.size(); ++drop) {
        std::string candidate = root + "...";
        for (size_t i = drop; i < folders.size(); ++i) candidate += PathDelim + folders[i];
        candidate += PathDelim + name;
        if (measure(candidate) <= maxWidth) return candidate;
    }
    // Even the name alone is too wide: keep as much of its start as fits.
    const std::string lead = folders.empty() ? std::string() : root + "..." + PathDelim;
    for (size_t keep = name.size(); keep-- > 0;) {
        if ((static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) continue;  // inside a character
        const std::string candidate = lead + name.substr(0, keep) + "...";
        if (measure(candidate) <= maxWidth) return candidate;
    }
    return lead + "...";
}
