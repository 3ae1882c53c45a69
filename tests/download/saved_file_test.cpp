// Names of downloaded files: safe characters, long titles, unique names.
#include "saved_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "../common/temp_dir.h"

namespace {
TEST(SavedFile, NamesFromTitles) {
    EXPECT_EQ(DownloadFileName("a/b:c?d", ".mp4"), "a_b_c_d.mp4");
    EXPECT_EQ(DownloadFileName("100% sure", ".flv"), "100% sure.flv");
    EXPECT_EQ(DownloadFileName("", ".flv"), ".flv");
    EXPECT_EQ(DownloadFileName(std::string("a\0b\nc", 5), ".flv"), "a_b_c.flv");

    // Neither an empty nor a dot-only title gives a hidden file: the video id
    // names it then.
    EXPECT_EQ(SavedFileTitle("", "abc123"), "abc123");
    EXPECT_EQ(SavedFileTitle(".", "abc123"), "abc123");
    EXPECT_EQ(SavedFileTitle("..", "abc123"), "abc123");
    EXPECT_EQ(SavedFileTitle(" . . ", "abc123"), "abc123");
    EXPECT_EQ(SavedFileTitle("...", ".."), "video");
    EXPECT_EQ(SavedFileTitle("", ""), "video");
    EXPECT_EQ(SavedFileTitle(".NET in an hour", "abc123"), "NET in an hour");
    EXPECT_EQ(SavedFileTitle("Title...", "abc123"), "Title...");

    // Cutting never splits a UTF-8 character.
    EXPECT_EQ(CutAtCharBoundary("ab\xc3\xa9", 3), "ab");
    EXPECT_EQ(CutAtCharBoundary("ab\xc3\xa9", 4), "ab\xc3\xa9");
    EXPECT_EQ(CutAtCharBoundary("\xe2\x80\x93x", 2), "");
}

TEST(SavedFile, UniqueNamesKeepSuffixAndExtensionWithinTheLimit) {
    TempDir dir;
    EXPECT_EQ(UniqueDownloadName("T.mp4", ".mp4", dir.path()), "T.mp4");
    dir.write("T.mp4");
    EXPECT_EQ(UniqueDownloadName("T.mp4", ".mp4", dir.path()), "T(1).mp4");
    dir.write("%d.flv");
    EXPECT_EQ(UniqueDownloadName("%d.flv", ".flv", dir.path()), "%d(1).flv");
    dir.write(".flv");
    EXPECT_EQ(UniqueDownloadName(".flv", ".flv", dir.path()), "(1).flv");

    // A 300-byte title of two-byte characters.
    std::string title;
    for (int i = 0; i < 150; ++i) title += "\xc3\xa9";
    const std::string name = DownloadFileName(title, ".mp4");
    const std::string first = UniqueDownloadName(name, ".mp4", dir.path());
    EXPECT_LE(first.size(), MaxFileNameBytes);
    EXPECT_TRUE(first.ends_with("\xc3\xa9.mp4"));
    dir.write(first);
    const std::string second = UniqueDownloadName(name, ".mp4", dir.path());
    EXPECT_LE(second.size(), MaxFileNameBytes);
    EXPECT_TRUE(second.ends_with("(1).mp4")) << second;
    dir.write(second);
    EXPECT_TRUE(UniqueDownloadName(name, ".mp4", dir.path()).ends_with("(2).mp4"));
}

}  // namespace
