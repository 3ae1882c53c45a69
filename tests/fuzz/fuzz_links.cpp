// Pasted link lists: splitting, the link check and the list's rules.
#include "desktop_services.h"
#include "fuzz_common.h"
#include "link_list.h"
#include "video_site.h"

#include <algorithm>

namespace {
// Answers every message box with OK (or Cancel, when told to).
class FuzzDesktop final : public IDesktopServices {
public:
    int answer = mrOk;
    void OpenDocument(const std::string&) override {}
    bool BrowseForFolder(std::string&, const std::string&, const std::string&) override { return false; }
    int ShowCustomMessageDialog(const std::string&, const std::string&, TMsgDlgType, int,
                                const std::vector<std::string>&, TMsgDlgButtons) override {
        return answer;
    }
    void ShowInformation(const std::string&, const std::string&) override {}
    void ShowError(const std::string&, const std::string&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const std::string& item : SplitPastedText(text)) FUZZ_CHECK(!item.empty());
    for (const bool otherSites : {false, true}) {
        for (const char* host : {"www.youtube.com", "127.0.0.1:8080"}) {
            FuzzDesktop desktop;
            desktop.answer = size % 2 ? mrOk : mrCancel;
            TLinkList list(host, desktop);
            list.SetOtherSites(otherSites);
            list.PasteText(text);
            const auto& rows = list.Rows();
            for (size_t i = 0; i < rows.size(); ++i) {
                FUZZ_CHECK(IsDownloadableLink(rows[i], host, otherSites));
                if (!otherSites) FUZZ_CHECK(IsWatchPageLink(rows[i], host));
                FUZZ_CHECK(rows[i].find("://") != std::string::npos);
                // A link reaches yt-dlp's command line: never as an option.
                FUZZ_CHECK(rows[i].front() != '-');
                FUZZ_CHECK(std::count(rows.begin(), rows.end(), rows[i]) == 1);
            }
            if (!rows.empty()) list.Remove({0, static_cast<int>(rows.size()) - 1});
        }
    }
    return 0;
}
