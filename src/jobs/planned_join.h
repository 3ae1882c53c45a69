#pragma once
// A join with a "Same as source - no re-encoding" preset follows the join
// plan: clips that match are copied, what differs is re-encoded. This is the
// plan for the current choice, with the lines the window's question and the
// command line show, and its translation into the output record.
#include "convert_list.h"
#include "ff_join_plan.h"

#include <string>
#include <vector>

struct TOutputOptions;
struct TUserSettings;

struct TPlannedJoin {
    // A join with a copying preset: the plan decides. Otherwise the preset
    // alone does and the rest is empty.
    bool Active = false;
    TJoinPlan Plan;                       // over the files that could be read, in order
    std::vector<int> PlanFiles;           // for each of the plan's files, its place among those planned
    std::vector<std::string> Unreadable;  // "name: cannot be read (reason)"
    // The format's high-quality preset: what makes a stream the plan cannot keep.
    int Fallback = -1;
    std::string FallbackCaption;

    // Every file's line, for `orvane join --plan`.
    std::vector<std::string> Lines() const;
    // What is re-encoded, in plain words; empty when everything is copied.
    std::vector<std::string> ReencodeLines() const;
    // Nothing to ask: everything is copied (or no plan applies).
    bool CopiesEverything() const { return !Active || (Plan.CopiesEverything() && Unreadable.empty()); }
};

// The plan of joining the files with the current choice. Only a join with a
// copying preset is planned; per-file runs remux each file alone. Each file
// is opened to describe it; the lines number files by their Place.
TPlannedJoin PlanJoin(const TUserSettings& settings, const std::vector<TJobInput>& files);

// The window's question: what is re-encoded, then join so or go back.
std::string PlanQuestion(const TPlannedJoin& planned);

// The output record of a planned join over the accepted files (their places
// among the files planned, in order): sound re-encoded where the plan says,
// the high-quality preset's settings for a stream it cannot keep, and the
// plan's steps for the engine.
void ApplyPlannedJoin(const TPlannedJoin& planned, const TUserSettings& settings, const std::vector<int>& accepted,
                      TOutputOptions& options);

// A file converted on its own with a copying preset: each stream whose codec
// the format holds is copied, any other is made as the format's high-quality
// preset makes it. Nothing changes for other presets or a file that cannot be
// described (the run then says why it fails).
void ApplyCopyOrConvert(const TUserSettings& settings, const std::string& fileName, TOutputOptions& options);
