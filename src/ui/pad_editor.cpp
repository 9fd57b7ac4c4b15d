#include "ui/pad_editor.h"

namespace tessivox {

namespace {

constexpr int32_t kPadMax = 300;

// Strictly within 4 pixels in both directions: a 9 x 9 box around the point.
bool inPickBox(const PadPoint& p, int32_t x, int32_t y) {
    return p.x - 5 < x && x < p.x + 5 && p.y - 5 < y && y < p.y + 5;
}

int heldPoint(PadDragState state) {
    switch (state) {
        case PadDragState::FirstPoint:
            return 0;
        case PadDragState::SecondPoint:
            return 1;
        case PadDragState::ThirdPoint:
            return 2;
        case PadDragState::FourthPoint:
            return 3;
        case PadDragState::Unpressed:
            break;
    }
    return -1;
}

constexpr PadDragState kPickStates[4] = {PadDragState::FirstPoint, PadDragState::SecondPoint,
                                         PadDragState::ThirdPoint, PadDragState::FourthPoint};

}  // namespace

void handlePadEvent(SynthState& s, DrawingArea& pad, const PadEvent& event) {
    if (event.type == PadEvent::Type::PointerMove && event.leftButtonDown) {
        // A refused drawing drops the whole move, picking included.
        if (!pad.beginDrawing()) return;
        s.padMouseX = event.x;
        s.padMouseY = event.y;
        if (s.padDragState == PadDragState::Unpressed) {
            for (int k = 0; k < 4; ++k) {
                if (inPickBox(s.padPoints[k], s.padMouseX, s.padMouseY)) {
                    s.padDragState = kPickStates[k];
                    break;
                }
            }
        }
        if (s.padMouseX >= 0 && s.padMouseX <= kPadMax && s.padMouseY >= 0 &&
            s.padMouseY <= kPadMax) {
            const int k = heldPoint(s.padDragState);
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
