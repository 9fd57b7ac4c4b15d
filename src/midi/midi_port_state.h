#pragma once

#include <cstdint>

namespace tessivox {

class MidiInput;  // the open MIDI port; defined with the MIDI ports

// The MIDI port's part of the shared record: UI thread only.
struct MidiPortState {
    int32_t midiPortIndex = 0;
    MidiInput* midiInHandle = nullptr;
};

}  // namespace tessivox
