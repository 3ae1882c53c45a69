// A media file as the input list probes it: open, the container and stream
// facts, a seek to the middle and a few decoded pictures as bitmaps.
#include "ff_bitmap.h"
#include "ff_decoder.h"
#include "fuzz_common.h"
#include "fuzz_engine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LoadEngineLibrariesForFuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile file(data, size);
    TFFDecoder decoder;
    if (!decoder.LoadFile(file.Path())) return 0;
    const TFileStreamInfo info = decoder.GetFileStreamInfo();
    decoder.GetAudioStreamInfo(decoder.FirstAudioStream());
    const int video = decoder.FirstVideoStream();
    if (video >= 0) {
        const TVideoStreamInfo v = decoder.GetVideoStreamInfo(video);
        (void)v;
        if (!decoder.Seek(0, info.Duration > 0 ? info.Duration / 2 : 0)) decoder.Seek(TFFDecoder::SeekByBytes, 0);
        for (int i = 0; i < 3 && decoder.Decode(video); ++i) {
            TFFBitmap bitmap;
            if (decoder.CopyToBitmap(bitmap) && !bitmap.Empty()) {
                FUZZ_CHECK(bitmap.Width > 0 && bitmap.Height > 0);
            }
        }
    }
    decoder.CloseFile();
    return 0;
}
