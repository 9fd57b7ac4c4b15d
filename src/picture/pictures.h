#pragma once

#include "engine/synth_state.h"
#include "picture/canvas.h"

namespace tessivox {

// The pictures of the shape display (300 x 300), the waveform display
// (201 x 300) and the envelope pad (300 x 300).

// Black, the red clip lines at rows 75 and 225 and the white zero line: the
// waveform display's background, drawn under every trace.
void drawWaveformGuides(Canvas& waveform);
// The curve through shapeX and shapeY, closed.
void drawShape(const SynthState& s, Canvas& shape);
// The trace of shapeY over the guides.
void drawWaveform(const SynthState& s, Canvas& waveform);
// The four points of padPoints and the path through them.
void drawPad(const SynthState& s, Canvas& pad);

}  // namespace tessivox
