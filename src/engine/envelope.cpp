#include <algorithm>
#include <cmath>

#include "engine/engine_steps.h"
#include "engine/handshake.h"

namespace tessivox {

double attackMilliseconds(int32_t slider) {
    return std::pow(1.00517037535, slider) * 0.0994856;
}

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

struct Point {
    double x;
    double y;
};

Point trajectoryPoint(const EngineState& s, int k) {
    return {s.trajectoryX[k].load(relaxed), s.trajectoryY[k].load(relaxed)};
}

Handshake trajectoryHandshake(EngineState& s) {
    return {s.trajectoryEnabled, s.trajectoryStepRunning};
}

// Runs the trajectory step if it is on, in step with disableTrajectory.
void applyTrajectoryIfEnabled(EngineState& s) {
    if (s.trajectoryEnabled.load(std::memory_order_acquire) != 1) return;
    const Handshake handshake = trajectoryHandshake(s);
    if (handshake.enter()) applyTrajectory(s);
    handshake.leave();
}

// 1 - s + s (v / 127)^2 for sensitivity s and the note's velocity v: 1 at s = 0.
double velocityLevel(const EngineState& s) {
    const double sensitivity = s.velocitySensitivity.load(relaxed);
    const double v = s.noteVelocity.load(relaxed) / 127.0;
    return 1.0 - sensitivity + sensitivity * (v * v);
}

void latchEnvelope(EngineState& s) {
    s.envelopeLatched.store(1, relaxed);
    s.fadeCounter = -1;
    const int32_t attack = s.attackSlider.load(relaxed);
    const int32_t decay = s.decaySlider.load(relaxed);
    const int32_t sustain = s.sustainSlider.load(relaxed);
    const int32_t release = s.releaseSlider.load(relaxed);
    s.attackSeconds = attackMilliseconds(attack) / 1000.0;
    s.decaySeconds = decay / 1000.0;
    s.sustainFraction = sustain / 100.0;
    s.releaseSeconds = release / 1000.0;
    s.attackSamples = s.attackSeconds * s.sampleRate;
    s.decaySamples = s.decaySeconds * s.sampleRate;
    s.sustainLevel = s.sustainFraction;
    s.releaseSamples = s.releaseSeconds * s.sampleRate;
}

// All Sound Off: the release restarts from the level reached and lasts the
// fade-out's length.
void cutRelease(EngineState& s, int32_t n) {
    s.soundOffRequested.store(0, relaxed);
    s.releaseStartLevel = s.envelopeLevel;
    s.releaseStartIndex = n - 1;
    s.releaseStartY = s.padPositionY;
    s.releaseStartX = s.padPositionX;
    s.releaseSamples = s.fadeOutLast + 1;
}

void releaseStep(EngineState& s, int32_t n) {
    const double remaining = s.releaseSamples + s.releaseStartIndex - n;
    const Point p4 = trajectoryPoint(s, 3);
    if (!(remaining > 0.0)) {
        s.envelopeLevel = 0.0;
        s.padPositionY = p4.y;
        s.padPositionX = p4.x;
    } else {
        const double k = static_cast<double>(n) - s.releaseStartIndex;
        s.envelopeLevel = s.releaseStartLevel * remaining / s.releaseSamples;
        s.padPositionY = s.releaseStartY + (p4.y - s.releaseStartY) * k / s.releaseSamples;
        s.padPositionX = s.releaseStartX + (p4.x - s.releaseStartX) * k / s.releaseSamples;
    }
    s.lastReleaseLevel = s.envelopeLevel;
    applyTrajectoryIfEnabled(s);
}

void noteSegments(EngineState& s, int32_t n) {
    const double a = s.attackSamples;
    const double d = s.decaySamples;
    const double sus = s.sustainLevel;
    if (n <= roundToInt32(a)) {
        const Point p1 = trajectoryPoint(s, 0);
        const Point p2 = trajectoryPoint(s, 1);
        s.envelopeLevel = n / a;
        s.padPositionY = p1.y + (p2.y - p1.y) * n / a;
        s.padPositionX = p1.x + (p2.x - p1.x) * n / a;
    } else if (n <= roundToInt32(a + d)) {
        const Point p2 = trajectoryPoint(s, 1);
        const Point p3 = trajectoryPoint(s, 2);
        s.envelopeLevel = sus + (1.0 - sus) * (a + d - n) / d;
        s.padPositionY = p2.y + (p3.y - p2.y) * (n - a) / d;
        s.padPositionX = p2.x + (p3.x - p2.x) * (n - a) / d;
    } else {
        const Point p3 = trajectoryPoint(s, 2);
        s.envelopeLevel = sus;
        s.padPositionY = p3.y;
        s.padPositionX = p3.x;
    }
    applyTrajectoryIfEnabled(s);
}

void noteStep(EngineState& s, int32_t n) {
    if (s.envelopeLatched.load(relaxed) == 0) {
        latchEnvelope(s);
        // Nothing sounds: the fade-out would only delay the note.
        if (s.onsetAtOnce.load(relaxed) == 1 && s.lastReleaseLevel == 0.0)
            s.fadeCounter = s.fadeOutLast;
    }
    // Capped just past the fade-out, so hours of one held note cannot overflow it.
    if (s.fadeCounter <= s.fadeOutLast) ++s.fadeCounter;

    if (s.fadeCounter <= s.fadeOutLast) {
        s.envelopeLevel =
            (1.0 - s.fadeCounter / static_cast<double>(s.fadeOutLast)) * s.lastReleaseLevel;
    } else {
        if (s.noteStarted.load(relaxed) == 0) {
            s.phase = 0.0f;
            s.noteLevel = velocityLevel(s);
            s.noteStarted.store(1, relaxed);
            s.sampleIndex = 0;
            n = 0;
        }
        noteSegments(s, n);
    }

    s.releaseStartLevel = s.envelopeLevel;
    s.releaseStartIndex = n;
    s.releaseStartY = s.padPositionY;
    s.releaseStartX = s.padPositionX;
}

// Frames from the current one to the end of the release; not above 0 once it
// has ended.
double framesToReleaseEnd(const EngineState& s) {
    return s.releaseSamples + s.releaseStartIndex - s.sampleIndex;
}

}  // namespace

void applyTrajectory(EngineState& s) {
    const double xFrom = s.xFrom.load(relaxed);
    const double yFrom = s.yFrom.load(relaxed);
    s.xParamValue =
        static_cast<float>(xFrom + (s.padPositionX / kPadExtent) * (s.xTo.load(relaxed) - xFrom));
    s.yParamValue =
        static_cast<float>(yFrom + (s.padPositionY / kPadExtent) * (s.yTo.load(relaxed) - yFrom));
    // Y is stored last, so it wins when both axes name the same parameter.
    const ParamId x = s.xParam.load(relaxed);
    if (x != ParamId::None) param(s, x).store(s.xParamValue, relaxed);
    const ParamId y = s.yParam.load(relaxed);
    if (y != ParamId::None) param(s, y).store(s.yParamValue, relaxed);
}

void settleAfterRelease(EngineState& s) {
    releaseStep(s, s.sampleIndex);
}

void advanceEnvelope(EngineState& s, int32_t n) {
    if (n > kWrapGuard) {
        s.sampleIndex = 0;
        s.releaseStartLevel = 0.0;
    }
    if (s.gate.load(std::memory_order_acquire) == 0) {
        if (s.soundOffRequested.load(std::memory_order_acquire) == 1) cutRelease(s, n);
        releaseStep(s, n);
    }
    // Read again: a gate opened in between takes effect in this frame.
    if (s.gate.load(std::memory_order_acquire) == 1) noteStep(s, n);
}

void renderFrames(EngineState& s, float* out, unsigned long count) {
    for (unsigned long frame = 0; frame < count; ++frame) {
        if (s.envelopeLevel == 0.0) {
            frame += renderSilence(s, out + frame, count - frame);
            if (frame == count) break;
        }
        advanceEnvelope(s, s.sampleIndex);
        const int32_t i = s.sampleIndex;
        // At level 0 only the sign of the oscillator's sample reaches the output.
        const float raw =
            s.envelopeLevel == 0.0 ? silentOscillatorSample(s) : nextOscillatorSample(s);
        double sample = static_cast<double>(raw) * s.envelopeLevel;
        if (s.noteLevel != 1.0) sample *= s.noteLevel;
        if (i < s.fadeInFrames) {
            const float ramp = static_cast<float>(i / static_cast<double>(s.fadeInFrames));
            sample *= static_cast<float>(std::pow(static_cast<double>(ramp), 5.0));
        }
        out[frame] = static_cast<float>(sample);
        ++s.sampleIndex;
    }
}

void setSampleRate(EngineState& s, double rate) {
    s.sampleRate = rate;
    const double scale = rate / kSampleRate;
    // The fade-out lasts kFadeOutLast + 1 frames: that many frames keep
    // their duration, so a note starts within half a frame of 44100's time.
    s.fadeOutLast = roundToInt32((kFadeOutLast + 1) * scale) - 1;
    s.fadeInFrames = roundToInt32(kFadeInFrames * scale);
}

void enableTrajectory(EngineState& s, ParamId xParam, ParamId yParam, float xFrom, float xTo,
                      float yFrom, float yTo) {
    s.xParam.store(xParam, relaxed);
    s.yParam.store(yParam, relaxed);
    s.xFrom.store(xFrom, relaxed);
    s.xTo.store(xTo, relaxed);
    s.yFrom.store(yFrom, relaxed);
    s.yTo.store(yTo, relaxed);
    s.trajectoryEnabled.store(1, std::memory_order_release);
}

void disableTrajectory(EngineState& s) {
    trajectoryHandshake(s).shut();
}

void setPadPoint(EngineState& s, int k, double x, double y) {
    // x before y, each one whole store: the audio thread may pair the new x
    // with the old y for a moment, never a torn value.
    s.trajectoryX[k].store(x);
    s.trajectoryY[k].store(y);
}

void advanceEnvelopeFrames(EngineState& s, int64_t count) {
    for (; count > 0; --count) {
        // Steps passed over store only what the next one overwrites. An All
        // Sound Off or the index's wrap acts at the next step.
        int64_t pass = 0;
        if (s.soundOffRequested.load(relaxed) == 1 || s.sampleIndex + count - 1 > kWrapGuard) {
            pass = 0;
        } else if (s.gate.load(relaxed) == 0 || s.noteStarted.load(relaxed) == 1) {
            // A release, or a note past its fade-out: each frame's values depend
            // on its index alone.
            pass = count - 1;
        } else if (s.envelopeLatched.load(relaxed) == 1) {
            // In the fade-out they depend on its count too, which moves with the index.
            pass = std::clamp<int64_t>(s.fadeOutLast - s.fadeCounter - 1, 0, count - 1);
            s.fadeCounter += static_cast<int32_t>(pass);
        }
        s.sampleIndex += static_cast<int32_t>(pass);
        count -= pass;
        advanceEnvelope(s, s.sampleIndex);
        ++s.sampleIndex;
    }
}

bool releaseFinished(const EngineState& s) {
    return s.gate.load(std::memory_order_acquire) == 0 && !(framesToReleaseEnd(s) > 0.0);
}

int64_t framesShortOfReleaseEnd(const EngineState& s) {
    if (s.gate.load(std::memory_order_acquire) == 1 || releaseFinished(s)) return 0;
    if (s.soundOffRequested.load(std::memory_order_acquire) == 1) return 1;
    return std::max<int64_t>(1, static_cast<int64_t>(framesToReleaseEnd(s)) - 1);
}

}  // namespace tessivox
