#pragma once
// The engine's one error: the text users see, the library's error code when a
// library call failed (an AVERROR value, 0 otherwise) and what was being done
// (the call, the file or the stream). Raised by option handling, opening and
// transcoding; the encoder keeps it as the last error of an operation or as
// the error that ended a task.
#include <stdexcept>
#include <string>

class FFmpegException : public std::runtime_error {
public:
    explicit FFmpegException(const std::string& message, int code = 0, std::string context = {})
        : std::runtime_error(message), code_(code), context_(std::move(context)) {}
    int Code() const noexcept { return code_; }
    const std::string& Context() const noexcept { return context_; }

private:
    int code_;
    std::string context_;
};
