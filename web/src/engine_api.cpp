// The sound side of the browser version, as flat C functions: one engine per
// module instance, its ports taken as the plugin takes them, MIDI acting as
// in the plugin, and a MIDI file's schedule played as the renderer plays it.
// tv_render and the MIDI calls are real-time safe: no allocation, no locks.

#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "engine/engine.h"
#include "midi/midi_byte_parser.h"
#include "midi/midi_file.h"
#include "midi/midi_rules.h"
#include "midi/schedule_play.h"
#include "sound/port_controls.h"

namespace tessivox::web {
namespace {

using lv2::kPortCount;
using lv2::kPorts;
using lv2::PortType;

constexpr unsigned kBufferFrames = 8192;
constexpr uint32_t kMaxFileBytes = 4u << 20;

struct Engine {
    EngineState state;
    lv2::PortControls ports;
    float wanted[kPortCount] = {};  // taken at the next render, as a plugin's ports at its run
    bool portsPending = false;
    bool deviceLimit = true;
    MidiByteParser parser;
};

alignas(16) float output[kBufferFrames];
Engine engine;
double engineRate = kDefaultRate;

// The schedule of the last MIDI file read, and how far its play has come.
MidiSchedule schedule;
std::string fileError;
int64_t schedulePosition = 0;
size_t scheduleNext = 0;

bool isControl(uint32_t port) {
    return port < kPortCount && kPorts[port].type == PortType::Control;
}

// Every control port taken anew, as a plugin's first run after activation.
void takeAllPorts(EngineState& state, lv2::PortControls& ports, const float* values) {
    ports.reset();
    bool trajectory = false;
    for (uint32_t port = lv2::kM; port < kPortCount; ++port) {
        if (!isControl(port)) continue;
        trajectory |= ports.take(state, port, values[port], [&](int row, float, bool) {
            param(state, static_cast<ParamId>(row))
                .store(ports.applied[lv2::kM + row], std::memory_order_relaxed);
        });
    }
    if (trajectory) ports.startTrajectory(state);
}

void applyPendingPorts() {
    if (!engine.portsPending) return;
    engine.portsPending = false;
    EngineState& s = engine.state;
    const auto store = [](int row, float, bool) {
        param(engine.state, static_cast<ParamId>(row))
            .store(engine.ports.applied[lv2::kM + row], std::memory_order_relaxed);
    };
    bool trajectory = false;
    for (uint32_t port = lv2::kM; port < kPortCount; ++port) {
        if (isControl(port)) trajectory |= engine.ports.take(s, port, engine.wanted[port], store);
    }
    if (trajectory) {
        engine.ports.stopTrajectory(s);
        engine.ports.startTrajectory(s);
    }
}

// A fresh state at the engine's rate with the ports as they are wanted now.
void restart() {
    engine.state.~EngineState();
    new (&engine.state) EngineState();
    setSampleRate(engine.state, engineRate);
    takeAllPorts(engine.state, engine.ports, engine.wanted);
    engine.portsPending = false;
    engine.parser.reset();
}

void renderSpan(unsigned offset, unsigned count) {
    renderFrames(engine.state, output + offset, count);
    if (engine.deviceLimit) limitToDeviceRange(output + offset, count);
}

}  // namespace
}  // namespace tessivox::web

using namespace tessivox;
using namespace tessivox::web;

extern "C" {

// Starts a fresh engine at `rate` frames per second with every port at its
// start value. 0 when the rate lies outside 8000..192000.
EMSCRIPTEN_KEEPALIVE int tv_init(double rate) {
    if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate)) return 0;
    engineRate = rate;
    for (uint32_t port = 0; port < kPortCount; ++port) engine.wanted[port] = kPorts[port].start;
    restart();
    return 1;
}

// A control port's new value (its index in the plugin's port list); it
// acts from the next tv_render on. 0 for a port that is no control.
EMSCRIPTEN_KEEPALIVE int tv_set_port(uint32_t port, float value) {
    if (!isControl(port)) return 0;
    engine.wanted[port] = value;
    engine.portsPending = true;
    return 1;
}

// The value in force, clamped as the plugin clamps it; NaN before the first.
EMSCRIPTEN_KEEPALIVE float tv_port(uint32_t port) {
    return port < kPortCount ? engine.ports.applied[port] : NAN;
}

EMSCRIPTEN_KEEPALIVE uint32_t tv_port_count() {
    return kPortCount;
}

// The port's symbol (as in links and presets), range and start value.
EMSCRIPTEN_KEEPALIVE const char* tv_port_symbol(uint32_t port) {
    return port < kPortCount ? kPorts[port].symbol.data() : "";
}

EMSCRIPTEN_KEEPALIVE float tv_port_minimum(uint32_t port) {
    return port < kPortCount ? kPorts[port].minimum : NAN;
}

EMSCRIPTEN_KEEPALIVE float tv_port_maximum(uint32_t port) {
    return port < kPortCount ? kPorts[port].maximum : NAN;
}

EMSCRIPTEN_KEEPALIVE float tv_port_start(uint32_t port) {
    return port < kPortCount ? kPorts[port].start : NAN;
}

// A packed short message (status | data1 << 8 | data2 << 16), through the
// channel port.
EMSCRIPTEN_KEEPALIVE void tv_midi(uint32_t message) {
    handleMidiMessageOn(engine.state, message, engine.ports.channel());
}

// One MIDI event of up to three bytes (byte k at bits 8k), as the plugin
// takes an event: one message, system exclusive dropped.
EMSCRIPTEN_KEEPALIVE void tv_midi_event(uint32_t packed, uint32_t size) {
    const uint8_t bytes[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                              static_cast<uint8_t>(packed >> 16)};
    if (size == 0 || size > 3 || bytes[0] < 0x80 || bytes[0] == 0xF0) return;
    engine.parser.reset();
    engine.parser.feed(bytes, size, [](uint32_t message) { tv_midi(message); });
}

// Renders `count` frames into the output buffer from frame `offset` on;
// 0 when they do not fit.
EMSCRIPTEN_KEEPALIVE int tv_render(uint32_t offset, uint32_t count) {
    if (offset > kBufferFrames || count > kBufferFrames - offset) return 0;
    applyPendingPorts();
    renderSpan(offset, count);
    return 1;
}

EMSCRIPTEN_KEEPALIVE float* tv_output_buffer() {
    return output;
}

EMSCRIPTEN_KEEPALIVE uint32_t tv_buffer_frames() {
    return kBufferFrames;
}

// 1 (the start): samples held in [-1, 1] as a sound device gets them;
// 0: as the engine makes them, as tessivox-render writes them without --clip.
EMSCRIPTEN_KEEPALIVE void tv_set_device_limit(int on) {
    engine.deviceLimit = on != 0;
}

// What the window shows while the engine plays: the six parameters (the
// trajectory moves them), the gate text (0 none, 1 Off, 2 On) and a count
// that changes with every message, and the frames a note-on waits.
EMSCRIPTEN_KEEPALIVE float tv_param(int row) {
    if (row < 0 || row >= kParamCount) return NAN;
    return param(engine.state, static_cast<ParamId>(row)).load(std::memory_order_relaxed);
}

EMSCRIPTEN_KEEPALIVE int tv_gate_text() {
    return static_cast<int>(engine.state.gateText.load(std::memory_order_relaxed));
}

EMSCRIPTEN_KEEPALIVE uint32_t tv_message_count() {
    return engine.state.shortMessageCount.load(std::memory_order_relaxed);
}

EMSCRIPTEN_KEEPALIVE int tv_latency() {
    return onsetDelayFrames(engine.state);
}

// Bytes handed in from JavaScript.
EMSCRIPTEN_KEEPALIVE void* tv_alloc(uint32_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

EMSCRIPTEN_KEEPALIVE void tv_free(void* p) {
    std::free(p);
}

// Reads a Standard MIDI File placed on frames at `rate`; 0 on failure, with
// the reason in tv_error(). The schedule is kept for the accessors below.
EMSCRIPTEN_KEEPALIVE int tv_read_midi_file(const uint8_t* bytes, uint32_t size, double rate) {
    schedule = {};
    schedulePosition = 0;
    scheduleNext = 0;
    fileError.clear();
    if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate)) {
        fileError = "the sample rate must lie between 8000 and 192000 Hz";
        return 0;
    }
    // The module's memory has a ceiling, and running out of it would end the
    // module: a file's schedule takes at most eight times its size.
    if (size > kMaxFileBytes) {
        fileError = "larger than 4 MiB: too large to play here";
        return 0;
    }
    if (readMidiFile(std::span(bytes, size), schedule, fileError, static_cast<int64_t>(rate)))
        return 1;
    schedule = {};
    return 0;
}

EMSCRIPTEN_KEEPALIVE const char* tv_error() {
    return fileError.c_str();
}

EMSCRIPTEN_KEEPALIVE uint32_t tv_schedule_count() {
    return static_cast<uint32_t>(schedule.messages.size());
}

// Frames as doubles: JavaScript numbers hold them exactly.
EMSCRIPTEN_KEEPALIVE double tv_schedule_frame(uint32_t i) {
    return i < schedule.messages.size() ? static_cast<double>(schedule.messages[i].frame) : -1.0;
}

EMSCRIPTEN_KEEPALIVE uint32_t tv_schedule_message(uint32_t i) {
    return i < schedule.messages.size() ? schedule.messages[i].message : 0;
}

// The frames tessivox-render writes for the schedule with the ports as they
// are now: through the release after the file's end.
EMSCRIPTEN_KEEPALIVE double tv_schedule_length() {
    auto state = std::make_unique<EngineState>();
    lv2::PortControls ports;
    setSampleRate(*state, engineRate);
    takeAllPorts(*state, ports, engine.wanted);
    return static_cast<double>(scheduleLength(*state, schedule, std::nullopt));
}

// A fresh engine with the ports as they are: nothing held, nothing sounding.
EMSCRIPTEN_KEEPALIVE void tv_restart() {
    restart();
}

// Plays the schedule from its start on a fresh engine, as the renderer does
// (every message as channel 1 reads it, the channel port aside).
EMSCRIPTEN_KEEPALIVE void tv_schedule_start() {
    restart();
    schedulePosition = 0;
    scheduleNext = 0;
}

// Its next `count` frames into the output buffer from frame 0, each message
// acting before its frame.
EMSCRIPTEN_KEEPALIVE int tv_schedule_render(uint32_t count) {
    if (count > kBufferFrames) return 0;
    applyPendingPorts();
    uint32_t done = 0;
    const auto& messages = schedule.messages;
    while (scheduleNext < messages.size() &&
           messages[scheduleNext].frame < schedulePosition + count) {
        const int64_t at = messages[scheduleNext].frame - schedulePosition;
        if (at > done) {
            renderSpan(done, static_cast<uint32_t>(at - done));
            done = static_cast<uint32_t>(at);
        }
        handleMidiShortMessage(engine.state, messages[scheduleNext++].message);
    }
    renderSpan(done, count - done);
    schedulePosition += count;
    return 1;
}

EMSCRIPTEN_KEEPALIVE const char* tv_version() {
    return TESSIVOX_VERSION;
}

}  // extern "C"
