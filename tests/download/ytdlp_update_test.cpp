// Updating the application's own yt-dlp against a local release folder: a
// stand-in release file (a Python script that answers --version) and its
// SHA2-256SUMS, served by the test HTTP server.
#include "ytdlp_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "../net/test_http_server.h"
#include "dispatcher.h"
#include "fake_site.h"
#include "win_thread.h"

namespace {
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using O = TYtDlpUpdateOutcome;

// A stand-in release: answers --version, hands anything else to the system's yt-dlp.
std::string StandIn(const std::string& version, const std::string& padding = {}) {
    return "#!/usr/bin/env python3\nimport os, sys\nif sys.argv[-1] == '--version':\n    print('" + version +
           "')\n    sys.exit(0)\nos.execv('/usr/bin/yt-dlp', ['yt-dlp'] + sys.argv[1:])\n" + padding;
}

class YtDlpUpdateTest : public ::testing::Test {
protected:
    // Publishes the release file with its checksum line, or with the given SHA2-256SUMS text.
    void Publish(const std::string& file, const std::optional<std::string>& sums = std::nullopt) const {
        root_.write(YtDlpReleaseFileName, file);
        root_.write(YtDlpSumsFileName, sums ? *sums
                                            : std::string(64, '0') + "  yt-dlp.exe\n" + Sha256Hex(file) + "  yt-dlp\n");
    }
    TYtDlpUpdateResult Update(const TYtDlpCopy& current, const std::string& path = "/file/",
                              const std::function<void(TYtDlpUpdate&, const std::string&)>& onStep = {}) {
        TYtDlpUpdate update(dispatcher_);
        std::optional<TYtDlpUpdateResult> result;
        update.OnStep = [&](const std::string& step) {
            steps_.push_back(step);
            if (onStep) onStep(update, step);
        };
        update.OnProgress = [&](int64_t bytes, int64_t) {
            if (onProgress_) onProgress_(update, bytes);
        };
        update.OnDone = [&](const TYtDlpUpdateResult& r) { result = r; };
        if (!update.Start(server_.url(path), Folder(), current)) return {O::uoFailed, update.LastErrorMessage, {}, {}};
        EXPECT_TRUE(dispatcher_.runUntil([&] { return result.has_value(); }, 60s));
        EXPECT_FALSE(update.Running());
        return result.value_or(TYtDlpUpdateResult{});
    }
    std::string Folder() const { return data_.dir() + "yt-dlp/"; }
    // Every entry of the managed folder, hidden ones included.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Folder())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void TearDown() override { TCustomWinThread::WaitForAllThreads(dispatcher_, 5s); }

    TempDir root_, data_;
    TestHttpServer server_{{"--root", root_.path(), "--routes", std::string(OV_SOURCE_DIR) + "/tests/download/release_routes.py"}};
    PlainDispatcher dispatcher_;
    std::vector<std::string> steps_;
    std::function<void(TYtDlpUpdate&, int64_t)> onProgress_;
};

TEST(YtDlpVersions, ReadComparedAndDatedAndChecksumsFound) {
    EXPECT_EQ(ParseYtDlpVersion("2025.11.12"), (std::vector<int64_t>{2025, 11, 12}));
    EXPECT_EQ(ParseYtDlpVersion("2025.11.12.232844"), (std::vector<int64_t>{2025, 11, 12, 232844}));
    for (const char* bad : {"", "2025.11", "2025..12", "2025.11.12.", "v2025.11.12", "1.2.3", "2025.11.12 x", "../x"})
        EXPECT_FALSE(ParseYtDlpVersion(bad)) << bad;
    // Numbers, not texts: 2023.3.4 (pip's spelling) is 2023.03.04 and older than 2023.11.1.
    EXPECT_EQ(CompareYtDlpVersions("2023.3.4", "2023.03.04"), 0);
    EXPECT_LT(CompareYtDlpVersions("2023.3.4", "2023.11.1"), 0);
    EXPECT_GT(CompareYtDlpVersions("2025.11.12.1", "2025.11.12"), 0);
    EXPECT_LT(CompareYtDlpVersions("garbage", "2020.01.01"), 0);
    const auto day = [](int y, unsigned m, unsigned d) {
        return std::chrono::sys_days(std::chrono::year_month_day{std::chrono::year(y), std::chrono::month(m),
                                                                 std::chrono::day(d)});
    };
    EXPECT_FALSE(YtDlpIsOlderThan("2025.11.12", 30, day(2025, 12, 12)));
    EXPECT_TRUE(YtDlpIsOlderThan("2025.11.12", 30, day(2025, 12, 13)));
    EXPECT_TRUE(YtDlpIsOlderThan("", 30, day(2025, 12, 13)));

    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string sums = "1111111111111111111111111111111111111111111111111111111111111111  yt-dlp.exe\r\n"
                             "ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789 *yt-dlp\r\n";
    EXPECT_EQ(ChecksumFor(sums, "yt-dlp"), "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789");
    EXPECT_EQ(ChecksumFor(sums, "yt-dlp_linux"), "");
    EXPECT_EQ(ChecksumFor("abc  yt-dlp\n", "yt-dlp"), "");

    // Runtimes only for a yt-dlp that takes them.
    const std::vector<TJsRuntime> node = {{"node", "/opt/node/bin/node"}};
    EXPECT_TRUE(YtDlpRuntimeArguments("2023.03.04", node).empty());
    EXPECT_EQ(YtDlpRuntimeArguments("2025.11.12", node),
              (std::vector<std::string>{"--js-runtimes", "node:/opt/node/bin/node"}));
}

TEST_F(YtDlpUpdateTest, ANewerReleaseIsInstalledAndChosenOverTheSystemsOne) {
    Publish(StandIn("2099.01.02"));
    const TYtDlpCopy system{"/usr/bin/yt-dlp", "2023.03.04"};
    const TYtDlpUpdateResult r = Update(system);
    ASSERT_EQ(r.Outcome, O::uoInstalled) << r.Message;
    EXPECT_EQ(r.Installed.Path, Folder() + "yt-dlp-2099.01.02");
    EXPECT_EQ(r.Message, "yt-dlp 2099.01.02 is installed (" + Folder() + "yt-dlp-2099.01.02)");
    EXPECT_EQ(steps_, (std::vector<std::string>{"Fetching SHA2-256SUMS", "Fetching yt-dlp", "Checking the new yt-dlp",
                                                "Installing yt-dlp 2099.01.02"}));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"lock", "yt-dlp", "yt-dlp-2099.01.02"}));
    EXPECT_EQ(ReadWholeFile(Folder() + "yt-dlp"), StandIn("2099.01.02"));
    const TYtDlpCopy managed = ManagedYtDlpCopy(Folder());
    EXPECT_EQ(managed.Path, r.Installed.Path);
    EXPECT_EQ(managed.Version, "2099.01.02");
    EXPECT_EQ(ChooseYtDlpCopy(managed, system).Path, managed.Path);
    // A system copy newer than ours wins; one of unknown version does not.
    EXPECT_EQ(ChooseYtDlpCopy(managed, {"/usr/bin/yt-dlp", "2100.01.01"}).Path, "/usr/bin/yt-dlp");
    EXPECT_EQ(ChooseYtDlpCopy(managed, {"/usr/bin/yt-dlp", ""}).Path, managed.Path);
    EXPECT_EQ(WaitForYtDlpVersion(dispatcher_, managed.Path), "2099.01.02");

    // The next release replaces it; the one before is kept, older ones go.
    Publish(StandIn("2099.02.03"));
    ASSERT_EQ(Update(managed).Outcome, O::uoInstalled);
    Publish(StandIn("2099.03.04"));
    ASSERT_EQ(Update(ManagedYtDlpCopy(Folder())).Outcome, O::uoInstalled);
    EXPECT_EQ(ManagedYtDlpCopy(Folder()).Version, "2099.03.04");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"lock", "yt-dlp", "yt-dlp-2099.02.03", "yt-dlp-2099.03.04"}));
}

TEST_F(YtDlpUpdateTest, EveryFailureKeepsTheCopyInUseAndSaysWhy) {
    Publish(StandIn("2099.01.02"));
    ASSERT_EQ(Update({}).Outcome, O::uoInstalled);
    const TYtDlpCopy current = ManagedYtDlpCopy(Folder());
    const std::vector<std::string> before = Entries();
    const std::string kept = ". yt-dlp 2099.01.02 (" + current.Path + ") stays in use";
    const std::string newer = StandIn("2099.05.06");
    struct Case {
        const char* name;
        std::function<void()> publish;
        O outcome;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"wrong checksum", [&] { Publish(newer, Sha256Hex("other") + "  yt-dlp\n"); }, O::uoFailed,
         "yt-dlp was not updated: the file fetched (" + std::to_string(newer.size()) +
             " bytes) does not match its checksum in SHA2-256SUMS: it is damaged or incomplete" + kept},
        {"truncated", [&] { Publish(newer); root_.write("yt-dlp", newer.substr(0, newer.size() / 2)); }, O::uoFailed,
         "yt-dlp was not updated: the file fetched (" + std::to_string(newer.size() / 2) +
             " bytes) does not match its checksum in SHA2-256SUMS: it is damaged or incomplete" + kept},
        {"404", [&] { Publish(newer); fs::remove(root_.file("yt-dlp")); }, O::uoFailed,
         "yt-dlp was not updated: cannot fetch yt-dlp from \"" + server_.url("/file/yt-dlp") +
             "\": the server answered with HTTP error 404" + kept},
        {"no checksum", [&] { Publish(newer, std::string(64, 'a') + "  yt-dlp.exe\n"); }, O::uoFailed,
         "yt-dlp was not updated: SHA2-256SUMS at \"" + server_.url("/file/SHA2-256SUMS") +
             "\" has no checksum of yt-dlp" + kept},
        {"no program", [&] { Publish(std::string("PK\x03\x04 not a program")); }, O::uoFailed,
         "yt-dlp was not updated: the file fetched does not run: "},
        {"fails", [&] { Publish("#!/bin/sh\necho 'ImportError: no module' >&2\nexit 3\n"); }, O::uoFailed,
         "yt-dlp was not updated: the file fetched does not run: it ended with exit status 3: ImportError: no module" +
             kept},
        {"no version", [&] { Publish("#!/bin/sh\necho hello\n"); }, O::uoFailed,
         "yt-dlp was not updated: the file fetched does not run: it answered \"--version\" with \"hello\", which "
         "is no version" + kept},
        {"older", [&] { Publish(StandIn("2098.12.31")); }, O::uoOlder,
         "the release offered, yt-dlp 2098.12.31, is older than the one in use: it was not installed"},
        {"same", [&] { Publish(StandIn("2099.01.02")); }, O::uoUpToDate, "yt-dlp 2099.01.02 in use is the latest release"},
    };
    for (const Case& c : cases) {
        c.publish();
        const TYtDlpUpdateResult r = Update(current);
        EXPECT_EQ(r.Outcome, c.outcome) << c.name << ": " << r.Message;
        EXPECT_TRUE(r.Message.starts_with(c.message)) << c.name << ": " << r.Message;
        EXPECT_TRUE(r.Message.ends_with(c.outcome == O::uoFailed ? kept : c.message)) << c.name << ": " << r.Message;
        EXPECT_EQ(Entries(), before) << c.name;
        EXPECT_EQ(ManagedYtDlpCopy(Folder()).Path, current.Path) << c.name;
    }
    // Only web addresses are fetched.
    TYtDlpUpdate update(dispatcher_);
    EXPECT_FALSE(update.Start("file:///etc/", Folder(), current));
    EXPECT_EQ(update.LastErrorMessage, "the release address \"file:///etc/\" is neither http nor https");
}

TEST_F(YtDlpUpdateTest, CancelWhileFetchingOrCheckingLeavesNothing) {
    // 200 KB at 80 KB/s: the cancel comes while the file arrives.
    Publish(StandIn("2099.01.02", "#" + std::string(200000, 'x') + "\n"));
    int progressSteps = 0;
    onProgress_ = [&](TYtDlpUpdate& update, int64_t) {
        if (++progressSteps == 1) update.Cancel();
    };
    TYtDlpUpdateResult r = Update({}, "/slow/");
    EXPECT_EQ(r.Outcome, O::uoCancelled) << r.Message;
    EXPECT_EQ(r.Message, "Cancelled");
    EXPECT_EQ(Entries(), (std::vector<std::string>{}));

    // A file that takes its time to answer --version, cancelled while it runs.
    onProgress_ = nullptr;
    Publish("#!/bin/sh\nsleep 30\necho 2099.01.02\n");
    const auto start = std::chrono::steady_clock::now();
    r = Update({}, "/file/", [this](TYtDlpUpdate& update, const std::string& step) {
        // Once the check has started.
        if (step == "Checking the new yt-dlp") dispatcher_.post([&update] { update.Cancel(); });
    });
    EXPECT_EQ(r.Outcome, O::uoCancelled) << r.Message;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    EXPECT_EQ(Entries(), (std::vector<std::string>{}));
}

}  // namespace
