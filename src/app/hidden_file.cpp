#include "hidden_file.h"

#include "partial_files.h"
#include "util_funcs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a hard link fails on an existing name.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return false;
    // Neither (a FAT stick): the last resort checks first.
    if (PathTaken(to)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

mode_t CurrentUmask() {
    // Read, not set and restored: another thread may create files meanwhile.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("Umask:")) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 022;
}

THiddenFile::~THiddenFile() { Discard(); }

bool THiddenFile::Create(const std::string& finalPath) {
    Discard();
    const size_t slash = finalPath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : finalPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    constexpr std::string_view suffix = ".part-XXXXXX";
    std::string path = folder + "." + CutAtCharBoundary(name, MaxFileNameBytes - 1 - suffix.size()) + std::string(suffix);
    // O_EXCL: a name that exists, a link included, is never opened.
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return false;
    // mkostemp makes it private; a saved file gets the user's usual mode.
    ::fchmod(fd, 0666 & ~CurrentUmask());
    ::close(fd);
    path_ = std::move(path);
    final_ = finalPath;
    slot_ = RegisterPartialFile(path_.c_str());
    return true;
}

std::string MoveToFreeName(const std::string& from, std::string_view folder, std::string_view base,
                           std::string_view extension) {
    const std::string dir = IncludeTrailingSeparator(folder);
    // Another program may take the free name before the rename: choose again.
    for (int tries = 0; tries < 100; ++tries) {
        const std::string name =
            FreeFileName(base, extension, [&](const std::string& candidate) { return PathTaken(dir + candidate); });
        if (name.empty()) break;
        const std::string target = dir + name;
        if (RenameNoReplace(from, target)) return target;
        if (errno != EEXIST) return {};
    }
    errno = EEXIST;
    return {};
}

std::string THiddenFile::Commit(std::string_view folder, std::string_view base, std::string_view extension) {
    if (path_.empty()) {
        errno = ENOENT;
        return {};
    }
    std::string target = MoveToFreeName(path_, folder, base, extension);
    if (target.empty()) return {};
    ForgetPartialFile(slot_);
    slot_ = -1;
    path_.clear();
    return target;
}

std::string THiddenFile::Commit() {
    const size_t slash = final_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : final_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? final_ : final_.substr(slash + 1);
    const std::string ext = ExtractFileExt(name);
    return Commit(folder, std::string_view(name).substr(0, name.size() - ext.size()), ext);
}

void THiddenFile::Discard() {
    if (path_.empty()) return;
    ::unlink(path_.c_str());
    ForgetPartialFile(slot_);
    slot_ = -1;
    path_.clear();
}
