#include "video_site.h"

#include "util_funcs.h"

namespace {
// The host of an authority, with the port dropped when it is the scheme's
// default, lower-cased.
std::string NormalHost(std::string_view authority, std::string_view scheme) {
    std::string host = LowerCase(authority);
    const std::string defaultPort = scheme == "https" ? ":443" : ":80";
    if (host.size() > defaultPort.size() && host.ends_with(defaultPort) && host.find(']') == std::string::npos)
        host.resize(host.size() - defaultPort.size());
    return host;
}

bool HasVideoParameter(std::string_view query) {
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        if (pair.size() > 2 && (pair[0] == 'v' || pair[0] == 'V') && pair[1] == '=') return true;
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return false;
}
}  // namespace

bool IsWatchPageLink(std::string_view text, std::string_view host) {
    const size_t sep = text.find("://");
    if (sep == std::string_view::npos) return false;
    const std::string scheme = LowerCase(text.substr(0, sep));
    if (scheme != "http" && scheme != "https") return false;
    std::string_view rest = text.substr(sep + 3);
    const size_t pathStart = rest.find_first_of("/?#");
    const std::string_view authority = rest.substr(0, pathStart);
    // No user name part: "http://H@elsewhere/" goes elsewhere.
    if (authority.empty() || authority.find('@') != std::string_view::npos) return false;
    if (NormalHost(authority, scheme) != NormalHost(host, scheme)) return false;
    if (pathStart == std::string_view::npos) return false;
    rest.remove_prefix(pathStart);
    rest = rest.substr(0, rest.find('#'));
    const size_t question = rest.find('?');
    if (LowerCase(rest.substr(0, question)) != "/watch" || question == std::string_view::npos) return false;
    return HasVideoParameter(rest.substr(question + 1));
}

bool IsDownloadableLink(std::string_view text, std::string_view host, bool otherSites) {
    if (IsWatchPageLink(text, host)) return true;
    if (!otherSites) return false;
    const size_t sep = text.find("://");
    if (sep == std::string_view::npos) return false;
    const std::string scheme = LowerCase(text.substr(0, sep));
    const std::string_view authority = text.substr(sep + 3, text.find_first_of("/?#", sep + 3) - (sep + 3));
    for (const char c : text)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    return (scheme == "http" || scheme == "https") && !authority.empty() &&
           authority.find('@') == std::string_view::npos;
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
