#include "engine/engine.h"

namespace tessivox {

void limitToDeviceRange(float* samples, unsigned long count) {
    for (unsigned long i = 0; i < count; ++i) {
        const float v = samples[i];
        // NaN fails both comparisons and falls through to 0.
        if (!(v >= -1.0f && v <= 1.0f)) samples[i] = v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : 0.0f;
    }
}

int32_t onsetDelayFrames(const EngineState& s) {
    return s.fadeOutLast + 1;
}

}  // namespace tessivox
