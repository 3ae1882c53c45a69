#pragma once
// The output tables of a task and the state of its run, shared by the opening
// code (ff_open.cpp) and the run (ff_transcode*.cpp). Not part of the engine's
// interface.
#include "ff_frame_pipe.h"
#include "ff_owned.h"
#include "ff_task.h"

struct TCustomFFmpeg::OutputTrack {
    OutputFile* file = nullptr;
    int index = 0;
    AVStream* st = nullptr;
    AVMediaType kind = AVMEDIA_TYPE_UNKNOWN;
    bool copy = false;                // stream copy: packets pass unchanged
    const AVCodec* codec = nullptr;   // the encoder
    TCodecContextPtr enc;             // open during the run
    AVCodecID savedCodecId = AV_CODEC_ID_NONE;
    std::string filters;              // "vf" given for this stream
    std::vector<TBitstreamFilterSpec> bsfSpecs;
    std::vector<TBsfPtr> bsfs;        // made during the run
    std::vector<int64_t> forcedKeyTimes;  // microseconds, ascending
    size_t nextForcedKey = 0;
    int volume = 256;

    // Position of the next output: video frames or audio samples, in the
    // encoder's time base.
    int64_t nextPts = 0;
    int64_t frameNumber = 0;  // frames (or audio frames) encoded
    float quality = -1.0f;  // under the run's mux lock
    int64_t bytes = 0;  // payload written (under the run's mux lock)
    int64_t copyEndUs = 0;  // stream copy: end of the last packet written, microseconds
    bool wroteKeyFrame = false;  // stream copy: the first key frame passed
    bool forceKeyFrame = false;  // the next video frame starts a joint

    // Video conversion: an optional filter graph, then the scaler to the
    // encoder's size and format. Both are rebuilt when the pictures change.
    TFilterGraphPtr graph;
    AVFilterContext* graphSource = nullptr;  // both belong to the graph
    AVFilterContext* graphSink = nullptr;
    int graphW = 0, graphH = 0, graphFmt = -1;
    TScalerPtr sws;
    int swsW = 0, swsH = 0, swsFmt = -1;  // source of the scaler; swsFmt -1: none yet
    TFramePtr scaled;

    // Audio conversion: resampler to the encoder's format, then a FIFO that
    // feeds the encoder whole frames.
    TResamplerPtr swr;
    int swrRate = 0, swrFmt = -1;
    TChannelLayout swrLayout;
    bool swrKnown = false;
    TAudioFifoPtr fifo;
    int64_t samplesQueued = 0;  // samples given to the FIFO since the start
    TFramePtr audioFrame;
    TSampleBuffer convBuffer;

    // The packet the encoder's output goes through.
    TPacketPtr packet;

    // Subtitle output buffer.
    std::vector<uint8_t> subtitleBuffer;

    // Two-pass log of this stream.
    TFilePtr passLog;
    std::string passStats;  // pass 2 statistics handed to the encoder

    // The encoder's own thread for video (pictures queue up to it). Declared
    // last: the thread uses the encoder, the packet and the log, so it ends
    // before they go.
    std::unique_ptr<TFramePipe> pipe;
};

struct TCustomFFmpeg::OutputFile {
    TOutputContextPtr ctx;
    std::string fileName;
    bool ioOpened = false;  // the file was opened for writing
    bool headerWritten = false;
    std::vector<std::unique_ptr<OutputTrack>> tracks;
};

struct TCustomFFmpeg::RunState {
    TPacketPtr packet;
    TPacketPtr outPacket;
    TFramePtr frame;
    TFramePtr filtered;
    int64_t startTime = 0;       // microseconds (wall clock, relative)
    int64_t lastReportTime = 0;  // microseconds
    int64_t lastPreviewTime = 0;
    int currentInput = 0;        // join mode
    int lastFileIndex = 0;       // input of the last packet read
    int wouldBlockCount = 0;
    // Guards the muxer, the byte counts and qualities, and the statistics
    // file: video packets come from the encoder's own thread.
    std::mutex muxMutex;
    int64_t videoBytes = 0, audioBytes = 0, extraBytes = 0;
    int dupFrames = 0, dropFrames = 0;
    bool dupDropLogged = false;
    TFilePtr vstats;
    TFFBitmap hookBitmap;
    TFFBitmap previewBitmap;
    bool videoInputHook = false, videoOutputHook = false;
};
