#pragma once
// The media probe: opens one file, reports its container and stream facts,
// seeks, decodes one video picture and turns it into a bitmap. A task binds one
// to each of its opened inputs without letting it own the container.
//
// The library's objects live in TDecoderState, private to the engine; the
// engine binds a task's container through TDecoderAccess.
#include "ff_bitmap.h"
#include "ff_component.h"
#include "ff_logger.h"

#include <cstdint>
#include <memory>
#include <string>

struct TDecoderState;
struct TDecoderAccess;

struct TFileStreamInfo {
    int64_t StartTime = -1;  // microseconds
    int64_t Duration = -1;   // microseconds
    int32_t BitRate = -1;
    int64_t TimeStamp = -1;
    int32_t Year = -1;
    int32_t Track = -1;
    std::string Title;
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

struct TAudioStreamInfo {
    std::string Language;
    std::string CodecName;
    int64_t StartTime = -1;  // stream time base
    int64_t StartTimeUs = -1;
    int64_t Duration = -1;  // stream time base
    int64_t DurationUs = -1;
    int32_t BitRate = -1;
    int32_t Channels = -1;
    int32_t SampleRate = -1;
    int32_t SampleFormat = -1;
};

struct TVideoStreamInfo {
    std::string Language;
    std::string CodecName;
    int64_t StartTime = -1;
    int64_t StartTimeUs = -1;
    int64_t Duration = -1;
    int64_t DurationUs = -1;
    int32_t BitRate = -1;
    int32_t Height = -1;
    int32_t Width = -1;
    float DisplayAspectRatio = -1.0f;
    int32_t PixelFormat = -1;
    int32_t FrameRateNum = -1;
    int32_t FrameRateDen = -1;
};

class TCustomDecoder : public TFFBaseComponent {
public:
    TCustomDecoder();
    ~TCustomDecoder() override;
    TCustomDecoder(const TCustomDecoder&) = delete;
    TCustomDecoder& operator=(const TCustomDecoder&) = delete;

    // Recomputes the facts from the container.
    virtual void ScanStreams();
    virtual void CloseFile();

    // Closes any open file, opens and probes the new one.
    bool LoadFile(const std::string& fileName, const std::string& formatName = {});
    TFileStreamInfo GetFileStreamInfo();
    TAudioStreamInfo GetAudioStreamInfo(int streamIndex = -1);
    TVideoStreamInfo GetVideoStreamInfo(int streamIndex = -1);
    std::string FileName() const;

    const std::string& LastErrorMessage() const { return lastError_; }
    // A container is bound (opened here or lent by a task).
    bool IsOpen() const;
    bool OwnsContainer() const;
    int64_t FileSize() const { return fileSize_; }
    int StreamCount() const { return streamCount_; }
    int ProgramCount() const { return programCount_; }
    int AudioStreamCount() const { return audioCount_; }
    int VideoStreamCount() const { return videoCount_; }
    int SubtitleStreamCount() const { return subtitleCount_; }
    int FirstAudioStream() const { return firstAudio_; }
    int FirstVideoStream() const { return firstVideo_; }
    int FirstSubtitleStream() const { return firstSubtitle_; }

protected:
    // The message becomes LastErrorMessage and goes to the log at the level.
    void Report(TLogLevel level, const std::string& message);
    // The stream of that index (-1: the first of the kind) is of the kind;
    // false with the message reported otherwise.
    bool CheckStreamOfKind(int& streamIndex, int kind);

    std::unique_ptr<TDecoderState> state_;
    std::string formatName_;
    std::string lastError_;

private:
    friend struct TDecoderAccess;
    void ClearFacts();

    int64_t fileSize_ = -1;
    int streamCount_ = -1;
    int programCount_ = -1;
    int audioCount_ = -1;
    int videoCount_ = -1;
    int subtitleCount_ = -1;
    int firstAudio_ = -1;
    int firstVideo_ = -1;
    int firstSubtitle_ = -1;
};

class TFFDecoder : public TCustomDecoder {
public:
    TFFDecoder();
    ~TFFDecoder() override;

    void ScanStreams() override;
    void CloseFile() override;

    // Flag bit 1 (SeekByBytes): the position is in bytes; otherwise microseconds.
    static constexpr uint8_t SeekByBytes = 2;
    bool Seek(uint8_t flags, int64_t position);
    // Decodes the next picture of the video stream (-1: the selected or first).
    bool Decode(int videoStreamIndex = -1);
    // The last decoded picture as a bitmap.
    bool CopyToBitmap(TFFBitmap& bitmap);

    int SelectedStream() const { return selected_; }
    bool Eof() const { return eof_; }
    // A picture was decoded.
    bool HasPicture() const { return havePicture_; }
    int64_t PicturePTS() const { return picturePTS_; }
    bool PictureKeyFrame() const { return pictureKey_; }
    int PictureType() const { return pictureType_; }

protected:
    // The library's seek, kept apart so that a file that refuses one kind of
    // seek can be stood in for.
    virtual int SeekFrame(int streamIndex, int64_t timestamp, int flags);

private:
    void ResetPicture();
    void CloseCodec();
    bool SelectStream(int index);
    bool OpenCodec();
    // 1: a picture, 0: need more input, <0: error or end (message reported).
    int ReceivePicture();

    int selected_ = -1;
    int64_t streamStart_ = 0;  // microseconds
    bool havePicture_ = false;
    int64_t picturePTS_ = 0;
    bool pictureKey_ = false;
    int pictureType_ = 0;
    bool eof_ = false;
    bool draining_ = false;
};
