// The process runner with small shell scripts as the children (the runner
// itself starts programs without a shell).
#include "child_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>

#include "../common/temp_dir.h"
#include "dispatcher.h"

namespace {
using namespace std::chrono_literals;

struct Recorded {
    std::vector<std::string> Out, Err;
    int Exits = 0;
    TChildExit Exit;
};

class ChildProcessTest : public ::testing::Test {
protected:
    void Wire(TChildProcess& child, Recorded& rec) {
        child.OnLine = [&rec](TChildStream stream, const std::string& line) {
            (stream == TChildStream::csOut ? rec.Out : rec.Err).push_back(line);
        };
        child.OnExit = [&rec](const TChildExit& exit) {
            ++rec.Exits;
            rec.Exit = exit;
        };
    }
    // Runs sh -c script to its end.
    Recorded Run(const std::string& script, const std::string& workDir = {},
                 const std::vector<std::string>& env = {}) {
        TChildProcess child(dispatcher_);
        Recorded rec;
        Wire(child, rec);
        std::string error;
        EXPECT_TRUE(child.Start("/bin/sh", {"-c", script}, workDir, env, error)) << error;
        EXPECT_TRUE(dispatcher_.runUntil([&] { return rec.Exits > 0; }, 30s));
        EXPECT_FALSE(child.Running());
        return rec;
    }
    // Exists and is not a zombie waiting to be reaped.
    static bool Alive(pid_t pid) {
        const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
    }

    PlainDispatcher dispatcher_;
    TempDir dir_;
};

TEST_F(ChildProcessTest, LinesOfBothStreamsThenTheExit) {
    Recorded r = Run("printf 'one\\ntwo\\r\\n'; printf 'err\\n' >&2; printf 'last'; exit 3");
    EXPECT_EQ(r.Out, (std::vector<std::string>{"one", "two", "last"}));
    EXPECT_EQ(r.Err, (std::vector<std::string>{"err"}));
    EXPECT_EQ(r.Exits, 1);
    EXPECT_EQ(r.Exit.ExitCode, 3);
    EXPECT_FALSE(r.Exit.Succeeded());
    // A program that dies by a signal is reported so.
    r = Run("kill -SEGV $$");
    EXPECT_EQ(r.Exit.Signal, SIGSEGV);

    // The folder, the extra environment, nothing on standard input, no
    // descriptor of ours beyond the three.
    r = Run("pwd; echo \"$OV_TEST_VALUE\"; cat; ls /proc/self/fd | wc -l", dir_.path(), {"OV_TEST_VALUE=a b"});
    ASSERT_EQ(r.Out.size(), 3u);
    EXPECT_EQ(r.Out[0], dir_.path());
    EXPECT_EQ(r.Out[1], "a b");
    // 0, 1, 2 and the one ls reads the folder with.
    EXPECT_EQ(std::atoi(r.Out[2].c_str()), 4);
    EXPECT_TRUE(r.Exit.Succeeded());

    // Many lines and one longer than a line may be: all arrive, in order, cut in pieces.
    r = Run("i=0; while [ $i -lt 20000 ]; do echo $i; i=$((i+1)); done; head -c 70000 /dev/zero | tr '\\0' x");
    ASSERT_EQ(r.Out.size(), 20002u);
    EXPECT_EQ(r.Out[19999], "19999");
    EXPECT_EQ(r.Out[20000].size(), TChildProcess::MaxLineBytes);
    EXPECT_EQ(r.Out[20001].size(), 70000 - TChildProcess::MaxLineBytes);
}

TEST_F(ChildProcessTest, KillEndsTheWholeGroup) {
    TChildProcess child(dispatcher_);
    Recorded rec;
    Wire(child, rec);
    std::string error;
    // A helper in the background keeps its own copy of the pipes, as a
    // muxer started by the program would.
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "sleep 300 & echo $!; echo ready; wait"}, {}, {}, error)) << error;
    ASSERT_TRUE(dispatcher_.runUntil([&] { return rec.Out.size() >= 2; }, 10s));
    const pid_t helper = std::atoi(rec.Out[0].c_str());
    const pid_t leader = child.Pid();
    ASSERT_GT(helper, 0);
    ASSERT_GT(leader, 0);
    EXPECT_EQ(::getpgid(helper), leader);
    EXPECT_NE(::getpgid(0), leader);
    child.Kill();
    ASSERT_TRUE(dispatcher_.runUntil([&] { return rec.Exits > 0; }, 10s));
    EXPECT_TRUE(rec.Exit.Killed);
    EXPECT_EQ(rec.Exit.Signal, SIGKILL);
    EXPECT_EQ(child.Pid(), -1);
    // The helper is gone too (not our child: someone else reaps it).
    for (int i = 0; i < 100 && Alive(helper); ++i) std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(Alive(helper));

    // The object runs the next child afterwards.
    Recorded again;
    Wire(child, again);
    ASSERT_TRUE(child.Start("/bin/echo", {"next"}, {}, {}, error)) << error;
    ASSERT_TRUE(dispatcher_.runUntil([&] { return again.Exits > 0; }, 10s));
    EXPECT_EQ(again.Out, (std::vector<std::string>{"next"}));
}

TEST_F(ChildProcessTest, HelpersEndWithUsEvenWhenWeAreKilledOutright) {
    // A process of ours runs the program, tells us its helper, and is killed
    // with SIGKILL: nothing of it can clean up, yet the helper must go.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t runner = ::fork();
    if (runner == 0) {
        ::close(pipeFds[0]);
        PlainDispatcher dispatcher;
        TChildProcess child(dispatcher);
        std::string line, error;
        child.OnLine = [&](TChildStream, const std::string& text) { line = text + "\n"; };
        if (!child.Start("/bin/sh", {"-c", "sleep 300 & echo $!; wait"}, {}, {}, error)) ::_exit(1);
        dispatcher.runUntil([&] { return !line.empty(); }, 10s);
        [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], line.data(), line.size());
        ::pause();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    char text[32] = {};
    const ssize_t got = ::read(pipeFds[0], text, sizeof text - 1);
    ::close(pipeFds[0]);
    ::kill(runner, SIGKILL);
    ::waitpid(runner, nullptr, 0);
    const pid_t helper = got > 0 ? std::atoi(text) : 0;
    ASSERT_GT(helper, 0);
    for (int i = 0; i < 100 && Alive(helper); ++i) std::this_thread::sleep_for(20ms);
    const bool alive = Alive(helper);
    if (alive) ::kill(helper, SIGKILL);
    EXPECT_FALSE(alive);
}

TEST_F(ChildProcessTest, AHelperThatKeepsThePipeOpenDoesNotHoldTheEnd) {
    // The program ends at once; a helper in a session of its own holds the
    // pipe far longer than the end may take.
    TChildProcess child(dispatcher_);
    Recorded rec;
    Wire(child, rec);
    std::string error;
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "setsid sleep 600 & echo $!; echo done"}, {}, {}, error)) << error;
    const bool ended = dispatcher_.runUntil([&] { return rec.Exits > 0; }, 10s);
    const pid_t helper = rec.Out.empty() ? 0 : std::atoi(rec.Out[0].c_str());
    if (helper > 0) ::kill(helper, SIGKILL);
    ASSERT_TRUE(ended) << "the end waited for the helper";
    ASSERT_EQ(rec.Out.size(), 2u);
    EXPECT_EQ(rec.Out[1], "done");
    EXPECT_TRUE(rec.Exit.Succeeded());
}

TEST_F(ChildProcessTest, GoingAwayWhileTheChildRunsLeavesNothingBehind) {
    pid_t leader = -1;
    {
        TChildProcess child(dispatcher_);
        Recorded rec;
        Wire(child, rec);
        std::string error;
        ASSERT_TRUE(child.Start("/bin/sh", {"-c", "echo up; exec sleep 300"}, {}, {}, error));
        ASSERT_TRUE(dispatcher_.runUntil([&] { return !rec.Out.empty(); }, 10s));
        leader = child.Pid();
    }
    // Reaped by the runner: no such process any more, and no event came.
    EXPECT_FALSE(Alive(leader));
    dispatcher_.runPending();
}

TEST_F(ChildProcessTest, ProgramsThatCannotStart) {
    TChildProcess child(dispatcher_);
    std::string error;
    EXPECT_FALSE(child.Start(dir_.file("missing"), {}, {}, {}, error));
    EXPECT_EQ(error, std::strerror(ENOENT));
    const std::string plain = dir_.write("plain", "#!/bin/sh\n");
    EXPECT_FALSE(child.Start(plain, {}, {}, {}, error));
    EXPECT_EQ(error, std::strerror(EACCES));
    EXPECT_FALSE(child.Running());
    dispatcher_.runPending();
}

TEST(FindProgram, LooksInThePathFoldersInOrder) {
    TempDir a, b;
    for (const TempDir* d : {&a, &b}) {
        std::ofstream(d->file("tool")) << "#!/bin/sh\n";
        std::filesystem::permissions(d->file("tool"), std::filesystem::perms::owner_all);
    }
    std::ofstream(a.file("plain")) << "x";
    std::filesystem::create_directory(a.file("folder"));
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    ::setenv("PATH", (":" + b.path() + ":" + a.path()).c_str(), 1);
    EXPECT_EQ(FindProgram("tool"), b.file("tool"));
    EXPECT_EQ(FindProgram("plain"), "");   // not executable
    EXPECT_EQ(FindProgram("folder"), "");  // not a file
    EXPECT_EQ(FindProgram("nothing-of-that-name"), "");
    EXPECT_EQ(FindProgram(a.file("tool")), a.file("tool"));
    ::setenv("PATH", saved.c_str(), 1);
}

}  // namespace
