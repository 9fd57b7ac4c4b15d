#include "engine/engine.h"
#include "ui/colours.h"
#include "ui/pad_editor.h"

namespace tessivox {

void drawPad(const SynthState& s, DrawingArea& pad) {
    const auto& p = s.padPoints;
    // Points are whole pixels in 0..300; the rounding only converts the type.
    auto px = [&](int k) { return roundToInt32(p[k].x); };
    auto py = [&](int k) { return roundToInt32(p[k].y); };
    pad.fillRect(0, 0, 300, 300, kBlack);
    const QRgb discColours[4] = {kGreen, kWhite, kWhite, kRed};
    for (int k = 0; k < 4; ++k) pad.disc(px(k), py(k), 5, discColours[k]);
    const QRgb lineColours[3] = {kGreen, kYellow, kRed};
    for (int k = 0; k < 3; ++k) pad.line(px(k), py(k), px(k + 1), py(k + 1), lineColours[k]);
}

}  // namespace tessivox
