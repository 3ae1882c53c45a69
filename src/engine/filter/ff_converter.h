#pragma once
// Converts decoded pictures to bitmaps (thumbnails, previews, video hooks) and
// bitmaps back into pictures, with cached scaler contexts.
#include "ff_bitmap.h"
#include "ff_owned.h"

#include <string>

class TFormatConverter {
public:
    TFormatConverter() = default;
    TFormatConverter(const TFormatConverter&) = delete;
    TFormatConverter& operator=(const TFormatConverter&) = delete;

    // 8, 15, 16, 24 or 32; any other raises "Invalid BitsPixel %d".
    void SetBitsPixel(int bitsPixel);
    int BitsPixel() const { return bitsPixel_; }

    // The picture as a bitmap of the configured depth and the picture's size.
    bool PictureToBitmap(const AVFrame* picture, TFFBitmap& bitmap);
    // The bitmap (same size as the picture) written back into the picture.
    bool BitmapToPicture(const TFFBitmap& bitmap, AVFrame* picture);

    const std::string& LastErrorMessage() const { return error_; }
    // Frees the cached scaler contexts.
    void Release();

private:
    int bitsPixel_ = 24;
    TScalerPtr toRGB_;
    TScalerPtr fromRGB_;
    std::string error_;
};
