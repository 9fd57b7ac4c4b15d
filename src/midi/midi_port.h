#pragma once

// Private to src/midi: the open port, as the ALSA source, the JACK source
// with its server watch, and the port list share it.

#include <RtMidi.h>
#include <jack/types.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "midi/delivery_gate.h"
#include "midi/midi_byte_parser.h"
#include "midi/midi_input.h"
#include "midi/midi_rules.h"

namespace tessivox {

using Clock = std::chrono::steady_clock;

constexpr auto relaxed = std::memory_order_relaxed;
constexpr const char* kClientName = "Tessivox";
constexpr const char* kPortName = "in";
// While no JACK server answers, a new client is tried this often; each try
// holds the calling thread for a few milliseconds.
constexpr auto kServerRetryInterval = std::chrono::seconds(1);

// What one list position stands for. The name is kept so that the port can
// be found again if the numbering moved since the list was made.
struct PortEntry {
    RtMidi::Api api;
    unsigned int number;
    std::string name;
};

struct MidiSide;

// The MIDI side's own thread (midi_thread.cpp); UI thread. False when none
// runs.
bool askMidiThreadToStop(MidiSide& m);

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
        MidiSide* side = nullptr;
        // Open while the source is linked, shut otherwise.
        DeliveryGate gate;
        // Set once the port counts as closed.
        std::atomic<int32_t> closed{0};
        MidiByteParser parser;  // the delivering thread's own
    };

    MidiInput(MidiSide& m, PortEntry chosen) : entry(std::move(chosen)) { context.side = &m; }
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    Context context;  // declared first: destroyed after the library objects
    const PortEntry entry;
    std::atomic<int32_t> libraryError{0};
    std::unique_ptr<RtMidiIn> in;     // ALSA
    jack_client_t* jack = nullptr;    // JACK
    jack_port_t* jackPort = nullptr;  // set before the client is activated
    // The same two for the notification thread; null while it has none.
    std::atomic<jack_client_t*> noticeClient{nullptr};
    std::atomic<jack_port_t*> noticePort{nullptr};
    uint32_t jackGeneration = 0;      // see jackClients::generation
    // Written by the JACK client's notification thread.
    std::atomic<int32_t> serverGone{0};
    std::atomic<uint32_t> cuts{0};  // connections of the port removed
    // The thread that makes the library calls.
    uint32_t seenCuts = 0;
    bool linked = false;     // deliveries reach the note rules: "MIDI IN"
    bool sourceAway = true;  // not connected since the source (re)appeared
    uint32_t seenGraphChanges = 0;
    Clock::time_point nextLook{};
    Clock::time_point nextServerTry{};
};

// The ALSA source, through RtMidi.
bool createAlsaPort(MidiInput& port);
bool linkAlsaSource(MidiInput& port);

// The program's own watch on the JACK server, whichever port is chosen: it
// lists the ports and is the first to hear that the server went away or
// that its ports changed. Owned as the lists are, but for the atomics.
struct JackWatch {
    jack_client_t* client = nullptr;
    uint32_t generation = 0;
    std::atomic<int32_t> serverGone{0};
    std::atomic<uint32_t> graphChanges{0};
    Clock::time_point nextTry{};
};

// The JACK source and the watch; each holding the client lock.
void closeDeadWatch(JackWatch& w);
jack_client_t* watchClient(JackWatch& w, bool tryNow);
bool openJackClient(MidiInput& port);
void closeJackClient(MidiInput& port);
bool jackClientDead(const MidiInput& port);
bool linkJackSource(MidiInput& port, Clock::time_point now);

// One of the lists the window may still show when a choice from it arrives.
struct Listing {
    uint32_t serial = 0;
    std::vector<PortEntry> table;
};

struct MidiThread;

// What MidiPorts holds. The lists, the watch and the port belong to the
// thread that makes the MIDI side's library calls: the UI thread at start-up,
// then the MIDI side's own.
struct MidiSide {
    MidiSide(MidiPorts& owner, EngineState& engine) : owner(owner), engine(engine) {}
    MidiPorts& owner;
    EngineState& engine;
    MidiInput* midiInHandle = nullptr;
    std::deque<Listing> listings{1};  // the newest last
    JackWatch watch;
    // Counted by the delivering threads.
    std::atomic<uint64_t> accepted{0};
    std::atomic<uint64_t> whileShut{0};
    std::atomic<uint64_t> afterClose{0};
    // The UI thread's: the MIDI side's own thread, once started.
    MidiThread* thread = nullptr;
    uint64_t sequence = 0;
    bool opened = false;  // openMidiPort ran
    // Set by beginMidiShutdown: the closing thread says here when it is done.
    std::shared_ptr<std::atomic<int32_t>> shutdownDone;
    Clock::time_point shutdownDeadline{};
    bool shutDown = false;
};

inline void deliverBytes(MidiInput::Context& ctx, const unsigned char* bytes, size_t size,
                         uint64_t& count) {
    ctx.parser.feed(bytes, size, [&](uint32_t packed) {
        EngineState& engine = ctx.side->engine;
        handleMidiMessageOn(engine, packed, engine.midiChannel.load(relaxed));
        ++count;
    });
}

inline void countDeliveries(MidiInput::Context& ctx, uint64_t count) {
    if (ctx.closed.load(relaxed) != 0) ctx.side->afterClose.fetch_add(count, relaxed);
    ctx.side->accepted.fetch_add(count, relaxed);
}

// The entry at `position` of the list numbered `serial`, while that list is
// kept; else null.
const PortEntry* listedEntry(MidiSide& m, uint32_t serial, int position);
// Lists the ports again, keeping `chosen` (null: none) at `at` while its port
// is gone. Returns its new position, or -1.
int relistMidiPorts(MidiSide& m, std::vector<std::string>& names, const PortEntry* chosen, int at);
// Opens `entry` (null: none) as openMidiPort does.
std::string_view openMidiPortEntry(MidiSide& m, const PortEntry* entry);
// Stops the port's deliveries and closes the port and the watch, here.
void closeEverything(MidiSide& m);

}  // namespace tessivox
