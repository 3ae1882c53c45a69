#include "input_probe.h"

#include "ff_decoder.h"
#include "ff_join_plan.h"

namespace {
// The facts of the open file. Reading the missing stream of a file without
// video or audio lets the probe log "no video stream." or "no audio stream.".
TInputRow ReadRow(TCustomDecoder& decoder, const std::string& fileName) {
    const TFileStreamInfo file = decoder.GetFileStreamInfo();
    const TVideoStreamInfo video = decoder.GetVideoStreamInfo(decoder.FirstVideoStream());
    const TAudioStreamInfo audio = decoder.GetAudioStreamInfo(decoder.FirstAudioStream());
    TInputRow row = MakeInputRow(fileName, file, decoder.FirstVideoStream() >= 0, video, audio);
    // Kept for the join plan, which then need not open the file again.
    auto described = std::make_shared<TFileDesc>();
    if (DescribeProbed(decoder, *described)) row.Described = std::move(described);
    row.TracksLine = TracksText(decoder.AudioStreamCount(), decoder.SubtitleStreamCount());
    return row;
}
}  // namespace

bool ProbeInputFile(TFFDecoder& decoder, const std::string& fileName, TProbedFile& probed, bool withThumbnail) {
    probed = TProbedFile{};
    if (!decoder.LoadFile(fileName)) return false;
    if (!withThumbnail) {
    } else if (decoder.FirstVideoStream() < 0) {
        probed.Thumbnail = tkAudioIcon;
    } else {
        // The picture from the middle; an unknown duration starts at the
        // beginning. Raw streams, typically the ones of unknown length, cannot
        // seek by time, and the probe has read past their start: go back by bytes.
        const int64_t duration = decoder.GetFileStreamInfo().Duration;
        if (!decoder.Seek(0, duration > 0 ? duration / 2 : 0)) decoder.Seek(TFFDecoder::SeekByBytes, 0);
        if (decoder.Decode(decoder.FirstVideoStream()) && decoder.CopyToBitmap(probed.Picture) &&
            !probed.Picture.Empty())
            probed.Thumbnail = tkPicture;
    }
    probed.Row = ReadRow(decoder, fileName);
    decoder.CloseFile();
    return true;
}

