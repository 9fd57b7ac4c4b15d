#include "ui/displays.h"

#include "picture/pictures.h"
#include "picture/shape_points.h"

namespace tessivox {

void drawWaveformGuides(DrawingArea& waveform) {
    if (Canvas* canvas = waveform.drawingCanvas()) drawWaveformGuides(*canvas);
}

void drawDisplays(const SynthState& s, DrawingArea& shape, DrawingArea& waveform) {
    if (shape.beginDrawing()) {
        drawShape(s, *shape.drawingCanvas());
        shape.endDrawing();
    }
    if (waveform.beginDrawing()) {
        drawWaveform(s, *waveform.drawingCanvas());
        waveform.endDrawing();
    }
}

void updateDisplays(SynthState& s, DrawingArea& shape, DrawingArea& waveform) {
    computeShapePoints(s, s);
    drawDisplays(s, shape, waveform);
}

}  // namespace tessivox
