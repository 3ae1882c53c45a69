#include "failure_text.h"

#include "ff_errors.h"
#include "util_funcs.h"

#include <cerrno>
#include <cctype>

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

std::string TaskFailureLine(int number, const std::string& fileName, const std::string& reason) {
    return "File (" + std::to_string(number) + ") " + fileName + ": " + reason;
}

namespace {
// Codes that mean the folder, not the file's content, stopped the writing.
bool FolderRefused(int errorCode) {
    for (int e : {EACCES, EPERM, EROFS, ENOSPC, EDQUOT, ENOENT, ENOTDIR})
        if (errorCode == -e) return true;
    return false;
}
}  // namespace

std::string RefusalReason(const std::string& message, int errorCode, const std::string& fileName, bool output) {
    if (output && FolderRefused(errorCode)) {
        std::string folder = ExtractFilePath(fileName);
        if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        std::string text = ErrorMessage(errorCode);
        if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        return "cannot write into " + folder + ": " + text;
    }
    const std::string named = fileName + ": ";
    const std::string reason = !fileName.empty() && message.starts_with(named) ? message.substr(named.size()) : message;
    return PlainReason(reason, errorCode);
}
