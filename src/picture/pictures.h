#pragma once

#include "engine/controls.h"
#include "picture/canvas.h"
#include "picture/editor_state.h"

namespace tessivox {

// The pictures of the shape display and the envelope pad (squares of
// kDisplaySize) and the waveform display (kWaveformWidth by kDisplaySize).
// The curve's centre and the zero line lie at kDisplayCentre; one unit of
// radius or of amplitude spans kDisplayScale pixels.
inline constexpr int kDisplaySize = kPadExtent;
inline constexpr int kWaveformWidth = 201;
inline constexpr int kDisplayCentre = kDisplaySize / 2;
inline constexpr int kDisplayScale = kDisplaySize / 4;

// Black, the red clip lines one scale above and below the white zero line: the
// waveform display's background, drawn under every trace.
void drawWaveformGuides(Canvas& waveform);
// The curve through shapeX and shapeY, closed.
void drawShape(const EditorState& s, Canvas& shape);
// The trace of shapeY over the guides.
void drawWaveform(const EditorState& s, Canvas& waveform);
// The four points of padPoints and the path through them.
void drawPad(const EditorState& s, Canvas& pad);

}  // namespace tessivox
