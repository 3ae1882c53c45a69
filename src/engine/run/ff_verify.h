#pragma once
// Verifying a joined output before it takes its name: every packet of every
// picture and sound stream decoded, each picture packet giving a picture, and
// the length within one frame of what the inputs together last. On the task's
// worker thread, after the trailer.
#include <cstdint>
#include <functional>
#include <string>

struct TVerifyTarget {
    std::string Path;          // the written file
    int64_t ExpectedUs = -1;   // what the inputs last together; -1 unknown
    // The input a position of the output (microseconds) belongs to, as
    // "File (3) beach.mp4".
    std::function<std::string(int64_t)> InputAt;
    std::function<bool()> Stopped;  // a stop request ends the check
};

// Empty when the output reads whole; else the reason, naming the position
// ("the output cannot be decoded at 0:12:31.4 (File (3) beach.mp4)").
std::string VerifyOutput(const TVerifyTarget& target);

// "0:12:31.4": hours, minutes, seconds and tenths.
std::string PositionText(int64_t us);
