#include "ui/drawing_area.h"

#include <cmath>

#include <QMouseEvent>
#include <QPainter>

namespace tessivox {

DrawingArea::DrawingArea(int controlId, int width, int height, QWidget* parent)
    : QWidget(parent),
      controlId_(controlId),
      canvas_(width, height),
      image_(reinterpret_cast<const uchar*>(canvas_.pixels()), canvas_.width(), canvas_.height(),
             canvas_.width() * 4, QImage::Format_RGB32) {
    setFixedSize(width, height);
    // Until the program draws, the area looks like the window behind it.
    canvas_.fillRect(0, 0, width, height, palette().color(QPalette::Window).rgb());
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
    if (drawing_) canvas_.fillRect(x, y, width, height, colour);
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

// A press or release: `left` for the left button, Other for the rest.
PadEvent buttonEvent(PadEvent::Type left, const QMouseEvent* event) {
    return makeEvent(event->button() == Qt::LeftButton ? left : PadEvent::Type::Other, event);
}

}  // namespace

void DrawingArea::mouseMoveEvent(QMouseEvent* event) {
    emit padEvent(makeEvent(PadEvent::Type::PointerMove, event));
}

void DrawingArea::mousePressEvent(QMouseEvent* event) {
    emit padEvent(buttonEvent(PadEvent::Type::LeftButtonDown, event));
}

void DrawingArea::mouseReleaseEvent(QMouseEvent* event) {
    emit padEvent(buttonEvent(PadEvent::Type::LeftButtonUp, event));
}

}  // namespace tessivox
