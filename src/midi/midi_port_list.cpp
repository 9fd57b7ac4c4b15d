#include <jack/jack.h>

#include <algorithm>
#include <optional>

#include "midi/midi_input.h"
#include "midi/midi_port.h"
#include "platform/jack_clients.h"
#include "platform/quiet_libraries.h"

namespace tessivox {

// UI thread only.
std::vector<PortEntry>& portTable() {
    static std::vector<PortEntry> table;
    return table;
}

namespace {
void ignoreLibraryError(RtMidiError::Type, const std::string&, void*) {}
}  // namespace

int listMidiPorts(SynthState& /*s*/, std::vector<std::string>& names) {
    jackClients::Lock held = jackClients::lock();
    std::vector<PortEntry>& table = portTable();
    table.clear();
    names.clear();
    QuietLibraries quiet;
    // ALSA sequencer ports first, then JACK; without a sequencer RtMidi throws.
    try {
        RtMidiIn in(RtMidi::LINUX_ALSA, kClientName);
        in.setErrorCallback(ignoreLibraryError, nullptr);
        const unsigned int count = in.getPortCount();
        for (unsigned int k = 0; k < count; ++k) {
            std::string name = in.getPortName(k);
            if (name.empty()) continue;  // unreadable: left out, the others keep their port
            table.push_back({RtMidi::LINUX_ALSA, k, name});
            names.push_back(std::move(name));
        }
    } catch (const RtMidiError&) {
    }
    // The sources RtMidi's JACK input would list, in the same order.
    if (jack_client_t* watch = watchClient(true)) {
        if (const char** ports =
                jack_get_ports(watch, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput)) {
            for (unsigned int k = 0; ports[k] != nullptr; ++k) {
                table.push_back({RtMidi::UNIX_JACK, k, ports[k]});
                names.emplace_back(ports[k]);
            }
            jack_free(ports);
        }
    }
    return static_cast<int>(names.size());
}

int relistMidiPorts(SynthState& s, std::vector<std::string>& names, int selected) {
    std::vector<PortEntry>& table = portTable();
    std::optional<PortEntry> kept;
    if (selected >= 0 && static_cast<size_t>(selected) < table.size()) kept = table[selected];
    listMidiPorts(s, names);
    if (!kept) return -1;
    for (size_t k = 0; k < table.size(); ++k) {
        if (table[k].api == kept->api && table[k].name == kept->name) return static_cast<int>(k);
    }
    // Gone for now: it stays where it was, for its port may come back.
    const size_t at = std::min(static_cast<size_t>(selected), table.size());
    table.insert(table.begin() + static_cast<std::ptrdiff_t>(at), *kept);
    names.insert(names.begin() + static_cast<std::ptrdiff_t>(at), kept->name);
    return static_cast<int>(at);
}

}  // namespace tessivox
