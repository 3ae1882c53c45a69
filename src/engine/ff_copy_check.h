#pragma once
// Whether files can be joined by copying their streams: every file must carry
// the same streams, coded the same way, as the first one, and the output
// format must hold their codecs. The check is a plain function of the files'
// stream descriptions; describing a file opens it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum TStreamKind : int { skOther, skVideo, skAudio, skSubtitle };

// A ratio as the libraries keep it; 0/x or x/0 is unknown.
struct TRatio {
    int Num = 0;
    int Den = 1;
};

// One stream as a copy join compares it.
struct TCopyStreamDesc {
    TStreamKind Kind = skOther;
    std::string Codec;  // the libraries' short codec name ("h264")
    uint32_t Tag = 0;
    int Profile = -99;  // FF_PROFILE_UNKNOWN
    std::string ProfileName;
    std::vector<uint8_t> PrivateData;  // the codec's extradata
    // Pictures.
    int Width = 0, Height = 0;
    std::string PixelFormat;
    TRatio SampleAspect;
    int FieldOrder = 0;  // AVFieldOrder
    double FrameRate = 0;
    // Sound.
    int SampleRate = 0;
    int Channels = 0;
    std::string Layout;
    std::string SampleFormat;
};

struct TCopyFileDesc {
    std::string Name;  // the file name shown in messages (no folder)
    std::vector<TCopyStreamDesc> Streams;
};

// The lines that say why the files cannot be joined by copying, one per
// difference, each naming the file, what differs and the first file's value,
// for example "clip2.mp4: frame size 1280x720, first file 1920x1080".
// formatHolds tells whether the output format takes a codec; formatName
// names that format in the messages. No lines: they can be copied.
std::vector<std::string> CheckCopyJoin(const std::vector<TCopyFileDesc>& files,
                                       const std::function<bool(const std::string& codec)>& formatHolds,
                                       const std::string& formatName);

// Opens a file and describes its video, sound and subtitle streams (cover
// pictures left out). False with the reason in error when it cannot be read.
bool DescribeCopyStreams(const std::string& path, TCopyFileDesc& file, std::string& error);

// Whether the format the output file name (or the named format) stands for
// can carry the codec (a short name, as in TCopyStreamDesc) when it is copied.
bool OutputFormatHolds(const std::string& fileName, const std::string& formatName, const std::string& codec);
