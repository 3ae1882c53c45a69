// Files written under a hidden name: never an existing name or a link, never
// replacing a file at commit, removed by the signal-safe registry.
#include "hidden_file.h"
#include "partial_files.h"
#include "util_funcs.h"

#include <gtest/gtest.h>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "../common/temp_dir.h"

namespace {
namespace fs = std::filesystem;

TEST(HiddenFile, HiddenUntilCommittedAndNeverReplacing) {
    TempDir dir;
    THiddenFile part, part2;
    ASSERT_TRUE(part.Create(dir.file("T.mp4")));
    const std::string name = fs::path(part.Path()).filename().string();
    EXPECT_TRUE(name.starts_with(".T.mp4.part-")) << name;
    // Two at once never meet.
    ASSERT_TRUE(part2.Create(dir.file("T.mp4")));
    EXPECT_NE(part.Path(), part2.Path());

    std::ofstream(part.Path()) << "body";
    dir.write("T.mp4", "older");
    const std::string hidden = part.Path();
    EXPECT_EQ(part.Commit(), dir.file("T(1).mp4"));
    EXPECT_EQ(ReadWholeFile(dir.file("T.mp4")), "older");
    EXPECT_EQ(ReadWholeFile(dir.file("T(1).mp4")), "body");
    // Saved with the mode any new file gets, not a temporary file's private one.
    EXPECT_EQ(fs::status(dir.file("T(1).mp4")).permissions(), static_cast<fs::perms>(0666 & ~CurrentUmask()));
    EXPECT_FALSE(fs::exists(hidden));
    EXPECT_TRUE(part.Path().empty());
    // A dangling link counts as taken: it is not followed.
    fs::create_symlink(dir.file("elsewhere"), dir.file("T(2).mp4"));
    EXPECT_EQ(part2.Commit(), dir.file("T(3).mp4"));
    EXPECT_FALSE(fs::exists(dir.file("elsewhere")));

    // Not committed: gone with its object.
    std::string dropped;
    {
        THiddenFile left;
        ASSERT_TRUE(left.Create(dir.file("U.mp4")));
        dropped = left.Path();
        EXPECT_TRUE(fs::exists(dropped));
    }
    EXPECT_FALSE(fs::exists(dropped));

    // A long name's hidden file fits the limit; a folder that is not there fails.
    THiddenFile longPart, nowhere;
    ASSERT_TRUE(longPart.Create(dir.file(std::string(255, 'x'))));
    EXPECT_LE(fs::path(longPart.Path()).filename().string().size(), MaxFileNameBytes);
    EXPECT_FALSE(nowhere.Create(dir.file("missing/U.mp4")));
    EXPECT_TRUE(nowhere.Path().empty());
}

TEST(HiddenFile, FreeNamesAreCountedAndCanRunOut) {
    const auto none = [](const std::string&) { return false; };
    EXPECT_EQ(FreeFileName("clip", ".mp4", none), "clip.mp4");
    EXPECT_EQ(FreeFileName("clip", ".mp4", [](const std::string& n) { return n != "clip(2).mp4"; }), "clip(2).mp4");
    // Every candidate up to (32768) taken: no name rather than a taken one.
    EXPECT_EQ(FreeFileName("clip", ".mp4", [](const std::string&) { return true; }), "");
    // Cut to the limit at a character boundary, keeping "(n)" and the extension.
    std::string title;
    for (int i = 0; i < 150; ++i) title += "\xc3\xa9";
    const std::string cut = FreeFileName(title, ".mp4", [](const std::string& n) { return !n.ends_with("(1).mp4"); });
    EXPECT_LE(cut.size(), MaxFileNameBytes);
    EXPECT_TRUE(cut.ends_with("\xc3\xa9(1).mp4")) << cut;
    EXPECT_EQ(CutAtCharBoundary("ab\xc3\xa9", 3), "ab");
    EXPECT_EQ(CutAtCharBoundary("\xe2\x80\x93x", 2), "");
}

TEST(HiddenFile, TheRegistryRemovesWhatIsStillHiddenAndReusesSlots) {
    TempDir dir;
    // More files than the registry holds, so freed slots must be reused.
    std::vector<std::unique_ptr<THiddenFile>> files;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 50; ++i) {
            files.push_back(std::make_unique<THiddenFile>());
            ASSERT_TRUE(files.back()->Create(dir.file("f" + std::to_string(i))));
        }
        files.clear();  // each removes its file and frees its slot
    }
    THiddenFile kept, committed;
    ASSERT_TRUE(kept.Create(dir.file("kept.mp4")));
    ASSERT_TRUE(committed.Create(dir.file("done.mp4")));
    ASSERT_FALSE(committed.Commit().empty());
    const std::string hidden = kept.Path();
    RemovePartialFiles();
    EXPECT_FALSE(fs::exists(hidden));
    EXPECT_TRUE(fs::exists(dir.file("done.mp4")));
    // A slot entered by hand is removed too, and forgetting it keeps the file.
    const std::string manual = dir.write(".manual.part");
    const int slot = RegisterPartialFile(manual.c_str());
    ASSERT_GE(slot, 0);
    ForgetPartialFile(slot);
    RemovePartialFiles();
    EXPECT_TRUE(fs::exists(manual));

    // A helper's folder goes whole, after the helper's process group (which
    // might still write there) is ended; a link inside is not followed.
    const std::string folder = dir.file(".helper");
    fs::create_directories(folder + "/sub/deeper");
    dir.write(".helper/video.part");
    dir.write(".helper/sub/deeper/frag");
    fs::create_symlink(dir.path(), folder + "/sub/up");
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);
        ::pause();
        ::_exit(0);
    }
    ::setpgid(child, child);
    const int folderSlot = RegisterPartialFolder(folder.c_str());
    const int groupSlot = RegisterChildGroup(child);
    ASSERT_GE(folderSlot, 0);
    ASSERT_GE(groupSlot, 0);
    RemovePartialFiles();
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ForgetPartialFile(groupSlot);
    ForgetPartialFile(folderSlot);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::exists(manual));
}
}  // namespace
