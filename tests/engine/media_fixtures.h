#pragma once
// Media made at test time with the ffmpeg CLI, outputs judged with ffprobe.
#include "ff_loader.h"

#include "../common/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

inline std::string RunCapture(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// Runs "ffmpeg -y <args> <output>"; true when the output was made.
inline bool MakeMedia(const std::string& args, const std::string& output) {
    const std::string cmd = "ffmpeg -hide_banner -loglevel error -nostdin -y " + args + " " + ShellQuote(output);
    return std::system(cmd.c_str()) == 0;
}

// Test pattern video (and a tone when audioRate > 0) of the given length.
inline bool MakeClip(const std::string& output, double seconds, int width, int height, int fps, int audioRate = 44100,
                     int channels = 2, const std::string& codecs = "-c:v mpeg4 -q:v 5 -c:a mp2") {
    std::string args = "-f lavfi -i testsrc=size=" + std::to_string(width) + "x" + std::to_string(height) +
                       ":rate=" + std::to_string(fps) + ":duration=" + std::to_string(seconds);
    if (audioRate > 0)
        args += " -f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(audioRate) +
                ":duration=" + std::to_string(seconds) + " -ac " + std::to_string(channels);
    return MakeMedia(args + " -pix_fmt yuv420p " + codecs, output);
}

// ffprobe's JSON report of a file (format, streams and, when asked, packets).
inline nlohmann::json ProbeJson(const std::string& file, const std::string& extra = "") {
    const std::string out = RunCapture("ffprobe -v error -of json -show_format -show_streams " + extra + " " +
                                       ShellQuote(file));
    return nlohmann::json::parse(out, nullptr, false);
}

inline double JsonNumber(const nlohmann::json& j, const char* key, double fallback = -1) {
    if (!j.contains(key)) return fallback;
    const auto& v = j[key];
    if (v.is_number()) return v.get<double>();
    if (v.is_string()) return std::atof(v.get<std::string>().c_str());
    return fallback;
}

// Loads the engine's libraries once per test.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFLoader().LoadSet(EngineLibrarySet)) << FFLoader().LastError();
    }
};

// A test suite whose media are made once in a folder of its own:
// class MyTest : public MediaSuite<MyTest> { static void MakeMedia() {...} };
template <typename Suite>
class MediaSuite : public EngineTest {
public:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        Suite::MakeSuiteMedia();
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string File(const std::string& name) { return dir_->file(name); }

protected:
    static inline TempDir* dir_ = nullptr;
};

// A server on the loopback that accepts one connection, sends the data and
// then stays silent until it is destroyed.
class StallingServer {
public:
    explicit StallingServer(std::string data = {}) : data_(std::move(data)) {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(socket_, 1) != 0)
            return;
        socklen_t len = sizeof addr;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&addr), &len);
        url_ = "tcp://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
        thread_ = std::thread([this] {
            const int c = ::accept(socket_, nullptr, nullptr);
            if (c < 0) return;
            if (!data_.empty()) ::send(c, data_.data(), data_.size(), MSG_NOSIGNAL);
            while (!quit_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ::close(c);
        });
    }
    ~StallingServer() {
        quit_ = true;
        if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        if (socket_ >= 0) ::close(socket_);
    }
    StallingServer(const StallingServer&) = delete;
    StallingServer& operator=(const StallingServer&) = delete;
    const std::string& url() const { return url_; }

private:
    std::string data_;
    int socket_ = -1;
    std::string url_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};
