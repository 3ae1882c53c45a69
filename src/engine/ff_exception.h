#pragma once
// Raised by option handling and transcoding; the encoder turns it into a
// task's end report or a LastErrorMessage.
#include <stdexcept>
#include <string>

class FFmpegException : public std::runtime_error {
public:
    explicit FFmpegException(const std::string& message) : std::runtime_error(message) {}
};
