#pragma once
// Runs the built 'orvane' in a fresh home (no settings of the machine), with
// standard output and standard error kept apart, and reads outputs back with
// ffprobe.
#include "../common/temp_dir.h"

#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct CliResult {
    int Status = -1;  // -1: ended by a signal
    int Signal = 0;   // the signal that ended it
    std::string Out, Err;
    long PeakKb = 0;  // its peak memory (maximum resident set size)
};

// The exit status of a child that, run as nobody, cannot reach the program.
inline constexpr int CliUnreachable = 125;

// What the program may use.
struct CliLimits {
    long FileSize = 0;   // > 0: no file it writes may grow beyond it, as on a full disk
    long OpenFiles = 0;  // > 0: its open-file limit
    // Runs as "nobody" when the test runs as root, so that folder permissions hold.
    bool Unprivileged = false;
};

class CliRun {
public:
    // fileSizeLimit > 0: no file the program writes may grow beyond it, as on
    // a disk that is full.
    CliRun(const std::vector<std::string>& args, const std::string& home, long fileSizeLimit = 0)
        : CliRun(args, home, CliLimits{fileSizeLimit}) {}
    CliRun(const std::vector<std::string>& args, const std::string& home, const CliLimits& limits)
        : outPath_(home + "/cli.out"), errPath_(home + "/cli.err") {
        std::vector<std::string> all = {std::string(OV_BIN_DIR) + "/orvane"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                                        "XDG_DOCUMENTS_DIR=" + home + "/Documents", "LC_ALL=C"};
        // A sanitizer build's child runs with the test's sanitizer options.
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
            if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (limits.FileSize > 0) {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{static_cast<rlim_t>(limits.FileSize), static_cast<rlim_t>(limits.FileSize)};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            if (limits.OpenFiles > 0) {
                const rlimit limit{static_cast<rlim_t>(limits.OpenFiles), static_cast<rlim_t>(limits.OpenFiles)};
                if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
            }
            if (limits.Unprivileged && ::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(126);
            // The build folder may lie where nobody cannot reach (a clone in /root).
            if (limits.Unprivileged && ::access(argv[0], X_OK) != 0) ::_exit(CliUnreachable);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(out);
        ::close(err);
        ::close(in);
    }
    void Interrupt(int sig = SIGINT) { ::kill(pid_, sig); }
    std::string Err() const { return ReadWholeFile(errPath_); }
    CliResult Wait() {
        int status = 0;
        rusage usage{};
        ::wait4(pid_, &status, 0, &usage);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0,
                ReadWholeFile(outPath_), ReadWholeFile(errPath_), usage.ru_maxrss};
    }

private:
    std::string outPath_, errPath_;
    pid_t pid_ = -1;
};

inline CliResult RunOrvane(const std::vector<std::string>& args, const std::string& home, long fileSizeLimit = 0) {
    return CliRun(args, home, fileSizeLimit).Wait();
}
inline CliResult RunOrvane(const std::vector<std::string>& args, const std::string& home, const CliLimits& limits) {
    return CliRun(args, home, limits).Wait();
}

// The JSON that ffprobe prints with these arguments; null when it fails.
inline nlohmann::json FFprobeJson(const std::string& arguments, const std::string& path) {
    const std::string command = "ffprobe -v error -of json " + arguments + " '" + path + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return nullptr;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
    if (::pclose(pipe) != 0) return nullptr;
    return nlohmann::json::parse(text, nullptr, false);
}

// ffprobe's view of a file: format and streams; null when it cannot read it.
inline nlohmann::json Probe(const std::string& path) { return FFprobeJson("-show_format -show_streams", path); }

// The first stream of a kind ("video", "audio"); null when there is none.
inline nlohmann::json StreamOf(const nlohmann::json& probe, const std::string& kind) {
    if (probe.is_object() && probe.contains("streams"))
        for (const auto& s : probe["streams"])
            if (s.value("codec_type", "") == kind) return s;
    return nullptr;
}

inline double DurationOf(const nlohmann::json& probe) {
    if (!probe.is_object() || !probe.contains("format")) return -1;
    return std::stod(probe["format"].value("duration", "-1"));
}

// A file name as one word of a shell command.
inline std::string ShellWord(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// What a shell command prints on its standard output.
inline std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    ::pclose(pipe);
    return out;
}

// What the decoder says about the whole file: nothing when it decodes cleanly.
inline std::string DecoderMessages(const std::string& file) {
    return Capture("ffmpeg -nostdin -v error -i " + ShellWord(file) + " -f null - 2>&1");
}

// A stream's stated duration in seconds; -1 when it has none.
inline double StreamLength(const nlohmann::json& probe, const std::string& kind) {
    const auto s = StreamOf(probe, kind);
    return s.is_null() ? -1 : std::stod(s.value("duration", "-1"));
}

// The packets' checksums of one kind of stream ("v", "a").
inline std::vector<std::string> PacketSums(const std::string& file, const std::string& kind) {
    std::vector<std::string> sums;
    std::istringstream lines(Capture("ffmpeg -nostdin -v error -i " + ShellWord(file) + " -map 0:" + kind +
                                     " -c copy -f framemd5 - 2>/dev/null"));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#') sums.push_back(line.substr(line.rfind(',') + 1));
    return sums;
}
