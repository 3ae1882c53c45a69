#pragma once
// The list of video links of the link page: pasting with its splitting and
// acceptance rules, removing and emptying. The page shows Rows() and redraws
// when OnChanged fires.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class IDesktopServices;

// Splits pasted text into items: every CR and every LF ends an item, empty
// items are dropped, nothing is trimmed, and a line break between a pair of
// matching quote characters (' or ") does not split (the quotes stay).
std::vector<std::string> SplitPastedText(std::string_view text);

class TLinkList {
public:
    TLinkList(std::string host, IDesktopServices& desktop) : host_(std::move(host)), desktop_(desktop) {}

    const std::vector<std::string>& Rows() const { return rows_; }
    int Count() const { return static_cast<int>(rows_.size()); }
    void SetHost(std::string host) { host_ = std::move(host); }
    // Whether links of other sites are taken (yt-dlp is installed).
    void SetOtherSites(bool otherSites) { otherSites_ = otherSites; }

    // Adds one text, or reports it in a message box (the text, LF CR LF CR,
    // the reason). Returns false when the user pressed Cancel there.
    bool AddOneText(const std::string& text);
    // Adds the items of a pasted text in order until one is cancelled.
    // Returns the number of rows added.
    int PasteText(std::string_view text);
    // Removes the rows at the given indices. Returns the row to make visible
    // and focused: the one now at the topmost removed position, else the last
    // row; -1 when the list is empty or nothing was removed.
    int Remove(std::vector<int> indices);
    void Clear();
    // Takes the rows a view holds (which another part may have emptied).
    void Assign(std::vector<std::string> rows) { rows_ = std::move(rows); }

    std::function<void()> OnChanged;

private:
    void Changed() {
        if (OnChanged) OnChanged();
    }

    std::string host_;
    bool otherSites_ = false;
    IDesktopServices& desktop_;
    std::vector<std::string> rows_;
};

inline constexpr char NotALinkMessage[] = "This is not a YouTube video link.";
inline constexpr char DuplicateLinkMessage[] = "This video is already in the download list.";
