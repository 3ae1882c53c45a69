#pragma once
// A plain picture the engine hands out (thumbnails, previews, video hooks).
#include <cstddef>
#include <cstdint>
#include <vector>

struct TFFBitmap {
    int32_t Width = 0;
    int32_t Height = 0;
    // 24: bytes R, G, B; 32: B, G, R, A; 16: RGB565; 15: RGB555; 8: grey.
    int32_t BitsPixel = 24;
    int32_t Stride = 0;  // bytes per row
    std::vector<uint8_t> Pixels;

    bool Empty() const { return Width <= 0 || Height <= 0 || Pixels.empty(); }
    const uint8_t* Row(int y) const { return Pixels.data() + static_cast<size_t>(y) * Stride; }
    uint8_t* Row(int y) { return Pixels.data() + static_cast<size_t>(y) * Stride; }
    // Resizes to width x height at the bit depth and fills with zero (black).
    void Reset(int32_t width, int32_t height, int32_t bitsPixel) {
        Width = width > 0 ? width : 0;
        Height = height > 0 ? height : 0;
        BitsPixel = bitsPixel;
        const int32_t bytes = bitsPixel == 15 ? 2 : bitsPixel / 8;
        Stride = (Width * bytes + 3) & ~3;
        Pixels.assign(static_cast<size_t>(Stride) * Height, 0);
    }
};
