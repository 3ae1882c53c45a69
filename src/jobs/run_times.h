#pragma once
// The arithmetic of the run's progress display.
#include <cstdint>
#include <string>
#include <vector>

// Percent done in 64-bit integers, truncated; the bar keeps it within 0..100.
int64_t ProgressPercent(int64_t currentDuration, int64_t totalDuration);
int ProgressBarPosition(int64_t percent);

// "h:nn:ss": hours without a leading zero, minutes and seconds with two
// digits, the fraction of a second dropped. Hours are not wrapped at 24, and a
// negative time shows as 0:00:00.
std::string FormatRunTime(double seconds);

struct TRunTimes {
    std::string Estimated, Elapsed, Left;
};

// Shown while nothing is done yet, or nothing is known of the job's length.
inline constexpr char UnknownRunTime[] = "...";

// Estimated = jobDuration x elapsed / (done + current), Left = Estimated -
// Elapsed. Without a done duration or a job duration there is no estimate:
// Estimated and Left read "..."; a negative time left reads 0:00:00.
TRunTimes ComputeRunTimes(int64_t jobDurationUs, int64_t doneDurationUs, int64_t currentDurationUs,
                          double elapsedSeconds);

// A stretch of a join's output and what a second of it costs: copied
// pictures and sound move far faster than re-encoded ones, so progress and
// the time left count each clip by its real cost.
struct TWorkSpan {
    int64_t LengthUs = 0;
    int Weight = 1;
};
// The costs of the plan: a copied second 1, re-encoded sound 1 more, a
// re-encoded picture far more.
inline constexpr int CopiedWeight = 1, SoundWeight = 1, PictureWeight = 40;
// The work done once the output reaches outputUs, and the whole job's, in
// weighted microseconds.
int64_t WorkDone(const std::vector<TWorkSpan>& spans, int64_t outputUs);
int64_t WorkTotal(const std::vector<TWorkSpan>& spans);

// A size as "812.0 KB", "12.3 MB" or "1.4 GB": one decimal, 1024 to a step,
// whatever the user's locale.
std::string FormatSizeEstimate(double bytes);

// The final output size from what is written so far: bytes ÷ the share of the
// job done. "..." until 5 % of a known job length is done.
std::string EstimateOutputSize(int64_t bytesWritten, int64_t doneUs, int64_t jobDurationUs);
