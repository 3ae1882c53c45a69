#pragma once
// How an output record becomes the option settings of a task: the steps that
// SetOutputFile takes, in their order, as plain data. Kept apart from the task
// so that the order (which decides what wins when a record and its option text
// name the same thing) can be read and tested on its own.
#include "ff_records.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TOutputStep {
    enum TKind {
        osSetOption,           // SetOption(Name, Value)
        osOptionText,          // ApplyOptionText(Value) without the codec lines
        osTarget,              // ApplyTarget(kind Name, norm Value, fallback Fallback)
        osStartTime,           // the output's start, Number microseconds
        osRecordingTime,       // the output's length, Number microseconds
        osRecordingTimestamp,  // the output's date, Number unix seconds
    };
    TKind Kind = osSetOption;
    std::string Name;
    std::string Value;
    std::string Fallback;
    int64_t Number = 0;
};

// The per-stream option list of an output: the record's stream defaults
// ("def_acodec" = AudioCodec, ... "def_s" = FrameSize, "def_vf" =
// VideoFilters), each overridden by the first non-empty line of the same name
// in the option text, followed by those lines themselves ("vfilters" read as
// "vf").
using TStreamOptionList = std::vector<std::pair<std::string, std::string>>;
TStreamOptionList StreamOptionList(const TOutputOptions& options);
// The value of the first entry of that name; empty when there is none.
std::string StreamOptionValue(const TStreamOptionList& list, const std::string& name);

// The steps before the output is created: the target, the stream codecs and
// presets from the list, the option text, the record's fields in the order of
// the record, its metadata, and the list's size and filters. nowUnix is the
// date a TimeStamp of 0 ("now") stands for.
std::vector<TOutputStep> OutputOptionSteps(const TOutputOptions& options, const TStreamOptionList& list,
                                           int64_t nowUnix);

// The steps after the output is created: each "newaudio", "newvideo" and
// "newsubtitle" line of the option text, preceded by the per-stream options of
// its stream ("acodec", "apre"; "vcodec", "vpre", "s", "vf"; "scodec",
// "spre"), each the first entry of the list by that name (which leaves the
// list) or else the record's default.
std::vector<std::pair<std::string, std::string>> NewStreamSteps(const std::string& optionText,
                                                                TStreamOptionList& list);
