#include "input_probe.h"

#include "ff_decoder.h"

bool ProbeJobInput(TCustomDecoder& decoder, const std::string& fileName, TJobInput& input) {
    input = TJobInput{};
    input.FullName = fileName;
    if (!decoder.LoadFile(fileName)) return false;
    const int64_t duration = decoder.GetFileStreamInfo().Duration;
    input.Duration = duration > 0 ? duration : 0;
    if (decoder.FirstVideoStream() >= 0) {
        const TVideoStreamInfo video = decoder.GetVideoStreamInfo(decoder.FirstVideoStream());
        input.Width = video.Width;
        input.Height = video.Height;
        input.AspectRatio = video.DisplayAspectRatio;
    }
    decoder.CloseFile();
    return true;
}
