#pragma once
// Whether a join with a "Same as source - no re-encoding" preset can copy its
// inputs' streams, and what it takes instead when it cannot. The window asks
// the user with these lines before the run; the command line prints them.
#include <string>
#include <vector>

struct TProductConfig;
struct TUserSettings;

struct TCopyJoinCheck {
    // Why the files cannot be copied into one output, one line per
    // difference; empty when they can (or the choice copies nothing).
    std::vector<std::string> Lines;
    // The preset of the same format that re-encodes instead, and its caption.
    int Instead = -1;
    std::string InsteadCaption;
};

// Checks the inputs of a join (MergeMode) against the current choice of the
// settings. Only a join with a copying preset is checked; per-file runs remux
// each file alone.
TCopyJoinCheck CheckCopyJoin(const TProductConfig& config, const TUserSettings& settings,
                             const std::vector<std::string>& files);

// The window's question: the lines, then the offer to re-encode or go back.
std::string CopyJoinQuestion(const TCopyJoinCheck& check);
