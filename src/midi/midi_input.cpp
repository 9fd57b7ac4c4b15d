#include "midi/midi_input.h"

#include <RtMidi.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "midi/delivery_gate.h"
#include "midi/midi_byte_parser.h"
#include "midi/midi_input_stats.h"
#include "midi/midi_rules.h"
#include "platform/jack_clients.h"
#include "platform/quiet_libraries.h"
#include "platform/realtime_scope.h"

namespace tessivox {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto relaxed = std::memory_order_relaxed;
constexpr const char* kClientName = "Tessivox";
constexpr const char* kWatchClientName = "Tessivox-watch";
constexpr const char* kPortName = "in";
// The source is looked for at least this often, and at once when the JACK
// server reports a change of its ports.
constexpr auto kLookInterval = std::chrono::milliseconds(500);
// While no JACK server answers, a new client is tried this often; each try
// holds the UI thread for a few milliseconds.
constexpr auto kServerRetryInterval = std::chrono::seconds(1);
constexpr auto kShutdownLimit = std::chrono::milliseconds(400);

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

// The chosen port. It lives from the choice until the next one and follows
// its source: an ALSA sequencer port is read through RtMidi, a JACK port
// directly, so that the byte parser sees every event's bytes as they came
// (RtMidi 5's JACK input treats everything after a sysex that lacks its F7
// as more sysex, until some event ends in F7). The context is what the
// delivering thread sees; it outlives the library objects, because RtMidi
// can still deliver after closePort().
class MidiInput {
  public:
    struct Context {
        SynthState* state = nullptr;
        // Open while the source is linked, shut otherwise.
        DeliveryGate gate;
        // Set once the UI thread counts the port as closed.
        std::atomic<int32_t> closed{0};
        MidiByteParser parser;  // the delivering thread's own
    };

    MidiInput(SynthState& s, PortEntry chosen) : entry(std::move(chosen)) { context.state = &s; }
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    Context context;  // declared first: destroyed after the library objects
    const PortEntry entry;
    std::atomic<int32_t> libraryError{0};
    std::unique_ptr<RtMidiIn> in;     // ALSA
    jack_client_t* jack = nullptr;    // JACK
    jack_port_t* jackPort = nullptr;  // set before the client is activated
    uint32_t jackGeneration = 0;      // see jackClients::generation
    // Written by the JACK client's notification thread.
    std::atomic<int32_t> serverGone{0};
    // UI thread.
    bool linked = false;     // deliveries reach the note rules: "MIDI IN"
    bool sourceAway = true;  // not connected since the source (re)appeared
    uint32_t seenGraphChanges = 0;
    Clock::time_point nextLook{};
    Clock::time_point nextServerTry{};
};

namespace {

void deliverBytes(MidiInput::Context& ctx, const unsigned char* bytes, size_t size,
                  uint64_t& count) {
    ctx.parser.feed(bytes, size, [&](uint32_t packed) {
        handleMidiShortMessage(*ctx.state, packed);
        ++count;
    });
}

void countDeliveries(MidiInput::Context& ctx, uint64_t count) {
    if (ctx.closed.load(relaxed) != 0) gAfterClose.fetch_add(count, relaxed);
    gAccepted.fetch_add(count, relaxed);
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
        gWhileShut.fetch_add(1, relaxed);
    }
    ctx.gate.leave();
}

// The JACK process thread. It touches the port only between enter() and
// leave(), so the UI thread can tell when it is done with it, also when the
// thread ended itself with its server and is never joined.
int jackProcess(jack_nframes_t frames, void* arg) {
    RealtimeScope scope;
    auto& port = *static_cast<MidiInput*>(arg);
    MidiInput::Context& ctx = port.context;
    const bool open = ctx.gate.enter();
    void* buffer = jack_port_get_buffer(port.jackPort, frames);
    const uint32_t events = buffer != nullptr ? jack_midi_get_event_count(buffer) : 0;
    if (events > 0 && open) {
        uint64_t count = 0;
        for (uint32_t k = 0; k < events; ++k) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, k) == 0 && event.size > 0) {
                deliverBytes(ctx, event.buffer, event.size, count);
            }
        }
        countDeliveries(ctx, count);
    } else if (events > 0) {
        gWhileShut.fetch_add(1, relaxed);
    }
    ctx.gate.leave();
    return 0;
}

// A JACK client's notification thread.
void onServerGone(jack_status_t, const char*, void* flag) {
    static_cast<std::atomic<int32_t>*>(flag)->store(1, relaxed);
    jackClients::markServerLost();
}
// Any change of the server's ports and clients; 0 is the graph-order answer.
int countChange(void* counter) {
    static_cast<std::atomic<uint32_t>*>(counter)->fetch_add(1, relaxed);
    return 0;
}

// The program's own watch on the JACK server, whichever port is chosen: it
// lists the ports and is the first to hear that the server went away or
// that its ports changed. UI thread, but for the atomics.
struct JackWatch {
    jack_client_t* client = nullptr;
    uint32_t generation = 0;
    std::atomic<int32_t> serverGone{0};
    std::atomic<uint32_t> graphChanges{0};
    Clock::time_point nextTry{};
};

JackWatch& jackWatch() {
    static JackWatch watch;
    return watch;
}

// Holding the client lock, as every function below that calls libjack.
void closeDeadWatch() {
    JackWatch& w = jackWatch();
    const bool freed = w.generation != jackClients::generation();
    // A loss any owner heard (also a client of ours the server zombified)
    // has every owner let go.
    if (w.client == nullptr ||
        (w.serverGone.load(relaxed) == 0 && !freed && !jackClients::serverLost())) {
        return;
    }
    if (!freed && !jackClients::lossSettled()) return;
    if (!freed) {
        QuietLibraries quiet;
        jack_client_close(w.client);
    }
    w.client = nullptr;
    w.serverGone.store(0, relaxed);
    jackClients::released();
}

// The watch client; opened if there is none and the last try is long enough
// ago (or `tryNow`). Null while no server answers.
jack_client_t* watchClient(bool tryNow) {
    JackWatch& w = jackWatch();
    closeDeadWatch();
    // A lost server's watch waiting to be closed serves no more.
    if (w.client != nullptr && jackClients::serverLost()) return nullptr;
    if (w.client != nullptr) return w.client;
    const Clock::time_point now = Clock::now();
    if (!tryNow && now < w.nextTry) return nullptr;
    w.nextTry = now + kServerRetryInterval;
    if (!jackClients::mayOpen()) return nullptr;
    QuietLibraries quiet;
    jack_client_t* client = jack_client_open(kWatchClientName, JackNoStartServer, nullptr);
    if (client == nullptr) return nullptr;
    jack_on_info_shutdown(client, onServerGone, &w.serverGone);
    void* changes = &w.graphChanges;
    jack_set_port_registration_callback(
        client, [](jack_port_id_t, int, void* c) { countChange(c); }, changes);
    jack_set_port_rename_callback(
        client, [](jack_port_id_t, const char*, const char*, void* c) { countChange(c); }, changes);
    // A port stays findable until its client is gone, and can be connected
    // only once its client is active: those come as these two.
    jack_set_client_registration_callback(
        client, [](const char*, int, void* c) { countChange(c); }, changes);
    jack_set_graph_order_callback(
        client, [](void* c) { return countChange(c); }, changes);
    if (jack_activate(client) != 0) {
        jack_client_close(client);
        return nullptr;
    }
    jackClients::held();
    w.client = client;
    w.generation = jackClients::generation();
    // Whoever follows a port looks again.
    w.graphChanges.fetch_add(1, relaxed);
    return client;
}

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

std::optional<unsigned int> findPort(RtMidiIn& in, const PortEntry& entry) {
    const unsigned int count = in.getPortCount();
    if (entry.number < count && in.getPortName(entry.number) == entry.name) return entry.number;
    for (unsigned int k = 0; k < count; ++k) {
        if (in.getPortName(k) == entry.name) return k;
    }
    return std::nullopt;
}

bool openJackClient(MidiInput& port) {
    if (!jackClients::mayOpen()) return false;
    QuietLibraries quiet;
    jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, nullptr);
    if (client == nullptr) return false;
    port.serverGone.store(0, relaxed);
    jack_on_info_shutdown(client, onServerGone, &port.serverGone);
    jack_set_process_callback(client, jackProcess, &port);
    port.jackPort =
        jack_port_register(client, kPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (port.jackPort == nullptr || jack_activate(client) != 0) {
        jack_client_close(client);
        port.jackPort = nullptr;
        return false;
    }
    jackClients::held();
    port.jack = client;
    port.jackGeneration = jackClients::generation();
    return true;
}

void closeJackClient(MidiInput& port) {
    if (port.jack == nullptr) return;
    // A client whose process thread ended with its server is not joined by
    // the close: the gate is what says that thread is done with the port.
    port.context.gate.shut();
    QuietLibraries quiet;
    // Deactivates first: no process call runs once this returns. A client
    // libjack freed is closed already.
    if (port.jackGeneration == jackClients::generation()) jack_client_close(port.jack);
    port.jack = nullptr;
    port.jackPort = nullptr;
    port.serverGone.store(0, relaxed);
    jackClients::released();
}

// The server went, or libjack freed the client: it can never serve again.
bool jackClientDead(const MidiInput& port) {
    return port.jack != nullptr &&
           (port.serverGone.load(relaxed) != 0 || jackClients::serverLost() ||
            port.jackGeneration != jackClients::generation());
}

// UI thread: whether the chosen source feeds the port now. Connects it when
// it is there again after being away.
bool linkJackSource(MidiInput& port, Clock::time_point now) {
    if (jackClientDead(port)) {
        if (!jackClients::lossSettled()) return false;
        closeJackClient(port);
    }
    if (port.jack == nullptr) {
        if (now < port.nextServerTry) return false;
        port.nextServerTry = now + kServerRetryInterval;
        if (watchClient(false) == nullptr || !openJackClient(port)) return false;
        port.sourceAway = true;
    }
    const char* source = port.entry.name.c_str();
    if (jack_port_by_name(port.jack, source) == nullptr) {
        port.sourceAway = true;
        return false;
    }
    // The list's choice is the truth: a connection lost any way (the source's
    // client deactivated, its port registered again, a patchbay) counts as the
    // source going away, and is made again at the next look, which is at once.
    if (!port.sourceAway && !jack_port_connected_to(port.jackPort, source)) {
        port.sourceAway = true;
        jackWatch().graphChanges.fetch_add(1, relaxed);
        return false;
    }
    if (port.sourceAway) {
        QuietLibraries quiet;
        // Fails while the source's client is not active yet: tried again.
        const int result = jack_connect(port.jack, source, jack_port_name(port.jackPort));
        if (result != 0 && result != EEXIST) return false;
        port.sourceAway = false;
    }
    return true;
}

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

bool linkSource(MidiInput& port, Clock::time_point now) {
    return port.entry.api == RtMidi::UNIX_JACK ? linkJackSource(port, now) : linkAlsaSource(port);
}

// The library side of a new port, not yet linked to its source.
bool createLibraryPort(MidiInput& port) {
    if (port.entry.api == RtMidi::UNIX_JACK) {
        port.nextServerTry = Clock::now() + kServerRetryInterval;
        return openJackClient(port);
    }
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

std::string_view openMidiPort(SynthState& s) {
    jackClients::Lock held = jackClients::lock();
    closeMidiPort(s);
    const std::vector<PortEntry>& table = portTable();
    if (s.midiPortIndex < 0 || static_cast<size_t>(s.midiPortIndex) >= table.size()) {
        return kNoMidiInText;
    }
    auto port = std::make_unique<MidiInput>(s, table[s.midiPortIndex]);
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
}  // namespace

void beginMidiShutdown(SynthState& s) {
    MidiInput* port = s.midiInHandle;
    s.midiInHandle = nullptr;
    if (port != nullptr) {
        stopDeliveries(*port);
        handleMidiPortClosed(s);
    }
    JackWatch& w = jackWatch();
    jack_client_t* watch = w.client;
    w.client = nullptr;
    gShutdownDone = std::make_shared<std::atomic<int32_t>>(0);
    gShutdownDeadline = Clock::now() + kShutdownLimit;
    auto close = [port, watch, watchGeneration = w.generation, done = gShutdownDone] {
        {
            jackClients::Lock held = jackClients::lock();
            QuietLibraries quiet;
            delete port;
            if (watch != nullptr) {
                if (watchGeneration == jackClients::generation()) {
                    jack_client_close(watch);
                }
                jackClients::released();
            }
        }
        done->store(1, std::memory_order_release);
    };
    if (port == nullptr && watch == nullptr) {
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
    if (!gShutdownDone) return true;
    while (gShutdownDone->load(std::memory_order_acquire) == 0 &&
           Clock::now() < gShutdownDeadline) {
        if (pumpWindowEvents) {
            pumpWindowEvents();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    const bool done = gShutdownDone->load(std::memory_order_acquire) != 0;
    gShutdownDone.reset();
    return done;
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
