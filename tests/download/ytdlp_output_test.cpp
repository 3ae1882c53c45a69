// yt-dlp's lines as it printed them with our templates (recorded from
// yt-dlp 2023.03.04 over plain HTTP and HLS), its error lines, and the
// format selection for the quality preference.
#include "ytdlp_download.h"
#include "ytdlp_output.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(YtDlpOutput, ProgressLinesOfAPlainAndAFragmentedDownload) {
    // Plain HTTP: the size is known, the speed is yt-dlp's.
    TYtDlpLine l = ParseYtDlpLine(
        "[orvane-progress] downloading 15360 45677 NA 0.025265932083129883 0 1228865.6285049403 NA NA");
    ASSERT_EQ(l.Kind, TYtDlpLineKind::lkProgress);
    EXPECT_FALSE(l.Progress.Finished);
    EXPECT_EQ(l.Progress.DownloadedBytes, 15360);
    EXPECT_EQ(l.Progress.TotalBytes, 45677);
    EXPECT_EQ(l.Progress.ElapsedSeconds, 0);
    EXPECT_EQ(l.Progress.SecondsLeft, 0);
    EXPECT_NEAR(l.Progress.BytesPerSecond, 1228865.6, 0.1);
    EXPECT_EQ(l.Progress.Percent(), 34);

    // The end of a file: no time left, no fragments.
    l = ParseYtDlpLine("[orvane-progress] finished 45677 45677 NA 0.026436328887939453 NA 1727811.7621255028 NA NA");
    ASSERT_EQ(l.Kind, TYtDlpLineKind::lkProgress);
    EXPECT_TRUE(l.Progress.Finished);
    EXPECT_EQ(l.Progress.Percent(), 100);

    // HLS: only an estimated total, in fragments.
    l = ParseYtDlpLine("[orvane-progress] downloading 31744 NA 59596.0 1.0145 12 2177334.1974816024 3 10");
    ASSERT_EQ(l.Kind, TYtDlpLineKind::lkProgress);
    EXPECT_EQ(l.Progress.TotalBytes, 59596);
    EXPECT_EQ(l.Progress.ElapsedSeconds, 1);
    EXPECT_EQ(l.Progress.SecondsLeft, 12);
    EXPECT_EQ(l.Progress.FragmentIndex, 3);
    EXPECT_EQ(l.Progress.FragmentCount, 10);
    EXPECT_EQ(l.Progress.Percent(), 53);

    // Nothing known yet but the fragments; then nothing at all.
    l = ParseYtDlpLine("[orvane-progress] downloading 0 NA NA 0.5 NA NA 2 8");
    EXPECT_EQ(l.Progress.Percent(), 25);
    EXPECT_LT(l.Progress.BytesPerSecond, 0);
    l = ParseYtDlpLine("[orvane-progress] downloading NA NA NA NA NA NA NA NA");
    ASSERT_EQ(l.Kind, TYtDlpLineKind::lkProgress);
    EXPECT_EQ(l.Progress.Percent(), 0);
    EXPECT_EQ(l.Progress.TotalBytes, 0);

    // More bytes than the estimate never shows more than 100%.
    EXPECT_EQ(ParseYtDlpLine("[orvane-progress] downloading 900 NA 600.0 1 NA NA NA NA").Progress.Percent(), 100);

    // Broken or foreign lines are not progress.
    for (const char* other : {"[orvane-progress] downloading 1 2", "[orvane-progress]",
                              "[download]  33.6% of   44.61KiB at  Unknown B/s ETA Unknown",
                              " [orvane-progress] downloading 1 2 3 4 5 6 7 8"})
        EXPECT_EQ(ParseYtDlpLine(other).Kind, TYtDlpLineKind::lkOther) << other;
}

TEST(YtDlpOutput, InfoAndFileLines) {
    TYtDlpLine l = ParseYtDlpLine(
        R"j([orvane-info] {"id": "page-1", "title": "My Test: Video/One? (1)", "ext": "mp4", "height": 240, "format_id": "240p"})j");
    ASSERT_EQ(l.Kind, TYtDlpLineKind::lkInfo);
    EXPECT_EQ(l.Info.Id, "page-1");
    // The page's only video keeps the page's title; the first of several keeps its number.
    EXPECT_EQ(l.Info.Title, "My Test: Video/One?");
    EXPECT_EQ(ParseYtDlpLine(R"j([orvane-info] {"id": "page-1", "title": "Two (1)", "playlist_index": 1})j").Info.Title,
              "Two (1)");
    EXPECT_EQ(l.Info.Ext, "mp4");
    EXPECT_EQ(l.Info.Height, 240);
    EXPECT_EQ(l.Info.Width, 0);
    EXPECT_EQ(l.Info.FormatId, "240p");

    // Titles come as ASCII JSON: escapes, quotes and line breaks survive one line.
    l = ParseYtDlpLine(
        R"j([orvane-info] {"id": "x", "title": "Caf\u00e9 \"\u2603\"\nnext \ud83d\ude00", "ext": "webm", "width": 1920, "height": 1080})j");
    ASSERT_EQ(l.Kind, TYtDlpLineKind::lkInfo);
    EXPECT_EQ(l.Info.Title, "Caf\xC3\xA9 \"\xE2\x98\x83\"\nnext \xF0\x9F\x98\x80");
    EXPECT_EQ(l.Info.Width, 1920);

    l = ParseYtDlpLine(R"j([orvane-file] "/tmp/out/.orvane-ytdlp-Ab12/video.mp4")j");
    ASSERT_EQ(l.Kind, TYtDlpLineKind::lkFile);
    EXPECT_EQ(l.Text, "/tmp/out/.orvane-ytdlp-Ab12/video.mp4");

    // A title yt-dlp could not fill, a broken object, a file that is no string.
    EXPECT_EQ(ParseYtDlpLine("[orvane-info] NA").Kind, TYtDlpLineKind::lkOther);
    EXPECT_EQ(ParseYtDlpLine("[orvane-info] {\"id\": ").Kind, TYtDlpLineKind::lkOther);
    EXPECT_EQ(ParseYtDlpLine("[orvane-file] NA").Kind, TYtDlpLineKind::lkOther);
    EXPECT_EQ(ParseYtDlpLine("[orvane-file] \"\"").Kind, TYtDlpLineKind::lkOther);
}

TEST(YtDlpOutput, ErrorsInPlainWords) {
    const std::pair<const char*, const char*> cases[] = {
        {"ERROR: [generic] None: Unable to download webpage: HTTP Error 404: File not found (caused by "
         "<HTTPError 404: 'File not found'>); please report this issue on  https://example.invalid/issues?q= , "
         "filling out the appropriate issue template. Confirm you are on the latest version using  yt-dlp -U",
         "Unable to download webpage: HTTP Error 404: File not found"},
        {"ERROR: [html5] page-1: Requested format is not available. Use --list-formats for a list of available "
         "formats",
         "Requested format is not available"},
        {"ERROR: Unsupported URL: http://127.0.0.1:8765/novid.html",
         "Unsupported URL: http://127.0.0.1:8765/novid.html"},
        {"ERROR: [generic] None: Unable to download webpage: <urlopen error [Errno 111] Connection refused> "
         "(caused by URLError(ConnectionRefusedError(111, 'Connection refused')))",
         "Unable to download webpage: Connection refused"},
        {"ERROR: [download] Got error: <urlopen error file:// URLs are explicitly disabled in yt-dlp for security "
         "reasons. Use --enable-file-urls to enable at your own risk.>. Giving up after 3 retries",
         "Got error: file:// URLs are explicitly disabled in yt-dlp for security reasons"},
        {"ERROR: [youtube] dQw4w9WgXcQ: Video unavailable. This video is private",
         "Video unavailable. This video is private"},
        {"ERROR: ", "yt-dlp gave no reason"},
    };
    for (const auto& [line, reason] : cases) {
        const TYtDlpLine l = ParseYtDlpLine(line);
        EXPECT_EQ(l.Kind, TYtDlpLineKind::lkError) << line;
        EXPECT_EQ(l.Text, reason) << line;
    }
    EXPECT_EQ(ParseYtDlpLine("WARNING: [generic] Falling back on generic information extractor").Kind,
              TYtDlpLineKind::lkOther);
}

TEST(YtDlpFormats, ThePreferenceInYtDlpTerms) {
    // Default order: MP4 360 first, then FLV 480, MP4 720, FLV 360, 3GP 144, MP4 1080;
    // the entries that say the same thing twice appear once.
    const std::string mp4 = "bv[ext=mp4][height<=?360]+ba[ext=m4a]/b[ext=mp4][height<=?360]";
    EXPECT_EQ(YtDlpFormatSelection(true, DefaultQualityOrder),
              mp4 + "/b[ext=flv][height<=?480]/bv[ext=mp4][height<=?720]+ba[ext=m4a]/b[ext=mp4][height<=?720]"
                    "/b[ext=flv][height<=?360]/b[ext=3gp][height<=?144]"
                    "/bv[ext=mp4][height<=?1080]+ba[ext=m4a]/b[ext=mp4][height<=?1080]");
    EXPECT_EQ(YtDlpFormatSelection(true, BestAvailableQualityOrder), "bv*+ba/b");
    EXPECT_EQ(YtDlpFormatSelection(false, DefaultQualityOrder), "b[ext=flv][height<=?240]/w");
    // Codes a hand-edited settings file may hold name no quality: skipped.
    EXPECT_EQ(YtDlpFormatSelection(true, {1, 99, 99, 99, 99, 99, 99, 99}), mp4);

    // The Step6 text says what yt-dlp chose, with no size it does not know.
    TYtDlpInfo info{"id", "t", "mp4", "240p", 320, 240};
    EXPECT_EQ(YtDlpQualityText(info), "[240p] - (MP4, 320 x 240)");
    info = {"id", "t", "mkv", "137+140", 0, 1080};
    EXPECT_EQ(YtDlpQualityText(info), "[137+140] - (MKV, 1080p)");
    info = {"id", "t", "", "", 0, 0};
    EXPECT_EQ(YtDlpQualityText(info), "[yt-dlp] - (?)");
}

TEST(YtDlpFormats, TheLinkIsNeverAnOption) {
    const std::vector<std::string> args = YtDlpArguments("--exec=touch pwned", true, DefaultQualityOrder);
    ASSERT_GE(args.size(), 2u);
    EXPECT_EQ(args[args.size() - 2], "--");
    EXPECT_EQ(args.back(), "--exec=touch pwned");
    // Its own configuration is never read; the output stays in the working folder.
    EXPECT_NE(std::find(args.begin(), args.end(), "--ignore-config"), args.end());
    const auto o = std::find(args.begin(), args.end(), "-o");
    ASSERT_NE(o, args.end());
    EXPECT_EQ(*(o + 1), "video.%(ext)s");
}

}  // namespace
