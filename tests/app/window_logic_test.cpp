#include "completion.h"
#include "log_text.h"
#include "wizard_pages.h"

#include "../common/temp_dir.h"
#include "util_funcs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(WizardPages, CaptionsAndStatesOfEveryPage) {
    TProductConfig config;
    config.DownloadEnabled = true;
    struct Row {
        TWizardPage page;
        const char* back;
        bool backOn;
        const char* next;
        bool nextOn;
        const char* exit;
    };
    const Row rows[] = {
        {wpMode, "Back", false, "Next", true, "Exit"},       {wpStep1, "Back", true, "Next", true, "Cancel"},
        {wpStep2, "Back", true, "Join Now", true, "Cancel"}, {wpStep3, "Back", false, "Next", false, "Cancel"},
        {wpStep4, "Back", false, "Finish", true, "Exit"},    {wpStep5, "Back", true, "Download", true, "Cancel"},
        {wpStep6, "Back", false, "Next", false, "Cancel"},   {wpStep7, "Back", false, "Finish", true, "Exit"},
    };
    for (const Row& r : rows) {
        const TPageTexts t = PageTexts(r.page, config, true);
        EXPECT_EQ(t.Back, r.back) << r.page;
        EXPECT_EQ(t.BackEnabled, r.backOn) << r.page;
        EXPECT_EQ(t.Next, r.next) << r.page;
        EXPECT_EQ(t.NextEnabled, r.nextOn) << r.page;
        EXPECT_EQ(t.Exit, r.exit) << r.page;
        EXPECT_FALSE(t.Title.empty());
    }
    EXPECT_EQ(PageTexts(wpMode, config, true).Title, "Welcome to Orvane Video Joiner! What do you want to do?");
    EXPECT_EQ(PageTexts(wpStep1, config, true).Title,
              "Select the file(s) you want to convert. Use \"Move Up\" and \"Move Down\" to change the order.");

    // Without the download path Step1 is the first page: no way back, Exit quits.
    config.DownloadEnabled = false;
    EXPECT_FALSE(PageTexts(wpStep1, config, true).BackEnabled);
    EXPECT_EQ(PageTexts(wpStep1, config, true).Exit, "Exit");
    EXPECT_EQ(PageTexts(wpStep2, config, false).Next, "Convert");
    EXPECT_EQ(FirstPage(config), wpStep1);
    config.DownloadEnabled = true;
    EXPECT_EQ(FirstPage(config), wpMode);

    EXPECT_EQ(WithTitle("%s has finished the conversion."), "Orvane Video Joiner has finished the conversion.");
    EXPECT_EQ(WithTitle("100% sure, %s"), "100% sure, Orvane Video Joiner");
    EXPECT_EQ(CenteredOrigin(100, 500, 149), 275);
    EXPECT_EQ(CenteredOrigin(0, 100, 201), -50);  // truncates toward zero
}

TEST(WizardPages, OutputFolderIsFoundOrCreatedWithItsParents) {
    TempDir tmp;
    EXPECT_TRUE(PrepareOutputFolder(tmp.dir()));
    const std::string nested = tmp.dir() + "a/b/";
    EXPECT_TRUE(PrepareOutputFolder(nested));
    EXPECT_TRUE(DirectoryExists(tmp.dir() + "a/b"));

    // Empty and relative folders are never usable; nothing is created for them.
    EXPECT_FALSE(PrepareOutputFolder(""));
    EXPECT_FALSE(PrepareOutputFolder("relative/out/"));
    EXPECT_FALSE(DirectoryExists("relative"));

    // A plain file in the way, and a folder without write permission.
    tmp.write("file");
    EXPECT_FALSE(PrepareOutputFolder(tmp.dir() + "file/sub/"));
    if (::geteuid() != 0) {
        ::mkdir((tmp.dir() + "locked").c_str(), 0500);
        EXPECT_FALSE(PrepareOutputFolder(tmp.dir() + "locked/x/y/"));
    }
}

TEST(Completion, SoundAndCountdown) {
    EXPECT_EQ(CompletionSoundFile("/opt/ov/", 1, 1), "/opt/ov/sounds/done.wav");
    EXPECT_EQ(CompletionSoundFile("/opt/ov/", 2, 3), "/opt/ov/sounds/fail.wav");
    EXPECT_EQ(CompletionSoundFile("/opt/ov/", 0, 0), "/opt/ov/sounds/done.wav");

    TShutdownCountdown c;
    EXPECT_EQ(c.TimeLeftText(), "Time left: 30");
    int ticks = 0;
    while (!c.Tick()) {
        ++ticks;
        ASSERT_LE(ticks, 30);
    }
    // 30 ticks show 29 ... 0; the 31st ends it.
    EXPECT_EQ(ticks, 30);
    EXPECT_EQ(c.Counter(), -1);

    EXPECT_EQ(ShutdownDescription("Orvane Video Joiner"),
              "If you don't press cancel now, \r\nOrvane Video Joiner\r\nwill shutdown the computer.");
}

TEST(LogText, ButtonRowAndSaving) {
    // Design row: OK at 8, buttons 75 wide, 8 apart: the row is 241 wide.
    EXPECT_EQ(LogButtonLefts(455, 8, 75, 75, 174, 75), (std::array<int, 3>{107, 190, 273}));
    EXPECT_EQ(LogButtonLefts(265, 107, 75, 75, 273, 75), (std::array<int, 3>{12, 95, 178}));
    EXPECT_EQ(LogButtonLefts(100, 0, 75, 75, 166, 75), (std::array<int, 3>{-70, 13, 96}));

    TempDir tmp;
    const std::string path = tmp.write("old.log", "previous content that is longer\r\n");
    SaveLogLines(path, {"first", "", "#12.3: third"});
    EXPECT_EQ(ReadWholeFile(path), "first\r\n\r\n#12.3: third\r\n");
    SaveLogLines(path, {});
    EXPECT_EQ(ReadWholeFile(path), "");
    EXPECT_THROW(SaveLogLines(tmp.dir() + "missing/x.log", {"a"}), std::runtime_error);
}
