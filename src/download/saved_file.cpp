#include "saved_file.h"

#include "util_funcs.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Any directory entry of that name counts, a dangling link included.
bool Taken(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

// Renames without replacing an existing target; false with errno EEXIST when
// the target exists.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a hard link fails on an existing name.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return false;
    if (Taken(to)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}
}  // namespace

std::string CutAtCharBoundary(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    size_t n = maxBytes;
    // Step back over continuation bytes so no character is split.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return std::string(text.substr(0, n));
}

std::string SavedFileTitle(std::string_view title, std::string_view videoId) {
    for (std::string_view candidate : {title, videoId}) {
        const size_t start = candidate.find_first_not_of('.');
        if (start != std::string_view::npos && candidate.find_first_not_of(". \t", start) != std::string_view::npos)
            return std::string(candidate.substr(start));
    }
    return "video";
}

std::string DownloadFileName(std::string_view title, std::string_view extension) {
    std::string name(title);
    name += extension;
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    return SafeFileName(name);
}

std::string UniqueDownloadName(std::string_view name, std::string_view extension, std::string_view folder) {
    if (name.size() <= MaxFileNameBytes) {
        std::string unique = UniqueFileName(name, folder);
        if (unique.size() <= MaxFileNameBytes) return unique;
    }
    const std::string dir = IncludeTrailingSeparator(folder);
    const std::string_view base = name.substr(0, name.size() - std::min(extension.size(), name.size()));
    std::string candidate;
    for (int n = 0; n <= 32768; ++n) {
        const std::string suffix = n ? "(" + std::to_string(n) + ")" : "";
        candidate = CutAtCharBoundary(base, MaxFileNameBytes - suffix.size() - extension.size()) + suffix +
                    std::string(extension);
        if (!Taken(dir + candidate)) break;
    }
    return candidate;
}

std::string CreatePartFile(std::string_view folder, std::string_view name) {
    const std::string dir = IncludeTrailingSeparator(folder);
    for (int n = 0; n < 1000; ++n) {
        const std::string suffix = (n ? "(" + std::to_string(n) + ")" : "") + ".part";
        const std::string path = dir + "." + CutAtCharBoundary(name, MaxFileNameBytes - 1 - suffix.size()) + suffix;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) return {};
    }
    errno = EEXIST;
    return {};
}

std::string CommitPartFile(const std::string& partPath, std::string_view folder, std::string_view name,
                           std::string_view extension) {
    const std::string dir = IncludeTrailingSeparator(folder);
    // Another program may take the chosen name in between: choose again.
    for (int tries = 0; tries < 100; ++tries) {
        const std::string target = dir + UniqueDownloadName(name, extension, folder);
        if (RenameNoReplace(partPath, target)) return target;
        if (errno != EEXIST) return {};
    }
    return {};
}
