#include "ff_converter.h"

#include "ff_exception.h"
#include "ff_logger.h"

namespace {
AVPixelFormat BitmapPixelFormat(int bitsPixel) {
    switch (bitsPixel) {
        case 8: return AV_PIX_FMT_GRAY8;
        case 15: return AV_PIX_FMT_RGB555LE;
        case 16: return AV_PIX_FMT_RGB565LE;
        case 32: return AV_PIX_FMT_BGRA;
        default: return AV_PIX_FMT_RGB24;
    }
}
}  // namespace

void TFormatConverter::SetBitsPixel(int bitsPixel) {
    if (bitsPixel != 8 && bitsPixel != 15 && bitsPixel != 16 && bitsPixel != 24 && bitsPixel != 32)
        throw FFmpegException(FormatText("Invalid BitsPixel %d", bitsPixel));
    if (bitsPixel != bitsPixel_) Release();
    bitsPixel_ = bitsPixel;
}

void TFormatConverter::Release() {
    toRGB_.reset();
    fromRGB_.reset();
}

bool TFormatConverter::PictureToBitmap(const AVFrame* picture, TFFBitmap& bitmap) {
    error_.clear();
    const int w = picture->width, h = picture->height;
    const AVPixelFormat dst = BitmapPixelFormat(bitsPixel_);
    // The cache call takes the old context over: it reuses or frees it.
    toRGB_.reset(FF.sws_getCachedContext(toRGB_.release(), w, h, static_cast<AVPixelFormat>(picture->format), w, h,
                                         dst, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!toRGB_ || w <= 0 || h <= 0) {
        error_ = "Cannot initialize the toRGB conversion context";
        return false;
    }
    bitmap.Reset(w, h, bitsPixel_);
    uint8_t* dstData[4] = {bitmap.Pixels.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {bitmap.Stride, 0, 0, 0};
    FF.sws_scale(toRGB_.get(), picture->data, picture->linesize, 0, h, dstData, dstStride);
    return true;
}

bool TFormatConverter::BitmapToPicture(const TFFBitmap& bitmap, AVFrame* picture) {
    error_.clear();
    const int w = picture->width, h = picture->height;
    const AVPixelFormat src = BitmapPixelFormat(bitmap.BitsPixel);
    // The cache call takes the old context over: it reuses or frees it.
    fromRGB_.reset(FF.sws_getCachedContext(fromRGB_.release(), w, h, src, w, h,
                                           static_cast<AVPixelFormat>(picture->format), SWS_BICUBIC, nullptr, nullptr,
                                           nullptr));
    if (!fromRGB_ || bitmap.Width != w || bitmap.Height != h || FF.av_frame_make_writable(picture) < 0) {
        error_ = "Cannot initialize the fromRGB conversion context";
        return false;
    }
    const uint8_t* srcData[4] = {bitmap.Pixels.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {bitmap.Stride, 0, 0, 0};
    FF.sws_scale(fromRGB_.get(), srcData, srcStride, 0, h, picture->data, picture->linesize);
    return true;
}
