#include "link_list.h"

#include "app_title.h"
#include "desktop_services.h"
#include "video_site.h"

#include <algorithm>

std::vector<std::string> SplitPastedText(std::string_view text) {
    std::vector<std::string> items;
    std::string current;
    char quote = 0;  // the open quote, when a matching one follows
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if ((c == '\'' || c == '"') && text.find(c, i + 1) != std::string_view::npos) {
            quote = c;
        } else if (c == '\r' || c == '\n') {
            if (!current.empty()) items.push_back(std::move(current));
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.empty()) items.push_back(std::move(current));
    return items;
}

bool TLinkList::AddOneText(const std::string& text) {
    const char* reason = nullptr;
    if (!IsDownloadableLink(text, host_, otherSites_))
        reason = NotALinkMessage;
    else if (std::find(rows_.begin(), rows_.end(), text) != rows_.end())
        reason = DuplicateLinkMessage;
    if (!reason) {
        rows_.push_back(text);
        Changed();
        return true;
    }
    const int answer = desktop_.ShowCustomMessageDialog(text + "\n\r\n\r" + reason, AppTitle,
                                                        TMsgDlgType::mtInformation, -1, {}, mbOK | mbCancel);
    return answer != mrCancel;
}

int TLinkList::PasteText(std::string_view text) {
    const int before = Count();
    for (const std::string& item : SplitPastedText(text))
        if (!AddOneText(item)) break;
    return Count() - before;
}

int TLinkList::Remove(std::vector<int> indices) {
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    std::erase_if(indices, [&](int i) { return i < 0 || i >= Count(); });
    if (indices.empty()) return -1;
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) rows_.erase(rows_.begin() + *it);
    Changed();
    if (rows_.empty()) return -1;
    return std::min(indices.front(), Count() - 1);
}

void TLinkList::Clear() {
    if (rows_.empty()) return;
    rows_.clear();
    Changed();
}
