// URL splitting and escaping of the transfer, the HTTP date parser, and the
// address checks of the downloader.
#include "fuzz_common.h"
#include "video_site.h"
#include "win_http_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TUrlParts parts = CrackUrl(CompleteUrl(text));
    const std::string object = ObjectName(parts);
    // What goes into the request line has no blank and no control character.
    for (const char ch : object) {
        const auto c = static_cast<unsigned char>(ch);
        FUZZ_CHECK(c > 0x20 && c < 0x7F);
    }
    FUZZ_CHECK(PercentDecode(text).size() <= text.size());
    for (const char ch : EscapeQuery(text)) FUZZ_CHECK(ch != ' ' && ch != '#');
    ParseHttpDate(text);
    const bool watch = IsWatchPageLink(text, "www.youtube.com");
    if (watch) {
        FUZZ_CHECK(IsAllowedStreamAddress(text));
        FUZZ_CHECK(CrackUrl(text).valid);
    }
    IsAllowedStreamAddress(text);
    return 0;
}
