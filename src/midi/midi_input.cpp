#include "midi/midi_input.h"

#include <RtMidi.h>

#include <atomic>
#include <memory>
#include <optional>

#include "platform/quiet_libraries.h"
#include "platform/realtime_scope.h"
#include "midi/delivery_gate.h"
#include "midi/midi_byte_parser.h"
#include "midi/midi_input_stats.h"
#include "midi/midi_rules.h"

namespace tessivox {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;
constexpr const char* kClientName = "Tessivox";

// What one list position stands for. The name is kept so that the port can
// be found again if the numbering moved since the list was made.
struct PortEntry {
    RtMidi::Api api;
    unsigned int number;
    std::string name;
};

// UI thread only.
std::vector<PortEntry>& portTable() {
    static std::vector<PortEntry> table;
    return table;
}

std::atomic<uint64_t> gAccepted{0};
std::atomic<uint64_t> gWhileShut{0};
std::atomic<uint64_t> gAfterClose{0};

void ignoreLibraryError(RtMidiError::Type, const std::string&, void*) {}

// May run on any of the library's threads.
// Warnings count too: opening a port that is not there only warns.
void noteLibraryError(RtMidiError::Type, const std::string&, void* userData) {
    static_cast<std::atomic<int32_t>*>(userData)->store(1, relaxed);
}

}  // namespace

// One opened port. The context is what the library's callback sees; it lives
// until the library object is gone, because the JACK backend can still
// deliver after closePort() has returned.
class MidiInput {
  public:
    struct Context {
        SynthState* state = nullptr;
        // Open once the port is started, shut when it is stopped.
        DeliveryGate gate;
        // Set once the UI thread counts the port as closed.
        std::atomic<int32_t> closed{0};
        MidiByteParser parser;  // the delivering thread's own
    };

    Context context;  // declared first: destroyed after `in`
    std::atomic<int32_t> libraryError{0};
    std::unique_ptr<RtMidiIn> in;
};

namespace {

void midiCallback(double /*timeStamp*/, std::vector<unsigned char>* message, void* userData) {
    RealtimeScope scope;
    auto& ctx = *static_cast<MidiInput::Context*>(userData);
    if (ctx.gate.enter()) {
        uint64_t count = 0;
        if (message != nullptr && !message->empty()) {
            ctx.parser.feed(message->data(), message->size(), [&](uint32_t packed) {
                handleMidiShortMessage(*ctx.state, packed);
                ++count;
            });
        }
        if (ctx.closed.load(relaxed) != 0) gAfterClose.fetch_add(count, relaxed);
        gAccepted.fetch_add(count, relaxed);
    } else {
        gWhileShut.fetch_add(1, relaxed);
    }
    ctx.gate.leave();
}

// From here on no delivery of this port reaches the note rules.
void stopPort(MidiInput& port) {
    port.context.gate.shut();
    port.context.closed.store(1, relaxed);
}

std::optional<unsigned int> findPort(RtMidiIn& in, const PortEntry& entry) {
    const unsigned int count = in.getPortCount();
    if (entry.number < count && in.getPortName(entry.number) == entry.name) return entry.number;
    for (unsigned int k = 0; k < count; ++k) {
        if (in.getPortName(k) == entry.name) return k;
    }
    return std::nullopt;
}

// Creates the library object, opens the listed port and returns it, not yet
// started; null when anything failed.
std::unique_ptr<MidiInput> openListedPort(SynthState& s, const PortEntry& entry) {
    QuietLibraries quiet;
    auto port = std::make_unique<MidiInput>();
    port->context.state = &s;
    try {
        port->in = std::make_unique<RtMidiIn>(entry.api, kClientName);
        port->in->setErrorCallback(noteLibraryError, &port->libraryError);
        const std::optional<unsigned int> number = findPort(*port->in, entry);
        if (!number || port->libraryError.load(relaxed) != 0) return nullptr;
        port->in->ignoreTypes(true, false, false);
        port->in->setCallback(midiCallback, &port->context);
        port->in->openPort(*number, "in");
        if (port->libraryError.load(relaxed) != 0 || !port->in->isPortOpen()) return nullptr;
    } catch (...) {
        return nullptr;
    }
    return port;
}

}  // namespace

MidiInputStats midiInputStats() {
    return {gAccepted.load(relaxed), gWhileShut.load(relaxed), gAfterClose.load(relaxed)};
}

int listMidiPorts(SynthState& /*s*/, std::vector<std::string>& names) {
    std::vector<PortEntry>& table = portTable();
    table.clear();
    names.clear();
    QuietLibraries quiet;
    // ALSA sequencer ports first, then JACK; an API that is not there throws.
    for (const RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
        try {
            RtMidiIn in(api, kClientName);
            in.setErrorCallback(ignoreLibraryError, nullptr);
            const unsigned int count = in.getPortCount();
            for (unsigned int k = 0; k < count; ++k) {
                std::string name = in.getPortName(k);
                if (name.empty()) continue;  // unreadable: left out, the others keep their port
                table.push_back({api, k, name});
                names.push_back(std::move(name));
            }
        } catch (...) {
        }
    }
    return static_cast<int>(names.size());
}

std::string_view openMidiPort(SynthState& s) {
    closeMidiPort(s);
    const std::vector<PortEntry>& table = portTable();
    if (s.midiPortIndex < 0 || static_cast<size_t>(s.midiPortIndex) >= table.size()) {
        return kNoMidiInText;
    }
    std::unique_ptr<MidiInput> port = openListedPort(s, table[s.midiPortIndex]);
    if (!port) return kNoMidiInText;
    // Start: deliveries reach the note rules from here on.
    port->context.gate.open();
    s.midiInHandle = port.release();
    return kMidiInText;
}

std::string_view changeMidiPort(SynthState& s, int position) {
    closeMidiPort(s);
    s.midiPortIndex = position;
    return openMidiPort(s);
}

void closeMidiPort(SynthState& s) {
    MidiInput* port = s.midiInHandle;
    if (port == nullptr) return;
    s.midiInHandle = nullptr;
    stopPort(*port);
    {
        QuietLibraries quiet;
        try {
            port->in->closePort();
        } catch (...) {
        }
        // Only destroying the library object ends late deliveries for good.
        delete port;
    }
    handleMidiPortClosed(s);
}

}  // namespace tessivox
