#include "http_headers.h"

#include "util_funcs.h"

#include <curl/curl.h>

#include <limits>

std::optional<std::pair<std::string, std::string>> HeaderLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    const size_t colon = line.find(':');
    if (line.empty() || colon == std::string_view::npos) return std::nullopt;
    return std::make_pair(LowerCase(Trim(line.substr(0, colon))), Trim(line.substr(colon + 1)));
}

int64_t ContentLength(std::string_view value) {
    if (value.empty()) return -1;
    int64_t length = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return -1;
        if (length > (std::numeric_limits<int64_t>::max() - (c - '0')) / 10) return -1;
        length = length * 10 + (c - '0');
    }
    return length;
}

bool IsWebAddress(std::string_view url) {
    const size_t colon = url.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string scheme = LowerCase(url.substr(0, colon));
    return scheme == "http" || scheme == "https";
}

std::string AbsoluteLocation(const std::string& base, const std::string& location) {
    std::string result = location;
    if (CURLU* u = curl_url()) {
        char* full = nullptr;
        if (curl_url_set(u, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
            curl_url_set(u, CURLUPART_URL, location.c_str(), 0) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_URL, &full, 0) == CURLUE_OK) {
            result = full;
            curl_free(full);
        }
        curl_url_cleanup(u);
    }
    return result;
}

std::string AuthRealm(std::string_view header) {
    const std::string lower = LowerCase(header);
    size_t at = lower.find("realm=");
    // A parameter of its own, not the end of another's name.
    while (at != std::string::npos && at > 0 && lower[at - 1] != ' ' && lower[at - 1] != ',')
        at = lower.find("realm=", at + 1);
    if (at == std::string::npos) return {};
    at += 6;
    std::string realm;
    if (at < header.size() && header[at] == '"') {
        for (size_t i = at + 1; i < header.size() && header[i] != '"'; ++i) {
            if (header[i] == '\\' && i + 1 < header.size()) ++i;
            realm += header[i];
        }
        return realm;
    }
    const size_t end = header.find_first_of(", ", at);
    return std::string(header.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
}
