// The progress reports of a task's run: handed to the task's progress
// callback, else logged as the classic statistics line.
#include "ff_output_file.h"
#include "ff_task.h"
#include "ff_task_run.h"

#include <algorithm>

const TStreamLink* TTaskRun::ReportedVideo(bool final) const {
    // The first active video stream; once the joints have retired them all
    // (the final report of a join), the video the output has. A join reading
    // an input without pictures reports no picture count: they come at its joint.
    if (timeline_.Joining() && !final)
        for (const TStreamLink& link : slots_[static_cast<size_t>(timeline_.CurrentInput())].Links)
            if (link.Track->Kind == AVMEDIA_TYPE_VIDEO && !link.Source) return nullptr;
    for (const TRunSlot& slot : slots_)
        for (const TStreamLink& link : slot.Links)
            if (link.Active && link.Track->Kind == AVMEDIA_TYPE_VIDEO) return &link;
    if (final)
        for (const TRunSlot& slot : slots_)
            for (const TStreamLink& link : slot.Links)
                if (link.Track->Kind == AVMEDIA_TYPE_VIDEO) return &link;
    return nullptr;
}

void TTaskRun::Report(bool final, int fileIndex) {
    const TOptionState& o = options_;
    std::unique_lock lock(mux_.Mutex);
    const int64_t size = media_.Outputs.empty() ? 0 : media_.Outputs[0]->Size();
    int frameNumber = -1, fps = -1;
    float quality = -1.0f;
    const TStreamLink* video = ReportedVideo(final);
    if (video) {
        const TOutputTrack& t = *video->Track;
        if (t.FrameNumber() == 0 && !final) return;  // nothing encoded yet
        frameNumber = static_cast<int>(t.FrameNumber());
        const double seconds = (FF.av_gettime_relative() - startTime_) / 1000000.0;
        fps = seconds > 1.0 ? static_cast<int>(frameNumber / seconds + 0.5) : 0;
        quality = t.Copy() ? -1.0f : t.Quality();
    }
    // The output's time: where its shortest stream has got to.
    double outputTime = 1e10;
    for (const TRunSlot& slot : slots_)
        for (const TStreamLink& link : slot.Links) {
            const double t = link.Track->Time();
            if (t > 0 && t < outputTime) outputTime = t;
        }
    const int64_t videoBytes = mux_.VideoBytes, audioBytes = mux_.AudioBytes;
    lock.unlock();
    if (outputTime >= 1e10) outputTime = 0;
    outputTime = std::max(outputTime, 0.01);
    if (!task_.ProgressCallback && o.Verbosity <= 0 && !final) return;
    const float bitRate = static_cast<float>(size * 8 / outputTime / 1000.0);
    const bool dupDrop = mux_.DupFrames || mux_.DropFrames;
    std::string line;
    if (video) line = FormatText("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, quality);
    line += FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", size / 1024.0, outputTime, bitRate);
    if (dupDrop) line += FormatText(" dup=%d drop=%d", mux_.DupFrames, mux_.DropFrames);
    if (task_.ProgressCallback) {
        task_.ProgressCallback(&task_, fileIndex, media_.ProgressTotalDuration(),
                               static_cast<int64_t>(outputTime * 1000000.0), size, bitRate, quality, fps, frameNumber);
        if (dupDrop && !dupDropLogged_ && o.Verbosity >= 0) {
            dupDropLogged_ = true;
            FFLogger().Log(&task_, llVerbose, line);
        }
    } else if (o.Verbosity >= 0) {
        FFLogger().Log(&task_, llVerbose, line);
    }
    if (final && o.Verbosity >= 0) {
        const double total = static_cast<double>(videoBytes + audioBytes + mux_.ExtraBytes);
        const double overhead = total > 0 ? 100.0 * (size - total) / total : 0.0;
        FFLogger().LogFmt(&task_, llVerbose,
                          "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                          videoBytes / 1024.0, audioBytes / 1024.0, mux_.ExtraBytes / 1024.0, overhead);
    }
}
