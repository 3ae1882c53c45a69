#include "watch_page.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>

namespace {
constexpr std::string_view kTitleOpen = "<meta name=\"title\" content=\"";

void EraseFirst(std::string& text, std::string_view what) {
    const size_t p = text.find(what);
    if (p != std::string::npos) text.erase(p, what.size());
}

void EraseAll(std::string& text, std::string_view what) {
    if (what.empty()) return;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p)) text.erase(p, what.size());
}

// Appends code point cp as UTF-8; false for a value that is no character.
bool AppendUtf8(std::string& out, uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return true;
}

// The number of a numeric entity body (the text between "&#" and ";").
bool ParseEntityNumber(std::string_view body, uint32_t& value) {
    int base = 10;
    if (body.starts_with("0x")) {
        base = 16;
        body.remove_prefix(2);
    } else if (!body.empty() && (body[0] == '$' || body[0] == 'x' || body[0] == 'X')) {
        base = 16;
        body.remove_prefix(1);
    }
    if (body.empty() || body.size() > 8) return false;
    uint32_t v = 0;
    for (char c : body) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        v = v * base + digit;
    }
    value = v;
    return true;
}
}  // namespace

bool FirstMatch(std::string_view pattern, std::string_view subject, std::string& match) {
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    std::unique_ptr<pcre2_code, decltype(&pcre2_code_free)> code(
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), PCRE2_DOTALL, &error,
                      &errorOffset, nullptr),
        &pcre2_code_free);
    if (!code) return false;
    std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
        pcre2_match_data_create_from_pattern(code.get(), nullptr), &pcre2_match_data_free);
    if (!data) return false;
    const int rc = pcre2_match(code.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0,
                               data.get(), nullptr);
    if (rc < 0) return false;
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
    match.assign(subject.substr(ov[0], ov[1] - ov[0]));
    return true;
}

std::string ExtractTitle(std::string_view page) {
    std::string title;
    if (!FirstMatch("<meta name=\"title\" content=\"([^<]+)\">", page, title)) return {};
    EraseFirst(title, kTitleOpen);
    EraseFirst(title, "\">");
    return DecodeEntities(title);
}

std::string ExtractVideoId(std::string_view page, std::string_view host) {
    std::string pattern(host);
    pattern += "/watch\\?v=.+?\"";
    std::string id;
    if (!FirstMatch(pattern, page, id)) return {};
    EraseAll(id, std::string(host) + "/watch?v=");
    EraseAll(id, "\"");
    return id;
}

std::string DecodeEntities(std::string_view text) {
    static constexpr struct {
        std::string_view Name;
        char Value;
    } kNamed[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"nbsp;", ' '}, {"quot;", '"'}};
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        const std::string_view rest = text.substr(i + 1);
        bool decoded = false;
        for (const auto& named : kNamed) {
            if (rest.starts_with(named.Name)) {
                out += named.Value;
                i += 1 + named.Name.size();
                decoded = true;
                break;
            }
        }
        if (!decoded && rest.starts_with('#')) {
            const size_t semi = rest.find(';');
            const std::string_view body = rest.substr(1, semi == std::string_view::npos ? std::string_view::npos : semi - 1);
            uint32_t cp = 0;
            if (ParseEntityNumber(body, cp) && AppendUtf8(out, cp)) {
                i += 2 + body.size() + (semi == std::string_view::npos ? 0 : 1);
                decoded = true;
            }
        }
        if (!decoded) out += text[i++];
    }
    return out;
}
