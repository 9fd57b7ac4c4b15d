#pragma once

#include "engine/engine_state.h"
#include "picture/editor_state.h"

namespace tessivox {

// What the window holds: the engine it plays and shows, and its editor's own
// part. The audio output and the MIDI ports are objects of their own, made
// beside it at start-up.
struct SynthState : EngineState, EditorState {};

}  // namespace tessivox
