#include "ff_orientation.h"

#include "ff_bitmap.h"

#include <cmath>
#include <cstring>

std::string TOrientation::Filters() const {
    std::string chain;
    const auto add = [&chain](const std::string& f) { chain += (chain.empty() ? "" : ",") + f; };
    if (Transpose >= 0) add("transpose=dir=" + std::to_string(Transpose));
    if (MirrorLeftRight) add("hflip");
    if (MirrorTopBottom) add("vflip");
    return chain;
}

TOrientation StreamOrientation(const AVStream* stream) {
    TOrientation o;
    const auto* m = reinterpret_cast<const int32_t*>(
        FF.av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!m) return o;
    // The matrix turns counter-clockwise; players turn the picture back.
    double theta = -std::round(FF.av_display_rotation_get(m));
    if (std::isnan(theta)) return o;
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    if (std::fabs(theta - 90) < 1.0) {
        o.Transpose = m[3] > 0 ? 0 : 1;
    } else if (std::fabs(theta - 180) < 1.0) {
        o.MirrorLeftRight = m[0] < 0;
        o.MirrorTopBottom = m[4] < 0;
    } else if (std::fabs(theta - 270) < 1.0) {
        o.Transpose = m[3] < 0 ? 3 : 2;
    } else if (std::fabs(theta) < 1.0) {
        o.MirrorTopBottom = m[4] < 0;
    }
    return o;
}

void ShownSize(const AVStream* stream, int& width, int& height) {
    width = stream->codecpar->width;
    height = stream->codecpar->height;
    if (StreamOrientation(stream).QuarterTurn()) std::swap(width, height);
}

namespace {
// The source pixel of output pixel (x, y) for a quarter turn of a w x h picture.
void TransposedSource(int dir, int x, int y, int w, int h, int& sx, int& sy) {
    switch (dir) {
        case 0: sx = y; sy = x; break;
        case 1: sx = y; sy = h - 1 - x; break;
        case 2: sx = w - 1 - y; sy = x; break;
        default: sx = w - 1 - y; sy = h - 1 - x; break;
    }
}
}  // namespace

void TurnBitmap(TFFBitmap& bitmap, const TOrientation& o) {
    if (bitmap.Empty() || o.Upright()) return;
    const int w = bitmap.Width, h = bitmap.Height;
    const int bytes = bitmap.BitsPixel == 15 ? 2 : bitmap.BitsPixel / 8;
    TFFBitmap out;
    if (o.QuarterTurn())
        out.Reset(h, w, bitmap.BitsPixel);
    else
        out.Reset(w, h, bitmap.BitsPixel);
    for (int y = 0; y < out.Height; ++y)
        for (int x = 0; x < out.Width; ++x) {
            int sx = x, sy = y;
            if (o.QuarterTurn()) TransposedSource(o.Transpose, x, y, w, h, sx, sy);
            if (o.MirrorLeftRight) sx = w - 1 - sx;
            if (o.MirrorTopBottom) sy = h - 1 - sy;
            std::memcpy(out.Row(y) + x * bytes, bitmap.Row(sy) + sx * bytes, static_cast<size_t>(bytes));
        }
    bitmap = std::move(out);
}
