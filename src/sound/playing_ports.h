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

// The port value of what applyPlayingPort set; 0 for any other port.
inline float playingPortValue(const EngineState& s, uint32_t port) {
    switch (port) {
        case kTuning:
            return static_cast<float>(s.exactPitch.load());
        case kBendRange:
            return static_cast<float>(s.bendRange.load());
        case kGlideTime:
            return s.glideTime.load();
        case kGlideMode:
            return static_cast<float>(s.glideLegato.load());
        case kVelocity:
            return s.velocitySensitivity.load();
        case kOnset:
            return static_cast<float>(s.onsetAtOnce.load());
        case kSustainPedal:
            return static_cast<float>(s.sustainPedal.load());
        default:
            return 0.0f;
    }
}

// The ports of how a sound is played, as the window and its dialog list them.
inline constexpr Port kSoundPlayingPorts[] = {kTuning,    kBendRange, kGlideTime,
                                              kGlideMode, kVelocity,  kOnset};

}  // namespace tessivox::lv2
