#pragma once

// The engine's own steps, below the calls hosts make (engine.h): the
// oscillator, the envelope and the trajectory one frame at a time.

#include <cstdint>

#include "engine/engine.h"

namespace tessivox {

// Past this sample index the envelope restarts its count.
inline constexpr int32_t kWrapGuard = 2147483640;

// One raw oscillator sample; advances the phase. Audio thread.
float nextOscillatorSample(EngineState& s);

// The oscillator's step for a frame whose envelope level is 0: the phase
// advances as in nextOscillatorSample, and the result has the sign of the
// sample it would give (all that survives the multiplication by 0), found
// without the superformula when its parameters allow. Audio thread.
float silentOscillatorSample(EngineState& s);

// The frames after a finished release, while nothing asks for more than
// silence (no gate, no fade, a shape known finite or never at point 4):
// fills up to `count` frames of `out` as renderFrames would, with the sign
// of each zero, and returns how many; 0 when these frames need the full
// step. Audio thread.
unsigned long renderSilence(EngineState& s, float* out, unsigned long count);

// The envelope and trajectory step of any frame after the release has
// ended: level 0, the pad at point 4, the trajectory applied there. Every
// such frame stores the same values. Audio thread.
void settleAfterRelease(EngineState& s);

// One envelope and trajectory step for sample index n. Audio thread.
void advanceEnvelope(EngineState& s, int32_t n);

// Maps the pad position onto the two assigned parameters. Audio thread.
void applyTrajectory(EngineState& s);

}  // namespace tessivox
