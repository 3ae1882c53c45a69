// What a user of the installed programs meets around the work itself: --help
// and --version, wrong use, the manual pages and the shell completion. The
// help is the program's; the manual and the completion must keep up with it.
#include "ov_version.h"

#include "../common/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>

namespace {

const std::string Orvane = std::string(OV_BIN_DIR) + "/orvane";
const std::string Joiner = std::string(OV_BIN_DIR) + "/orvane-video-joiner";

struct Outcome {
    int Status = -1;
    std::string Out, Err;
};

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A shell command in a fresh home, without a display.
Outcome Shell(const std::string& command) {
    static TempDir home;
    const std::string err = home.file("stderr");
    const std::string line = "env -u DISPLAY -u WAYLAND_DISPLAY HOME=" + Quoted(home.path()) +
                             " XDG_CONFIG_HOME=" + Quoted(home.file(".config")) + " LC_ALL=C bash -c " +
                             Quoted(command) + " 2>" + Quoted(err);
    Outcome r;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.Out.append(buf, n);
    const int status = ::pclose(pipe);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.Err = ReadWholeFile(err);
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The lines of a help section ("Commands:", "Options:") up to the empty line.
std::vector<std::string> Section(const std::string& help, const std::string& title) {
    std::vector<std::string> lines;
    bool in = false;
    for (const std::string& line : Lines(help)) {
        if (in && line.empty()) break;
        if (in) lines.push_back(line);
        if (line == title) in = true;
    }
    return lines;
}

// The long names of a help's options: "  -f, --format FORMAT  ..." or "      --log FILE ...".
std::vector<std::string> OptionsOf(const std::string& help) {
    std::vector<std::string> options;
    for (const std::string& line : Section(help, "Options:")) {
        // The long name starts in column 6, after "-f, " or four spaces.
        if (line.size() < 8) continue;
        const bool withShort = line.compare(0, 3, "  -") == 0 && line.compare(4, 2, ", ") == 0;
        if (!withShort && line.compare(0, 6, "      ") != 0) continue;
        if (line.compare(6, 2, "--") != 0) continue;
        size_t end = 8;
        while (end < line.size() && (std::islower(static_cast<unsigned char>(line[end])) || line[end] == '-')) ++end;
        options.push_back(line.substr(6, end - 6));
    }
    return options;
}

std::vector<std::string> Commands() {
    std::vector<std::string> commands;
    for (const std::string& line : Section(Shell(Quoted(Orvane) + " --help").Out, "Commands:"))
        commands.push_back(line.substr(2, line.find(' ', 2) - 2));
    return commands;
}

// The part of a manual page's source from "## orvane COMMAND" to the next heading.
std::string ManualSection(const std::string& source, const std::string& heading) {
    const size_t start = source.find("\n" + heading);
    if (start == std::string::npos) return {};
    const size_t end = source.find("\n#", start + 1);
    return source.substr(start, end - start);
}

TEST(Conventions, EveryCommandExplainsEveryOptionAndItsExitStatusInHelpAndManual) {
    const std::vector<std::string> commands = Commands();
    EXPECT_EQ(commands, (std::vector<std::string>{"convert", "download", "join", "presets", "probe", "update-ytdlp"}));
    const std::string manual = ReadWholeFile(std::string(OV_SOURCE_DIR) + "/docs/orvane.1.scd");
    ASSERT_FALSE(manual.empty());
    for (const std::string& command : commands) {
        const Outcome r = Shell(Quoted(Orvane) + " " + command + " --help");
        EXPECT_EQ(r.Status, 0) << command;
        EXPECT_TRUE(r.Err.empty()) << r.Err;
        EXPECT_TRUE(r.Out.starts_with("Usage: orvane " + command + " ")) << r.Out;
        EXPECT_EQ(Shell(Quoted(Orvane) + " help " + command).Out, r.Out);
        const std::vector<std::string> exits = Section(r.Out, "Exit status:");
        EXPECT_TRUE(std::any_of(exits.begin(), exits.end(), [](const auto& l) { return l.starts_with("  0  "); }))
            << r.Out;
        EXPECT_TRUE(std::any_of(exits.begin(), exits.end(), [](const auto& l) { return l.starts_with("  2  "); }))
            << r.Out;
        for (const std::string& line : Lines(r.Out)) EXPECT_LE(line.size(), 79u) << line;
        const std::string section = ManualSection(manual, "## orvane " + command);
        ASSERT_FALSE(section.empty()) << "no section of " << command << " in orvane.1.scd";
        const std::vector<std::string> options = OptionsOf(r.Out);
        EXPECT_FALSE(options.empty());
        for (const std::string& option : options) {
            if (option == "--help") continue;
            EXPECT_NE(section.find("*" + option + "*"), std::string::npos)
                << option << " of " << command << " is not in orvane.1.scd";
        }
    }
    // The window's own options are in its manual page.
    const std::string joinerManual = ReadWholeFile(std::string(OV_SOURCE_DIR) + "/docs/orvane-video-joiner.1.scd");
    const Outcome joiner = Shell(Quoted(Joiner) + " --help");
    EXPECT_EQ(joiner.Status, 0);
    EXPECT_TRUE(joiner.Out.starts_with("Usage: orvane-video-joiner [OPTIONS] [FILE...]\n")) << joiner.Out;
    for (const std::string& option : OptionsOf(joiner.Out))
        EXPECT_NE(joinerManual.find("*" + option + "*"), std::string::npos) << option;
    // The build made the pages with the version filled in.
    for (const char* page : {"orvane.1", "orvane-video-joiner.1"}) {
        const std::string roff = ReadWholeFile(std::string(OV_BIN_DIR) + "/../man/" + page);
        EXPECT_NE(roff.find(std::string("Orvane Video Joiner ") + OvVersion), std::string::npos) << page;
        EXPECT_EQ(roff.find("@PROJECT_VERSION@"), std::string::npos) << page;
    }
}

TEST(Conventions, VersionWithoutADisplayAndWrongUseAsOneLineWithStatusTwo) {
    Outcome r = Shell(Quoted(Orvane) + " --version");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, std::string("orvane (Orvane Video Joiner) ") + OvVersion + "\n");
    r = Shell(Quoted(Joiner) + " --version");
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, std::string("orvane-video-joiner ") + OvVersion + "\n");

    const std::vector<std::pair<std::string, std::string>> wrong = {
        {"--bogus", "orvane: unknown option '--bogus' (see 'orvane --help')\n"},
        {"frobnicate", "orvane: unknown command 'frobnicate' (see 'orvane --help')\n"},
        {"join --bogus a.wav", "orvane join: unknown option '--bogus' (see 'orvane join --help')\n"},
        {"convert -f", "orvane convert: --format needs FORMAT (see 'orvane convert --help')\n"},
        {"probe --thumbnail= a.wav",
         "orvane probe: --thumbnail needs DIR, not an empty text (see 'orvane probe --help')\n"},
        {"presets --all", "orvane presets: unknown option '--all' (see 'orvane presets --help')\n"},
        {"download --quality 22 -o x y", "orvane download: unknown option '--quality' (see 'orvane download --help')\n"},
        {"update-ytdlp --from=", "orvane update-ytdlp: --from needs URL, not an empty text (see 'orvane update-ytdlp --help')\n"},
    };
    for (const auto& [args, line] : wrong) {
        r = Shell(Quoted(Orvane) + " " + args);
        EXPECT_EQ(r.Status, 2) << args;
        EXPECT_EQ(r.Err, line);
        EXPECT_EQ(r.Out, "");
    }
    // No command: the help, on standard error since nothing was asked.
    r = Shell(Quoted(Orvane));
    EXPECT_EQ(r.Status, 2);
    EXPECT_TRUE(r.Err.starts_with("Usage: orvane COMMAND")) << r.Err;

    // The window refuses an option that neither it nor Qt knows.
    r = Shell("QT_QPA_PLATFORM=offscreen " + Quoted(Joiner) + " --bogus");
    EXPECT_EQ(r.Status, 2);
    EXPECT_TRUE(r.Err.ends_with("\norvane-video-joiner: unknown option '--bogus' (see 'orvane-video-joiner --help')\n") ||
                r.Err == "orvane-video-joiner: unknown option '--bogus' (see 'orvane-video-joiner --help')\n")
        << r.Err;
}

// The listing's pictures that the AppStream metadata names are the ones the
// window tests took (scripts/screenshots.sh), and its release is this version.
TEST(Conventions, AppStreamNamesTheTakenPicturesAndThisRelease) {
    const std::string metainfo =
        ReadWholeFile(std::string(OV_BIN_DIR) + "/../packaging/example.orvane.VideoJoiner.metainfo.xml");
    ASSERT_FALSE(metainfo.empty());
    EXPECT_NE(metainfo.find(std::string("<release version=\"") + OvVersion + "\""), std::string::npos);
    const std::string open = "<image type=\"source\">https://", folder = "/screenshots/", close = "</image>";
    int pictures = 0;
    for (size_t at = metainfo.find(open); at != std::string::npos; at = metainfo.find(open, at + 1), ++pictures) {
        const size_t end = metainfo.find(close, at);
        ASSERT_NE(end, std::string::npos);
        const std::string url = metainfo.substr(at + open.size(), end - at - open.size());
        const size_t name = url.rfind(folder);
        ASSERT_NE(name, std::string::npos) << url;
        const std::string picture = url.substr(name + folder.size());
        EXPECT_TRUE(picture.ends_with(".png")) << url;
        EXPECT_TRUE(std::filesystem::is_regular_file(std::string(OV_SOURCE_DIR) + "/packaging/screenshots/" + picture))
            << picture;
    }
    EXPECT_EQ(pictures, 4);
}

// What the completion offers when the line so far is `words` (the last one
// being completed), one word a line, sorted.
std::string Complete(const std::vector<std::string>& words, const std::string& dir = ".") {
    std::string array = Quoted(Orvane);
    for (const std::string& w : words) array += " " + Quoted(w);
    const Outcome r = Shell("cd " + Quoted(dir) + " && source " + Quoted(std::string(OV_SOURCE_DIR) + "/packaging/orvane.bash") +
                        " && COMP_WORDS=(" + array + ") && COMP_CWORD=" + std::to_string(words.size()) +
                        " && _orvane; printf '%s\\n' \"${COMPREPLY[@]}\" | sort");
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(r.Err.empty()) << r.Err;
    return r.Out == "\n" ? std::string() : r.Out;
}

TEST(Conventions, CompletionOffersCommandsOptionsFormatsPresetsAndFiles) {
    EXPECT_EQ(Complete({""}), "--help\n--version\nconvert\ndownload\nhelp\njoin\npresets\nprobe\nupdate-ytdlp\n");
    EXPECT_EQ(Complete({"pr"}), "presets\nprobe\n");
    EXPECT_EQ(Complete({"join", "--"}), "--format\n--help\n--log\n--name\n--output\n--plan\n--preset\n--reencode-if-needed\n--skip-failed\n--trim\n--verify\n");
    EXPECT_EQ(Complete({"download", "-o", "out", "--"}), "--help\n--host\n--no-prefer\n--output\n--prefer\n");
    EXPECT_EQ(Complete({"update-ytdlp", "--"}), "--from\n--help\n");
    EXPECT_EQ(Complete({"update-ytdlp", "--from", "h"}), "");
    EXPECT_EQ(Complete({"update-ytdlp", ""}), "");
    EXPECT_EQ(Complete({"join", "--format", "M"}), "M4A\nMKV\nMOV\nMP2\nMP3\nMP4\nMPEG\nMobilePhone\n");
    EXPECT_EQ(Complete({"presets", "i"}), "iPad\niPhone\niPod\n");
    EXPECT_EQ(Complete({"help", "c"}), "convert\n");
    // Preset numbers of the format given on the line, in any of its forms.
    EXPECT_EQ(Complete({"join", "--format", "mp2", "--preset", ""}), "0\n1\n2\n");
    EXPECT_EQ(Complete({"convert", "-f", "MP2", "-p", "1"}), "1\n");
    EXPECT_EQ(Complete({"join", "--format", "=", "mp2", "--preset", "=", ""}), "0\n1\n2\n");
    EXPECT_EQ(Complete({"join", "--preset", ""}), "");
    EXPECT_EQ(Complete({"join", "--format", "=", "FL"}), "FLAC\nFLV\n");
    // Files for the inputs, folders for the output, names with spaces whole.
    TempDir dir;
    dir.write("clip one.mp4");
    dir.write("clip two.mov");
    std::filesystem::create_directory(dir.file("clips out"));
    EXPECT_EQ(Complete({"join", "-o", "clips out", "cl"}, dir.path()), "clip one.mp4\nclip two.mov\nclips out\n");
    EXPECT_EQ(Complete({"join", "--output", "cl"}, dir.path()), "clips out\n");
    EXPECT_EQ(Complete({"download", "-o", "x", "cl"}, dir.path()), "");
}

}  // namespace
