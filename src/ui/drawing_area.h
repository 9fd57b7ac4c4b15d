#pragma once

#include <cstdint>

#include <QImage>
#include <QWidget>

#include "picture/canvas.h"

namespace tessivox {

// A pointer event of a drawing area, in its own pixels.
struct PadEvent {
    enum class Type { PointerMove, LeftButtonDown, LeftButtonUp, Other };
    Type type = Type::Other;
    int x = 0;
    int y = 0;
    bool leftButtonDown = false;
};

// A drawing area that shows its own canvas. The program paints into it only
// between beginDrawing() and endDrawing(); beginDrawing() can fail, and then
// that drawing is skipped. While a button pressed on the area is held, the
// area keeps the pointer: moves outside it and the release still arrive.
class DrawingArea : public QWidget {
    Q_OBJECT
  public:
    DrawingArea(int controlId, int width, int height, QWidget* parent = nullptr);

    int controlId() const { return controlId_; }
    // The canvas' pixels, not a copy.
    const QImage& image() const { return image_; }
    // The canvas between beginDrawing() and endDrawing(), else nullptr.
    Canvas* drawingCanvas() { return drawing_ ? &canvas_ : nullptr; }

    bool beginDrawing();
    void endDrawing();
    void fillRect(int x, int y, int width, int height, QRgb colour);

    // Tests: make beginDrawing() fail, as it can when the toolkit refuses.
    void setDrawingFails(bool fails) { drawingFails_ = fails; }

  signals:
    void padEvent(const tessivox::PadEvent& event);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    int controlId_;
    Canvas canvas_;
    QImage image_;
    bool drawing_ = false;
    bool drawingFails_ = false;
};

}  // namespace tessivox
