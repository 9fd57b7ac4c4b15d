#include "picture/pictures.h"

#include "engine/engine.h"
#include "picture/colours.h"

namespace tessivox {

void drawWaveformGuides(Canvas& waveform) {
    constexpr int kTop = kDisplayCentre - kDisplayScale, kBottom = kDisplayCentre + kDisplayScale;
    waveform.fillRect(0, 0, kWaveformWidth, kDisplaySize, kBlack);
    waveform.line(0, kTop, kWaveformWidth, kTop, kRed);
    waveform.line(0, kBottom, kWaveformWidth, kBottom, kRed);
    waveform.line(0, kDisplayCentre, kWaveformWidth, kDisplayCentre, kWhite);
}

void drawShape(const EditorState& s, Canvas& shape) {
    const auto& X = s.shapeX;
    const auto& Y = s.shapeY;
    shape.fillRect(0, 0, kDisplaySize, kDisplaySize, kBlack);
    for (int i = 0; i + 1 < kShapePoints; ++i) shape.line(X[i], Y[i], X[i + 1], Y[i + 1], kWhite);
    shape.line(X[0], Y[0], X[kShapePoints - 1], Y[kShapePoints - 1], kWhite);
}

void drawWaveform(const EditorState& s, Canvas& waveform) {
    const auto& Y = s.shapeY;
    drawWaveformGuides(waveform);
    for (int i = 0; i + 1 < kShapePoints; ++i) waveform.line(i, Y[i], i + 1, Y[i + 1], kWhite);
}

void drawPad(const EditorState& s, Canvas& pad) {
    const auto& p = s.padPoints;
    // Points are whole pixels in 0..kPadExtent; the rounding only converts the type.
    auto px = [&](int k) { return roundToInt32(p[k].x); };
    auto py = [&](int k) { return roundToInt32(p[k].y); };
    pad.fillRect(0, 0, kDisplaySize, kDisplaySize, kBlack);
    const uint32_t discColours[4] = {kGreen, kWhite, kWhite, kRed};
    for (int k = 0; k < 4; ++k) pad.disc(px(k), py(k), 5, discColours[k]);
    const uint32_t lineColours[3] = {kGreen, kYellow, kRed};
    for (int k = 0; k < 3; ++k) pad.line(px(k), py(k), px(k + 1), py(k + 1), lineColours[k]);
}

}  // namespace tessivox
