#include "util_funcs.h"

#include "../common/temp_dir.h"

#include <gtest/gtest.h>

TEST(UtilFuncs, IncludeTrailingSeparator) {
    EXPECT_EQ(IncludeTrailingSeparator("/home/u/Videos"), "/home/u/Videos/");
    EXPECT_EQ(IncludeTrailingSeparator("/home/u/Videos/"), "/home/u/Videos/");
    // An empty folder must not become the root folder.
    EXPECT_EQ(IncludeTrailingSeparator(""), "");
}

TEST(UtilFuncs, UniqueFileNameCountsUpAndKeepsOtherCharacters) {
    TempDir dir;
    EXPECT_EQ(UniqueFileName("clip.mp4", dir.path()), "clip.mp4");
    dir.write("clip.mp4");
    dir.write("clip(1).mp4");
    EXPECT_EQ(UniqueFileName("clip.mp4", dir.path()), "clip(2).mp4");
    EXPECT_EQ(UniqueFileName("clip.mp4", dir.dir()), "clip(2).mp4");
    dir.write("clip");
    EXPECT_EQ(UniqueFileName("clip", dir.path()), "clip(1)");
    dir.write("50% off.mp4");
    EXPECT_EQ(UniqueFileName("50% off.mp4", dir.path()), "50% off(1).mp4");
    // The extension is the part after the last dot.
    dir.write("a.b.c");
    EXPECT_EQ(UniqueFileName("a.b.c", dir.path()), "a.b(1).c");
    // A folder of that name counts as taken too.
    std::filesystem::create_directory(dir.file("Output_Merge.mp4"));
    EXPECT_EQ(UniqueFileName("Output_Merge.mp4", dir.path()), "Output_Merge(1).mp4");
}

TEST(UtilFuncs, SafeAndValidFileNames) {
    EXPECT_EQ(SafeFileName("a:b?c"), "a_b_c");
    EXPECT_EQ(SafeFileName("x/y\\z*\"<>|"), "x_y_z_____");
    EXPECT_EQ(SafeFileName("plain name % ok"), "plain name % ok");
    EXPECT_EQ(SafeFileName(""), "");
    EXPECT_FALSE(IsValidFileName(""));
    EXPECT_FALSE(IsValidFileName("a\"b"));
    EXPECT_TRUE(IsValidFileName("clip.mp4"));
    EXPECT_TRUE(ContainsAnyChar("abc", "xyc"));
    EXPECT_FALSE(ContainsAnyChar("abc", ""));
}

TEST(UtilFuncs, FormatMicrosecondsAndSeconds) {
    EXPECT_EQ(FormatMicroseconds(((1 * 60 + 2) * 60 + 3) * 1000000LL + 4000), "01:02:03.004");
    EXPECT_EQ(FormatMicroseconds(0), "00:00:00.000");
    EXPECT_EQ(FormatMicroseconds(100LL * 3600 * 1000000), "100:00:00.000");
    // Far beyond 32 bits of microseconds.
    EXPECT_EQ(FormatMicroseconds(2148LL * 1000000 + 999999), "00:35:48.999");
    EXPECT_EQ(FormatSeconds(59), "00:00:59");
    EXPECT_EQ(FormatSeconds(3600), "01:00:00");
    EXPECT_EQ(FormatSeconds(3 * 3600 + 25 * 60 + 7), "03:25:07");
}

TEST(UtilFuncs, TextBetween) {
    EXPECT_EQ(TextBetween("a=1&b=2", "b=", "&"), "");
    EXPECT_EQ(TextBetween("a=1&b=2", "a=", "&"), "1");
    EXPECT_EQ(TextBetween("<t>x</t><t>y</t>", "<t>", "</t>"), "x");
    EXPECT_EQ(TextBetween("abc", "", "c"), "ab");
    EXPECT_EQ(TextBetween("abc", "b", ""), "");
    // An absent start marker searches from character length(start).
    EXPECT_EQ(TextBetween("xyz|rest", "zz", "|"), "yz");
    EXPECT_EQ(TextBetween("short", "a-very-long-marker", "t"), "");
}

TEST(UtilFuncs, SplitText) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitText("x,,y,", ","), (V{"x", "", "y"}));
    EXPECT_EQ(SplitText(",a", ","), (V{"", "a"}));
    EXPECT_EQ(SplitText("a||b||", "||"), (V{"a", "b"}));
    EXPECT_EQ(SplitText("", ","), V{});
    EXPECT_EQ(SplitText("abc", ""), V{"abc"});
    EXPECT_EQ(SplitText("aXbxc", "x"), (V{"aXb", "c"}));
}

TEST(UtilFuncs, ForceDirectoriesCreatesParentsAndRefusesEmpty) {
    TempDir dir;
    EXPECT_TRUE(ForceDirectories(dir.file("one/two/three/")));
    EXPECT_TRUE(DirectoryExists(dir.file("one/two/three")));
    EXPECT_FALSE(ForceDirectories(""));
    dir.write("plain");
    EXPECT_FALSE(ForceDirectories(dir.file("plain/sub")));
}

TEST(UtilFuncs, PathPieces) {
    EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
    EXPECT_EQ(ExtractFileExt("/a/c.MP4"), ".MP4");
    EXPECT_EQ(ExtractFileName("/a/b/c.avi"), "c.avi");
    EXPECT_EQ(ExtractFilePath("/a/b/c.avi"), "/a/b/");
    EXPECT_EQ(Trim("  x y \t"), "x y");
}
