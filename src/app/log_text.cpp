#include "log_text.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

std::array<int, 3> LogButtonLefts(int panelWidth, int okLeft, int okWidth, int deleteWidth, int saveLeft,
                                  int saveWidth) {
    const int rowWidth = saveLeft + saveWidth - okLeft;
    const int ok = panelWidth / 2 - rowWidth / 2;
    const int del = ok + okWidth + 8;
    return {ok, del, del + deleteWidth + 8};
}

void SaveLogLines(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Cannot create file \"" + path + "\". " + std::strerror(errno));
    for (const auto& line : lines) out << line << "\r\n";
    out.flush();
    if (!out) throw std::runtime_error("Cannot write file \"" + path + "\". " + std::strerror(errno));
}
