#include "picture/canvas.h"

#include <algorithm>

namespace tessivox {

namespace {

// floor(num / den) for den > 0.
__int128 floorDiv(__int128 num, __int128 den) {
    __int128 q = num / den;
    if (num % den != 0 && num < 0) --q;
    return q;
}

}  // namespace

Canvas::Canvas(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(std::size_t(width_) * height_, 0xff000000u) {}

void Canvas::fillRect(int x, int y, int width, int height, uint32_t colour) {
    if (width <= 0 || height <= 0) return;
    const int64_t x0 = std::max<int64_t>(x, 0);
    const int64_t y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{x} + width, width_);
    const int64_t y1 = std::min<int64_t>(int64_t{y} + height, height_);
    for (int64_t r = y0; r < y1; ++r) {
        uint32_t* line = row(r);
        std::fill(line + x0, line + std::max(x0, x1), colour | 0xff000000u);
    }
}

// Walks the pixels of the whole segment that fall inside the canvas, both end
// points included. The pixel on the minor axis at major coordinate a is
// minor0 + round((a - major0) * dMinor / dMajor), ties upward, with the end
// points ordered along the major axis so that the result does not depend on
// which end was given first. Only the columns (or rows) inside the canvas are
// visited, so end points far outside cost nothing.
void Canvas::line(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t colour) {
    const int64_t w = width_;
    const int64_t h = height_;
    const uint32_t c = colour | 0xff000000u;
    const bool xMajor = (x1 > x0 ? x1 - x0 : x0 - x1) >= (y1 > y0 ? y1 - y0 : y0 - y1);

    int64_t a0 = xMajor ? x0 : y0, b0 = xMajor ? y0 : x0;
    int64_t a1 = xMajor ? x1 : y1, b1 = xMajor ? y1 : x1;
    if (a1 < a0) {
        std::swap(a0, a1);
        std::swap(b0, b1);
    }
    const int64_t majorSize = xMajor ? w : h;
    const int64_t minorSize = xMajor ? h : w;
    auto plot = [&](int64_t a, int64_t b) {
        const int64_t x = xMajor ? a : b;
        const int64_t y = xMajor ? b : a;
        row(y)[x] = c;
    };

    const int64_t da = a1 - a0;  // >= 0, at most 2^32
    const int64_t db = b1 - b0;  // |db| <= da
    if (da == 0) {
        if (a0 >= 0 && a0 < majorSize && b0 >= 0 && b0 < minorSize) plot(a0, b0);
        return;
    }
    const int64_t first = std::max<int64_t>(a0, 0);
    const int64_t last = std::min<int64_t>(a1, majorSize - 1);
    if (first > last) return;

    // b(a) = b0 + floor((2 (a - a0) db + da) / (2 da)); q and r are the
    // quotient and remainder at a = first, then stepped exactly.
    const __int128 den = __int128{2} * da;
    const __int128 num = __int128{2} * (first - a0) * db + da;
    __int128 q = floorDiv(num, den);
    int64_t r = static_cast<int64_t>(num - q * den);  // 0 <= r < 2 da
    const int64_t step = 2 * db;
    const int64_t den64 = 2 * da;
    for (int64_t a = first;; ++a) {
        const __int128 b = b0 + q;
        if (b >= 0 && b < minorSize) {
            plot(a, static_cast<int64_t>(b));
        } else if ((db >= 0 && b >= minorSize) || (db < 0 && b < 0)) {
            break;  // moving away from the canvas: nothing more to draw
        }
        if (a == last) break;
        r += step;
        if (r >= den64) {
            r -= den64;
            ++q;
        } else if (r < 0) {
            r += den64;
            --q;
        }
    }
}

void Canvas::disc(int centreX, int centreY, int radius, uint32_t colour) {
    if (radius < 0) return;
    const uint32_t c = colour | 0xff000000u;
    // r^2 + r rounds the rim: 2r + 1 pixels across, five-pixel flats at the poles.
    const int64_t limit = int64_t{radius} * radius + radius;
    for (int64_t dy = -radius; dy <= radius; ++dy) {
        const int64_t y = int64_t{centreY} + dy;
        if (y < 0 || y >= height_) continue;
        uint32_t* pixelRow = row(y);
        for (int64_t dx = -radius; dx <= radius; ++dx) {
            const int64_t x = int64_t{centreX} + dx;
            if (x < 0 || x >= width_ || dx * dx + dy * dy > limit) continue;
            pixelRow[x] = c;
        }
    }
}

}  // namespace tessivox
