// Pasting links: splitting, acceptance, duplicates, the message box and Cancel.
#include "link_list.h"

#include <gtest/gtest.h>

#include "app_title.h"
#include "fake_desktop.h"
#include "util_funcs.h"

namespace {
const std::string H = "www.youtube.com";
const std::string A = "http://www.youtube.com/watch?v=aaa";
const std::string B = "http://www.youtube.com/watch?v=bbb";

TEST(SplitPastedText, LineBreaksEmptyItemsAndQuotes) {
    EXPECT_EQ(SplitPastedText(A + "\r\n\r\n" + B + "\r\n"), (std::vector<std::string>{A, B}));
    EXPECT_EQ(SplitPastedText("a\rb\nc"), (std::vector<std::string>{"a", "b", "c"}));
    // Nothing is trimmed.
    EXPECT_EQ(SplitPastedText("  a \n\tb"), (std::vector<std::string>{"  a ", "\tb"}));
    // A line break between matching quotes stays inside the item, quotes kept.
    EXPECT_EQ(SplitPastedText("x\"a\r\nb\"y\nz"), (std::vector<std::string>{"x\"a\r\nb\"y", "z"}));
    EXPECT_EQ(SplitPastedText("'a\nb'"), (std::vector<std::string>{"'a\nb'"}));
    // A quote without a partner splits as usual.
    EXPECT_EQ(SplitPastedText("it's\nfine"), (std::vector<std::string>{"it's", "fine"}));
    EXPECT_TRUE(SplitPastedText("").empty());
    EXPECT_TRUE(SplitPastedText("\r\n\n\r").empty());
}

TEST(LinkList, PastingAcceptsRejectsAndReports) {
    FakeDesktop desktop;
    TLinkList list(H, desktop);
    int changes = 0;
    list.OnChanged = [&] { ++changes; };

    // Three CR LF lines, one empty: two rows.
    EXPECT_EQ(list.PasteText(A + "\r\n\r\n" + B), 2);
    EXPECT_EQ(list.Rows(), (std::vector<std::string>{A, B}));
    EXPECT_TRUE(desktop.Boxes.empty());
    EXPECT_EQ(changes, 2);

    // The same link twice in one paste: one row, one message.
    list.Clear();
    desktop.Boxes.clear();
    EXPECT_EQ(list.PasteText(A + "\n" + A), 1);
    ASSERT_EQ(desktop.Boxes.size(), 1u);
    EXPECT_EQ(desktop.Boxes[0].Text, A + "\n\r\n\rThis video is already in the download list.");
    EXPECT_EQ(desktop.Boxes[0].Caption, AppTitle);
    EXPECT_EQ(desktop.Boxes[0].Kind, TMsgDlgType::mtInformation);
    EXPECT_EQ(desktop.Boxes[0].Buttons, static_cast<TMsgDlgButtons>(mbOK | mbCancel));

    // Capitals are accepted; a twin differing only in case is a new row.
    list.Clear();
    desktop.Boxes.clear();
    const std::string upper = "HTTP://WWW.YOUTUBE.COM/WATCH?V=AAA";
    EXPECT_EQ(list.PasteText(upper + "\n" + LowerCase(upper)), 2);
    EXPECT_TRUE(desktop.Boxes.empty());

    // The host without "http" is not a link; neither is "http" without the host.
    list.Clear();
    EXPECT_EQ(list.PasteText("www.youtube.com/watch?v=aaa"), 0);
    EXPECT_EQ(list.PasteText("http://example.com/watch?v=aaa"), 0);
    ASSERT_EQ(desktop.Boxes.size(), 2u);
    EXPECT_EQ(desktop.Boxes[0].Text, "www.youtube.com/watch?v=aaa\n\r\n\rThis is not a YouTube video link.");
}

TEST(LinkList, OtherSitesOnlyWithASecondEngine) {
    FakeDesktop desktop;
    TLinkList list(H, desktop);
    const std::string other = "https://video.example.org/clips/42?t=3#top";
    const std::string shortLink = "https://www.youtube.com/shorts/abc";
    // Without yt-dlp: refused with the site's message.
    EXPECT_EQ(list.PasteText(other + "\n" + shortLink), 0);
    ASSERT_EQ(desktop.Boxes.size(), 2u);
    EXPECT_EQ(desktop.Boxes[0].Text, other + "\n\r\n\rThis is not a YouTube video link.");

    // With it: any http or https address with a host, and still the site's watch pages.
    list.SetOtherSites(true);
    desktop.Boxes.clear();
    EXPECT_EQ(list.PasteText(other + "\n" + shortLink + "\n" + A + "\nHTTP://Example.org"), 4);
    EXPECT_TRUE(desktop.Boxes.empty());
    // Not addresses: other schemes, no host, a user part, blanks or control characters inside.
    for (const std::string& text :
         {std::string("ftp://example.org/a.mp4"), std::string("file:///etc/passwd"), std::string("http:///path"),
          std::string("http://user@example.org/"), std::string("example.org/video"),
          std::string(" http://example.org/"), std::string("http://example.org/a b"),
          std::string("http://example.org/\x1b[2J"), std::string("javascript://x")}) {
        desktop.Boxes.clear();
        list.AddOneText(text);
        EXPECT_EQ(desktop.Boxes.size(), 1u) << text;
    }
    EXPECT_EQ(list.Count(), 4);
}

TEST(LinkList, CancelStopsThePasteOkGoesOn) {
    FakeDesktop desktop;
    TLinkList list(H, desktop);
    const std::string text = A + "\nbad1\nbad2\n" + B + "\nbad3";
    // Cancel on the first rejected item: the items after it stay unadded.
    desktop.Answers = {mrCancel};
    EXPECT_EQ(list.PasteText(text), 1);
    EXPECT_EQ(list.Rows(), (std::vector<std::string>{A}));
    EXPECT_EQ(desktop.Boxes.size(), 1u);

    // OK goes on with the next item.
    list.Clear();
    desktop.Boxes.clear();
    EXPECT_EQ(list.PasteText(text), 2);
    EXPECT_EQ(desktop.Boxes.size(), 3u);

    // Five rejected items, Cancel on the first: one box, nothing added.
    list.Clear();
    desktop.Boxes.clear();
    desktop.Answers = {mrCancel};
    EXPECT_EQ(list.PasteText("1\n2\n3\n4\n5"), 0);
    EXPECT_EQ(desktop.Boxes.size(), 1u);
}

TEST(LinkList, RemoveFocusesTheRowThatTookThePlace) {
    FakeDesktop desktop;
    TLinkList list(H, desktop);
    for (const char* id : {"1", "2", "3", "4"}) list.AddOneText(A + id);
    EXPECT_EQ(list.Remove({1}), 1);  // row "3" moved into position 1
    EXPECT_EQ(list.Rows()[1], A + "3");
    EXPECT_EQ(list.Remove({2}), 1);  // the last row: the new last row
    EXPECT_EQ(list.Rows(), (std::vector<std::string>{A + "1", A + "3"}));
    EXPECT_EQ(list.Remove({}), -1);
    EXPECT_EQ(list.Remove({7}), -1);
    EXPECT_EQ(list.Remove({0, 1}), -1);  // empty now
    EXPECT_EQ(list.Count(), 0);
}
}  // namespace
