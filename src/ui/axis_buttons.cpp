#include "ui/axis_buttons.h"

namespace tessivox {

// Placeholder until the axis assignment lands.
void handleAxisButton(SynthState&, const AxisControls&, ParamId) {}

}  // namespace tessivox
