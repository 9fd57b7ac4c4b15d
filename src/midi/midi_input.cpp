#include "midi/midi_input.h"

#include <jack/jack.h>

#include <memory>
#include <system_error>
#include <thread>

#include "midi/midi_port.h"
#include "platform/jack_clients.h"
#include "platform/quiet_libraries.h"
#include "platform/shutdown_wait.h"

namespace tessivox {

namespace {

// The source is looked for at least this often, and at once when the JACK
// server reports a change of its ports.
constexpr auto kLookInterval = std::chrono::milliseconds(500);

// From here on no delivery of this port reaches the note rules.
void stopDeliveries(MidiInput& port) {
    port.context.gate.shut();
    port.context.closed.store(1, relaxed);
    // The gate is shut: the delivering thread does not touch the parser.
    port.context.parser.reset();
}

void startDeliveries(MidiInput& port) {
    port.context.closed.store(0, relaxed);
    port.context.gate.open();
}

bool linkSource(MidiInput& port, Clock::time_point now) {
    return port.entry.api == RtMidi::UNIX_JACK ? linkJackSource(port, now) : linkAlsaSource(port);
}

// The library side of a new port, not yet linked to its source.
bool createLibraryPort(MidiInput& port) {
    if (port.entry.api == RtMidi::UNIX_JACK) {
        port.nextServerTry = Clock::now() + kServerRetryInterval;
        return openJackClient(port);
    }
    return createAlsaPort(port);
}

}  // namespace

MidiInput::~MidiInput() {
    if (in) {
        try {
            in->closePort();
        } catch (const RtMidiError&) {
        }
        // Only destroying the library object ends late deliveries for good.
        in.reset();
    }
    closeJackClient(*this);
}

MidiPorts::MidiPorts(EngineState& engine) : side_(std::make_unique<MidiSide>(*this, engine)) {}

MidiPorts::~MidiPorts() {
    if (!side_->shutDown) beginMidiShutdown();
    // A close that never returned still holds the side: left to it.
    if (!finishMidiShutdown({})) (void)side_.release();
}

MidiInputStats MidiPorts::midiInputStats() const {
    return {side_->accepted.load(relaxed), side_->whileShut.load(relaxed),
            side_->afterClose.load(relaxed)};
}

std::string_view MidiPorts::openMidiPort() {
    side_->opened = true;
    return openMidiPortEntry(*side_, listedEntry(*side_, midiPortListSerial(), midiPortIndex));
}

std::string_view openMidiPortEntry(MidiSide& m, const PortEntry* entry) {
    jackClients::Lock held = jackClients::lock();
    m.owner.closeMidiPort();
    if (entry == nullptr) return kNoMidiInText;
    auto port = std::make_unique<MidiInput>(m, *entry);
    // A JACK port whose server is away (or going) is kept all the same: the
    // follower opens its client once a server answers.
    if (!createLibraryPort(*port) && port->entry.api != RtMidi::UNIX_JACK) return kNoMidiInText;
    port->seenGraphChanges = m.watch.graphChanges.load(relaxed);
    port->nextLook = Clock::now() + kLookInterval;
    port->linked = linkSource(*port, Clock::now());
    // Start: deliveries reach the note rules from here on.
    if (port->linked) startDeliveries(*port);
    const bool linked = port->linked;
    // Kept even when its source is not there: it is linked once it appears.
    m.midiInHandle = port.release();
    return linked ? kMidiInText : kNoMidiInText;
}

std::string_view MidiPorts::changeMidiPort(int position) {
    jackClients::Lock held = jackClients::lock();
    closeMidiPort();
    midiPortIndex = position;
    return openMidiPort();
}

std::string_view MidiPorts::followMidiPort() {
    MidiSide& m = *side_;
    // Busy (the audio worker opening its stream): looked at next time.
    jackClients::Lock held = jackClients::tryLock();
    if (!held.owns_lock()) return {};
    // A dead server's watch goes at once, whatever is chosen: until it does,
    // no JACK client can be opened (see jackClients).
    closeDeadWatch(m.watch);
    MidiInput* port = m.midiInHandle;
    if (port == nullptr) return {};
    const Clock::time_point now = Clock::now();
    const uint32_t changes = m.watch.graphChanges.load(relaxed);
    const bool serverGone = jackClientDead(*port);
    if (changes == port->seenGraphChanges && !serverGone && now < port->nextLook) return {};
    port->seenGraphChanges = changes;
    port->nextLook = now + kLookInterval;
    // Deliveries stop before a dead server's client is closed.
    const bool linked = !(serverGone && port->linked) && linkSource(*port, now);
    if (linked == port->linked) return {};
    port->linked = linked;
    if (linked) {
        startDeliveries(*port);
        return kMidiInText;
    }
    // The source or its server went away: as if the port had been closed.
    stopDeliveries(*port);
    handleMidiPortClosed(m.engine);
    return kNoMidiInText;
}

std::string_view MidiPorts::lookAtMidiPortNow() {
    if (MidiInput* port = side_->midiInHandle) {
        port->nextLook = {};
        port->nextServerTry = {};
    }
    return followMidiPort();
}

namespace {

struct Taken {
    MidiInput* port = nullptr;
    jack_client_t* watch = nullptr;
    uint32_t watchGeneration = 0;
};

// Stops the port's deliveries and takes the port and the watch from their
// places, to be closed.
Taken takeEverything(MidiSide& m) {
    Taken t{m.midiInHandle, m.watch.client, m.watch.generation};
    m.midiInHandle = nullptr;
    m.watch.client = nullptr;
    if (t.port != nullptr) {
        stopDeliveries(*t.port);
        handleMidiPortClosed(m.engine);
    }
    return t;
}

void closeTaken(const Taken& t) {
    jackClients::Lock held = jackClients::lock();
    QuietLibraries quiet;
    delete t.port;
    if (t.watch != nullptr) {
        if (t.watchGeneration == jackClients::generation()) jack_client_close(t.watch);
        jackClients::released();
    }
}
}  // namespace

void closeEverything(MidiSide& m) {
    closeTaken(takeEverything(m));
}

void MidiPorts::beginMidiShutdown() {
    MidiSide& m = *side_;
    m.shutDown = true;
    m.shutdownDeadline = Clock::now() + kShutdownLimit;
    // The MIDI side's own thread closes everything itself.
    if (askMidiThreadToStop(m)) return;
    const Taken taken = takeEverything(m);
    m.shutdownDone = std::make_shared<std::atomic<int32_t>>(0);
    auto close = [taken, done = m.shutdownDone] {
        closeTaken(taken);
        done->store(1, std::memory_order_release);
    };
    if (taken.port == nullptr && taken.watch == nullptr) {
        close();
        return;
    }
    try {
        std::thread(close).detach();
    } catch (const std::system_error&) {
        close();
    }
}

const MidiInput* MidiPorts::midiInHandle() const {
    return side_->midiInHandle;
}

void MidiPorts::closeMidiPort() {
    MidiInput* port = side_->midiInHandle;
    if (port == nullptr) return;
    jackClients::Lock held = jackClients::lock();
    side_->midiInHandle = nullptr;
    stopDeliveries(*port);
    {
        QuietLibraries quiet;
        delete port;
    }
    handleMidiPortClosed(side_->engine);
}

}  // namespace tessivox
