#include "saved_file.h"

#include "util_funcs.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    const std::string dir = IncludeTrailingSeparator(folder);
    const std::string_view base = name.substr(0, name.size() - std::min(extension.size(), name.size()));
    return FreeFileName(base, extension, [&](const std::string& candidate) { return PathTaken(dir + candidate); });
}
