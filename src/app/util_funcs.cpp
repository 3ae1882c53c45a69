#include "util_funcs.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

std::string IncludeTrailingSeparator(std::string_view path) {
    std::string result(path);
    if (!result.empty() && result.back() != PathDelim) result += PathDelim;
    return result;
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    return std::filesystem::absolute(path, ec).lexically_normal().string();
}

bool DirectoryExists(const std::string& path) {
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathTaken(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

std::string CutAtCharBoundary(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    size_t n = maxBytes;
    // Step back over continuation bytes so no character is split.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return std::string(text.substr(0, n));
}

std::string FreeFileName(std::string_view base, std::string_view extension,
                         const std::function<bool(const std::string& name)>& taken, size_t maxBytes) {
    for (int n = 0; n <= 32768; ++n) {
        const std::string suffix = n ? "(" + std::to_string(n) + ")" : "";
        const size_t room = maxBytes > suffix.size() + extension.size() ? maxBytes - suffix.size() - extension.size() : 0;
        std::string candidate = CutAtCharBoundary(base, room) + suffix + std::string(extension);
        if (!taken(candidate)) return candidate;
    }
    return {};
}

std::string UniqueFileName(std::string_view name, std::string_view folder) {
    const std::string dir = IncludeTrailingSeparator(folder);
    const std::string ext = ExtractFileExt(name);
    const std::string_view base = name.substr(0, name.size() - ext.size());
    const auto taken = [&](const std::string& candidate) {
        struct stat st{};
        return ::lstat((dir + candidate).c_str(), &st) == 0;
    };
    const std::string free = FreeFileName(base, ext, taken, SIZE_MAX);
    // Every name taken: the last one, as before.
    return free.empty() ? std::string(base) + "(32768)" + ext : free;
}

bool ContainsAnyChar(std::string_view text, std::string_view chars) {
    return text.find_first_of(chars) != std::string_view::npos;
}

namespace {
constexpr std::string_view kForbidden = "\\/:*?<>|\"";
}

bool IsValidFileName(std::string_view name) { return !name.empty() && !ContainsAnyChar(name, kForbidden); }

std::string OutputBaseName(std::string_view typed, std::string_view extension) {
    std::string name = Trim(typed);
    if (!extension.empty() && name.size() > extension.size() &&
        LowerCase(std::string_view(name).substr(name.size() - extension.size())) == LowerCase(extension))
        name = Trim(std::string_view(name).substr(0, name.size() - extension.size()));
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return {};
    return name;
}

std::string SafeFileName(std::string_view name) {
    std::string result(name);
    if (IsValidFileName(name)) return result;
    for (char& c : result)
        if (kForbidden.find(c) != std::string_view::npos) c = '_';
    return result;
}

std::string FormatMicroseconds(int64_t us) {
    const int64_t hours = us / 1000000 / 60 / 60;
    const int64_t minutes = (us / 1000000 / 60) % 60;
    const int64_t seconds = (us / 1000000) % 60;
    const int64_t millis = (us % 1000000) * 1000 / 1000000;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64 ".%.3" PRId64, hours, minutes, seconds,
                  millis);
    return buf;
}

std::string FormatSeconds(int32_t s) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2d:%.2d:%.2d", s / 3600, (s % 3600) / 60, s % 60);
    return buf;
}

std::string TextBetween(std::string_view text, std::string_view start, std::string_view end) {
    // 0-based: q is where the piece starts.
    size_t q = 0;
    const size_t p = start.empty() ? std::string_view::npos : text.find(start);
    if (p != std::string_view::npos)
        q = p + start.size();
    else if (!start.empty())
        q = start.size() - 1;  // an absent start marker searches from character length(start)
    if (q > text.size() || end.empty()) return {};
    const size_t r = text.find(end, q);
    if (r == std::string_view::npos) return {};
    return std::string(text.substr(q, r - q));
}

std::vector<std::string> SplitText(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    if (separator.empty()) {
        if (!text.empty()) pieces.emplace_back(text);
        return pieces;
    }
    std::string current;
    size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, separator.size(), separator) == 0) {
            pieces.push_back(std::move(current));
            current.clear();
            i += separator.size();
        } else {
            current += text[i++];
        }
    }
    if (!current.empty()) pieces.push_back(std::move(current));
    return pieces;
}

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::string p = path;
    while (p.size() > 1 && p.back() == PathDelim) p.pop_back();
    if (DirectoryExists(p)) return true;
    const size_t slash = p.find_last_of(PathDelim);
    if (slash != std::string::npos && slash > 0) {
        if (!ForceDirectories(p.substr(0, slash))) return false;
    }
    if (::mkdir(p.c_str(), 0777) == 0) return true;
    return errno == EEXIST && DirectoryExists(p);
}

std::string ExecutableFolder() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    buf[n] = '\0';
    return ExtractFilePath(std::string(buf));
}

std::string ExtractFileName(std::string_view path) {
    const size_t slash = path.find_last_of(PathDelim);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFilePath(std::string_view path) {
    const size_t slash = path.find_last_of(PathDelim);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtractFileExt(std::string_view path) {
    const size_t slash = path.find_last_of(PathDelim);
    const size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return std::string(path.substr(dot));
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return std::string(text.substr(b, e - b));
}
