#pragma once
// The stream map of one video (a stream address per known itag), the script
// that lists the streams of a video-info text, and the parser of its echo.
#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::array<int, 9> KnownItags{5, 6, 18, 35, 22, 13, 17, 34, 37};

class TStreamMap {
public:
    // The address of an itag; empty for an unknown itag or an empty slot.
    const std::string& Address(int itag) const;
    // False (and nothing stored) for an itag outside the nine known ones.
    bool SetAddress(int itag, std::string address);
    void Clear();
    bool Empty() const;

private:
    std::array<std::string, KnownItags.size()> slots_;
};

// An echo item whose itag is not a number.
class TEchoParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Fills the map from an echo text: items "<itag>[address]" joined by "<br>";
// a later item of an itag overwrites an earlier one, unknown itags are
// ignored. Throws TEchoParseError at the first itag that is not a number;
// the slots filled before it keep their values.
void ParseEchoText(std::string_view text, TStreamMap& map);

// The text as a JavaScript string literal in single quotes that evaluates to
// exactly these bytes, one character per byte: no received text can end the
// literal or run as code.
std::string ScriptStringLiteral(std::string_view bytes);

// The 59 lines of the stream-listing script with the info text in place.
std::vector<std::string> InfoScriptLines(std::string_view infoText);

// The echo text as bytes again: the script turned each received byte into
// one character, which the host hands back in UTF-8.
std::string EchoTextToBytes(std::string_view utf8);
