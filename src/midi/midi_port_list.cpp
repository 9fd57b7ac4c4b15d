#include <jack/jack.h>

#include <algorithm>
#include <optional>

#include "midi/midi_input.h"
#include "midi/midi_port.h"
#include "platform/jack_clients.h"
#include "platform/quiet_libraries.h"

namespace tessivox {

namespace {

void ignoreLibraryError(RtMidiError::Type, const std::string&, void*) {}

constexpr size_t kListingsKept = 4;

}  // namespace

const PortEntry* listedEntry(MidiSide& m, uint32_t serial, int position) {
    for (const Listing& l : m.listings) {
        if (l.serial == serial && position >= 0 && static_cast<size_t>(position) < l.table.size()) {
            return &l.table[position];
        }
    }
    return nullptr;
}

uint32_t MidiPorts::midiPortListSerial() const {
    return side_->listings.back().serial;
}

int MidiPorts::listMidiPorts(std::vector<std::string>& names) {
    jackClients::Lock held = jackClients::lock();
    std::deque<Listing>& kept = side_->listings;
    kept.push_back({kept.back().serial + 1, {}});
    if (kept.size() > kListingsKept) kept.pop_front();
    std::vector<PortEntry>& table = kept.back().table;
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
    if (jack_client_t* watch = watchClient(side_->watch, true)) {
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

int relistMidiPorts(MidiSide& m, std::vector<std::string>& names, const PortEntry* chosen, int at) {
    const std::optional<PortEntry> kept =
        chosen != nullptr ? std::optional<PortEntry>(*chosen) : std::nullopt;
    m.owner.listMidiPorts(names);
    if (!kept) return -1;
    std::vector<PortEntry>& table = m.listings.back().table;
    for (size_t k = 0; k < table.size(); ++k) {
        if (table[k].api == kept->api && table[k].name == kept->name) return static_cast<int>(k);
    }
    // Gone for now: it stays where it was, for its port may come back.
    const size_t where = std::min(static_cast<size_t>(std::max(at, 0)), table.size());
    table.insert(table.begin() + static_cast<std::ptrdiff_t>(where), *kept);
    names.insert(names.begin() + static_cast<std::ptrdiff_t>(where), kept->name);
    return static_cast<int>(where);
}

int MidiPorts::relistMidiPorts(std::vector<std::string>& names, int selected) {
    return tessivox::relistMidiPorts(*side_, names,
                                     listedEntry(*side_, midiPortListSerial(), selected), selected);
}

}  // namespace tessivox
