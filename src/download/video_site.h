#pragma once
// What the program sends to the video site and what it relies on in its
// answers. H is the host of the watch pages (TGlobalVars::VideoSiteHost).
#include <string>
#include <string_view>

// Every request to the site: a GET with this agent and accept type,
// certificate errors ignored, the connection kept alive.
inline constexpr char VideoSiteAgent[] = "[Quillmarsh]";
inline constexpr char VideoSiteAcceptTypes[] = "*/*";

// A pasted text is a link when, lower-cased, it contains "http" and the host.
// Nothing is trimmed and no other syntax is checked.
bool IsAcceptedLink(std::string_view text, std::string_view host);

// "http://" + H + "/get_video_info?video_id=" + id
std::string InfoAddress(std::string_view host, std::string_view videoId);

// Stream addresses come from the network: only http and https ones are
// fetched, so a remote page cannot make the program copy local files.
bool IsAllowedStreamAddress(std::string_view address);
