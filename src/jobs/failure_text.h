#pragma once
// Why a file failed, in plain words, for its line on Step4, in the log and in
// the command line's summary.
#include <string>
#include <string_view>

// The engine's message, with the library's text for its error code when the
// message does not say it already.
std::string PlainReason(const std::string& message, int errorCode);
// "has no sound, and MP3 holds only sound".
std::string NoSoundReason(std::string_view formatName);

// The line of ErrorList for a file that failed: "File (N) name: reason",
// N counting from 1 as the input list does.
std::string TaskFailureLine(int number, const std::string& fileName, const std::string& reason);

// Why building left a file out: the message without the file name the
// library put in front of it; for an output that could not be created
// (output) and a code the system gave, the folder that cannot be written into.
std::string RefusalReason(const std::string& message, int errorCode, const std::string& fileName, bool output);
