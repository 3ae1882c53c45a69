#pragma once
// Reading a server's response headers: one header line, the body's length,
// where a redirect goes and the realm of a password challenge. Plain
// functions of the server's text (which may be anything), on any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// "Name: value" as the lower-case name and the value without the spaces
// around it; nothing for a line without a colon (the status line, the blank
// line). The line's CR LF may be given or not.
std::optional<std::pair<std::string, std::string>> HeaderLine(std::string_view line);

// A Content-Length: decimal digits only, -1 for anything else (empty, a
// sign, spaces, too large).
int64_t ContentLength(std::string_view value);

// Only http and https addresses are requested or followed.
bool IsWebAddress(std::string_view url);

// A Location made absolute against the address that answered; the Location
// as it is when either cannot be read as an address.
std::string AbsoluteLocation(const std::string& base, const std::string& location);

// The realm of a challenge, 'Basic realm="x", charset="UTF-8"' giving "x":
// a quoted string with its escapes, or a bare token; empty without one.
std::string AuthRealm(std::string_view header);
