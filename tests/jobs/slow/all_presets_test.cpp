// Every preset of the catalogue run by 'orvane join' on two short clips of
// different sizes (one stereo 44.1 kHz, one mono 48 kHz), judged by ffprobe.
#include "../cli_runner.h"
#include "../media_fixtures.h"
#include "catalogue.h"
#include "util_funcs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

namespace {

struct PresetCase {
    const TCatalogueFormat* Format;
    int Index;
};

std::string CaseName(const PresetCase& c) {
    const std::string name(c.Format->Format->Name);
    return (name == "3GP" ? "ThreeGP" : name) + "_" + std::to_string(c.Index);
}

void PrintTo(const PresetCase& c, std::ostream* os) { *os << CaseName(c); }

std::vector<PresetCase> AllPresets() {
    std::vector<PresetCase> cases;
    for (const auto& f : Catalogue())
        for (int i = 0; i < static_cast<int>(f.Presets.size()); ++i) cases.push_back({&f, i});
    return cases;
}

constexpr double FirstSeconds = 1.0, SecondSeconds = 1.2;

// What each preset is to write, taken from the product's preset tables and
// written out here on their own, so that a wrong value in the code's table
// cannot make its own expectation.
struct Expected {
    const char* Format;
    int Index;
    const char* VideoEncoder;  // nullptr: the container's or target's own
    const char* Size;          // nullptr: not set (the input's)
    int Target, TargetNorm;    // 1 VCD, 2 SVCD, 3 DVD; 1 PAL, 2 NTSC
    const char* AudioEncoder;  // nullptr: the container's own
    int SampleRate, Channels, AudioBitRate;  // 0: not set
};

const Expected kExpected[] = {
    {"WAV", 0, nullptr, nullptr, 0, 0, "pcm_s16le", 11025, 1, 0},
    {"WAV", 1, nullptr, nullptr, 0, 0, "pcm_s16le", 22050, 1, 0},
    {"WAV", 2, nullptr, nullptr, 0, 0, "pcm_s24le", 22050, 2, 0},
    {"WAV", 3, nullptr, nullptr, 0, 0, "pcm_s32le", 48000, 2, 0},
    {"WAV", 4, nullptr, nullptr, 0, 0, "pcm_s16le", 44000, 2, 0},
    {"MP3", 0, nullptr, nullptr, 0, 0, "libmp3lame", 44100, 2, 112000},
    {"MP3", 1, nullptr, nullptr, 0, 0, "libmp3lame", 48000, 2, 128000},
    {"MP3", 2, nullptr, nullptr, 0, 0, "libmp3lame", 48000, 2, 256000},
    {"MP3", 3, nullptr, nullptr, 0, 0, "libmp3lame", 48000, 2, 320000},
    {"WMA", 0, nullptr, nullptr, 0, 0, "wmav2", 48000, 2, 192000},
    {"WMA", 1, nullptr, nullptr, 0, 0, "wmav2", 44100, 2, 96000},
    {"WMA", 2, nullptr, nullptr, 0, 0, "wmav2", 44100, 2, 128000},
    {"WMA", 3, nullptr, nullptr, 0, 0, "wmav2", 44100, 2, 128000},
    {"WMA", 4, nullptr, nullptr, 0, 0, "wmav2", 48000, 2, 0},
    {"OGG", 0, nullptr, nullptr, 0, 0, "libvorbis", 11025, 0, 0},
    {"OGG", 1, nullptr, nullptr, 0, 0, "libvorbis", 22050, 0, 0},
    {"OGG", 2, nullptr, nullptr, 0, 0, "libvorbis", 22050, 0, 0},
    {"OGG", 3, nullptr, nullptr, 0, 0, "libvorbis", 44100, 0, 0},
    {"OGG", 4, nullptr, nullptr, 0, 0, "libvorbis", 48000, 0, 0},
    {"AAC", 0, nullptr, nullptr, 0, 0, "libfaac", 16000, 1, 96000},
    {"AAC", 1, nullptr, nullptr, 0, 0, "libfaac", 22500, 1, 112000},
    {"AAC", 2, nullptr, nullptr, 0, 0, "libfaac", 22500, 2, 224000},
    {"AAC", 3, nullptr, nullptr, 0, 0, "libfaac", 44100, 2, 256000},
    {"AAC", 4, nullptr, nullptr, 0, 0, "libfaac", 48000, 2, 256000},
    {"M4A", 0, nullptr, nullptr, 0, 0, nullptr, 44100, 2, 96000},
    {"M4A", 1, nullptr, nullptr, 0, 0, nullptr, 44800, 2, 256000},
    {"FLAC", 0, nullptr, nullptr, 0, 0, "flac", 0, 0, 0},
    {"FLAC", 1, nullptr, nullptr, 0, 0, "flac", 0, 0, 0},
    {"FLAC", 2, nullptr, nullptr, 0, 0, "flac", 0, 0, 0},
    {"FLAC", 3, nullptr, nullptr, 0, 0, "flac", 0, 0, 0},
    {"FLAC", 4, nullptr, nullptr, 0, 0, "flac", 0, 0, 0},
    {"FLAC", 5, nullptr, nullptr, 0, 0, "flac", 0, 0, 0},
    {"FLAC", 6, nullptr, nullptr, 0, 0, "flac", 0, 0, 0},
    {"FLAC", 7, nullptr, nullptr, 0, 0, "flac", 0, 0, 0},
    {"FLAC", 8, nullptr, nullptr, 0, 0, "flac", 0, 0, 0},
    {"MP2", 0, nullptr, nullptr, 0, 0, nullptr, 22050, 1, 96000},
    {"MP2", 1, nullptr, nullptr, 0, 0, nullptr, 22050, 1, 112000},
    {"MP2", 2, nullptr, nullptr, 0, 0, nullptr, 22050, 2, 128000},
    {"AVI", 0, "mpeg4", "1280x720", 0, 0, "libmp3lame", 44100, 2, 192000},
    {"AVI", 1, "libx264", "1920x1080", 0, 0, "libmp3lame", 44100, 2, 256000},
    {"AVI", 2, "mpeg4", nullptr, 0, 0, "libmp3lame", 44100, 2, 256000},
    {"AVI", 3, "mpeg4", nullptr, 0, 0, "libmp3lame", 44100, 2, 192000},
    {"AVI", 4, "mpeg4", nullptr, 0, 0, "libmp3lame", 44100, 2, 96000},
    {"AVI", 5, "mpeg4", "720x540", 0, 0, "libmp3lame", 44100, 2, 256000},
    {"AVI", 6, "mpeg4", "512x384", 0, 0, "libmp3lame", 44100, 2, 192000},
    {"AVI", 7, "mpeg4", "320x240", 0, 0, "libmp3lame", 44100, 2, 96000},
    {"AVI", 8, "libx264", nullptr, 0, 0, "libmp3lame", 44100, 2, 192000},
    {"AVI", 9, "libx264", nullptr, 0, 0, "libmp3lame", 44100, 2, 96000},
    {"AVI", 10, "mpeg4", "320x240", 0, 0, "libmp3lame", 44100, 2, 96000},
    {"AVI", 11, "mpeg4", "240x180", 0, 0, "libmp3lame", 44100, 2, 96000},
    {"AVI", 12, "mpeg4", nullptr, 0, 0, "libmp3lame", 44100, 2, 192000},
    {"AVI", 13, "mpeg4", "480x272", 0, 0, "libmp3lame", 44100, 2, 128000},
    {"AVI", 14, "mpeg4", "720x480", 0, 0, "libmp3lame", 44100, 2, 192000},
    {"AVI", 15, "mpeg4", "640x480", 0, 0, "libmp3lame", 44100, 2, 192000},
    {"AVI", 16, "mpeg4", "320x240", 0, 0, "libmp3lame", 44100, 2, 128000},
    {"AVI", 17, "mpeg4", "720x480", 0, 0, "libmp3lame", 44100, 2, 705000},
    {"AVI", 18, "mpeg4", "320x240", 0, 0, "libmp3lame", 44100, 2, 96000},
    {"AVI", 19, "mpeg4", "320x240", 0, 0, "libmp3lame", 44100, 2, 96000},
    {"AVI", 20, "mpeg4", "160x120", 0, 0, "libmp3lame", 44100, 2, 128000},
    {"AVI", 21, "mjpeg", "640x480", 0, 0, "pcm_s16le", 44100, 2, 1411000},
    {"AVI", 22, "mpeg4", "640x480", 0, 0, "libmp3lame", 44100, 2, 128000},
    {"AVI", 23, "mpeg4", "320x240", 0, 0, "libmp3lame", 44100, 2, 96000},
    {"AVI", 24, "mpeg4", "640x480", 0, 0, "libmp3lame", 44100, 2, 128000},
    {"AVI", 25, "mpeg4", "320x240", 0, 0, "libmp3lame", 44100, 2, 128000},
    {"AVI", 26, "mpeg4", "320x240", 0, 0, "libmp3lame", 44100, 2, 128000},
    {"AVI", 27, "mpeg4", nullptr, 0, 0, "libmp3lame", 44100, 2, 192000},
    {"AVI", 28, "rawvideo", nullptr, 0, 0, "pcm_s16le", 44100, 2, 1411000},
    {"MP4", 0, "libx264", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
    {"MP4", 1, "libx264", "640x480", 0, 0, "libfaac", 44100, 2, 128000},
    {"MP4", 2, "mpeg4", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
    {"MP4", 3, "libx264", "640x420", 0, 0, "libfaac", 44100, 2, 128000},
    {"MP4", 4, "libx264", "848x480", 0, 0, "libfaac", 48000, 2, 256000},
    {"MP4", 5, "libx264", "848x480", 0, 0, "libfaac", 48000, 2, 256000},
    {"MP4", 6, "libx264", "848x480", 0, 0, "libfaac", 48000, 2, 768000},
    {"MP4", 7, "libx264", "368x208", 0, 0, "libfaac", 48000, 2, 128000},
    {"MP4", 8, "libx264", "480x272", 0, 0, "libfaac", 48000, 2, 128000},
    {"MP4", 9, "mpeg4", "640x480", 0, 0, "libfaac", 24000, 2, 96000},
    {"MP4", 10, "mpeg4", "320x240", 0, 0, "libfaac", 22050, 2, 64000},
    {"MP4", 11, "mpeg4", "720x480", 0, 0, "libfaac", 48000, 2, 96000},
    {"MP4", 12, "mpeg4", "176x144", 0, 0, "libfaac", 44100, 2, 96000},
    {"MP4", 13, "mpeg4", "128x96", 0, 0, "libfaac", 22050, 2, 56000},
    {"MP4", 14, "mpeg4", nullptr, 0, 0, "libfaac", 48000, 2, 256000},
    {"MP4", 15, "mpeg4", nullptr, 0, 0, "libfaac", 48000, 2, 192000},
    {"MP4", 16, "mpeg4", nullptr, 0, 0, "libfaac", 48000, 2, 128000},
    {"MP4", 17, "mpeg4", "640x480", 0, 0, "libfaac", 48000, 2, 128000},
    {"MP4", 18, "mpeg4", "320x240", 0, 0, "libfaac", 48000, 2, 96000},
    {"MP4", 19, "libx264", nullptr, 0, 0, "aac", 48000, 2, 192000},
    {"MP4", 20, "libx265", nullptr, 0, 0, "aac", 48000, 2, 192000},
    {"MP4", 22, "libsvtav1", nullptr, 0, 0, "aac", 48000, 2, 192000},
    {"MKV", 1, "libx264", nullptr, 0, 0, "aac", 48000, 2, 192000},
    {"MKV", 2, "libx265", nullptr, 0, 0, "libopus", 48000, 2, 128000},
    {"MKV", 3, "libsvtav1", nullptr, 0, 0, "libopus", 48000, 2, 128000},
    {"WebM", 1, "libvpx-vp9", nullptr, 0, 0, "libopus", 48000, 2, 128000},
    {"WebM", 2, "libsvtav1", nullptr, 0, 0, "libopus", 48000, 2, 128000},
    {"WebM", 3, "libsvtav1", "1280x720", 0, 0, "libopus", 48000, 2, 96000},
    {"FLV", 0, "libx264", nullptr, 0, 0, nullptr, 44100, 2, 160000},
    {"FLV", 1, "libx264", nullptr, 0, 0, nullptr, 44100, 2, 160000},
    {"FLV", 2, nullptr, "352x288", 0, 0, nullptr, 22050, 2, 64000},
    {"FLV", 3, nullptr, "320x240", 0, 0, nullptr, 11025, 2, 48000},
    {"FLV", 4, nullptr, "276x144", 0, 0, nullptr, 11025, 1, 24000},
    {"SWF", 0, nullptr, nullptr, 0, 0, nullptr, 44100, 2, 160000},
    {"SWF", 1, nullptr, nullptr, 0, 0, nullptr, 44100, 2, 112000},
    {"SWF", 2, nullptr, "352x288", 0, 0, nullptr, 22050, 2, 64000},
    {"SWF", 3, nullptr, "320x240", 0, 0, nullptr, 11025, 2, 48000},
    {"SWF", 4, nullptr, "176x144", 0, 0, nullptr, 11025, 1, 24000},
    {"MPEG", 0, "mpeg2video", "1920x1080", 0, 0, "mp2", 48000, 2, 224000},
    {"MPEG", 1, "mpeg2video", "1280x720", 0, 0, "mp2", 48000, 2, 224000},
    {"MPEG", 2, nullptr, nullptr, 3, 2, "mp2", 48000, 2, 224000},
    {"MPEG", 3, nullptr, nullptr, 3, 1, "mp2", 48000, 2, 224000},
    {"MPEG", 4, "mpeg1video", nullptr, 0, 0, "mp2", 44100, 2, 224000},
    {"MPEG", 5, "mpeg2video", nullptr, 0, 0, "mp2", 44100, 2, 224000},
    {"MPEG", 6, "mpeg1video", "720x480", 0, 0, "mp2", 44100, 2, 128000},
    {"MPEG", 7, "mpeg1video", "720x480", 0, 0, "mp2", 44100, 2, 128000},
    {"MPEG", 8, "mpeg1video", "320x240", 0, 0, "mp2", 44100, 2, 112000},
    {"MPEG", 9, "mpeg1video", "720x480", 0, 0, "mp2", 44100, 2, 192000},
    {"MPEG", 10, nullptr, nullptr, 2, 2, "mp2", 44100, 2, 224000},
    {"MPEG", 11, nullptr, nullptr, 2, 1, "mp2", 44100, 2, 224000},
    {"MPEG", 12, nullptr, nullptr, 1, 2, "mp2", 44100, 2, 224000},
    {"MPEG", 13, nullptr, nullptr, 1, 1, "mp2", 44100, 2, 224000},
    {"RM", 0, "rv20", nullptr, 0, 0, nullptr, 0, 0, 0},
    {"RM", 1, "rv20", nullptr, 0, 0, nullptr, 0, 0, 0},
    {"RM", 2, "rv20", nullptr, 0, 0, nullptr, 0, 0, 0},
    {"RM", 3, "rv20", nullptr, 0, 0, nullptr, 0, 0, 0},
    {"RM", 4, "rv20", nullptr, 0, 0, nullptr, 0, 0, 0},
    {"WMV", 0, "wmv2", "1920x1080", 0, 0, "wmav2", 48000, 2, 384000},
    {"WMV", 1, "wmv2", "1280x720", 0, 0, "wmav2", 48000, 2, 384000},
    {"WMV", 2, "wmv2", "320x240", 0, 0, "wmav2", 44100, 2, 192000},
    {"WMV", 3, "wmv2", "320x240", 0, 0, "wmav2", 44100, 2, 128000},
    {"WMV", 4, "wmv2", "192x144", 0, 0, "wmav2", 32000, 2, 48000},
    {"WMV", 5, "wmv2", "352x288", 0, 0, "wmav2", 44100, 2, 128000},
    {"WMV", 6, "wmv2", "320x240", 0, 0, "wmav2", 44100, 2, 128000},
    {"WMV", 7, "wmv2", "352x288", 0, 0, "wmav2", 44100, 2, 96000},
    {"WMV", 8, "wmv2", "480x272", 0, 0, "wmav2", 44100, 2, 192000},
    {"WMV", 9, "wmv2", "320x240", 0, 0, "wmav2", 44100, 2, 128000},
    {"WMV", 10, "wmv2", "320x240", 0, 0, "wmav2", 44100, 2, 128000},
    {"WMV", 11, "wmv2", "352x288", 0, 0, "wmav2", 44100, 2, 128000},
    {"WMV", 12, "wmv2", "320x240", 0, 0, "wmav2", 48000, 2, 128000},
    {"WMV", 13, "wmv2", "320x240", 0, 0, "wmav2", 44100, 2, 128000},
    {"WMV", 14, "wmv2", "320x240", 0, 0, "wmav2", 44100, 2, 96000},
    {"WMV", 15, "wmv2", "320x240", 0, 0, "wmav2", 48000, 2, 196000},
    {"WMV", 16, "wmv2", "320x240", 0, 0, "wmav2", 44100, 2, 128000},
    {"WMV", 17, "wmv2", "320x240", 0, 0, "wmav2", 44100, 2, 96000},
    {"MOV", 0, "libx264", nullptr, 0, 0, "libfaac", 48000, 2, 320000},
    {"MOV", 1, "libx264", "848x480", 0, 0, "libfaac", 48000, 2, 320000},
    {"MOV", 2, "libx264", "720x576", 0, 0, "libfaac", 48000, 2, 320000},
    {"MOV", 3, "mjpeg", nullptr, 0, 0, "libmp3lame", 44100, 2, 256000},
    {"MOV", 4, "h263", "352x288", 0, 0, "libmp3lame", 44100, 2, 128000},
    {"MOV", 5, "mpeg4", nullptr, 0, 0, "libmp3lame", 44100, 2, 192000},
    {"MOV", 6, "h263", "176x144", 0, 0, "libmp3lame", 44100, 2, 128000},
    {"MOV", 7, "mpeg4", nullptr, 0, 0, "libmp3lame", 44100, 2, 96000},
    {"MOV", 8, "svq1", nullptr, 0, 0, "libmp3lame", 44100, 2, 96000},
    {"MOV", 9, "svq1", nullptr, 0, 0, "adpcm_ima_qt", 44100, 2, 352000},
    {"MOV", 10, "libx264", nullptr, 0, 0, "aac", 48000, 2, 192000},
    {"MOV", 11, "libx265", nullptr, 0, 0, "aac", 48000, 2, 192000},
    {"3GP", 0, "h263", "176x144", 0, 0, nullptr, 8000, 1, 12200},
    {"3GP", 1, "mpeg4", "176x144", 0, 0, "libfaac", 32000, 1, 64000},
    {"3GP", 2, "mpeg4", "176x144", 0, 0, nullptr, 8000, 1, 12200},
    {"3GP", 3, "h263", "128x96", 0, 0, nullptr, 8000, 1, 10200},
    {"3GP", 4, "mpeg4", "128x96", 0, 0, nullptr, 8000, 1, 6700},
    {"iPod", 0, "libx264", "640x480", 0, 0, "libfaac", 48000, 2, 160000},
    {"iPod", 1, "libx264", "480x320", 0, 0, "libfaac", 48000, 2, 160000},
    {"iPod", 2, "libx264", "480x320", 0, 0, "libfaac", 44100, 2, 128000},
    {"iPod", 3, "libx264", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
    {"iPod", 4, "libx264", "320x240", 0, 0, "libfaac", 48000, 2, 160000},
    {"iPod", 5, "libx264", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
    {"iPod", 6, "libx264", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
    {"iPod", 7, "libx264", "320x240", 0, 0, "libfaac", 48000, 2, 160000},
    {"iPod", 8, "libx264", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
    {"iPod", 9, "libx264", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
    {"iPhone", 0, "libx264", "640x480", 0, 0, "libfaac", 48000, 2, 160000},
    {"iPhone", 1, "libx264", "480x320", 0, 0, "libfaac", 44100, 2, 128000},
    {"iPhone", 2, "libx264", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
    {"AppleTV", 0, "libx264", "640x480", 0, 0, "libfaac", 48000, 2, 160000},
    {"AppleTV", 1, "libx264", "720x540", 0, 0, "libfaac", 44100, 2, 128000},
    {"AppleTV", 2, "libx264", "480x360", 0, 0, "libfaac", 44100, 2, 128000},
    {"PSP", 0, "libx264", "480x272", 0, 0, "libfaac", 48000, 2, 160000},
    {"PSP", 1, "libx264", "368x208", 0, 0, "libfaac", 44100, 2, 128000},
    {"PSP", 2, "libx264", "368x208", 0, 0, "libfaac", 44100, 2, 128000},
    {"BlackBerry", 0, "libx264", "640x480", 0, 0, "libfaac", 48000, 2, 160000},
    {"BlackBerry", 1, "libx264", "480x320", 0, 0, "libfaac", 44100, 2, 128000},
    {"BlackBerry", 2, "libx264", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
    {"MobilePhone", 0, "mpeg4", "320x240", 0, 0, "libfaac", 48000, 2, 192000},
    {"MobilePhone", 1, "mpeg4", "176x144", 0, 0, "libfaac", 44100, 2, 128000},
    {"MobilePhone", 2, "mpeg4", "176x144", 0, 0, "libfaac", 32000, 2, 96000},
    {"MobilePhone", 3, "mpeg4", "128x96", 0, 0, "libfaac", 22050, 2, 64000},
    {"iPad", 0, "libx264", "640x480", 0, 0, "libfaac", 48000, 2, 160000},
    {"iPad", 1, "libx264", "480x320", 0, 0, "libfaac", 44100, 2, 128000},
    {"iPad", 2, "libx264", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
    {"Android", 0, "libx264", "640x480", 0, 0, "libfaac", 48000, 2, 160000},
    {"Android", 1, "libx264", "480x320", 0, 0, "libfaac", 44100, 2, 128000},
    {"Android", 2, "libx264", "320x240", 0, 0, "libfaac", 44100, 2, 128000},
};

const Expected& ExpectedOf(const std::string& format, int index) {
    for (const Expected& e : kExpected)
        if (format == e.Format && index == e.Index) return e;
    ADD_FAILURE() << "no expectation for " << format << " " << index;
    return kExpected[0];
}

// The two clips, made once for all the test processes that ctest starts.
std::pair<std::string, std::string> Inputs() {
    const std::string folder = std::string(OV_BIN_DIR) + "/../tests/jobs_preset_clips";
    std::filesystem::create_directories(folder);
    auto make = [&](const std::string& name, double seconds, int w, int h, int rate, int channels) {
        const std::string path = folder + "/" + name;
        if (!FileExists(path)) {
            const std::string part = path + "." + std::to_string(::getpid()) + ".mp4";
            EXPECT_TRUE(MakeClip(part, seconds, w, h, rate, channels));
            std::filesystem::rename(part, path);
        }
        return path;
    };
    return {make("first.mp4", FirstSeconds, 320, 240, 44100, 2), make("second.mp4", SecondSeconds, 176, 144, 48000, 1)};
}

// What ffprobe calls the container of each format.
const std::map<std::string, std::string> Containers = {
    {"AVI", "avi"},  {"FLV", "flv"},   {"SWF", "swf"},   {"MPEG", "mpeg"}, {"RM", "rm"},   {"WMV", "asf"},
    {"WAV", "wav"},  {"MP3", "mp3"},   {"WMA", "asf"},   {"OGG", "ogg"},   {"AAC", "aac"}, {"FLAC", "flac"},
    {"MP2", "mp3"},  // layer 2 files are read by the MPEG audio demuxer
    {"MKV", "matroska"}, {"WebM", "webm"},
};

// The codec ffprobe reports for an encoder of the presets.
std::string CodecOf(const std::string& encoder) {
    if (encoder == "libx264") return "h264";
    if (encoder == "libx265") return "hevc";
    if (encoder == "libtheora") return "theora";
    if (encoder == "libsvtav1") return "av1";
    if (encoder == "libvpx-vp9") return "vp9";
    if (encoder == "libopus") return "opus";
    return encoder;
}

// A preset without a video codec gets its container's (or its target's).
std::string DefaultVideoCodec(const std::string& format, const Expected& p) {
    if (format == "FLV" || format == "SWF") return "flv1";
    if (format == "RM") return "rv10";
    if (p.Target == 1) return "mpeg1video";
    if (p.Target == 2 || p.Target == 3) return "mpeg2video";
    return "?";
}

// The picture size of the DVD, SVCD and VCD targets by norm (1 PAL, 2 NTSC).
std::string TargetSize(const Expected& p) {
    const bool pal = p.TargetNorm == 1;
    switch (p.Target) {
        case 1: return pal ? "352x288" : "352x240";
        case 2: return pal ? "480x576" : "480x480";
        case 3: return pal ? "720x576" : "720x480";
        default: return {};
    }
}

// The length of a file that states none: its pictures over their rate.
double CountedVideoSeconds(const std::string& file) {
    const auto json = FFprobeJson("-count_frames -select_streams v:0 -show_entries stream=nb_read_frames,r_frame_rate", file);
    if (!json.is_object() || json["streams"].empty()) return -1;
    const auto& s = json["streams"][0];
    const double frames = std::stod(s.value("nb_read_frames", "0"));
    const std::string rate = s.value("r_frame_rate", "0/1");
    const double num = std::stod(rate.substr(0, rate.find('/'))), den = std::stod(rate.substr(rate.find('/') + 1));
    return num > 0 && den > 0 ? frames * den / num : -1;
}

// The sample rate an encoder writes for the one asked: AAC takes only its
// fixed rates and moves any other to the nearest of them.
int WrittenSampleRate(const Expected& p, const std::string& codec) {
    if (codec != "aac") return p.SampleRate;
    static const int kAacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};
    int best = kAacRates[0];
    for (const int rate : kAacRates)
        if (std::abs(rate - p.SampleRate) < std::abs(best - p.SampleRate)) best = rate;
    return best;
}

// The bit rate of the first sound stream from its packets, for a container
// that states none (Matroska).
std::string PacketBitRate(const std::string& file) {
    const auto json = FFprobeJson("-select_streams a:0 -show_entries packet=size,duration_time", file);
    if (!json.is_object() || !json.contains("packets")) return {};
    double bytes = 0, seconds = 0;
    for (const auto& packet : json["packets"]) {
        bytes += std::stod(packet.value("size", "0"));
        seconds += std::stod(packet.value("duration_time", "0"));
    }
    return seconds > 0 ? std::to_string(bytes * 8 / seconds) : std::string();
}

void CheckAudio(const Expected& p, const nlohmann::json& audio, const std::string& file) {
    const std::string codec = audio.value("codec_name", "");
    if (p.SampleRate != 0) {
        EXPECT_EQ(std::stoi(audio.value("sample_rate", "0")), WrittenSampleRate(p, codec)) << codec;
    }
    if (p.Channels != 0) {
        EXPECT_EQ(audio.value("channels", 0), p.Channels) << codec;
    }
    // A target's profile sets its own rates, and PCM and ADPCM have the one
    // rate their sample format gives; the others are held to the rate asked.
    if (p.AudioBitRate != 0 && p.Target == 0 && !codec.starts_with("pcm_") && !codec.starts_with("adpcm_")) {
        std::string text = audio.value("bit_rate", "");
        if (text.empty()) text = PacketBitRate(file);
        ASSERT_FALSE(text.empty()) << codec << " states no bit rate";
        const double written = std::stod(text);
        if (codec == "opus") {
            // Opus spends what the sound needs, a little above the rate
            // asked on a short clip.
            EXPECT_LE(written, p.AudioBitRate * 1.25) << codec;
            EXPECT_GE(written, p.AudioBitRate * 0.2) << codec;
        } else if (codec == "aac") {
            // The AAC encoder takes at most 6144 bits a frame and channel, and
            // spends less than it is given on simple sound: a rate above the
            // one asked, or far below it, still shows a preset gone wrong.
            const double cap = 6144.0 * std::stoi(audio.value("sample_rate", "0")) / 1024 * audio.value("channels", 0);
            const double asked = std::min<double>(p.AudioBitRate, cap);
            EXPECT_LE(written, asked * 1.1) << codec;
            EXPECT_GE(written, asked * 0.4) << codec;
        } else {
            EXPECT_NEAR(written, p.AudioBitRate, p.AudioBitRate * (codec == "vorbis" ? 0.25 : 0.05)) << codec;
        }
    }
}

class PresetJoin : public ::testing::TestWithParam<PresetCase> {};

}  // namespace

TEST_P(PresetJoin, WritesTheFormatsFileWithThePresetsStreams) {
    const auto [format, index] = GetParam();
    const std::string name(format->Format->Name);
    // The two clips differ, so a preset that copies re-encodes what differs
    // when allowed to: to the second clip's parameters (it is the longer), or
    // with the format's high-quality preset where they cannot be kept.
    const bool copying = IsSameAsSource({format->Format->Id, index});
    const Expected& p = ExpectedOf(name, copying ? HighQualityPreset(format->Format->Id) : index);
    const auto [first, second] = Inputs();
    TempDir home;
    const std::string out = home.file("out");
    std::vector<std::string> args = {"join", "--format", name, "--preset", std::to_string(index), "-o", out};
    if (copying) args.push_back("--reencode-if-needed");
    args.insert(args.end(), {first, second});
    const CliResult r = RunOrvane(args, home.path());
    ASSERT_EQ(r.Status, 0) << r.Err;
    if (copying) {
        EXPECT_NE(r.Err.find(" re-encoded "), std::string::npos) << r.Err;
    }
    const bool soundKept = copying && r.Err.find("sound re-encoded with \"") == std::string::npos;
    const std::string file = out + "/Output_Merge" + std::string(format->Extension);
    const auto probe = Probe(file);
    ASSERT_TRUE(probe.is_object()) << file << " cannot be read";

    const std::string container = probe["format"].value("format_name", "");
    const auto known = Containers.find(name);
    const std::string expected = known != Containers.end() ? known->second : "mp4";  // MP4, MOV, 3GP, devices, M4A
    EXPECT_NE(("," + container + ",").find("," + expected + ","), std::string::npos) << container;

    const auto video = StreamOf(probe, "video");
    if (format->Format->Id.Class == fcAudio) {
        EXPECT_TRUE(video.is_null()) << "audio formats write no picture";
    } else {
        ASSERT_FALSE(video.is_null());
        const std::string codec = p.VideoEncoder ? CodecOf(p.VideoEncoder) : DefaultVideoCodec(name, p);
        EXPECT_EQ(video.value("codec_name", ""), codec);
        const std::string size = p.Size ? p.Size : TargetSize(p);
        if (!size.empty()) {
            EXPECT_EQ(std::to_string(video.value("width", 0)) + "x" + std::to_string(video.value("height", 0)), size);
        }
    }
    const auto audio = StreamOf(probe, "audio");
    ASSERT_FALSE(audio.is_null()) << "no audio stream";
    if (soundKept) {
        EXPECT_EQ(audio.value("sample_rate", ""), "48000");
        EXPECT_EQ(audio.value("channels", 0), 1);
    } else {
        CheckAudio(p, audio, file);
    }
    double seconds = DurationOf(probe);
    if (seconds < 0 && !video.is_null()) seconds = CountedVideoSeconds(file);  // SWF stores no duration
    EXPECT_NEAR(seconds, FirstSeconds + SecondSeconds, 0.5);
}

INSTANTIATE_TEST_SUITE_P(All, PresetJoin, ::testing::ValuesIn(AllPresets()),
                         [](const ::testing::TestParamInfo<PresetCase>& param) { return CaseName(param.param); });
