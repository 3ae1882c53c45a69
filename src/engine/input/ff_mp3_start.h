#pragma once
// Where the sound of an MP3 file starts. Files from some devices and
// download tools carry bytes before the first MP3 frame (a broken tag, the
// rest of another file); the libraries' probe may then take the junk for
// another format, or decode it as noise. A file named ".mp3" whose frames
// start further in is read as MP3 from its first real frame.
#include <cstddef>
#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVInputFormat;

// The offset of the first of several MPEG audio frames that follow one
// another in data; -1 when there is no such run.
int64_t FirstMpegAudioFrames(const uint8_t* data, size_t size);

// For a file named ".mp3" that does not start with a tag or a frame: the
// number of junk bytes before its first real frame, else 0.
int64_t Mp3JunkBytes(const std::string& fileName);

// Makes ic skip those bytes and read the file as MP3 (format is set to the
// MP3 reader); does nothing for other files.
void SkipMp3Junk(AVFormatContext* ic, const std::string& fileName, const AVInputFormat*& format);
