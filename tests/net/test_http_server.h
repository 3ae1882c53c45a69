#pragma once
// Starts tests/net/http_test_server.py on a free port of 127.0.0.1 and stops
// it again. The server also ends by itself when this process goes away (its
// standard input closes).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

class TestHttpServer {
public:
    explicit TestHttpServer(const std::vector<std::string>& extraArgs = {}) {
        int toChild[2], fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) return;
        std::vector<std::string> args = {"python3", std::string(OV_SOURCE_DIR) + "/tests/net/http_test_server.py"};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        if (posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        stdin_ = toChild[1];
        if (pid_ <= 0) {
            ::close(fromChild[0]);
            return;
        }
        // First line: "PORT <n>".
        std::string line;
        char c;
        while (::read(fromChild[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(fromChild[0]);
        if (line.rfind("PORT ", 0) == 0) port_ = std::stoi(line.substr(5));
    }
    ~TestHttpServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stdin_ >= 0) ::close(stdin_);
    }
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    bool ok() const { return port_ > 0; }
    int port() const { return port_; }
    std::string url(const std::string& path, const std::string& scheme = "http") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int stdin_ = -1;
};
