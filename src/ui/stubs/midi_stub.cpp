// Stand-in for the MIDI ports while they are not built: no port exists.
#include "midi/midi_input.h"

namespace tessivox {

int listMidiPorts(SynthState&, std::vector<std::string>& names) {
    names.clear();
    return 0;
}
std::string_view openMidiPort(SynthState&) {
    return kNoMidiInText;
}
std::string_view changeMidiPort(SynthState& s, int position) {
    s.midiPortIndex = position;
    return kNoMidiInText;
}
void closeMidiPort(SynthState&) {}

}  // namespace tessivox
