#include "video_site.h"

#include "util_funcs.h"

bool IsAcceptedLink(std::string_view text, std::string_view host) {
    const std::string lower = LowerCase(text);
    return lower.find("http") != std::string::npos && lower.find(LowerCase(host)) != std::string::npos;
}

std::string InfoAddress(std::string_view host, std::string_view videoId) {
    std::string address = "http://";
    address += host;
    address += "/get_video_info?video_id=";
    address += videoId;
    return address;
}

bool IsAllowedStreamAddress(std::string_view address) {
    if (address.empty()) return false;
    const size_t colon = address.find("://");
    // Without a scheme the transfer component fetches the address as http.
    if (colon == std::string_view::npos) return true;
    const std::string scheme = LowerCase(address.substr(0, colon));
    return scheme == "http" || scheme == "https";
}
