#pragma once

#include "picture/editor_state.h"

namespace tessivox {

// Recomputes shapeX and shapeY (the 202 display points) from the six
// parameters, in float32 wherever a value is stored.
void computeShapePoints(const EngineState& engine, EditorState& s);

}  // namespace tessivox
