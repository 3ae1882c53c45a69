#pragma once
// One owner for every library object the engine holds.
//
// Each object made by the libraries lives in one of the types below, whose
// destructor calls the library's own release function through the table FF.
// Nothing else in the engine frees, closes or unrefs a library object; where a
// library call takes an object over, the place says so in a comment.
//
// The release functions are looked up at the moment of release: a test may
// unload the libraries while an empty owner still exists, and an owner that
// holds nothing calls nothing.
#include "ff_api.h"

#include <cstdio>
#include <memory>
#include <utility>

// ---------------------------------------------------------------------------
// Owning pointers

struct TFrameDeleter {
    void operator()(AVFrame* p) const noexcept {
        if (FF.av_frame_free) FF.av_frame_free(&p);
    }
};
using TFramePtr = std::unique_ptr<AVFrame, TFrameDeleter>;

struct TPacketDeleter {
    void operator()(AVPacket* p) const noexcept {
        if (FF.av_packet_free) FF.av_packet_free(&p);
    }
};
using TPacketPtr = std::unique_ptr<AVPacket, TPacketDeleter>;

struct TCodecContextDeleter {
    // Also frees what the context owns: matrices, rate-control overrides and
    // the subtitle header the engine handed to it.
    void operator()(AVCodecContext* p) const noexcept {
        if (FF.avcodec_free_context) FF.avcodec_free_context(&p);
    }
};
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextDeleter>;

// An opened input container with its I/O.
struct TInputContextDeleter {
    void operator()(AVFormatContext* p) const noexcept {
        if (FF.avformat_close_input) FF.avformat_close_input(&p);
    }
};
using TInputContextPtr = std::unique_ptr<AVFormatContext, TInputContextDeleter>;

// A container context that was never opened (an input before its opening,
// the option defaults).
struct TFormatContextDeleter {
    void operator()(AVFormatContext* p) const noexcept {
        if (FF.avformat_free_context) FF.avformat_free_context(p);
    }
};
using TFormatContextPtr = std::unique_ptr<AVFormatContext, TFormatContextDeleter>;

// An output container with the file it opened (formats that write no file
// and caller-provided I/O have none to close). Also frees the chapters and
// metadata handed to it.
struct TOutputContextDeleter {
    void operator()(AVFormatContext* p) const noexcept {
        if (!FF.avformat_free_context) return;
        const bool ownFile = p->pb && p->oformat && !(p->oformat->flags & AVFMT_NOFILE) &&
                             !(p->flags & AVFMT_FLAG_CUSTOM_IO);
        if (ownFile && FF.avio_closep) FF.avio_closep(&p->pb);
        FF.avformat_free_context(p);
    }
};
using TOutputContextPtr = std::unique_ptr<AVFormatContext, TOutputContextDeleter>;

// I/O of our own (a context from avio_alloc_context) with its buffer, which
// the library may have replaced by one of another size.
struct TIoContextDeleter {
    void operator()(AVIOContext* p) const noexcept {
        if (!FF.avio_context_free) return;
        if (FF.av_freep) FF.av_freep(&p->buffer);
        FF.avio_context_free(&p);
    }
};
using TIoContextPtr = std::unique_ptr<AVIOContext, TIoContextDeleter>;

// Closes the file of an output container that stays (an output waiting for
// its run holds no open file; the deleter above closes what is open then).
inline void CloseOutputIo(AVFormatContext* oc) noexcept {
    if (oc->pb && FF.avio_closep) FF.avio_closep(&oc->pb);
}

struct TFilterGraphDeleter {
    void operator()(AVFilterGraph* p) const noexcept {
        if (FF.avfilter_graph_free) FF.avfilter_graph_free(&p);
    }
};
using TFilterGraphPtr = std::unique_ptr<AVFilterGraph, TFilterGraphDeleter>;

struct TFilterInOutDeleter {
    void operator()(AVFilterInOut* p) const noexcept {
        if (FF.avfilter_inout_free) FF.avfilter_inout_free(&p);
    }
};
using TFilterInOutPtr = std::unique_ptr<AVFilterInOut, TFilterInOutDeleter>;

struct TScalerDeleter {
    void operator()(SwsContext* p) const noexcept {
        if (FF.sws_freeContext) FF.sws_freeContext(p);
    }
};
using TScalerPtr = std::unique_ptr<SwsContext, TScalerDeleter>;

struct TResamplerDeleter {
    void operator()(SwrContext* p) const noexcept {
        if (FF.swr_free) FF.swr_free(&p);
    }
};
using TResamplerPtr = std::unique_ptr<SwrContext, TResamplerDeleter>;

struct TAudioFifoDeleter {
    void operator()(AVAudioFifo* p) const noexcept {
        if (FF.av_audio_fifo_free) FF.av_audio_fifo_free(p);
    }
};
using TAudioFifoPtr = std::unique_ptr<AVAudioFifo, TAudioFifoDeleter>;

struct TBsfDeleter {
    void operator()(AVBSFContext* p) const noexcept {
        if (FF.av_bsf_free) FF.av_bsf_free(&p);
    }
};
using TBsfPtr = std::unique_ptr<AVBSFContext, TBsfDeleter>;

// Memory from av_malloc and friends (option texts, strings).
struct TAvMemoryDeleter {
    void operator()(void* p) const noexcept {
        if (FF.av_free) FF.av_free(p);
    }
};
template <typename T>
using TAvMemoryPtr = std::unique_ptr<T, TAvMemoryDeleter>;

// A C library file (two-pass logs, statistics).
struct TFileDeleter {
    void operator()(FILE* p) const noexcept { std::fclose(p); }
};
using TFilePtr = std::unique_ptr<FILE, TFileDeleter>;

// Made or null; the caller raises its own message.
inline TFramePtr NewFrame() { return TFramePtr(FF.av_frame_alloc()); }
inline TPacketPtr NewPacket() { return TPacketPtr(FF.av_packet_alloc()); }
// Makes frame a new reference to the data of source, dropping what it held;
// the library's error code, or 0.
inline int ReferTo(AVFrame* frame, const AVFrame* source) {
    FF.av_frame_unref(frame);
    return FF.av_frame_ref(frame, source);
}

// ---------------------------------------------------------------------------
// Owning values for the objects the libraries fill through an address

// A dictionary (options handed to an open call, which keeps what it used up).
class TDictionary {
public:
    TDictionary() = default;
    ~TDictionary() {
        if (dict_ && FF.av_dict_free) FF.av_dict_free(&dict_);
    }
    TDictionary(const TDictionary&) = delete;
    TDictionary& operator=(const TDictionary&) = delete;
    void Set(const char* key, const char* value) { FF.av_dict_set(&dict_, key, value, 0); }
    AVDictionary** Address() { return &dict_; }

private:
    AVDictionary* dict_ = nullptr;
};

// A decoded subtitle.
class TSubtitle {
public:
    TSubtitle() = default;
    ~TSubtitle() {
        if (FF.avsubtitle_free) FF.avsubtitle_free(&sub_);
    }
    TSubtitle(const TSubtitle&) = delete;
    TSubtitle& operator=(const TSubtitle&) = delete;
    AVSubtitle& Get() { return sub_; }

private:
    AVSubtitle sub_{};
};

// A channel layout (custom orders carry a map of their own).
class TChannelLayout {
public:
    TChannelLayout() = default;
    ~TChannelLayout() { Clear(); }
    TChannelLayout(const TChannelLayout&) = delete;
    TChannelLayout& operator=(const TChannelLayout&) = delete;
    void Assign(const AVChannelLayout& from) {
        Clear();
        FF.av_channel_layout_copy(&layout_, &from);
    }
    void AssignDefault(int channels) {
        Clear();
        FF.av_channel_layout_default(&layout_, channels);
    }
    void Clear() {
        if (FF.av_channel_layout_uninit) FF.av_channel_layout_uninit(&layout_);
    }
    const AVChannelLayout& Get() const { return layout_; }

private:
    AVChannelLayout layout_{};
};

// Sample planes of one sample format and channel count, grown on demand.
class TSampleBuffer {
public:
    TSampleBuffer() = default;
    ~TSampleBuffer() { Release(); }
    TSampleBuffer(const TSampleBuffer&) = delete;
    TSampleBuffer& operator=(const TSampleBuffer&) = delete;
    // Room for at least that many samples; false when out of memory.
    bool Reserve(int channels, int samples, AVSampleFormat format) {
        if (planes_ && samples <= capacity_) return true;
        Release();
        const size_t count = static_cast<size_t>(channels > 0 ? channels : 1);
        planes_ = static_cast<uint8_t**>(FF.av_mallocz(sizeof(uint8_t*) * count));
        if (!planes_) return false;
        if (FF.av_samples_alloc(planes_, nullptr, channels, samples, format, 0) < 0) {
            Release();
            return false;
        }
        capacity_ = samples;
        return true;
    }
    uint8_t** Planes() const { return planes_; }

private:
    void Release() {
        if (planes_ && FF.av_freep) {
            FF.av_freep(&planes_[0]);
            FF.av_freep(&planes_);
        }
        planes_ = nullptr;
        capacity_ = 0;
    }
    uint8_t** planes_ = nullptr;
    int capacity_ = 0;
};

// ---------------------------------------------------------------------------
// Scope guards: the data of a reused frame or packet is dropped when the scope
// ends, however it ends; the frame or packet itself stays for the next use.

class TFrameUnref {
public:
    explicit TFrameUnref(AVFrame* frame) : frame_(frame) {}
    ~TFrameUnref() {
        if (frame_) FF.av_frame_unref(frame_);
    }
    TFrameUnref(const TFrameUnref&) = delete;
    TFrameUnref& operator=(const TFrameUnref&) = delete;

private:
    AVFrame* frame_;
};

class TPacketUnref {
public:
    explicit TPacketUnref(AVPacket* packet) : packet_(packet) {}
    ~TPacketUnref() {
        if (packet_) FF.av_packet_unref(packet_);
    }
    TPacketUnref(const TPacketUnref&) = delete;
    TPacketUnref& operator=(const TPacketUnref&) = delete;

private:
    AVPacket* packet_;
};
