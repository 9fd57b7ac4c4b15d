#pragma once

#include "picture/window_layout.h"
#include "ui/drawing_area.h"
#include "ui/synth_state.h"

namespace tessivox {

// Black, the red clip lines at rows 75 and 225 and the white zero line: the
// waveform display's background, drawn under every trace. Drawing has begun.
void drawWaveformGuides(DrawingArea& waveform);

// Redraws both displays from shapeX and shapeY. A display whose drawing
// cannot begin keeps its picture.
void drawDisplays(const SynthState& s, DrawingArea& shape, DrawingArea& waveform);

// Recomputes the points from the six parameters, then drawDisplays.
void updateDisplays(SynthState& s, DrawingArea& shape, DrawingArea& waveform);

}  // namespace tessivox
