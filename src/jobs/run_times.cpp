#include "run_times.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

int64_t ProgressPercent(int64_t currentDuration, int64_t totalDuration) {
    if (totalDuration <= 0) return 0;
    return currentDuration * 100 / totalDuration;
}

int ProgressBarPosition(int64_t percent) { return static_cast<int>(std::clamp<int64_t>(percent, 0, 100)); }

std::string FormatRunTime(double seconds) {
    if (!(seconds > 0)) seconds = 0;  // negative and NaN
    // Whole milliseconds first, so that 39.9999999 s computed for 40 s reads 40.
    const double ms = std::floor(seconds * 1000.0 + 0.5);
    const int64_t total = ms >= 9.2e18 ? INT64_MAX / 1000 : static_cast<int64_t>(ms) / 1000;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%lld:%02d:%02d", static_cast<long long>(total / 3600),
                  static_cast<int>(total / 60 % 60), static_cast<int>(total % 60));
    return buf;
}

TRunTimes ComputeRunTimes(int64_t jobDurationUs, int64_t doneDurationUs, int64_t currentDurationUs,
                          double elapsedSeconds) {
    TRunTimes t;
    t.Elapsed = FormatRunTime(elapsedSeconds);
    const double done = static_cast<double>(doneDurationUs) + static_cast<double>(currentDurationUs);
    if (done <= 0 || jobDurationUs <= 0) {
        t.Estimated = t.Left = UnknownRunTime;
        return t;
    }
    const double estimated = static_cast<double>(jobDurationUs) * elapsedSeconds / done;
    t.Estimated = FormatRunTime(estimated);
    t.Left = FormatRunTime(estimated - elapsedSeconds);
    return t;
}

std::string FormatSizeEstimate(double bytes) {
    if (!(bytes > 0)) bytes = 0;
    const char* unit = "KB";
    double value = bytes / 1024.0;
    // Rounded to one decimal first, so that 1023.96 KB reads 1.0 MB, not 1024.0 KB.
    if (std::round(value * 10) >= 1024 * 10) {
        value /= 1024.0;
        unit = "MB";
    }
    if (std::round(value * 10) >= 1024 * 10) {
        value /= 1024.0;
        unit = "GB";
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.1f %s", value, unit);
    return buf;
}

std::string EstimateOutputSize(int64_t bytesWritten, int64_t doneUs, int64_t jobDurationUs) {
    if (jobDurationUs <= 0 || bytesWritten <= 0) return UnknownRunTime;
    const double share = static_cast<double>(doneUs) / static_cast<double>(jobDurationUs);
    if (share < 0.05) return UnknownRunTime;
    return FormatSizeEstimate(static_cast<double>(bytesWritten) / std::min(share, 1.0));
}

int64_t WorkDone(const std::vector<TWorkSpan>& spans, int64_t outputUs) {
    int64_t done = 0, start = 0;
    for (const TWorkSpan& s : spans) {
        if (outputUs <= start) break;
        done += std::min(outputUs - start, s.LengthUs) * s.Weight;
        start += s.LengthUs;
    }
    return done;
}

int64_t WorkTotal(const std::vector<TWorkSpan>& spans) {
    int64_t total = 0;
    for (const TWorkSpan& s : spans) total += s.LengthUs * s.Weight;
    return total;
}
