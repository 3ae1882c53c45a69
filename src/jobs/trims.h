#pragma once
// Trims as users write them: times "[[h:]mm:]ss[.fff]" or seconds "12.5",
// and the command line's "N=START-END", either end left out.
#include "convert_list.h"

#include <cstdint>
#include <string>
#include <string_view>

// Microseconds of a time; false when the text is none.
bool ParseTrimTime(std::string_view text, int64_t& us);
// "[h:]mm:ss.fff": hours only when there are any.
std::string TrimTimeText(int64_t us);

struct TTrimOption {
    int File = 0;         // as the list counts, from 1
    int64_t StartUs = -1;  // -1: the file's start
    int64_t EndUs = -1;    // -1: the file's end
};
// "N=START-END"; false with the reason ("'2=1:00-0:30': the start is not
// before the end").
bool ParseTrimOption(std::string_view text, TTrimOption& trim, std::string& error);

// How lists show an input's trim, "00:05.000 to 01:30.000"; empty when whole.
std::string TrimRangeText(const TJobInput& input);
