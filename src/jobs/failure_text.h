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
