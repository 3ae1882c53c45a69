#pragma once
// The engine's pictures as Qt images.
#include <QImage>

struct TFFBitmap;

// A deep copy of the bitmap (24 or 32 bits per pixel); a null image for an
// empty bitmap or another depth.
QImage ImageFromBitmap(const TFFBitmap& bitmap);
