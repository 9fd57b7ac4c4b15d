#include <optional>

#include "midi/midi_port.h"
#include "platform/quiet_libraries.h"
#include "platform/realtime_scope.h"

namespace tessivox {

namespace {

// May run on any of the library's threads.
// Warnings count too: opening a port that is not there only warns.
void noteLibraryError(RtMidiError::Type, const std::string&, void* userData) {
    static_cast<std::atomic<int32_t>*>(userData)->store(1, relaxed);
}

// RtMidi's thread (ALSA).
void midiCallback(double /*timeStamp*/, std::vector<unsigned char>* message, void* userData) {
    RealtimeScope scope;
    auto& ctx = *static_cast<MidiInput::Context*>(userData);
    if (ctx.gate.enter()) {
        uint64_t count = 0;
        if (message != nullptr && !message->empty()) {
            deliverBytes(ctx, message->data(), message->size(), count);
        }
        countDeliveries(ctx, count);
    } else {
        ctx.side->whileShut.fetch_add(1, relaxed);
    }
    ctx.gate.leave();
}

std::optional<unsigned int> findPort(RtMidiIn& in, const PortEntry& entry) {
    const unsigned int count = in.getPortCount();
    if (entry.number < count && in.getPortName(entry.number) == entry.name) return entry.number;
    for (unsigned int k = 0; k < count; ++k) {
        if (in.getPortName(k) == entry.name) return k;
    }
    return std::nullopt;
}

}  // namespace

bool linkAlsaSource(MidiInput& port) {
    QuietLibraries quiet;
    try {
        const std::optional<unsigned int> number = findPort(*port.in, port.entry);
        if (!number) {
            port.sourceAway = true;
            return false;
        }
        if (port.sourceAway) {
            port.in->closePort();
            port.libraryError.store(0, relaxed);
            port.in->openPort(*number, kPortName);
            if (port.libraryError.load(relaxed) != 0 || !port.in->isPortOpen()) return false;
            port.sourceAway = false;
        }
    } catch (const RtMidiError&) {
        return false;
    }
    return true;
}

bool createAlsaPort(MidiInput& port) {
    QuietLibraries quiet;
    try {
        port.in = std::make_unique<RtMidiIn>(port.entry.api, kClientName);
        port.in->setErrorCallback(noteLibraryError, &port.libraryError);
        if (port.libraryError.load(relaxed) != 0) return false;
        port.in->ignoreTypes(true, false, false);
        port.in->setCallback(midiCallback, &port.context);
    } catch (const RtMidiError&) {
        return false;
    }
    return true;
}

}  // namespace tessivox
