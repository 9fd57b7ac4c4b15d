// The LV2 instrument: the program's engine and note rules behind LV2 ports.
// Everything runs on the host's audio thread; MIDI acts at its exact frame.

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/core/lv2_util.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <new>

#include "engine/engine.h"
#include "midi/midi_byte_parser.h"
#include "midi/midi_rules.h"
#include "sound/port_controls.h"

namespace tessivox::lv2 {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;

struct Plugin {
    EngineState state;
    const LV2_Atom_Sequence* midiIn = nullptr;
    float* out = nullptr;
    float* latency = nullptr;
    const float* controls[kPortCount] = {};
    float fallback[kPortCount] = {};  // read while a control port is not connected
    PortControls ports;               // the values in force
    LV2_URID midiEvent = 0;
    double rate = 0.0;
    MidiByteParser parser;
    // A shape parameter the host moved between blocks goes from its old
    // value to its new one across the block, rather than jumping at its start.
    float rampFrom[kParamCount] = {};
    bool ramping[kParamCount] = {};
    bool anyRamp = false;

    void reset() {
        state.~EngineState();
        new (&state) EngineState();
        setSampleRate(state, rate);
        ports.reset();
        parser.reset();
        stopRamps();
    }

    void updateTrajectory() {
        ports.stopTrajectory(state);
        stopRamps();
        ports.startTrajectory(state);
    }

    void applyControls() {
        // A parameter's first value stands at once; a later one ramps across the block.
        const auto setParam = [this](int row, float previous, bool first) {
            if (first) {
                param(state, static_cast<ParamId>(row)).store(ports.applied[kM + row], relaxed);
            } else {
                rampFrom[row] = previous;
                ramping[row] = anyRamp = true;
            }
        };
        bool trajectoryChanged = false;
        for (uint32_t port = kM; port < kPortCount; ++port) {
            if (kPorts[port].type != PortType::Control) continue;
            trajectoryChanged |= ports.take(state, port, *controls[port], setParam);
        }
        if (trajectoryChanged) updateTrajectory();
    }

    void deliver(uint32_t message) { handleMidiMessageOn(state, message, ports.channel()); }

    // One event is one message. Running status never reaches from one event
    // into the next, and a system-exclusive event is dropped whole.
    void handleMidiEvent(const uint8_t* bytes, uint32_t size) {
        if (size == 0 || bytes[0] < 0x80 || bytes[0] == 0xF0) return;
        parser.reset();
        parser.feed(bytes, size, [this](uint32_t message) { deliver(message); });
    }

    // Every parameter at its value, as when the block's last frame is done.
    void stopRamps() {
        for (int row = 0; row < kParamCount; ++row) {
            if (ramping[row])
                param(state, static_cast<ParamId>(row)).store(ports.applied[kM + row], relaxed);
            ramping[row] = false;
        }
        anyRamp = false;
    }

    // Frames [from, to) of the block of `frames`; while a ramp runs, frame k
    // plays old + (new - old) (k + 1) / frames, the last one the new value.
    void render(uint32_t from, uint32_t to, uint32_t frames) {
        if (!anyRamp) return renderFrames(state, out + from, to - from);
        for (uint32_t k = from; k < to; ++k) {
            for (int row = 0; row < kParamCount; ++row) {
                if (!ramping[row]) continue;
                const float target = ports.applied[kM + row];
                const double t = static_cast<double>(k + 1) / frames;
                const float v =
                    k + 1 == frames
                        ? target
                        : static_cast<float>(rampFrom[row] + (target - rampFrom[row]) * t);
                param(state, static_cast<ParamId>(row)).store(v, relaxed);
            }
            renderFrames(state, out + k, 1);
        }
    }

    void run(uint32_t frames) {
        applyControls();
        if (latency != nullptr) *latency = static_cast<float>(onsetDelayFrames(state));
        if (out == nullptr) return stopRamps();
        uint32_t done = 0;
        if (midiIn != nullptr) {
            // Times are frames: this plugin does not ask for beats, and hosts
            // leave the sequence's unit field unset, so it is never read.
            const auto* body = reinterpret_cast<const uint8_t*>(&midiIn->body);
            const uint64_t size = midiIn->atom.size;
            // An event that does not fit ends the block's events: nothing after
            // it can be found reliably.
            for (uint64_t at = sizeof(LV2_Atom_Sequence_Body);
                 at + sizeof(LV2_Atom_Event) <= size;) {
                const auto* ev = reinterpret_cast<const LV2_Atom_Event*>(body + at);
                if (ev->body.size > size - at - sizeof(LV2_Atom_Event)) break;
                at += (sizeof(LV2_Atom_Event) + uint64_t{ev->body.size} + 7) & ~uint64_t{7};
                if (ev->body.type != midiEvent) continue;
                // Frames out of order or past the block act as soon as they can.
                const int64_t t = ev->time.frames;
                const uint32_t when = t <= done     ? done
                                      : t >= frames ? frames
                                                    : static_cast<uint32_t>(t);
                render(done, when, frames);
                done = when;
                handleMidiEvent(reinterpret_cast<const uint8_t*>(ev + 1), ev->body.size);
            }
        }
        render(done, frames, frames);
        if (anyRamp) stopRamps();
        limitToDeviceRange(out, frames);
    }
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    const LV2_URID_Map* map = nullptr;
    const LV2_Log_Log* log = nullptr;
    lv2_features_query(features, LV2_URID__map, &map, false, LV2_LOG__log, &log, false, nullptr);
    // Hosts show only that instantiation failed: the reason goes to their log.
    const auto refuse = [&](const char* why) -> LV2_Handle {
        if (log != nullptr && log->printf != nullptr) {
            const LV2_URID error = map != nullptr ? map->map(map->handle, LV2_LOG__Error) : 0;
            log->printf(log->handle, error, "Tessivox: %s\n", why);
        }
        return nullptr;
    };
    if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate)) {
        return refuse("the sample rate must lie between 8000 and 192000 Hz");
    }
    if (map == nullptr) return refuse("the host offers no urid:map feature");
    auto* p = new (std::nothrow) Plugin;
    if (p == nullptr) return nullptr;
    p->midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
    p->rate = rate;
    for (uint32_t port = 0; port < kPortCount; ++port) {
        p->fallback[port] = kPorts[port].start;
        p->controls[port] = &p->fallback[port];
    }
    p->reset();
    return p;
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    auto* p = static_cast<Plugin*>(handle);
    if (port == kMidiIn) {
        p->midiIn = static_cast<const LV2_Atom_Sequence*>(data);
    } else if (port == kOut) {
        p->out = static_cast<float*>(data);
    } else if (port == kLatency) {
        p->latency = static_cast<float*>(data);
    } else if (port < kPortCount) {
        p->controls[port] = data != nullptr ? static_cast<const float*>(data) : &p->fallback[port];
    }
}

// A fresh start: no key held, nothing sounding, every control read anew.
void activate(LV2_Handle handle) {
    static_cast<Plugin*>(handle)->reset();
}

void run(LV2_Handle handle, uint32_t frames) {
    static_cast<Plugin*>(handle)->run(frames);
}

void cleanup(LV2_Handle handle) {
    delete static_cast<Plugin*>(handle);
}

const LV2_Descriptor kDescriptor = {kPluginUri.data(), instantiate, connectPort, activate, run,
                                    nullptr,           cleanup,     nullptr};

}  // namespace
}  // namespace tessivox::lv2

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &tessivox::lv2::kDescriptor : nullptr;
}
