#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_state.h"

namespace tessivox {

inline constexpr std::string_view kMidiInText = "MIDI IN";
inline constexpr std::string_view kNoMidiInText = "No MIDI IN";

// Counters of the MIDI input callbacks, for tests and diagnostics.
struct MidiInputStats {
    uint64_t messagesAccepted;    // short messages handed to the note rules
    uint64_t callbacksWhileShut;  // deliveries that arrived after the port was stopped
    uint64_t acceptedAfterClose;  // messages that reached the note rules after the port
                                  // counted as closed: must stay 0
};

// What the MIDI side's own thread tells the window (see askMidiPortChange).
struct MidiPortNews {
    std::string_view status;  // the new text for status field 0, if any
    bool listed = false;      // a new list: the fields below
    std::vector<std::string> names;
    int selected = -1;
    uint32_t serial = 0;
    uint64_t sequence = 0;  // of the newest request made before this list
};

class MidiInput;  // the open port
struct MidiSide;  // the ports' own state, private to the MIDI module

// The program's MIDI input: the chosen port, the lists it is chosen from,
// the watch on the JACK server and the thread that follows them. Its
// deliveries play the engine through the note rules. Made by whoever holds
// the engine, once; UI thread unless said otherwise.
class MidiPorts {
  public:
    explicit MidiPorts(EngineState& engine);
    // Closes what is still open, as the shutdown does.
    ~MidiPorts();
    MidiPorts(const MidiPorts&) = delete;
    MidiPorts& operator=(const MidiPorts&) = delete;

    // The list position chosen (-1: none); openMidiPort opens it.
    int32_t midiPortIndex = 0;

    // Lists the MIDI input ports a user can choose, in list order, into `names`,
    // and remembers which real port each list position stands for. Returns the
    // number of ports found.
    int listMidiPorts(std::vector<std::string>& names);

    // The number of the newest list; a choice names the list it came from by it.
    uint32_t midiPortListSerial() const;

    // Lists the ports again for a list that is being opened, keeping the entry at
    // list position `selected` even while its port is gone. Returns the selected
    // entry's new position, or -1 when none was selected.
    int relistMidiPorts(std::vector<std::string>& names, int selected);

    // Opens and starts the port at list position midiPortIndex (-1: none).
    // Returns the text for status field 0: "MIDI IN" or "No MIDI IN".
    std::string_view openMidiPort();

    // The port change: stops and closes the open port, then opens and starts the
    // port at list position `position`. Returns the text for status field 0.
    std::string_view changeMidiPort(int position);

    // Called every few milliseconds: follows the chosen port's source.
    // A source that went away (its program ended, its device was unplugged, its
    // server stopped) counts as a closed port; once a port of that name is there
    // again it is connected by itself. Returns the new text for status field 0
    // when the state changed, else an empty view.
    std::string_view followMidiPort();

    // The chosen entry chosen again: its source is looked at now, and connected
    // again if its connection was lost. The port itself stays open. Returns as
    // followMidiPort does.
    std::string_view lookAtMidiPortNow();

    // Stops and closes the open port, if any.
    void closeMidiPort();
    // The open port (its source there or not), or null. Asked of the thread
    // that makes the library calls.
    const MidiInput* midiInHandle() const;

    // After start-up the window calls none of the functions above but the
    // shutdown's: their JACK calls wait as long as a hung server does. It asks
    // the MIDI side's own thread instead, which from then on owns the port, the
    // watch and the lists and follows the source, and picks up the results when
    // it polls. The thread starts with the first request, or with the first poll
    // after openMidiPort; beginMidiShutdown ends it. None of these waits.

    // The port change to `position` of the list numbered `listSerial`. Returns
    // the request's sequence number.
    uint64_t askMidiPortChange(uint32_t listSerial, int position);
    // The chosen entry chosen again (see lookAtMidiPortNow).
    void askMidiPortLook();
    // A new list, with the entry chosen last selected.
    void askMidiPortList();
    MidiPortNews takeMidiPortNews();

    // The delivering threads' counts.
    MidiInputStats midiInputStats() const;

    // At the end, in two steps, so that the audio side can come down meanwhile:
    // the first stops the port's deliveries and starts closing the port and the
    // program's other JACK client on a thread of their own (the MIDI side's own
    // thread, when it runs, does that itself); the second waits for
    // that, calling `pumpWindowEvents`, until 0.4 s after the first. (A JACK
    // server that is itself shutting down answers a client's close only after
    // five seconds.) It returns false if the close is still under way: the
    // caller must then end the process without running static destructors.
    void beginMidiShutdown();
    bool finishMidiShutdown(const std::function<void()>& pumpWindowEvents);

  private:
    std::unique_ptr<MidiSide> side_;
};

}  // namespace tessivox
