// Watch page, entities, echo text, script text and the quality preference.
#include <gtest/gtest.h>

#include "quality.h"
#include "server_text.h"
#include "stream_map.h"
#include "video_site.h"
#include "watch_page.h"

namespace {
const std::string H = "www.youtube.com";

TEST(WatchPage, TitleTakesTheFirstTagAndDecodesEntities) {
    EXPECT_EQ(ExtractTitle("<head>\n<meta name=\"title\" content=\"Tom &amp; Jerry&#39;s\">\n"
                           "<meta name=\"title\" content=\"Second\">"),
              "Tom & Jerry's");
    EXPECT_EQ(ExtractTitle("<meta name=\"description\" content=\"x\">"), "");
    // Bytes pass unchanged (no character-set conversion).
    EXPECT_EQ(ExtractTitle("<meta name=\"title\" content=\"Caf\xc3\xa9\">"), "Caf\xc3\xa9");
    // Case-sensitive.
    EXPECT_EQ(ExtractTitle("<META NAME=\"title\" content=\"x\">"), "");
}

TEST(WatchPage, VideoIdUpToTheFirstQuote) {
    const std::string page = "<a href=\"/x\">\n<link href=\"http://www.youtube.com/watch?v=abc123&feature=x\">"
                             "<a href=\"http://www.youtube.com/watch?v=second\">";
    EXPECT_EQ(ExtractVideoId(page, H), "abc123&feature=x");
    EXPECT_EQ(ExtractVideoId("no link here", H), "");
    // At least one character before the quote; the match may span a line break.
    EXPECT_EQ(ExtractVideoId("www.youtube.com/watch?v=\"q\"", H), "q");
    EXPECT_EQ(ExtractVideoId("www.youtube.com/watch?v=a\nb\"", H), "a\nb");
    // The host's dots match any character, but only the literal host is removed.
    EXPECT_EQ(ExtractVideoId("wwwXyoutubeYcom/watch?v=id\"", H), "wwwXyoutubeYcom/watch?v=id");
    // A host that is no valid pattern finds nothing instead of failing.
    EXPECT_EQ(ExtractVideoId("(/watch?v=id\"", "("), "");
    EXPECT_EQ(InfoAddress("127.0.0.1:8080", "abc"), "http://127.0.0.1:8080/get_video_info?video_id=abc");
    EXPECT_EQ(InfoAddress(H, ""), "http://www.youtube.com/get_video_info?video_id=");
}

TEST(Entities, KnownFormsUnknownFormsAndLength) {
    EXPECT_EQ(DecodeEntities("a&amp;b&lt;c&gt;d&nbsp;e&quot;f"), "a&b<c>d e\"f");
    EXPECT_EQ(DecodeEntities("&#39;&#x41;&#X42;&#$43;&#0x44;"), "'ABCD");
    EXPECT_EQ(DecodeEntities("end&#65"), "endA");  // the ";" may be missing at the end
    EXPECT_EQ(DecodeEntities("&#233;&#8211;"), "\xc3\xa9\xe2\x80\x93");
    // An "&" that starts no entity stays as it is.
    for (const char* kept : {"AT&T", "&", "&#;", "&#x;", "&#12a;", "&#0;", "&#xD800;", "&#99999999;", "a&b;"})
        EXPECT_EQ(DecodeEntities(kept), kept);
    for (const char* text : {"&#1", "&#128", "&#x80", "&#2048;", "&#x10000", "&#1114111;", "&amp;amp;"})
        EXPECT_LE(DecodeEntities(text).size(), std::string(text).size()) << text;
}

TEST(EchoText, FillsKnownSlotsAndStopsAtABadItag) {
    TStreamMap map;
    ParseEchoText("<22>[http://a/22&signature=s]<br><43>[x]<br><18>[http://a/18]", map);
    EXPECT_EQ(map.Address(22), "http://a/22&signature=s");
    EXPECT_EQ(map.Address(18), "http://a/18");
    EXPECT_EQ(map.Address(43), "");
    // A later item of the same itag wins; unknown itags change nothing.
    ParseEchoText("<18>[a]<br><18>[b]<br><99>[c]", map);
    EXPECT_EQ(map.Address(18), "b");
    // No "]" after "[": an empty address.
    ParseEchoText("<5>[open", map);
    EXPECT_EQ(map.Address(5), "");
    ParseEchoText("", map);
    EXPECT_EQ(map.Address(22), "http://a/22&signature=s");
    // A bad itag stops the parse; earlier items stay.
    map.Clear();
    EXPECT_TRUE(map.Empty());
    EXPECT_THROW(ParseEchoText("<37>[x]<br><abc>[y]<br><6>[z]", map), TEchoParseError);
    EXPECT_EQ(map.Address(37), "x");
    EXPECT_EQ(map.Address(6), "");
}

TEST(ScriptText, FiftyNineLinesWithTheInfoTextAsALiteral) {
    const auto lines = InfoScriptLines("a=1&b='2'\\\r\n\xe9");
    ASSERT_EQ(lines.size(), 59u);
    EXPECT_EQ(lines[0], "function getYouTubeUrl(){");
    EXPECT_EQ(lines[1], "  var rdata = 'a=1&b=\\'2\\'\\\\\\x0D\\x0A\\xE9';");
    EXPECT_EQ(lines[47], "\t  //add");
    EXPECT_EQ(lines[54], "\tHost.Echo(dllinks);");
    EXPECT_EQ(lines[58], "getYouTubeUrl();");
    EXPECT_EQ(lines[27], "");
    // No received text ends the literal: no unescaped quote, no line break.
    const std::string hostile = "'; Host.WriteText('/tmp/pwned', 'x'); '\"\n</script>\u2028";
    const std::string literal = ScriptStringLiteral(hostile);
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
        EXPECT_NE(literal[i], '\n');
        if (literal[i] == '\'') {
            EXPECT_EQ(literal[i - 1], '\\');
        }
    }
    EXPECT_EQ(EchoTextToBytes("a\xc3\xa9z"), "a\xe9z");
    EXPECT_EQ(EchoTextToBytes("\xe2\x80\x93"), "\xe2\x80\x93");
}

TEST(VideoSite, LinksAndStreamAddresses) {
    EXPECT_TRUE(IsWatchPageLink("http://www.youtube.com/watch?v=abc", H));
    EXPECT_TRUE(IsWatchPageLink("HTTPS://WWW.YOUTUBE.COM/WATCH?V=ABC", H));
    EXPECT_TRUE(IsWatchPageLink("https://www.youtube.com:443/watch?feature=x&v=abc#t=10", H));
    EXPECT_TRUE(IsWatchPageLink("http://127.0.0.1:4000/watch?v=1", "127.0.0.1:4000"));
    // A substring test let these through; a local file was read as the page.
    EXPECT_FALSE(IsWatchPageLink("file:///tmp/page.html?http://www.youtube.com/watch?v=abc", H));
    EXPECT_FALSE(IsWatchPageLink(" junk http www.youtube.com", H));
    EXPECT_FALSE(IsWatchPageLink("ftp://www.youtube.com/watch?v=abc", H));
    EXPECT_FALSE(IsWatchPageLink("www.youtube.com/watch?v=abc", H));
    // Another host, however it is dressed up.
    EXPECT_FALSE(IsWatchPageLink("http://www.youtube.com.evil.example/watch?v=abc", H));
    EXPECT_FALSE(IsWatchPageLink("http://www.youtube.com@evil.example/watch?v=abc", H));
    EXPECT_FALSE(IsWatchPageLink("http://evil.example/www.youtube.com/watch?v=abc", H));
    EXPECT_FALSE(IsWatchPageLink("http://www.youtube.com:8080/watch?v=abc", H));
    EXPECT_FALSE(IsWatchPageLink("http://127.0.0.1:4001/watch?v=1", "127.0.0.1:4000"));
    // The watch page with a video, nothing else of the site.
    EXPECT_FALSE(IsWatchPageLink("http://www.youtube.com/", H));
    EXPECT_FALSE(IsWatchPageLink("http://www.youtube.com/watch", H));
    EXPECT_FALSE(IsWatchPageLink("http://www.youtube.com/watch?v=", H));
    EXPECT_FALSE(IsWatchPageLink("http://www.youtube.com/watch?vv=abc", H));
    EXPECT_FALSE(IsWatchPageLink("http://www.youtube.com/watchlater?v=abc", H));
    EXPECT_FALSE(IsWatchPageLink("http://www.youtube.com/x#/watch?v=abc", H));
    EXPECT_TRUE(IsAllowedStreamAddress("http://a/b"));
    EXPECT_TRUE(IsAllowedStreamAddress("HTTPS://a/b"));
    EXPECT_TRUE(IsAllowedStreamAddress("a.example/b"));  // fetched as http
    EXPECT_FALSE(IsAllowedStreamAddress("file:///etc/hostname"));
    EXPECT_FALSE(IsAllowedStreamAddress("ftp://a/b"));
    EXPECT_FALSE(IsAllowedStreamAddress(""));
}

TEST(ServerText, ControlCharactersBecomeSpaces) {
    // A title that would forge a summary line, colour the terminal and ring.
    EXPECT_EQ(PrintableText("A\r\nTotal files: 9\x1b[31m\a"), "A  Total files: 9 [31m ");
    EXPECT_EQ(PrintableText(std::string("a\0b\tc\x7f", 6)), "a b c ");
    // C1 controls, raw and in UTF-8 (U+009B is CSI), line separators and
    // direction overrides.
    EXPECT_EQ(PrintableText("a\x9b" "2Jb"), "a 2Jb");
    EXPECT_EQ(PrintableText("a\xc2\x9b" "2Jb"), "a 2Jb");
    EXPECT_EQ(PrintableText("a\xe2\x80\xa8" "b\xe2\x80\xae" "c\xe2\x81\xa6" "d"), "a b c d");
    // Other characters, and bytes that are no UTF-8, stay.
    EXPECT_EQ(PrintableText("Caf\xc3\xa9 \xe2\x80\x93 \xf0\x9f\x8e\xac \xe9t\xe9"),
              "Caf\xc3\xa9 \xe2\x80\x93 \xf0\x9f\x8e\xac \xe9t\xe9");
    EXPECT_EQ(PrintableText("\xe2\x82\xac\x80"), "\xe2\x82\xac ");
}

TEST(Quality, TextsOrderAndAttempts) {
    EXPECT_EQ(PreferenceText(true, DefaultQualityOrder),
              "Prefer: [HQ18] > [HQ35] > [HQ22] > [HQ6] > [HQ13] > [HQ17] > [HQ34] > [HQ37]");
    EXPECT_EQ(PreferenceText(true, BestAvailableQualityOrder),
              "Prefer: [HQ37] > [HQ22] > [HQ35] > [HQ18] > [HQ6] > [HQ34] > [HQ13] > [HQ17]");
    EXPECT_EQ(PreferenceText(false, DefaultQualityOrder), DefaultQualityLongText);

    EXPECT_EQ(AttemptItag(0, DefaultQualityOrder), 5);
    EXPECT_EQ(AttemptExtension(0, DefaultQualityOrder), ".flv");
    EXPECT_EQ(AttemptItag(1, DefaultQualityOrder), 18);
    EXPECT_EQ(AttemptExtension(1, DefaultQualityOrder), ".mp4");
    EXPECT_EQ(AttemptLongText(1, DefaultQualityOrder), "[HQ18] - (MP4(H.264), 640 x 360, Stereo 44KHz AAC)");
    EXPECT_EQ(AttemptShortName(8, DefaultQualityOrder), "[HQ37]");
    EXPECT_EQ(AttemptExtension(5, DefaultQualityOrder), ".3gp");
    // Every itag of the order is a known stream-map slot, except the default one.
    for (int a = 1; a <= 8; ++a) {
        TStreamMap map;
        EXPECT_TRUE(map.SetAddress(AttemptItag(a, DefaultQualityOrder), "x"));
    }
    // A code out of range offers no stream.
    TQualityOrder odd = DefaultQualityOrder;
    odd[0] = 9;
    EXPECT_EQ(AttemptItag(1, odd), 0);
    EXPECT_EQ(QualityRowsOf(odd).size(), 7u);
}

TEST(Quality, DialogRowsMoveAndGiveTheOrderBack) {
    std::vector<uint8_t> rows = QualityRowsOf(DefaultQualityOrder);
    EXPECT_EQ(MoveQualityRow(rows, 0, -1), -1);
    EXPECT_EQ(MoveQualityRow(rows, 7, +1), -1);
    EXPECT_EQ(MoveQualityRow(rows, -1, +1), -1);
    EXPECT_EQ(rows, QualityRowsOf(DefaultQualityOrder));
    EXPECT_EQ(MoveQualityRow(rows, 2, -1), 1);
    EXPECT_EQ(MoveQualityRow(rows, 0, +1), 1);
    std::vector<std::string> captions;
    for (uint8_t code : rows) captions.push_back(QualityShortName(code));
    EXPECT_EQ(QualityOrderFromCaptions(captions), (TQualityOrder{3, 1, 2, 0, 4, 5, 6, 7}));
    // A caption naming no quality counts as code 0; missing rows take the codes left.
    EXPECT_EQ(QualityOrderFromCaptions({"[HQ37]", "nonsense"}), (TQualityOrder{7, 0, 1, 2, 3, 4, 5, 6}));
}
}  // namespace
