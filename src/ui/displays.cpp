#include "ui/displays.h"

#include "ui/colours.h"
#include "ui/shape_points.h"

namespace tessivox {

namespace {
constexpr int kWaveformWidth = 201;
}  // namespace

void drawWaveformGuides(DrawingArea& waveform) {
    waveform.fillRect(0, 0, kWaveformWidth, 300, kBlack);
    waveform.line(0, 75, kWaveformWidth, 75, kRed);
    waveform.line(0, 225, kWaveformWidth, 225, kRed);
    waveform.line(0, 150, kWaveformWidth, 150, kWhite);
}

void drawDisplays(const SynthState& s, DrawingArea& shape, DrawingArea& waveform) {
    const auto& X = s.shapeX;
    const auto& Y = s.shapeY;
    if (shape.beginDrawing()) {
        shape.fillRect(0, 0, 300, 300, kBlack);
        for (int i = 0; i + 1 < kShapePoints; ++i)
            shape.line(X[i], Y[i], X[i + 1], Y[i + 1], kWhite);
        shape.line(X[0], Y[0], X[kShapePoints - 1], Y[kShapePoints - 1], kWhite);
        shape.endDrawing();
    }
    if (waveform.beginDrawing()) {
        drawWaveformGuides(waveform);
        for (int i = 0; i + 1 < kShapePoints; ++i) waveform.line(i, Y[i], i + 1, Y[i + 1], kWhite);
        waveform.endDrawing();
    }
}

void updateDisplays(SynthState& s, DrawingArea& shape, DrawingArea& waveform) {
    computeShapePoints(s);
    drawDisplays(s, shape, waveform);
}

}  // namespace tessivox
