#pragma once
// INI text: "[Section]" headers, key=value lines, blank lines and ";" comments
// ignored, spaces around keys and values trimmed, section and key names matched
// without regard to case. The first of two equal keys wins when reading.
// Writing keeps the order of sections and keys as they were read or first set.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class IniFile {
public:
    void Parse(std::string_view text);
    std::string Text() const;

    // Reads and parses a file; false (and errorText) when it cannot be read.
    bool Load(const std::string& path, std::string* errorText = nullptr);
    // Writes beside the file and renames it into place, so that a failed write
    // never leaves a half-written file. Throws std::runtime_error on failure.
    void Save(const std::string& path) const;

    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key, const std::string& def) const;
    // Decimal integer; a missing key or a value that does not parse gives def.
    long long ReadInteger(std::string_view section, std::string_view key, long long def) const;
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    void Set(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, long long value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

private:
    struct Entry {
        std::string key, value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;
    std::vector<Section> sections_;
};

// Strict decimal integer: optional sign and digits only, within 32 bits.
std::optional<int> ParseDecimalInt(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
