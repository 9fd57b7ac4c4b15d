#include "midi/midi_input.h"

#include <jack/jack.h>

#include <memory>
#include <system_error>
#include <thread>

#include "midi/midi_input_stats.h"
#include "midi/midi_port.h"
#include "platform/jack_clients.h"
#include "platform/quiet_libraries.h"
#include "platform/shutdown_wait.h"

namespace tessivox {

std::atomic<uint64_t> gAccepted{0};
std::atomic<uint64_t> gWhileShut{0};
std::atomic<uint64_t> gAfterClose{0};

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

MidiInputStats midiInputStats() {
    return {gAccepted.load(relaxed), gWhileShut.load(relaxed), gAfterClose.load(relaxed)};
}

std::string_view openMidiPort(SynthState& s) {
    noteMidiPortOpened();
    return openMidiPortEntry(s, listedEntry(midiPortListSerial(), s.midiPortIndex));
}

std::string_view openMidiPortEntry(SynthState& s, const PortEntry* entry) {
    jackClients::Lock held = jackClients::lock();
    closeMidiPort(s);
    if (entry == nullptr) return kNoMidiInText;
    auto port = std::make_unique<MidiInput>(s, *entry);
    // A JACK port whose server is away (or going) is kept all the same: the
    // follower opens its client once a server answers.
    if (!createLibraryPort(*port) && port->entry.api != RtMidi::UNIX_JACK) return kNoMidiInText;
    port->seenGraphChanges = jackWatch().graphChanges.load(relaxed);
    port->nextLook = Clock::now() + kLookInterval;
    port->linked = linkSource(*port, Clock::now());
    // Start: deliveries reach the note rules from here on.
    if (port->linked) startDeliveries(*port);
    const bool linked = port->linked;
    // Kept even when its source is not there: it is linked once it appears.
    s.midiInHandle = port.release();
    return linked ? kMidiInText : kNoMidiInText;
}

std::string_view changeMidiPort(SynthState& s, int position) {
    jackClients::Lock held = jackClients::lock();
    closeMidiPort(s);
    s.midiPortIndex = position;
    return openMidiPort(s);
}

std::string_view followMidiPort(SynthState& s) {
    // Busy (the audio worker opening its stream): looked at next time.
    jackClients::Lock held = jackClients::tryLock();
    if (!held.owns_lock()) return {};
    // A dead server's watch goes at once, whatever is chosen: until it does,
    // no JACK client can be opened (see jackClients).
    closeDeadWatch();
    MidiInput* port = s.midiInHandle;
    if (port == nullptr) return {};
    const Clock::time_point now = Clock::now();
    const uint32_t changes = jackWatch().graphChanges.load(relaxed);
    const bool serverGone = jackClientDead(*port);
    if (changes == port->seenGraphChanges && !serverGone && now < port->nextLook) return {};
    port->seenGraphChanges = changes;
    port->nextLook = now + kLookInterval;
    // Deliveries stop before a dead server's client is closed.
    if (serverGone && port->linked) {
        port->linked = false;
        stopDeliveries(*port);
        handleMidiPortClosed(s);
        return kNoMidiInText;
    }
    const bool linked = linkSource(*port, now);
    if (linked == port->linked) return {};
    port->linked = linked;
    if (linked) {
        startDeliveries(*port);
        return kMidiInText;
    }
    // The source went away: as if the port had been closed.
    stopDeliveries(*port);
    handleMidiPortClosed(s);
    return kNoMidiInText;
}

std::string_view lookAtMidiPortNow(SynthState& s) {
    if (MidiInput* port = s.midiInHandle) {
        port->nextLook = {};
        port->nextServerTry = {};
    }
    return followMidiPort(s);
}

namespace {
// Set by beginMidiShutdown: the closing thread says here when it is done.
std::shared_ptr<std::atomic<int32_t>> gShutdownDone;
Clock::time_point gShutdownDeadline;

struct Taken {
    MidiInput* port = nullptr;
    jack_client_t* watch = nullptr;
    uint32_t watchGeneration = 0;
};

// Stops the port's deliveries and takes the port and the watch from their
// places, to be closed.
Taken takeEverything(SynthState& s) {
    Taken t{s.midiInHandle, jackWatch().client, jackWatch().generation};
    s.midiInHandle = nullptr;
    jackWatch().client = nullptr;
    if (t.port != nullptr) {
        stopDeliveries(*t.port);
        handleMidiPortClosed(s);
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

void closeEverything(SynthState& s) {
    closeTaken(takeEverything(s));
}

void beginMidiShutdown(SynthState& s) {
    gShutdownDeadline = Clock::now() + kShutdownLimit;
    // The MIDI side's own thread closes everything itself.
    if (askMidiThreadToStop()) return;
    const Taken taken = takeEverything(s);
    gShutdownDone = std::make_shared<std::atomic<int32_t>>(0);
    auto close = [taken, done = gShutdownDone] {
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

bool finishMidiShutdown(const std::function<void()>& pumpWindowEvents) {
    if (!waitForMidiThread(gShutdownDeadline, pumpWindowEvents)) return false;
    if (!gShutdownDone) return true;
    const std::shared_ptr<std::atomic<int32_t>> done = std::move(gShutdownDone);
    return waitWhilePumping([&done] { return done->load(std::memory_order_acquire) != 0; },
                            gShutdownDeadline, pumpWindowEvents);
}

void closeMidiPort(SynthState& s) {
    MidiInput* port = s.midiInHandle;
    if (port == nullptr) return;
    jackClients::Lock held = jackClients::lock();
    s.midiInHandle = nullptr;
    stopDeliveries(*port);
    {
        QuietLibraries quiet;
        delete port;
    }
    handleMidiPortClosed(s);
}

}  // namespace tessivox
