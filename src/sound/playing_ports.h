#pragma once

#include "engine/engine_state.h"
#include "sound/ports.h"

namespace tessivox::lv2 {

// The engine fields behind the ports of how the instrument is played: a
// whole number (a choice, a switch, semitones) or an amount.
struct PlayingField {
    Port port;
    std::atomic<int32_t> EngineState::*whole;
    std::atomic<float> EngineState::*amount;
};
inline constexpr PlayingField kPlayingFields[] = {
    {kTuning, &EngineState::exactPitch, nullptr},
    {kBendRange, &EngineState::bendRange, nullptr},
    {kGlideTime, nullptr, &EngineState::glideTime},
    {kGlideMode, &EngineState::glideLegato, nullptr},
    {kVelocity, nullptr, &EngineState::velocitySensitivity},
    {kOnset, &EngineState::onsetAtOnce, nullptr},
    {kSustainPedal, &EngineState::sustainPedal, nullptr}};

// Sets what a port of how the instrument is played stands for, from the
// value as the plugin takes it (clampToPort). False for any other port.
inline bool applyPlayingPort(EngineState& s, uint32_t port, float value) {
    for (const PlayingField& f : kPlayingFields) {
        if (f.port != port) continue;
        if (f.whole) (s.*f.whole).store(static_cast<int32_t>(value), std::memory_order_relaxed);
        if (f.amount) (s.*f.amount).store(value, std::memory_order_relaxed);
        return true;
    }
    return false;
}

// The port value of what applyPlayingPort set; 0 for any other port.
inline float playingPortValue(const EngineState& s, uint32_t port) {
    for (const PlayingField& f : kPlayingFields) {
        if (f.port == port)
            return f.whole ? static_cast<float>((s.*f.whole).load()) : (s.*f.amount).load();
    }
    return 0.0f;
}

// The ports of how a sound is played, as the window and its dialog list them.
inline constexpr Port kSoundPlayingPorts[] = {kTuning,    kBendRange, kGlideTime,
                                              kGlideMode, kVelocity,  kOnset};

}  // namespace tessivox::lv2
