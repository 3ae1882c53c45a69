#pragma once
// What the program sends to the video site and what it relies on in its
// answers. H is the host of the watch pages (TProductConfig::VideoSiteHost).
#include <cstdint>
#include <string>
#include <string_view>

// Every request to the site: a GET with this agent and accept type,
// certificate errors ignored, the connection kept alive.
inline constexpr char VideoSiteAgent[] = "[Quillmarsh]";
inline constexpr char VideoSiteAcceptTypes[] = "*/*";

// The largest watch page or video-info text taken into memory.
inline constexpr int64_t MaxVideoSitePageBytes = 8 << 20;

// A pasted text is a link to download when it is an http or https address
// whose host (with its port, if the host names one) is the host, whose path
// is "/watch" and whose query has a non-empty "v" parameter. Letter case
// does not matter; nothing is trimmed.
bool IsWatchPageLink(std::string_view text, std::string_view host);

// A link the download run takes: a watch page of the site, and, when a
// second engine is there to read them (otherSites), any http or https
// address with a host and no blanks or control characters.
bool IsDownloadableLink(std::string_view text, std::string_view host, bool otherSites);

// "http://" + H + "/get_video_info?video_id=" + id
std::string InfoAddress(std::string_view host, std::string_view videoId);

// Stream addresses come from the network: only http and https ones are
// fetched, so a remote page cannot make the program copy local files.
bool IsAllowedStreamAddress(std::string_view address);
