#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/synth_state.h"

namespace tessivox {

inline constexpr std::string_view kMidiInText = "MIDI IN";
inline constexpr std::string_view kNoMidiInText = "No MIDI IN";

// Lists the MIDI input ports a user can choose, in list order, into `names`,
// and remembers which real port each list position stands for. Returns the
// number of ports found.
int listMidiPorts(SynthState& s, std::vector<std::string>& names);

// Opens and starts the port at list position s.midiPortIndex (-1: none).
// Returns the text for status field 0: "MIDI IN" or "No MIDI IN".
std::string_view openMidiPort(SynthState& s);

// The port change: stops and closes the open port, then opens and starts the
// port at list position `position`. Returns the text for status field 0.
std::string_view changeMidiPort(SynthState& s, int position);

// Stops and closes the open port, if any (at shutdown).
void closeMidiPort(SynthState& s);

}  // namespace tessivox
