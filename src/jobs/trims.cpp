#include "trims.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

namespace {
bool Digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}
}  // namespace

bool ParseTrimTime(std::string_view text, int64_t& us) {
    // Fields parted by ':', the last with an optional fraction.
    std::vector<std::string_view> fields;
    size_t at = 0;
    for (size_t colon; (colon = text.find(':', at)) != std::string_view::npos; at = colon + 1)
        fields.push_back(text.substr(at, colon - at));
    fields.push_back(text.substr(at));
    if (fields.size() > 3) return false;
    std::string_view seconds = fields.back(), fraction;
    if (const size_t dot = seconds.find('.'); dot != std::string_view::npos) {
        fraction = seconds.substr(dot + 1);
        seconds = seconds.substr(0, dot);
        if (!Digits(fraction) || fraction.size() > 6) return false;
    }
    if (!Digits(seconds) || seconds.size() > 9) return false;
    int64_t total = 0;
    for (size_t i = 0; i + 1 < fields.size(); ++i) {
        if (!Digits(fields[i]) || fields[i].size() > 6) return false;
        total = total * 60 + std::stoll(std::string(fields[i]));
    }
    // Minutes and seconds under a larger field count to 59.
    const int64_t s = std::stoll(std::string(seconds));
    if (fields.size() > 1 && s > 59) return false;
    if (fields.size() == 3 && std::stoll(std::string(fields[1])) > 59) return false;
    total = total * 60 + s;
    int64_t micro = 0;
    for (size_t i = 0; i < 6; ++i) micro = micro * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    us = total * 1000000 + micro;
    return true;
}

std::string TrimTimeText(int64_t us) {
    if (us < 0) us = 0;
    const int64_t ms = (us + 500) / 1000;
    const int64_t h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, f = ms % 1000;
    char buf[48];
    if (h > 0)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld.%03lld", static_cast<long long>(h), static_cast<long long>(m),
                      static_cast<long long>(s), static_cast<long long>(f));
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld.%03lld", static_cast<long long>(m), static_cast<long long>(s),
                      static_cast<long long>(f));
    return buf;
}

bool ParseTrimOption(std::string_view text, TTrimOption& trim, std::string& error) {
    const std::string quoted = "'" + std::string(text) + "'";
    const size_t eq = text.find('=');
    const std::string_view number = text.substr(0, eq);
    if (eq == std::string_view::npos || !Digits(number) || number.size() > 6 || std::stoi(std::string(number)) < 1) {
        error = quoted + ": give the file's number, '=' and the range (N=START-END)";
        return false;
    }
    trim = {};
    trim.File = std::stoi(std::string(number));
    const std::string_view range = text.substr(eq + 1);
    const size_t dash = range.find('-');
    if (dash == std::string_view::npos) {
        error = quoted + ": the range needs '-' between its start and end (either may be left out)";
        return false;
    }
    const std::string_view start = range.substr(0, dash), end = range.substr(dash + 1);
    if (!start.empty() && !ParseTrimTime(start, trim.StartUs)) {
        error = quoted + ": '" + std::string(start) + "' is no time ([[h:]mm:]ss[.fff] or seconds)";
        return false;
    }
    if (!end.empty() && !ParseTrimTime(end, trim.EndUs)) {
        error = quoted + ": '" + std::string(end) + "' is no time ([[h:]mm:]ss[.fff] or seconds)";
        return false;
    }
    if (start.empty() && end.empty()) {
        error = quoted + ": the range gives neither a start nor an end";
        return false;
    }
    if (trim.EndUs >= 0 && trim.EndUs <= std::max<int64_t>(trim.StartUs, 0)) {
        error = quoted + ": the start is not before the end";
        return false;
    }
    return true;
}

std::string TrimRangeText(const TJobInput& input) {
    if (!input.Trimmed()) return {};
    const int64_t end = input.TrimEndUs >= 0 ? input.TrimEndUs : input.Duration;
    return TrimTimeText(std::max<int64_t>(input.TrimStartUs, 0)) + " to " + (end >= 0 ? TrimTimeText(end) : "the end");
}
