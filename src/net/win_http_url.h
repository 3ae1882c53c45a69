#pragma once
// URL splitting and the text helpers of the HTTP transfer.
#include <cstdint>
#include <string>
#include <string_view>

// "http://" + url when the url contains no "://".
std::string CompleteUrl(std::string_view url);

struct TUrlParts {
    bool valid = false;
    std::string scheme;  // lower case
    std::string host;
    int port = 0;        // the scheme's default when the URL names none
    std::string userName, password;
    std::string path;    // percent escapes decoded
    std::string extra;   // query (and fragment) with the leading "?", decoded
};

// Splits a complete URL; percent escapes in user name, password, path and
// extra part are decoded.
TUrlParts CrackUrl(std::string_view url);

// The query escape rule: codes below 32 and from 127, and space # % * + < >
// become "%" and two upper-case hex digits; everything else stays.
std::string EscapeQuery(std::string_view query);
// The decoded path made fit for a request line again: controls, space, codes
// from 127 and # % ? " < > are escaped.
std::string EscapePath(std::string_view path);
// The object name sent in the request: escaped path + escaped query.
std::string ObjectName(const TUrlParts& parts);

std::string PercentDecode(std::string_view text);

// Days since 1899-12-30 in local time, as the component's date values are.
using TDateTime = double;
// "Sun, 06 Nov 1994 08:49:37 GMT", optionally "+hhmm"/"-hhmm" instead of the
// zone name, and the "06-Nov-94" day form; two-digit years below 80 count
// from 2000. An unparsable text gives 0.
TDateTime ParseHttpDate(std::string_view text);
