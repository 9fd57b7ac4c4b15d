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

float nextOscillatorSample(SynthState& s) {
    if (!(s.noteFrequency.load(relaxed) > 0.0)) return s.oscillatorOutput;

    // During the fade-out before a note the old pitch keeps playing.
    const double f = s.fadeCounter > s.fadeOutLast ? s.noteFrequency.load(relaxed)
                                                   : s.previousFrequency.load(relaxed);
    // A release before any note leaves previousFrequency at 0: stay as before the first note.
    if (!(f > 0.0)) return s.oscillatorOutput;

    s.periodSamples = roundToInt32(s.sampleRate / f);

    const float theta = static_cast<float>(static_cast<double>(s.phase) * kTwoPi);
    const float r =
        superformulaRadius(theta, s.m.load(relaxed), s.N1.load(relaxed), s.N2.load(relaxed),
                           s.N3.load(relaxed), s.A.load(relaxed), s.B.load(relaxed));
    const float y = static_cast<float>(r * std::sin(static_cast<double>(theta)));
    // Both powers can underflow to 0 and make r infinite: never pass that on.
    s.oscillatorOutput = std::isfinite(y) ? y : 0.0f;

    s.phase = static_cast<float>(s.phase + 1.0 / s.periodSamples);
    if (s.phase > 1.0f) s.phase = static_cast<float>(s.phase - 1.0);

    return s.oscillatorOutput;
}

}  // namespace tessivox
