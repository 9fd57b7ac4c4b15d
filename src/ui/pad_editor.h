#pragma once

#include "ui/drawing_area.h"
#include "ui/synth_state.h"

namespace tessivox {

// Paints the pad picture from padPoints; the caller has begun drawing.
void drawPad(const SynthState& s, DrawingArea& pad);

// Every event of the envelope pad (control 13) goes here.
void handlePadEvent(SynthState& s, DrawingArea& pad, const PadEvent& event);

}  // namespace tessivox
