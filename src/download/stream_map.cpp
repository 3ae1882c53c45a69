#include "stream_map.h"

#include "stream_list_script.h"

#include "util_funcs.h"

#include <cstdio>

namespace {
size_t SlotOf(int itag) {
    for (size_t i = 0; i < KnownItags.size(); ++i)
        if (KnownItags[i] == itag) return i;
    return KnownItags.size();
}

// Decimal with an optional sign, or hexadecimal after "$" or "0x"; leading
// blanks allowed. False for anything else or a value beyond 32 bits.
bool ParseItag(std::string_view text, int& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int base = 10;
    if (text.substr(i).starts_with("$")) {
        base = 16;
        i += 1;
    } else if (text.substr(i).starts_with("0x") || text.substr(i).starts_with("0X")) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'))
            digit = (c | 0x20) - 'a' + 10;
        else
            return false;
        v = v * base + digit;
        if (v > 0xFFFFFFFFLL) return false;
    }
    value = static_cast<int>(negative ? -v : v);
    return true;
}

}  // namespace

const std::string& TStreamMap::Address(int itag) const {
    static const std::string empty;
    const size_t slot = SlotOf(itag);
    return slot < slots_.size() ? slots_[slot] : empty;
}

bool TStreamMap::SetAddress(int itag, std::string address) {
    const size_t slot = SlotOf(itag);
    if (slot >= slots_.size()) return false;
    slots_[slot] = std::move(address);
    return true;
}

void TStreamMap::Clear() {
    for (auto& s : slots_) s.clear();
}

bool TStreamMap::Empty() const {
    for (const auto& s : slots_)
        if (!s.empty()) return false;
    return true;
}

void ParseEchoText(std::string_view text, TStreamMap& map) {
    for (const std::string& piece : SplitText(text, "<br>")) {
        const std::string itagText = TextBetween(piece, "<", ">");
        int itag = 0;
        if (!ParseItag(itagText, itag)) throw TEchoParseError("'" + itagText + "' is not a valid integer value");
        map.SetAddress(itag, TextBetween(piece, "[", "]"));
    }
}

std::string ScriptStringLiteral(std::string_view bytes) {
    std::string out = "'";
    out.reserve(bytes.size() + 2);
    for (unsigned char c : bytes) {
        if (c == '\\' || c == '\'' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '\'';
    return out;
}

std::vector<std::string> InfoScriptLines(std::string_view infoText) {
    // The info text comes from the network: it goes in as a whole literal
    // (the quotes around the place-holder included) so it stays data.
    const std::string quoted = "'" + std::string(kStreamListPlaceholder) + "'";
    const std::string literal = ScriptStringLiteral(infoText);
    std::vector<std::string> lines;
    lines.reserve(std::size(kStreamListScript));
    for (const char* stored : kStreamListScript) {
        std::string line(stored);
        for (size_t p = line.find(quoted); p != std::string::npos; p = line.find(quoted, p + literal.size()))
            line.replace(p, quoted.size(), literal);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string EchoTextToBytes(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
            ++i;
        } else {
            return std::string(utf8);  // characters beyond one byte: keep the text as it is
        }
    }
    return out;
}
