// 'orvane update-ytdlp' against a local release folder, and 'orvane download'
// with what it installed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>

#include "../net/test_http_server.h"
#include "fake_site.h"
#include "util_funcs.h"
#include "ytdlp_update.h"

namespace {
namespace fs = std::filesystem;

struct CliResult {
    int Status = -1;
    std::string Output;
};

// 'orvane ARGS...' with the user's data in dataHome and the given PATH;
// standard output and error go to one file.
class Orvane {
public:
    Orvane(const std::vector<std::string>& args, const TempDir& work, const std::string& dataHome,
           const std::string& name = "cli.out")
        : outPath_(work.file(name)) {
        std::vector<std::string> all = {std::string(OV_BIN_DIR) + "/orvane"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<std::string> env = {"XDG_CONFIG_HOME=" + work.file("config"), "XDG_DATA_HOME=" + dataHome,
                                        "HOME=" + work.path(), "PATH=/usr/bin:/bin"};
        for (const char* n : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
            if (const char* v = std::getenv(n)) env.push_back(std::string(n) + "=" + v);
        std::vector<char*> argv, envp;
        for (auto& a : all) argv.push_back(a.data());
        for (auto& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) std::abort();
        posix_spawn_file_actions_destroy(&actions);
    }
    CliResult Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(outPath_)};
    }

private:
    std::string outPath_;
    pid_t pid_ = -1;
};

void Publish(const TempDir& root, const std::string& file) {
    root.write(YtDlpReleaseFileName, file);
    root.write(YtDlpSumsFileName, Sha256Hex(file) + "  yt-dlp\n");
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The installed yt-dlp made into a release as the project publishes it: a
// zip application, here with another version.
bool MakeZipRelease(const TempDir& work, const std::string& version, std::string& bytes) {
    const std::string src = "/usr/lib/python3/dist-packages/yt_dlp", tree = work.file("tree");
    if (!fs::is_directory(src)) return false;
    fs::create_directories(tree);
    fs::copy(src, tree + "/yt_dlp", fs::copy_options::recursive);
    std::string versionPy = ReadWholeFile(tree + "/yt_dlp/version.py");
    const size_t at = versionPy.find("__version__ = ");
    versionPy.replace(at, versionPy.find('\n', at) - at, "__version__ = '" + version + "'");
    work.write("tree/yt_dlp/version.py", versionPy);
    work.write("tree/__main__.py", "import yt_dlp\nyt_dlp.main()\n");
    const std::string zip = work.file("yt-dlp.pyz");
    const std::string command = "python3 -m zipapp '" + tree + "' -p '/usr/bin/env python3' -c -o '" + zip + "'";
    if (std::system(command.c_str()) != 0) return false;
    bytes = ReadWholeFile(zip);
    return !bytes.empty();
}

TEST(CliUpdateYtDlp, AnOldYtDlpIsPointedOutThenUpdatedAndTheNextDownloadUsesIt) {
    TempDir work, root, media;
    std::string release;
    // Newer than Debian's, older than the releases that take --js-runtimes,
    // which the code inside would not know.
    if (!fs::exists("/usr/bin/yt-dlp") || !MakeZipRelease(work, "2024.06.01", release))
        GTEST_SKIP() << "no yt-dlp installed to make a release of";
    ASSERT_TRUE(MakeTestClip(media.file("clip.mp4"), "320x240"));
    FakeSite site(R"({"videos": {}, "pages": {"/clip": {"title": "Garden Party", "src": "clip.mp4"},
                      "/gone": {"title": "Gone", "status": 404}},
                      "media": {"clip.mp4": {"file": ")" + media.file("clip.mp4") + R"("}}})");
    TestHttpServer server({"--root", root.path()});
    ASSERT_TRUE(server.ok());
    const std::string data = work.file("data"), out = work.file("out");

    std::string debian;
    if (FILE* p = ::popen("/usr/bin/yt-dlp --version", "r")) {
        char line[64] = {};
        if (std::fgets(line, sizeof line, p)) debian = Trim(line);
        ::pclose(p);
    }
    ASSERT_LT(CompareYtDlpVersions(debian, "2024.06.01"), 0) << debian;

    // Debian's yt-dlp fails a link (which waited for its version): the
    // terminal is told how to update.
    CliResult r = Orvane({"download", "-o", out, site.Url("/gone")}, work, data).Wait();
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("Trying \"" + site.Url("/gone") + "\" with yt-dlp " + debian + " (/usr/bin/yt-dlp)"),
              std::string::npos)
        << r.Output;
    EXPECT_NE(r.Output.find("more than 30 days old, and sites change often: 'orvane update-ytdlp' fetches the latest "
                            "release"),
              std::string::npos)
        << r.Output;

    Publish(root, release);
    r = Orvane({"update-ytdlp", "--from", server.url("/file/")}, work, data).Wait();
    const std::string copy = data + "/orvane-video-joiner/yt-dlp/yt-dlp-2024.06.01";
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_NE(r.Output.find("yt-dlp in use: " + debian + " (/usr/bin/yt-dlp)\n"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("yt-dlp 2024.06.01 is installed (" + copy + ")\n"), std::string::npos) << r.Output;
    EXPECT_EQ(ReadWholeFile(copy), release);

    r = Orvane({"download", "-o", out, site.Url("/clip")}, work, data).Wait();
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_NE(r.Output.find("Trying \"" + site.Url("/clip") + "\" with yt-dlp 2024.06.01 (" + copy + ")"),
              std::string::npos)
        << r.Output;
    EXPECT_NE(r.Output.find("Saved: " + out + "/Garden Party.mp4"), std::string::npos) << r.Output;
    EXPECT_EQ(r.Output.find("30 days"), std::string::npos) << r.Output;
}

TEST(CliUpdateYtDlp, UpdatesAtOnceLeaveOneWholeCopy) {
    TempDir work, root;
    TestHttpServer server({"--root", root.path()});
    ASSERT_TRUE(server.ok());
    const std::string standIn = "#!/bin/sh\necho 2099.01.02\n";
    Publish(root, standIn);
    const std::string data = work.file("data"), folder = data + "/orvane-video-joiner/yt-dlp/";
    std::vector<std::unique_ptr<Orvane>> runs;
    for (int i = 0; i < 4; ++i)
        runs.push_back(std::make_unique<Orvane>(std::vector<std::string>{"update-ytdlp", "--from", server.url("/file/")},
                                                work, data, "out" + std::to_string(i)));
    int installed = 0;
    for (auto& run : runs) {
        const CliResult r = run->Wait();
        EXPECT_EQ(r.Status, 0) << r.Output;
        installed += r.Output.find("yt-dlp 2099.01.02 is installed") != std::string::npos;
    }
    EXPECT_EQ(installed, 1);
    EXPECT_EQ(Entries(folder), (std::vector<std::string>{"lock", "yt-dlp", "yt-dlp-2099.01.02"}));
    EXPECT_EQ(ReadWholeFile(folder + "yt-dlp"), standIn);

    // Wrong use.
    const CliResult r = Orvane({"update-ytdlp", "now"}, work, data).Wait();
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Output, "orvane update-ytdlp: unexpected argument 'now' (see 'orvane update-ytdlp --help')\n");
}

}  // namespace
