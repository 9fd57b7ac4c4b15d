#include "ui/pad_editor.h"

namespace tessivox {

// Placeholder until the pad editor lands.
void handlePadEvent(SynthState&, DrawingArea&, const PadEvent&) {}

}  // namespace tessivox
