#include "win_http_url.h"

#include <cctype>
#include <ctime>
#include <vector>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Escape(std::string_view text, std::string_view specials, unsigned char lowestPlain) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < lowestPlain || c >= 128 || specials.find(ch) != std::string_view::npos) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::string CompleteUrl(std::string_view url) {
    if (url.find("://") == std::string_view::npos) return "http://" + std::string(url);
    return std::string(url);
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

TUrlParts CrackUrl(std::string_view url) {
    TUrlParts p;
    const size_t sep = url.find("://");
    if (sep == std::string_view::npos || sep == 0) return p;
    p.scheme = Lower(url.substr(0, sep));
    std::string_view rest = url.substr(sep + 3);
    const size_t pathStart = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, pathStart);
    std::string_view tail = pathStart == std::string_view::npos ? std::string_view() : rest.substr(pathStart);

    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view userInfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        const size_t colon = userInfo.find(':');
        p.userName = PercentDecode(userInfo.substr(0, colon));
        if (colon != std::string_view::npos) p.password = PercentDecode(userInfo.substr(colon + 1));
    }
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) return p;
        p.host = std::string(authority.substr(0, close + 1));
        if (close + 1 < authority.size() && authority[close + 1] == ':') portText = authority.substr(close + 2);
    } else {
        const size_t colon = authority.rfind(':');
        p.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    }
    if (p.scheme == "https")
        p.port = 443;
    else if (p.scheme == "http")
        p.port = 80;
    if (!portText.empty()) {
        int port = 0;
        for (const char c : portText) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return p;
            port = port * 10 + (c - '0');
            if (port > 65535) return p;
        }
        p.port = port;
    }
    const size_t extraStart = tail.find_first_of("?#");
    p.path = PercentDecode(tail.substr(0, extraStart));
    if (extraStart != std::string_view::npos) p.extra = PercentDecode(tail.substr(extraStart));
    if (p.path.empty() && p.scheme != "file") p.path = "/";
    p.valid = p.scheme == "file" || !p.host.empty();
    return p;
}

// DEL is escaped as well: a raw one makes the request line invalid.
std::string EscapeQuery(std::string_view query) { return Escape(query, std::string_view(" #%*+<>\x7f", 8), 32); }

std::string EscapePath(std::string_view path) { return Escape(path, "#%?\"<>\x7f", 33); }

std::string ObjectName(const TUrlParts& parts) { return EscapePath(parts.path) + EscapeQuery(parts.extra); }

// ------------------------------------------------------------------ HTTP dates

namespace {

int MonthIndex(std::string_view name) {
    static const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                    "jul", "aug", "sep", "oct", "nov", "dec"};
    const std::string lower = Lower(name.substr(0, 3));
    if (name.size() < 3) return -1;
    for (int i = 0; i < 12; ++i)
        if (lower == kMonths[i]) return i;
    return -1;
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A number of at most maxDigits digits (no sign); false for anything else,
// so that no value from the server can overflow.
bool SmallNumber(std::string_view s, size_t maxDigits, int& value) {
    if (s.size() > maxDigits || !AllDigits(s)) return false;
    value = 0;
    for (const char c : s) value = value * 10 + (c - '0');
    return true;
}

// "hh:mm" or "hh:mm:ss".
bool ParseClock(std::string_view s, int& hour, int& minute, int& second) {
    const size_t c1 = s.find(':');
    const size_t c2 = s.find(':', c1 + 1);
    second = 0;
    return SmallNumber(s.substr(0, c1), 2, hour) &&
           SmallNumber(s.substr(c1 + 1, c2 == std::string_view::npos ? std::string_view::npos : c2 - c1 - 1), 2,
                       minute) &&
           (c2 == std::string_view::npos || SmallNumber(s.substr(c2 + 1), 2, second));
}

}  // namespace

TDateTime ParseHttpDate(std::string_view text) {
    std::vector<std::string> tokens;
    std::string cur;
    for (const char c : text) {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!cur.empty()) tokens.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) tokens.push_back(cur);
    // "06-Nov-94" counts as three tokens.
    std::vector<std::string> parts;
    for (const auto& t : tokens) {
        const size_t d1 = t.find('-');
        if (d1 != std::string::npos && d1 > 0 && t.find(':') == std::string::npos) {
            const size_t d2 = t.find('-', d1 + 1);
            if (d2 != std::string::npos) {
                parts.push_back(t.substr(0, d1));
                parts.push_back(t.substr(d1 + 1, d2 - d1 - 1));
                parts.push_back(t.substr(d2 + 1));
                continue;
            }
        }
        parts.push_back(t);
    }
    int day = -1, month = -1, year = -1, hour = -1, minute = 0, second = 0, offsetMinutes = 0;
    for (const auto& t : parts) {
        int v = 0;
        if (t.find(':') != std::string::npos) {
            if (!ParseClock(t, hour, minute, second)) return 0;
        } else if ((t[0] == '+' || t[0] == '-') && SmallNumber(std::string_view(t).substr(1), 4, v) && t.size() == 5) {
            offsetMinutes = (v / 100 * 60 + v % 100) * (t[0] == '-' ? -1 : 1);
        } else if (AllDigits(t)) {
            if (day < 0 && t.size() <= 2 && month < 0)
                SmallNumber(t, 2, day);
            else if (year < 0 && !SmallNumber(t, 4, year))
                return 0;
        } else if (month < 0 && MonthIndex(t) >= 0) {
            month = MonthIndex(t);
        }
    }
    if (day < 1 || day > 31 || month < 0 || year < 0 || hour < 0 || hour > 23 || minute > 59 || second > 60) return 0;
    if (year < 80)
        year += 2000;
    else if (year < 100)
        year += 1900;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    const time_t utc = timegm(&tm) - static_cast<time_t>(offsetMinutes) * 60;
    std::tm local{};
    if (!localtime_r(&utc, &local)) return 0;
    // The local wall-clock time counted as days; 25569 is 1970-01-01.
    const time_t localSeconds = timegm(&local);
    return 25569.0 + static_cast<double>(localSeconds) / 86400.0;
}
