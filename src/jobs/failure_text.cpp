#include "failure_text.h"

#include "ff_errors.h"

std::string PlainReason(const std::string& message, int errorCode) {
    if (errorCode >= 0) return message;
    const std::string text = ErrorMessage(errorCode);
    if (message.empty()) return text;
    if (message.find(text) != std::string::npos) return message;
    return message + " (" + text + ")";
}

std::string NoSoundReason(std::string_view formatName) {
    return "has no sound, and " + std::string(formatName) + " holds only sound";
}
