#include "ui/pad_editor.h"

#include "picture/editor_rules.h"
#include "picture/pictures.h"

namespace tessivox {

void drawPad(const SynthState& s, DrawingArea& pad) {
    if (Canvas* canvas = pad.drawingCanvas()) drawPad(s, *canvas);
}

void handlePadEvent(SynthState& s, DrawingArea& pad, const PadEvent& event) {
    if (event.type == PadEvent::Type::PointerMove && event.leftButtonDown) {
        // A refused drawing drops the whole move, picking included.
        if (!pad.beginDrawing()) return;
        if (movePadPoint(s, s, event.x, event.y)) drawPad(s, pad);
        pad.endDrawing();
        return;
    }
    if (event.type == PadEvent::Type::LeftButtonDown) pickPadPoint(s, event.x, event.y);
    if (event.type == PadEvent::Type::LeftButtonUp) s.padDragState = PadDragState::Unpressed;
}

}  // namespace tessivox
