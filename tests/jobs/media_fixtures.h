#pragma once
// Small media files made at test time with the ffmpeg program, and the
// engine's libraries loaded once per test program.
#include "ff_libraries.h"

#include <cstdlib>
#include <string>

// Loads the engine's libraries (system library path); true when loaded.
inline bool LoadEngineLibraries() {
    std::string error;
    static const bool loaded = LoadCodecLibraries("", error);
    return loaded;
}

inline bool RunShell(const std::string& command) { return std::system(command.c_str()) == 0; }

inline std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A video clip with a test picture and a tone.
inline bool MakeClip(const std::string& path, double seconds, int width, int height, int sampleRate = 44100,
                     int channels = 2, int fps = 25) {
    const std::string t = std::to_string(seconds);
    return RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=" + std::to_string(width) + "x" +
                    std::to_string(height) + ":rate=" + std::to_string(fps) + ":duration=" + t +
                    " -f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(sampleRate) + ":duration=" + t +
                    " -ac " + std::to_string(channels) + " -c:v mpeg4 -q:v 5 -c:a aac -shortest " + Quoted(path));
}

// Silence as 8 kHz 8-bit WAV: long durations in small files.
inline bool MakeSilence(const std::string& path, double seconds) {
    return RunShell("ffmpeg -v error -y -f lavfi -i anullsrc=r=8000:cl=mono -t " + std::to_string(seconds) +
                    " -c:a pcm_u8 -f wav " + Quoted(path));
}
