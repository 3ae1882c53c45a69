// A server's response headers, line by line, as a transfer reads them: the
// body's length, where a redirect goes and the realm of a challenge.
#include "fuzz_common.h"
#include "http_headers.h"

#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FUZZ_CHECK(AuthRealm(R"(Basic realm="x", charset="UTF-8")") == "x");
    FUZZ_CHECK(ContentLength("+5") == -1 && ContentLength("18446744073709551616") == -1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
        text.remove_prefix(line.size());
        const auto header = HeaderLine(line);
        if (!header) continue;
        const auto& [name, value] = *header;
        FUZZ_CHECK(name.size() + value.size() < line.size());
        if (name == "content-length") {
            const int64_t length = ContentLength(value);
            FUZZ_CHECK(length >= -1);
            if (length >= 0) FUZZ_CHECK(!value.empty() && value.find_first_not_of("0123456789") == std::string::npos);
        } else if (name == "location") {
            const std::string target = AbsoluteLocation("http://127.0.0.1:8080/a/b?c", value);
            // Resolved against a web address, a relative one stays on the web.
            if (!IsWebAddress(value) && value.find(':') == std::string::npos && !target.empty())
                FUZZ_CHECK(IsWebAddress(target) || target == value);
        } else if (name == "www-authenticate") {
            FUZZ_CHECK(AuthRealm(value).size() <= value.size());
        }
    }
    return 0;
}
