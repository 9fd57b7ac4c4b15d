#pragma once

// How control port values reach the engine: shared by the plugin and the
// browser's interface, so both play a port's value alike.

#include <cmath>
#include <cstdint>

#include "engine/engine.h"
#include "midi/midi_rules.h"
#include "sound/playing_ports.h"
#include "sound/ports.h"

namespace tessivox::lv2 {

struct PortControls {
    float applied[kPortCount] = {};  // clamped values in force; NaN before the first
    bool trajectoryRunning = false;

    void reset() {
        for (float& v : applied) v = NAN;
        trajectoryRunning = false;
    }

    // Takes one control port's value as the plugin does. A shape parameter's
    // new value goes to setParam(row, previous, first), which stores it;
    // true when the trajectory must be decided anew (restartTrajectory) once
    // every port of the batch has been taken.
    template <class SetParam>
    bool take(EngineState& state, uint32_t port, float raw, SetParam setParam) {
        const float value = clampToPort(port, raw);
        if (value == applied[port]) return false;
        const bool first = std::isnan(applied[port]);
        const float previous = applied[port];
        applied[port] = value;
        if (port < kM + kParamCount) {
            setParam(static_cast<int>(port - kM), previous, first);
        } else if (port < kTrajectory) {
            envelopeSlider(state, static_cast<int>(port - kAttack))
                .store(static_cast<int32_t>(value), std::memory_order_relaxed);
        } else if (port < kPad) {
            return true;
        } else if (port < kChannel) {
            const int k = static_cast<int>(port - kPad), point = k / 2;
            const bool x = k % 2 == 0;
            setPadPoint(state, point,
                        x ? value : state.trajectoryX[point].load(std::memory_order_relaxed),
                        x ? state.trajectoryY[point].load(std::memory_order_relaxed) : value);
        } else if (applyPlayingPort(state, port, value)) {
            // Keys the pedal held would never end once it no longer counts.
            if (port == kSustainPedal && value == 0.0f && !first)
                handleMidiShortMessage(state, packShortMessage(0xB0, 64, 0));
        } else if (port == kChannel && !first) {
            // A note held on a channel that no longer passes would never end otherwise.
            releaseAllKeys(state);
        }
        return false;
    }

    // Off first, so a parameter that leaves an axis gets its own value back.
    // The caller runs the trajectory's steps itself, so this never waits.
    void stopTrajectory(EngineState& state) {
        if (!trajectoryRunning) return;
        disableTrajectory(state);
        for (int row = 0; row < kParamCount; ++row) {
            param(state, static_cast<ParamId>(row))
                .store(applied[kM + row], std::memory_order_relaxed);
        }
    }

    // Then on again when the ports allow it.
    void startTrajectory(EngineState& state) {
        const AxisPorts x = axisFromPorts(applied, true), y = axisFromPorts(applied, false);
        trajectoryRunning = applied[kTrajectory] == 1.0f && trajectoryAllowed(x, y);
        if (trajectoryRunning)
            enableTrajectory(state, static_cast<ParamId>(x.row), static_cast<ParamId>(y.row),
                             x.from, x.to, y.from, y.to);
    }

    // The MIDI channel port as handleMidiMessageOn takes it.
    int channel() const { return static_cast<int>(applied[kChannel]); }
};

}  // namespace tessivox::lv2
