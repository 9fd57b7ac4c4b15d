#pragma once

#include <cstdint>

#include "engine/engine_state.h"

namespace tessivox {

// A short MIDI message as one value: status | data1 << 8 | data2 << 16.
constexpr uint32_t packShortMessage(uint8_t status, uint8_t data1, uint8_t data2) {
    return status | static_cast<uint32_t>(data1) << 8 | static_cast<uint32_t>(data2) << 16;
}

// The note rules for one incoming short message. Real-time safe: runs on the
// MIDI service's thread (the JACK process thread with JACK MIDI).
void handleMidiShortMessage(EngineState& s, uint32_t message);

// A message from a source that plays `channel` (1 to 16, 0: every one): a
// channel message on another channel only refreshes the status text; one that
// passes plays as channel 1.
void handleMidiMessageOn(EngineState& s, uint32_t message, int channel);

// Every key held ends as with the last note-off, and the note goes to its
// release. Nothing happens when no key is held.
void releaseAllKeys(EngineState& s);

// The open port went away: no key is held any more.
void handleMidiPortClosed(EngineState& s);

}  // namespace tessivox
