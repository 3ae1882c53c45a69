// A watch page from the server: title, video id, entities, and what the
// download makes of them (the shown text and the file name).
#include "fuzz_common.h"
#include "saved_file.h"
#include "server_text.h"
#include "watch_page.h"

namespace {
void CheckPrintable(const std::string& text) {
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        FUZZ_CHECK(c >= 0x20 && c != 0x7F);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(DecodeEntities(page).size() <= page.size());
    const std::string shown = PrintableText(page);
    FUZZ_CHECK(shown.size() <= page.size());
    CheckPrintable(shown);
    FUZZ_CHECK(PrintableText(shown) == shown);

    const std::string title = PrintableText(ExtractTitle(page));
    CheckPrintable(title);
    for (const char* host : {"www.youtube.com", "127.0.0.1:8080"}) {
        const std::string id = ExtractVideoId(page, host);
        FUZZ_CHECK(id.find('"') == std::string::npos);
        const std::string name = DownloadFileName(SavedFileTitle(title, id), ".mp4");
        FUZZ_CHECK(name.size() > 4 && name[0] != '.');
        FUZZ_CHECK(name.find('/') == std::string::npos);
        CheckPrintable(name);
    }
    return 0;
}
