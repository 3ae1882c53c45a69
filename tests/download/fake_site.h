#pragma once
// Starts tests/download/fake_site.py on a free port of 127.0.0.1 and stops it.
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "../common/temp_dir.h"

extern char** environ;

// A two-second H.264/AAC MP4 clip of the given size ("320x240"), for the
// HTML5 pages; false when ffmpeg failed.
inline bool MakeTestClip(const std::string& path, const std::string& size) {
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=" + size +
                                ":rate=25 -f lavfi -i sine -t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac '" + path + "'";
    return std::system(command.c_str()) == 0;
}

class FakeSite {
public:
    // config: the JSON text of the site's videos (see fake_site.py).
    explicit FakeSite(const std::string& config) {
        const std::string configPath = dir_.write("site.json", config);
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string script = std::string(OV_SOURCE_DIR) + "/tests/download/fake_site.py";
        char* argv[] = {const_cast<char*>("python3"), const_cast<char*>(script.c_str()),
                        const_cast<char*>(configPath.c_str()), nullptr};
        if (posix_spawnp(&pid_, "python3", &actions, nullptr, argv, environ) != 0) std::abort();
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        FILE* f = ::fdopen(out[0], "r");
        char line[32] = {};
        if (!f || !std::fgets(line, sizeof line, f)) std::abort();
        std::fclose(f);
        port_ = std::stoi(line);
    }
    ~FakeSite() {
        ::close(stdin_);
        int status = 0;
        for (int i = 0; i < 200; ++i) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) return;
            ::usleep(10000);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    FakeSite(const FakeSite&) = delete;
    FakeSite& operator=(const FakeSite&) = delete;

    int Port() const { return port_; }
    // The host name H the program is set up with.
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string WatchLink(const std::string& id) const { return "http://" + Host() + "/watch?v=" + id; }
    std::string Url(const std::string& path) const { return "http://" + Host() + path; }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    int stdin_ = -1;
    int port_ = 0;
};
