#include "ui/pad_editor.h"

#include "picture/pictures.h"

namespace tessivox {

namespace {

// Strictly within 4 pixels in both directions: a 9 x 9 box around the point.
bool inPickBox(const PadPoint& p, int32_t x, int32_t y) {
    return p.x - 5 < x && x < p.x + 5 && p.y - 5 < y && y < p.y + 5;
}

}  // namespace

void drawPad(const SynthState& s, DrawingArea& pad) {
    if (Canvas* canvas = pad.drawingCanvas()) drawPad(s, *canvas);
}

void handlePadEvent(SynthState& s, DrawingArea& pad, const PadEvent& event) {
    if (event.type == PadEvent::Type::PointerMove && event.leftButtonDown) {
        // A refused drawing drops the whole move, picking included.
        if (!pad.beginDrawing()) return;
        s.padMouseX = event.x;
        s.padMouseY = event.y;
        if (s.padDragState == PadDragState::Unpressed) {
            for (int k = 0; k < 4; ++k) {
                if (inPickBox(s.padPoints[k], s.padMouseX, s.padMouseY)) {
                    s.padDragState = static_cast<PadDragState>(k + 1);
                    break;
                }
            }
        }
        if (s.padMouseX >= 0 && s.padMouseX <= kPadExtent && s.padMouseY >= 0 &&
            s.padMouseY <= kPadExtent) {
            const int k = static_cast<int>(s.padDragState) - 1;
            if (k >= 0) {
                const double x = s.padMouseX;
                const double y = s.padMouseY;
                s.padPoints[k] = {x, y};
                // x before y, each one whole store: the audio thread may pair
                // the new x with the old y for a moment, never a torn value.
                s.trajectoryX[k].store(x);
                s.trajectoryY[k].store(y);
            }
            drawPad(s, pad);
        }
        pad.endDrawing();
        return;
    }
    if (event.type == PadEvent::Type::LeftButtonUp) {
        s.padDragState = PadDragState::Unpressed;
    }
}

}  // namespace tessivox
