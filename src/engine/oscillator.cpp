#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "engine/engine_steps.h"
#include "engine/superformula.h"

namespace tessivox {

namespace {
constexpr auto relaxed = std::memory_order_relaxed;

template <class To, class From>
constexpr To bitCast(From from) {
#ifdef __cpp_lib_bit_cast
    return std::bit_cast<To>(from);
#else
    // Emscripten's libc++ 13 lacks std::bit_cast; the builtin behind it is there.
    return __builtin_bit_cast(To, from);
#endif
}
}  // namespace

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

// The sounding note's pitch for this frame: the newest note's, reached
// evenly in semitones over the glide time from the pitch sounding before.
double notePitch(EngineState& s) {
    const double target = s.noteFrequency.load(relaxed);
    if (target != s.glideTo) {
        const float time = s.glideTime.load(relaxed);
        const bool glide = time > 0.0f && s.pitchNow > 0.0 &&
                           (s.glideLegato.load(relaxed) == 0 || s.noteLegato.load(relaxed) == 1);
        s.glideFrom = s.pitchNow;
        s.glideTo = target;
        s.glideStep = 0;
        s.glideFrames = glide ? std::max(1, roundToInt32(time * s.sampleRate)) : 0;
    }
    if (s.glideStep < s.glideFrames) {
        ++s.glideStep;
        const double k = static_cast<double>(s.glideStep) / s.glideFrames;
        s.pitchNow =
            s.glideStep == s.glideFrames ? target : s.glideFrom * std::pow(target / s.glideFrom, k);
    } else {
        s.pitchNow = target;
    }
    return s.pitchNow;
}

// 2^(semitones / 12) for the bend as it stands, semitones being
// range * (bend - 8192) / 8192; recomputed only when either moves.
double bendFactor(EngineState& s) {
    const int32_t range = s.bendRange.load(relaxed);
    const int32_t bend = s.pitchBend.load(relaxed);
    if (range != s.bendRangeSeen || bend != s.bendSeen) {
        s.bendRangeSeen = range;
        s.bendSeen = bend;
        s.bendFactor = std::pow(2.0, range * (bend - 8192) / 8192.0 / 12.0);
    }
    return s.bendFactor;
}

// The frequency this frame plays, or 0 when the oscillator holds its last
// sample. Steps the glide: once a frame.
double playingFrequency(EngineState& s) {
    if (!(s.noteFrequency.load(relaxed) > 0.0)) return 0.0;
    // During the fade-out before a note the old pitch keeps playing.
    double f = s.fadeCounter > s.fadeOutLast ? notePitch(s) : s.previousFrequency.load(relaxed);
    // A release before any note leaves previousFrequency at 0: stay as before the first note.
    if (!(f > 0.0)) return 0.0;
    const double bend = bendFactor(s);
    if (bend != 1.0) f *= bend;
    return f;
}

// The pitch moves on its own during a glide, or one about to start: each
// frame needs its own step then.
bool pitchSteady(const EngineState& s) {
    return s.glideStep >= s.glideFrames &&
           (s.noteFrequency.load(relaxed) == s.glideTo || s.glideTime.load(relaxed) == 0.0f);
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
        same &= bitCast<uint32_t>(params[k]) == s.classifiedParams[k];
    }
    if (!same) {
        for (int k = 0; k < kParamCount; ++k) {
            s.classifiedParams[k] = bitCast<uint32_t>(params[k]);
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

namespace {

constexpr uint32_t kMantissaBits = 0x7FFFFFu;
constexpr int32_t kHiddenBit = 0x800000;

// The largest phase whose theta, as the oscillator forms it, is at most `limit`:
// theta grows with the phase, so a search over the bits finds it.
constexpr float largestPhaseWithThetaAtMost(float limit) {
    uint32_t low = 0, high = bitCast<uint32_t>(1.0f);
    while (low < high) {
        const uint32_t mid = low + (high - low + 1) / 2;
        const float theta = static_cast<float>(static_cast<double>(bitCast<float>(mid)) * kTwoPi);
        if (theta <= limit)
            low = mid;
        else
            high = mid - 1;
    }
    return bitCast<float>(low);
}

// signOfSine's bounds as phases: + up to the first, - up to the second, + above.
constexpr float kPositiveUpTo = largestPhaseWithThetaAtMost(3.14159250f);
constexpr float kNegativeUpTo = largestPhaseWithThetaAtMost(6.28318501f);
static_assert(largestPhaseWithThetaAtMost(6.28318548f) == 1.0f, "no phase reaches sin's last case");

// A bound in units of the grid of the binade with biased exponent `exponent`:
// below every phase there when it lies in a lower binade, above all in a higher.
int32_t boundOnGrid(float bound, uint32_t exponent) {
    const uint32_t bits = bitCast<uint32_t>(bound);
    if (bits >> 23 < exponent) return kHiddenBit - 1;
    if (bits >> 23 > exponent) return 2 * kHiddenBit;
    return static_cast<int32_t>((bits & kMantissaBits) | kHiddenBit);
}

// The silent frames silentOscillatorSample gives one by one, in stretches.
// Inside one binade, once the phase has been rounded onto its grid, every
// step adds the same number of grid units (the sum's roundings, ties
// included, no longer depend on the phase), so a stretch of phases is an
// arithmetic sequence of integers and its signs are runs found by division.
class SilentStretch {
  public:
    SilentStretch(float phase, double step, bool alwaysPositive)
        : phase_(phase), step_(step), alwaysPositive_(alwaysPositive) {}

    float phase() const { return phase_; }

    // Fills up to `count` frames (at least one) of `out`; returns how many.
    unsigned long fill(float* out, unsigned long count) {
        const uint32_t bits = bitCast<uint32_t>(phase_);
        const uint32_t exponent = bits >> 23;
        const float next = stepPhase(phase_, step_);
        const uint32_t nextBits = bitCast<uint32_t>(next);
        // Off the grid, or leaving the binade (a wrap included): one frame. A
        // step of a whole period or more is taken a frame at a time.
        if (!onGrid_ || exponent == 0 || nextBits >> 23 != exponent || next < phase_ ||
            !(step_ < 1.0)) {
            out[0] = signAt(phase_);
            onGrid_ = exponent != 0 && nextBits >> 23 == exponent;
            phase_ = next;
            return 1;
        }
        const int32_t p = static_cast<int32_t>((bits & kMantissaBits) | kHiddenBit);
        const int32_t q = static_cast<int32_t>(nextBits - bits);
        // Frames whose following phase stays inside the binade.
        const unsigned long n =
            q == 0 ? count
                   : std::min<unsigned long>(
                         count, static_cast<unsigned long>((2 * kHiddenBit - 1 - p) / q));
        const int64_t last = p + static_cast<int64_t>(q) * static_cast<int64_t>(n - 1);
        const auto framesUpTo = [&](float bound) -> unsigned long {
            const int32_t t = boundOnGrid(bound, exponent);
            if (t < p) return 0;
            if (t >= last) return n;
            return static_cast<unsigned long>((t - p) / q) + 1;
        };
        const unsigned long positive = alwaysPositive_ ? n : framesUpTo(kPositiveUpTo);
        const unsigned long negative = alwaysPositive_ ? n : framesUpTo(kNegativeUpTo);
        std::fill(out, out + positive, 0.0f);
        std::fill(out + positive, out + negative, -0.0f);
        std::fill(out + negative, out + n, 0.0f);
        phase_ = bitCast<float>(bits + static_cast<uint32_t>(q) * static_cast<uint32_t>(n));
        return n;
    }

  private:
    float signAt(float phase) const {
        const float theta = static_cast<float>(static_cast<double>(phase) * kTwoPi);
        return alwaysPositive_ || signOfSine(theta) > 0.0f ? 0.0f : -0.0f;
    }

    float phase_;
    double step_;
    bool alwaysPositive_;
    bool onGrid_ = false;  // the phase came from a step inside its binade
};

}  // namespace

unsigned long renderSilence(EngineState& s, float* out, unsigned long count) {
    constexpr auto acquire = std::memory_order_acquire;
    const auto woken = [&s] {
        return s.gate.load(acquire) != 0 || s.soundOffRequested.load(acquire) != 0;
    };
    if (woken() || s.sampleIndex < s.fadeInFrames || s.sampleIndex > kWrapGuard ||
        !releaseFinished(s) || !pitchSteady(s)) {
        return 0;
    }
    // Once for the block: the parameters the trajectory sets at point 4 hold for every frame.
    settleAfterRelease(s);
    // Whatever the envelope step would do differently (the index's wrap) is left to it.
    count =
        std::min<unsigned long>(count, static_cast<unsigned long>(kWrapGuard - s.sampleIndex) + 1);
    const double f = playingFrequency(s);
    if (f == 0.0) {
        // Before the first note the oscillator holds its last sample: its sign is all there is.
        std::fill(out, out + count, std::signbit(s.oscillatorOutput) ? -0.0f : 0.0f);
        s.sampleIndex += static_cast<int32_t>(count);
        return count;
    }
    const Finiteness shape = classifyShape(s);
    if (shape == Finiteness::Mixed) return 0;
    updateSilentStep(s, f);
    SilentStretch stretch(s.phase, s.silentStep, shape == Finiteness::Never);
    unsigned long k = 0;
    while (k < count && !woken()) k += stretch.fill(out + k, count - k);
    if (k == 0) return 0;
    // What the oscillator leaves after these frames; the envelope's part is settled above.
    s.phase = stretch.phase();
    s.sampleIndex += static_cast<int32_t>(k);
    s.periodSamples = s.silentPeriod;
    return k;
}

}  // namespace tessivox
