#include "command_line.h"

#include <gtest/gtest.h>

namespace {

const TCommandHelp Join{
    .Program = "orvane join",
    .Synopsis = "[OPTIONS] FILE...",
    .Description = "First paragraph, long enough to be wrapped at the seventy-ninth column of the terminal and "
                   "so to go on to a second line.\n\nList:\n  a  one\n  b  two",
    .Options = {{"--format", "-f", "FORMAT", "output format"},
                {"--log", "", "FILE", "append the log"},
                {"--prefer", "", "", "a flag"},
                {"--a-very-long-option-name", "", "SOMETHING", "its help goes on the next line"}},
    .ExitStatuses = {{0, "done"}, {2, "wrong usage"}},
};

std::optional<int> Parse(const std::vector<std::string>& args, TParsedArgs& out) {
    return ParseCommandLine(Join, args, out);
}

TEST(CommandLine, OptionsInEveryFormAndOperandsInOrder) {
    TParsedArgs a;
    EXPECT_EQ(Parse({"x.mp4", "-f", "MP4", "--log=run.log", "--prefer", "-", "--format", "AVI", "--", "--log", "-f"},
                    a),
              std::nullopt);
    EXPECT_EQ(a.Operands, (std::vector<std::string>{"x.mp4", "-", "--log", "-f"}));
    EXPECT_EQ(a.Value("--format"), "AVI");  // the last one counts
    EXPECT_EQ(a.Value("--log"), "run.log");
    EXPECT_TRUE(a.Has("--prefer"));
    EXPECT_EQ(a.Value("--prefer"), "");
    EXPECT_FALSE(a.Has("--a-very-long-option-name"));
    // A value that looks like an option is still the value.
    TParsedArgs b;
    EXPECT_EQ(Parse({"--log", "--prefer"}, b), std::nullopt);
    EXPECT_EQ(b.Value("--log"), "--prefer");
    EXPECT_FALSE(b.Has("--prefer"));
}

TEST(CommandLine, WrongUseIsOneLineWithThePointerToHelp) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
        {{"--bogus", "a"}, "orvane join: unknown option '--bogus' (see 'orvane join --help')\n"},
        {{"--bogus=1"}, "orvane join: unknown option '--bogus' (see 'orvane join --help')\n"},
        {{"-x"}, "orvane join: unknown option '-x' (see 'orvane join --help')\n"},
        {{"a", "--format"}, "orvane join: --format needs FORMAT (see 'orvane join --help')\n"},
        {{"--format="}, "orvane join: --format needs FORMAT, not an empty text (see 'orvane join --help')\n"},
        {{"-f", ""}, "orvane join: --format needs FORMAT, not an empty text (see 'orvane join --help')\n"},
        {{"--prefer=yes"}, "orvane join: --prefer takes no value (see 'orvane join --help')\n"},
    };
    for (const auto& [args, line] : wrong) {
        TParsedArgs a;
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_EQ(Parse(args, a), ExitUsage) << args[0];
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), line);
    }
}

TEST(CommandLine, HelpListsEveryOptionAlignedAndEndsTheParse) {
    const std::string help = HelpText(Join);
    EXPECT_EQ(help,
              "Usage: orvane join [OPTIONS] FILE...\n"
              "\n"
              "First paragraph, long enough to be wrapped at the seventy-ninth column of the\n"
              "terminal and so to go on to a second line.\n"
              "\n"
              "List:\n"
              "  a  one\n"
              "  b  two\n"
              "\n"
              "Options:\n"
              "  -f, --format FORMAT  output format\n"
              "      --log FILE       append the log\n"
              "      --prefer         a flag\n"
              "      --a-very-long-option-name SOMETHING\n"
              "                       its help goes on the next line\n"
              "  -h, --help           show this help and exit\n"
              "\n"
              "Exit status:\n"
              "  0  done\n"
              "  2  wrong usage\n");
    for (const char* flag : {"--help", "-h"}) {
        TParsedArgs a;
        testing::internal::CaptureStdout();
        // Help wins over a wrong option that follows it.
        EXPECT_EQ(Parse({"a", flag, "--bogus"}, a), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), help);
    }
    EXPECT_EQ(WrapText("aa bb cc dd", 5, 2), "aa bb\n  cc dd");
    EXPECT_EQ(WrapText("averyveryverylongword x", 5, 0), "averyveryverylongword\nx");
}

}  // namespace
