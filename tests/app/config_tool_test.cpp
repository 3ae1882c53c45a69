// The orvane-config tool as whoever ships the product uses it.
#include "../common/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {
int RunTool(const std::string& args) {
    return std::system((std::string(OV_BIN_DIR) + "/orvane-config " + args + " >/dev/null 2>&1").c_str());
}
}  // namespace

TEST(ConfigTool, ScrambleThenDescrambleGivesBackEveryByte) {
    TempDir dir;
    std::string plain = "[SYSTEM]\r\nVersion=1.0\nSkin=0\n\n; \xc3\xa9t\xc3\xa9 \x01\x7f\xfe\n";
    plain += "no final line break";
    const std::string in = dir.write("in.ini", plain);
    ASSERT_EQ(RunTool("scramble '" + in + "' '" + dir.file("lamecore.dll") + "'"), 0);
    const std::string scrambled = ReadWholeFile(dir.file("lamecore.dll"));
    ASSERT_EQ(scrambled.size(), plain.size());
    EXPECT_EQ(scrambled.find("SYSTEM"), std::string::npos);
    ASSERT_EQ(RunTool("descramble '" + dir.file("lamecore.dll") + "' '" + dir.file("out.ini") + "'"), 0);
    EXPECT_EQ(ReadWholeFile(dir.file("out.ini")), plain);
}

TEST(ConfigTool, WrongUsageAndMissingInputFail) {
    TempDir dir;
    EXPECT_NE(RunTool("scramble"), 0);
    EXPECT_NE(RunTool("rot13 a b"), 0);
    EXPECT_NE(RunTool("scramble '" + dir.file("missing.ini") + "' '" + dir.file("out") + "'"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
    // A byte that would turn into a line break is refused, not silently changed.
    const std::string bad = dir.write("bad.ini", "[SYSTEM]\nTitle=\xf2\x9f\x98\x80\n");
    EXPECT_NE(RunTool("scramble '" + bad + "' '" + dir.file("out") + "'"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
}
