#include <jack/jack.h>
#include <jack/midiport.h>

#include <cerrno>

#include "midi/midi_port.h"
#include "platform/jack_clients.h"
#include "platform/quiet_libraries.h"
#include "platform/realtime_scope.h"

namespace tessivox {

namespace {

constexpr const char* kWatchClientName = "Tessivox-watch";

// The JACK process thread. It touches the port only between enter() and
// leave(), so the controlling thread can tell when it is done with it, also when the
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
        ctx.side->whileShut.fetch_add(1, relaxed);
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

// The connection from the chosen source removed, whichever way: counted, and
// the port's follower looks at once, without waiting for the graph it reads.
void onConnect(jack_port_id_t a, jack_port_id_t b, int connect, void* arg) {
    auto& port = *static_cast<MidiInput*>(arg);
    jack_client_t* client = port.noticeClient.load(std::memory_order_acquire);
    if (connect != 0 || client == nullptr) return;
    if (jack_port_by_id(client, b) != port.noticePort.load(std::memory_order_acquire)) return;
    const jack_port_t* source = jack_port_by_id(client, a);
    if (source == nullptr || port.entry.name != jack_port_name(source)) return;
    port.cuts.fetch_add(1, relaxed);
    port.context.side->watch.graphChanges.fetch_add(1, relaxed);
}

}  // namespace

// Holding the client lock, as every function below that calls libjack.
void closeDeadWatch(JackWatch& w) {
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
jack_client_t* watchClient(JackWatch& w, bool tryNow) {
    closeDeadWatch(w);
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
    port.noticePort.store(port.jackPort, std::memory_order_release);
    port.noticeClient.store(client, std::memory_order_release);
    jack_set_port_connect_callback(client, onConnect, &port);
    if (port.jackPort == nullptr || jack_activate(client) != 0) {
        port.noticeClient.store(nullptr, std::memory_order_release);
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
    port.noticeClient.store(nullptr, std::memory_order_release);
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

// Whether the chosen source feeds the port now. Connects it when
// it is there again after being away.
bool linkJackSource(MidiInput& port, Clock::time_point now) {
    if (jackClientDead(port)) {
        if (!jackClients::lossSettled()) return false;
        closeJackClient(port);
    }
    if (port.jack == nullptr) {
        if (now < port.nextServerTry) return false;
        port.nextServerTry = now + kServerRetryInterval;
        if (watchClient(port.context.side->watch, false) == nullptr || !openJackClient(port))
            return false;
        port.sourceAway = true;
    }
    const uint32_t cuts = port.cuts.load(relaxed);
    if (cuts != port.seenCuts) {
        port.seenCuts = cuts;
        if (!port.sourceAway) {
            port.sourceAway = true;
            port.context.side->watch.graphChanges.fetch_add(1, relaxed);
            return false;
        }
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
        port.context.side->watch.graphChanges.fetch_add(1, relaxed);
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

}  // namespace tessivox
