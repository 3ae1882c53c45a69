#include "ini_file.h"

#include "util_funcs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <strings.h>
#include <unistd.h>

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::optional<int> ParseDecimalInt(std::string_view text) {
    if (text.empty()) return std::nullopt;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<int>(value);
}

void IniFile::Parse(std::string_view text) {
    sections_.clear();
    Section* current = nullptr;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t eol = text.find_first_of("\r\n", pos);
        if (eol == std::string_view::npos) eol = text.size();
        const std::string line = Trim(text.substr(pos, eol - pos));
        pos = eol + 1;
        if (eol < text.size() && text[eol] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            const std::string name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            current = FindSection(name);
            if (!current) {
                sections_.push_back({name, {}});
                current = &sections_.back();
            }
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || !current) continue;
        current->entries.push_back({Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))});
    }
}

std::string IniFile::Text() const {
    std::string out;
    for (const auto& s : sections_) {
        if (!out.empty()) out += '\n';
        out += '[' + s.name + "]\n";
        for (const auto& e : s.entries) out += e.key + '=' + e.value + '\n';
    }
    return out;
}

bool IniFile::Load(const std::string& path, std::string* errorText) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errorText)
            *errorText = "Cannot open file \"" + path + "\". " + std::strerror(errno ? errno : ENOENT);
        return false;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    Parse(buf.str());
    return true;
}

void IniFile::Save(const std::string& path) const {
    const std::string text = Text();
    const std::string temp = path + ".tmp";
    auto fail = [&](const char* what) {
        const int err = errno;
        throw std::runtime_error(std::string(what) + " \"" + path + "\". " + std::strerror(err));
    };
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) fail("Cannot create file");
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = err;
            fail("Cannot write file");
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        errno = err;
        fail("Cannot write file");
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        errno = err;
        fail("Cannot write file");
    }
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
    for (auto& s : sections_)
        if (SameText(s.name, name)) return &s;
    return nullptr;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
    for (const auto& s : sections_)
        if (SameText(s.name, name)) return &s;
    return nullptr;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
    if (const Section* s = FindSection(section))
        for (const auto& e : s->entries)
            if (SameText(e.key, key)) return e.value;
    return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, const std::string& def) const {
    auto v = Get(section, key);
    return v ? *v : def;
}

long long IniFile::ReadInteger(std::string_view section, std::string_view key, long long def) const {
    auto v = Get(section, key);
    if (!v) return def;
    auto n = ParseDecimalInt(*v);
    return n ? *n : def;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    Section* s = FindSection(section);
    if (!s) {
        sections_.push_back({std::string(section), {}});
        s = &sections_.back();
    }
    for (auto& e : s->entries)
        if (SameText(e.key, key)) {
            e.value = value;
            return;
        }
    s->entries.push_back({std::string(key), std::string(value)});
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, long long value) {
    Set(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    Set(section, key, value ? "1" : "0");
}
