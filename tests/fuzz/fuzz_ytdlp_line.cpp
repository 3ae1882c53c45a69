// yt-dlp's output lines: our progress, info and file lines, and its errors.
#include "fuzz_common.h"
#include "ytdlp_output.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const TYtDlpLine line = ParseYtDlpLine(text.substr(start, end - start));
        switch (line.Kind) {
            case TYtDlpLineKind::lkProgress: {
                const TYtDlpProgress& p = line.Progress;
                FUZZ_CHECK(p.DownloadedBytes >= 0 && p.TotalBytes >= 0 && p.SecondsLeft >= 0);
                FUZZ_CHECK(p.Percent() >= 0 && p.Percent() <= 100);
                break;
            }
            case TYtDlpLineKind::lkInfo:
                FUZZ_CHECK(line.Info.Width >= 0 && line.Info.Height >= 0);
                break;
            case TYtDlpLineKind::lkFile:
            case TYtDlpLineKind::lkError:
                FUZZ_CHECK(!line.Text.empty());
                break;
            case TYtDlpLineKind::lkOther:
                break;
        }
        start = end + 1;
    }
    FUZZ_CHECK(!PlainYtDlpReason(text).empty());
    return 0;
}
