#pragma once

#include <cstdint>

namespace tessivox {

class MidiInput;  // the open MIDI port; defined with the MIDI ports

// The MIDI port's part of the shared record. The index is the UI thread's;
// the handle belongs to the thread that makes the MIDI side's library calls
// (the UI thread at start-up, then the MIDI side's own).
struct MidiPortState {
    int32_t midiPortIndex = 0;
    MidiInput* midiInHandle = nullptr;
};

}  // namespace tessivox
