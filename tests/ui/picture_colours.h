// The colours the pictures are drawn in, as the tests expect them.
#pragma once

#include <QImage>

#include "ui/drawing_area.h"

namespace tessivox {
namespace {  // each test's own, ahead of the program's names

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kYellow = qRgb(255, 204, 0);

// Opaque, whatever the image keeps in the alpha byte.
inline QRgb pixel(const DrawingArea& a, int x, int y) {
    return a.image().pixel(x, y) | 0xff000000u;
}

}  // namespace
}  // namespace tessivox
