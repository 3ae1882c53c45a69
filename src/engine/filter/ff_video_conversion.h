#pragma once
// Pictures on their way into an encoder: the optional filter graph ("vf"),
// the video sync rule that drops or repeats pictures, and the scaler to the
// encoder's size and pixel format. Graph and scaler are made anew when the
// pictures coming in change (between the inputs of a join, for one).
#include "ff_owned.h"

#include <cstdint>
#include <functional>
#include <string>

class TVideoFilter {
public:
    explicit TVideoFilter(std::string description = {}) : description_(std::move(description)) {}
    bool Empty() const { return description_.empty(); }
    // Feeds the picture, timed in microseconds, through the graph and hands
    // each picture that comes out to take with its time.
    void Filter(AVFrame* frame, int64_t ptsUs, const std::function<void(AVFrame*, int64_t)>& take);

private:
    void Build(const AVFrame* frame);

    std::string description_;
    TFilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;  // both belong to the graph
    AVFilterContext* sink_ = nullptr;
    int width_ = 0, height_ = 0, format_ = -1;  // what the graph was built for
    TFramePtr filtered_;
};

// Where a picture goes in the output frame: scaled to fit inside it with its
// shape kept (display aspect = sample aspect x width / height), centred, the
// rest left black. Within one alignment step of the whole frame it takes the
// whole frame. align is the chroma step of the frame's pixel format.
struct TFitRect {
    int X = 0, Y = 0, Width = 0, Height = 0;
};
TFitRect FitInside(int width, int height, AVRational sampleAspect, int frameWidth, int frameHeight,
                   AVRational frameSampleAspect, int align);

class TVideoScaler {
public:
    // Before the run: the picture the scaler writes into, in the encoder's
    // size and format. Raises when it cannot be made.
    void Open(const AVCodecContext* encoder);
    // The picture in the encoder's size and format: the picture itself when
    // it has them and fills the frame, else the scaled copy, fitted inside
    // the frame with black bars. A change of the pictures' size or format
    // logs one line naming input stream #file.index.
    AVFrame* Scale(AVFrame* picture, const AVCodecContext* encoder, int swsFlags, int file, int index,
                   void* logSender);
    // A black picture in the encoder's size and format.
    AVFrame* Black(const AVCodecContext* encoder);

private:
    void Fill(AVFrame* frame, const AVCodecContext* encoder) const;

    TScalerPtr sws_;
    TFramePtr scaled_;
    TFramePtr black_;
    int width_ = 0, height_ = 0, format_ = -1;  // the last picture's; format -1: none yet
    AVRational aspect_{0, 1};                   // the last picture's sample aspect
    TFitRect rect_;                             // where it goes
    bool barsFilled_ = false;                   // scaled_ is black outside rect_
};

// The video sync rule ("vsync"): how many times a picture at the position
// (in frames of the output) is written where the output is at nextPts. 0 drops
// it, more than 1 repeats it; nextPts moves to the picture's own position where
// the method re-times the output. Method 0 always re-times; 1 repeats to catch
// up; 2 (and -1 for formats of variable frame rate) re-times instead.
int64_t VideoSyncFrames(int method, bool variableRateFormat, double position, int64_t& nextPts);
