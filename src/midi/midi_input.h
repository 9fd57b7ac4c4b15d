#pragma once

#include <functional>
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

// The number of the newest list; a choice names the list it came from by it.
uint32_t midiPortListSerial();

// Lists the ports again for a list that is being opened, keeping the entry at
// list position `selected` even while its port is gone. Returns the selected
// entry's new position, or -1 when none was selected.
int relistMidiPorts(SynthState& s, std::vector<std::string>& names, int selected);

// Opens and starts the port at list position s.midiPortIndex (-1: none).
// Returns the text for status field 0: "MIDI IN" or "No MIDI IN".
std::string_view openMidiPort(SynthState& s);

// The port change: stops and closes the open port, then opens and starts the
// port at list position `position`. Returns the text for status field 0.
std::string_view changeMidiPort(SynthState& s, int position);

// Called every few milliseconds: follows the chosen port's source.
// A source that went away (its program ended, its device was unplugged, its
// server stopped) counts as a closed port; once a port of that name is there
// again it is connected by itself. Returns the new text for status field 0
// when the state changed, else an empty view.
std::string_view followMidiPort(SynthState& s);

// The chosen entry chosen again: its source is looked at now, and connected
// again if its connection was lost. The port itself stays open. Returns as
// followMidiPort does.
std::string_view lookAtMidiPortNow(SynthState& s);

// Stops and closes the open port, if any.
void closeMidiPort(SynthState& s);

// After start-up the window calls none of the functions above but the
// shutdown's: their JACK calls wait as long as a hung server does. It asks
// the MIDI side's own thread instead, which from then on owns the port, the
// watch and the lists and follows the source, and picks up the results when
// it polls. The thread starts with the first request, or with the first poll
// after openMidiPort; beginMidiShutdown ends it. None of these waits.
struct MidiPortNews {
    std::string_view status;  // the new text for status field 0, if any
    bool listed = false;      // a new list: the fields below
    std::vector<std::string> names;
    int selected = -1;
    uint32_t serial = 0;
    uint64_t sequence = 0;  // of the newest request made before this list
};
// The port change to `position` of the list numbered `listSerial`. Returns
// the request's sequence number.
uint64_t askMidiPortChange(SynthState& s, uint32_t listSerial, int position);
// The chosen entry chosen again (see lookAtMidiPortNow).
void askMidiPortLook(SynthState& s);
// A new list, with the entry chosen last selected.
void askMidiPortList(SynthState& s);
MidiPortNews takeMidiPortNews(SynthState& s);
bool midiThreadRunning();

// At the end, in two steps, so that the audio side can come down meanwhile:
// the first stops the port's deliveries and starts closing the port and the
// program's other JACK client on a thread of their own (the MIDI side's own
// thread, when it runs, does that itself); the second waits for
// that, calling `pumpWindowEvents`, until 0.4 s after the first. (A JACK
// server that is itself shutting down answers a client's close only after
// five seconds.) It returns false if the close is still under way: the
// caller must then end the process without running static destructors.
void beginMidiShutdown(SynthState& s);
bool finishMidiShutdown(const std::function<void()>& pumpWindowEvents);

}  // namespace tessivox
