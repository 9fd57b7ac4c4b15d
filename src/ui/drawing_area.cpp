#include "ui/drawing_area.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>

namespace tessivox {

namespace {

// floor(num / den) for den > 0.
__int128 floorDiv(__int128 num, __int128 den) {
    __int128 q = num / den;
    if (num % den != 0 && num < 0) --q;
    return q;
}

}  // namespace

DrawingArea::DrawingArea(int controlId, int width, int height, QWidget* parent)
    : QWidget(parent), controlId_(controlId), image_(width, height, QImage::Format_RGB32) {
    setFixedSize(width, height);
    // Until the program draws, the area looks like the window behind it.
    image_.fill(palette().color(QPalette::Window));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Every pointer move, not only those with a button held.
    setMouseTracking(true);
}

bool DrawingArea::beginDrawing() {
    if (drawingFails_ || image_.isNull() || drawing_) return false;
    drawing_ = true;
    return true;
}

void DrawingArea::endDrawing() {
    if (!drawing_) return;
    drawing_ = false;
    update();
}

void DrawingArea::fillRect(int x, int y, int width, int height, QRgb colour) {
    if (!drawing_ || width <= 0 || height <= 0) return;
    const int64_t x0 = std::max<int64_t>(x, 0);
    const int64_t y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{x} + width, image_.width());
    const int64_t y1 = std::min<int64_t>(int64_t{y} + height, image_.height());
    for (int64_t row = y0; row < y1; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(row)));
        std::fill(line + x0, line + std::max(x0, x1), colour | 0xff000000u);
    }
}

// Walks the pixels of the whole segment that fall inside the image, both end
// points included. The pixel on the minor axis at major coordinate a is
// minor0 + round((a - major0) * dMinor / dMajor), ties upward, with the end
// points ordered along the major axis so that the result does not depend on
// which end was given first. Only the columns (or rows) inside the image are
// visited, so end points far outside cost nothing.
void DrawingArea::line(int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb colour) {
    if (!drawing_) return;
    const int64_t w = image_.width();
    const int64_t h = image_.height();
    const QRgb c = colour | 0xff000000u;
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
        reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(y)))[x] = c;
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
            break;  // moving away from the image: nothing more to draw
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

void DrawingArea::disc(int centreX, int centreY, int radius, QRgb colour) {
    if (!drawing_ || radius < 0) return;
    const QRgb c = colour | 0xff000000u;
    // r^2 + r rounds the rim: 2r + 1 pixels across, five-pixel flats at the poles.
    const int64_t limit = int64_t{radius} * radius + radius;
    for (int64_t dy = -radius; dy <= radius; ++dy) {
        const int64_t y = int64_t{centreY} + dy;
        if (y < 0 || y >= image_.height()) continue;
        auto* row = reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(y)));
        for (int64_t dx = -radius; dx <= radius; ++dx) {
            const int64_t x = int64_t{centreX} + dx;
            if (x < 0 || x >= image_.width() || dx * dx + dy * dy > limit) continue;
            row[x] = c;
        }
    }
}

void DrawingArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

namespace {

PadEvent makeEvent(PadEvent::Type type, const QMouseEvent* event) {
    const QPointF p = event->position();
    return PadEvent{type, static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())),
                    (event->buttons() & Qt::LeftButton) != 0};
}

}  // namespace

void DrawingArea::mouseMoveEvent(QMouseEvent* event) {
    emit padEvent(makeEvent(PadEvent::Type::PointerMove, event));
}

void DrawingArea::mousePressEvent(QMouseEvent* event) {
    emit padEvent(makeEvent(PadEvent::Type::Other, event));
}

void DrawingArea::mouseReleaseEvent(QMouseEvent* event) {
    const auto type =
        event->button() == Qt::LeftButton ? PadEvent::Type::LeftButtonUp : PadEvent::Type::Other;
    emit padEvent(makeEvent(type, event));
}

}  // namespace tessivox
