#pragma once

#include <cstdint>

#include "engine/engine_state.h"

namespace tessivox {

inline constexpr float kTwoPi = 6.2831855f;  // the float32 nearest to 2*pi
inline constexpr double kMinSampleRate = 8000.0;
inline constexpr double kMaxSampleRate = 192000.0;

// Sets the rate the state renders at, before any frame is rendered; rate
// must lie in kMinSampleRate..kMaxSampleRate. The fades keep their length in
// time; at 44100 nothing changes.
void setSampleRate(EngineState& s, double rate);

// Nearest integer, ties to even. Values that are not finite or do not fit in
// int32 give INT32_MIN, as the hardware conversion does.
int32_t roundToInt32(double value);

// What attack slider position `slider` stands for, in milliseconds.
double attackMilliseconds(int32_t slider);

// 440 * 2^((note - 69) / 12), in double.
double noteFrequencyOf(int note);

// The per-frame work of the stream callback: fills `count` frames of `out`.
// Real-time safe: no allocation, no locks, no system calls.
void renderFrames(EngineState& s, float* out, unsigned long count);

// UI thread: publish an axis assignment and switch the trajectory on.
void enableTrajectory(EngineState& s, ParamId xParam, ParamId yParam, float xFrom, float xTo,
                      float yFrom, float yTo);

// UI thread: switch the trajectory off and return once no trajectory step can
// store a parameter any more. Whatever the caller writes to the parameters
// afterwards stands.
void disableTrajectory(EngineState& s);

// Moves pad point k (0..3) of the trajectory to (x, y) in pad pixels.
void setPadPoint(EngineState& s, int k, double x, double y);

// The envelope alone for `count` frames, as renderFrames steps it: what
// decides when a release ends, without the sound. Spans whose every frame
// depends on its index alone (a release, a note past its fade-out, silence)
// take one step.
void advanceEnvelopeFrames(EngineState& s, int64_t count);

// With no key held, how many frames may run at once and end before the
// release does: 0 once it has ended (or while a key is held); 1 near its end
// or while an All Sound Off waits to cut it at the next frame.
int64_t framesShortOfReleaseEnd(const EngineState& s);

// The curve's radius at theta for the parameters as they stand now.
float radiusAt(const EngineState& s, float theta);

// What a sound device or a host may be handed: samples within [-1, 1] stay
// as they are to the bit, the rest are held at -1 or 1, and a non-finite
// sample becomes 0. Real-time safe.
void limitToDeviceRange(float* samples, unsigned long count);

// The frames from a note-on to the note's first sample: the fade-out of
// whatever sounded before runs first, also from silence, unless the onset is
// at once (then 0: only a note that interrupts a sounding one waits).
int32_t onsetDelayFrames(const EngineState& s);

// True once the gate is closed and the release has run out: every further
// frame is silent until the next note.
bool releaseFinished(const EngineState& s);

}  // namespace tessivox
