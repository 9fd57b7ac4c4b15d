#include <bit>
#include <cmath>
#include <limits>

#include "engine/engine.h"
#include "engine/superformula.h"

namespace tessivox {

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
}

int32_t roundToInt32(double value) {
    // nearbyint honours the default round-to-nearest-even mode.
    const double r = std::nearbyint(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

double noteFrequencyOf(int note) {
    return std::pow(2.0, static_cast<double>(note - 69) / 12.0) * 440.0;
}

namespace {

// The frequency this frame plays, or 0 when the oscillator holds its last sample.
double playingFrequency(const EngineState& s) {
    if (!(s.noteFrequency.load(relaxed) > 0.0)) return 0.0;
    // During the fade-out before a note the old pitch keeps playing.
    const double f = s.fadeCounter > s.fadeOutLast ? s.noteFrequency.load(relaxed)
                                                   : s.previousFrequency.load(relaxed);
    // A release before any note leaves previousFrequency at 0: stay as before the first note.
    return f > 0.0 ? f : 0.0;
}

// f / rate in float32 for exact pitch, else one whole-sample period.
double phaseStep(int32_t exact, double f, double rate, int32_t period) {
    return exact == 1 ? static_cast<double>(static_cast<float>(f / rate)) : 1.0 / period;
}

float stepPhase(float phase, double step) {
    phase = static_cast<float>(phase + step);
    // Above the Nyquist rate an exact step passes 1, so one subtraction may not do.
    while (phase > 1.0f) phase = static_cast<float>(phase - 1.0);
    return phase;
}

// +1 or -1 with the sign of sin(theta) for theta = phase * 2 pi as the oscillator
// forms it. The float32 nearest pi lies above pi, and the one nearest 2 pi below it.
float signOfSine(float theta) {
    if (theta <= 3.14159250f) return 1.0f;   // 0 included: sin(+0) is +0
    if (theta <= 6.28318501f) return -1.0f;  // from the float32 above pi
    if (theta <= 6.28318548f) return 1.0f;   // the float32 above 2 pi
    return std::signbit(std::sin(static_cast<double>(theta))) ? -1.0f : 1.0f;
}

}  // namespace

float radiusAt(const EngineState& s, float theta) {
    return superformulaRadius(theta, s.m.load(relaxed), s.N1.load(relaxed), s.N2.load(relaxed),
                              s.N3.load(relaxed), s.A.load(relaxed), s.B.load(relaxed));
}

float nextOscillatorSample(EngineState& s) {
    const double f = playingFrequency(s);
    if (f == 0.0) return s.oscillatorOutput;

    s.periodSamples = roundToInt32(s.sampleRate / f);

    const float theta = static_cast<float>(static_cast<double>(s.phase) * kTwoPi);
    const float y = static_cast<float>(radiusAt(s, theta) * std::sin(static_cast<double>(theta)));
    // Both powers can underflow to 0 and make r infinite: never pass that on.
    s.oscillatorOutput = std::isfinite(y) ? y : 0.0f;

    s.phase =
        stepPhase(s.phase, phaseStep(s.exactPitch.load(relaxed), f, s.sampleRate, s.periodSamples));
    return s.oscillatorOutput;
}

namespace {

Finiteness classifyShape(EngineState& s) {
    const float params[kParamCount] = {s.m.load(relaxed),  s.N1.load(relaxed), s.N2.load(relaxed),
                                       s.N3.load(relaxed), s.A.load(relaxed),  s.B.load(relaxed)};
    // Compared as bits one by one: NaN must match itself, and a wide compare
    // of the narrow stores just made stalls.
    bool same = true;
    for (int k = 0; k < kParamCount; ++k) {
        same &= std::bit_cast<uint32_t>(params[k]) == s.classifiedParams[k];
    }
    if (!same) {
        for (int k = 0; k < kParamCount; ++k) {
            s.classifiedParams[k] = std::bit_cast<uint32_t>(params[k]);
        }
        s.shapeFiniteness = superformulaFiniteness(params[0], params[1], params[2], params[3],
                                                   params[4], params[5]);
    }
    return s.shapeFiniteness;
}

// The two divisions are much of a silent frame's cost: reused while the pitch stays.
void updateSilentStep(EngineState& s, double f) {
    const int32_t exact = s.exactPitch.load(relaxed);
    if (f == s.silentFrequency && s.sampleRate == s.silentRate && exact == s.silentExact) return;
    s.silentFrequency = f;
    s.silentRate = s.sampleRate;
    s.silentExact = exact;
    s.silentPeriod = roundToInt32(s.sampleRate / f);
    s.silentStep = phaseStep(exact, f, s.sampleRate, s.silentPeriod);
}

}  // namespace

float silentOscillatorSample(EngineState& s) {
    const Finiteness shape = classifyShape(s);
    if (shape == Finiteness::Mixed) return nextOscillatorSample(s);
    const double f = playingFrequency(s);
    if (f == 0.0) return s.oscillatorOutput;
    updateSilentStep(s, f);
    s.periodSamples = s.silentPeriod;
    const float theta = static_cast<float>(static_cast<double>(s.phase) * kTwoPi);
    // A sample that is never finite is passed on as +0.
    const float sign = shape == Finiteness::Never ? 1.0f : signOfSine(theta);
    s.phase = stepPhase(s.phase, s.silentStep);
    return sign;
}

unsigned long renderSilence(EngineState& s, float* out, unsigned long count) {
    constexpr auto acquire = std::memory_order_acquire;
    if (s.gate.load(acquire) != 0 || s.soundOffRequested.load(acquire) != 0 ||
        s.sampleIndex < s.fadeInFrames || !releaseFinished(s)) {
        return 0;
    }
    const double f = playingFrequency(s);
    if (f == 0.0) return 0;
    // Once for the block: the parameters the trajectory sets at point 4 hold for every frame.
    settleAfterRelease(s);
    const Finiteness shape = classifyShape(s);
    if (shape == Finiteness::Mixed) return 0;
    updateSilentStep(s, f);
    const double step = s.silentStep;
    float phase = s.phase;
    int32_t n = s.sampleIndex;
    unsigned long k = 0;
    // Whatever the envelope step would do differently is left to it.
    for (; k < count && n <= kWrapGuard; ++k, ++n) {
        if (s.gate.load(acquire) != 0 || s.soundOffRequested.load(acquire) != 0) break;
        const float theta = static_cast<float>(static_cast<double>(phase) * kTwoPi);
        const bool positive = shape == Finiteness::Never || signOfSine(theta) > 0.0f;
        out[k] = positive ? 0.0f : -0.0f;
        phase = stepPhase(phase, step);
    }
    if (k == 0) return 0;
    // What the oscillator leaves after these frames; the envelope's part is settled above.
    s.phase = phase;
    s.sampleIndex = n;
    s.periodSamples = s.silentPeriod;
    return k;
}

}  // namespace tessivox
