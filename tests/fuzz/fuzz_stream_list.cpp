// The stream list: the info text placed into the script as a literal, and
// the script's echo text parsed into the stream map.
#include "fuzz_common.h"
#include "stream_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TStreamMap map;
    try {
        ParseEchoText(text, map);
    } catch (const TEchoParseError&) {
    }
    try {
        ParseEchoText(EchoTextToBytes(text), map);
    } catch (const TEchoParseError&) {
    }
    // The info text can never end the literal it is put in.
    const std::string literal = ScriptStringLiteral(text);
    FUZZ_CHECK(literal.size() >= 2 && literal.front() == '\'' && literal.back() == '\'');
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
        const auto c = static_cast<unsigned char>(literal[i]);
        FUZZ_CHECK(c >= 0x20 && c < 0x7F);
        if (c == '\\') {
            ++i;  // the escaped character
            continue;
        }
        FUZZ_CHECK(c != '\'' && c != '"');
    }
    const auto lines = InfoScriptLines(text);
    FUZZ_CHECK(lines.size() == 59);
    return 0;
}
