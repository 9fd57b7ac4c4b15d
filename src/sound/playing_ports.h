#pragma once

#include "engine/engine_state.h"
#include "sound/ports.h"

namespace tessivox::lv2 {

// Sets what a port of how the instrument is played stands for, from the
// value as the plugin takes it (clampToPort). False for any other port.
inline bool applyPlayingPort(EngineState& s, uint32_t port, float value) {
    constexpr auto relaxed = std::memory_order_relaxed;
    const int32_t on = value == 1.0f ? 1 : 0;
    switch (port) {
        case kTuning:
            s.exactPitch.store(on, relaxed);
            return true;
        case kBendRange:
            s.bendRange.store(static_cast<int32_t>(value), relaxed);
            return true;
        case kGlideTime:
            s.glideTime.store(value, relaxed);
            return true;
        case kGlideMode:
            s.glideLegato.store(on, relaxed);
            return true;
        case kVelocity:
            s.velocitySensitivity.store(value, relaxed);
            return true;
        case kOnset:
            s.onsetAtOnce.store(on, relaxed);
            return true;
        case kSustainPedal:
            s.sustainPedal.store(on, relaxed);
            return true;
        default:
            return false;
    }
}

}  // namespace tessivox::lv2
