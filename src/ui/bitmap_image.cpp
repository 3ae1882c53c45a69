#include "bitmap_image.h"

#include "ff_bitmap.h"

QImage ImageFromBitmap(const TFFBitmap& bitmap) {
    if (bitmap.Empty()) return {};
    QImage::Format format;
    switch (bitmap.BitsPixel) {
        case 24: format = QImage::Format_RGB888; break;  // bytes R, G, B
        case 32: format = QImage::Format_RGB32; break;   // bytes B, G, R, A on a little-endian machine
        default: return {};
    }
    if (static_cast<size_t>(bitmap.Stride) * bitmap.Height > bitmap.Pixels.size()) return {};
    return QImage(bitmap.Pixels.data(), bitmap.Width, bitmap.Height, bitmap.Stride, format).copy();
}
