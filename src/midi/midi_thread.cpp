// The MIDI side's own thread: after start-up it makes every library call of
// the MIDI side (a hung JACK server holds such a call for as long as it
// hangs), and the window only posts requests and picks up results.

#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>
#include <system_error>
#include <thread>

#include "midi/midi_input.h"
#include "midi/midi_port.h"
#include "platform/shutdown_wait.h"

namespace tessivox {

namespace {

// The follow-up's pace, as the window's poll was.
constexpr auto kFollowStep = std::chrono::milliseconds(10);

}  // namespace

// What the window asked for since the thread last looked; a newer change
// replaces an older one, for only the last choice is to be open.
struct Asked {
    std::optional<std::pair<uint32_t, int>> change;  // list serial, position
    bool look = false;
    bool list = false;
    uint64_t sequence = 0;  // of the newest request
    bool any() const { return change || look || list; }
};

// One per run. Leaked on purpose when it is left in a call that does not
// return.
struct MidiThread {
    MidiSide* side = nullptr;
    std::thread thread;
    // Guards the fields below it; never held across a library call.
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    Asked asked;
    MidiPortNews news;
    std::atomic<int32_t> finished{0};
    // The thread's own: the entry chosen last, and where it was listed.
    std::optional<PortEntry> chosen;
    int chosenAt = -1;
};

namespace {

void tell(MidiThread& t, std::string_view status, std::vector<std::string>* names = nullptr,
          int selected = -1, uint64_t sequence = 0) {
    if (status.empty() && names == nullptr) return;
    std::lock_guard<std::mutex> held(t.mutex);
    if (!status.empty()) t.news.status = status;
    if (names != nullptr) {
        t.news.listed = true;
        t.news.names = std::move(*names);
        t.news.selected = selected;
        t.news.serial = t.side->owner.midiPortListSerial();
        t.news.sequence = sequence;
    }
}

// The change first: a list asked for with it then has it selected.
void answer(MidiThread& t, const Asked& a) {
    MidiSide& m = *t.side;
    if (a.change) {
        const PortEntry* entry = listedEntry(m, a.change->first, a.change->second);
        t.chosen = entry != nullptr ? std::optional<PortEntry>(*entry) : std::nullopt;
        t.chosenAt = a.change->second;
        tell(t, openMidiPortEntry(m, entry));
    } else if (a.look) {
        tell(t, m.owner.lookAtMidiPortNow());
    }
    if (a.list) {
        std::vector<std::string> names;
        t.chosenAt = relistMidiPorts(m, names, t.chosen ? &*t.chosen : nullptr, t.chosenAt);
        tell(t, {}, &names, t.chosenAt, a.sequence);
    }
}

void run(MidiThread& t) {
    for (;;) {
        Asked a;
        {
            std::unique_lock<std::mutex> held(t.mutex);
            t.wake.wait_for(held, kFollowStep, [&t] { return t.stop || t.asked.any(); });
            if (t.stop) break;
            a = std::exchange(t.asked, Asked{});
        }
        answer(t, a);
        tell(t, t.side->owner.followMidiPort());
    }
    closeEverything(*t.side);
    t.finished.store(1, std::memory_order_release);
}

// Started with the first request, or the first poll once a port was opened;
// from then on it owns the port, the watch and the lists.
MidiThread* thread(MidiSide& m) {
    if (m.thread != nullptr) return m.thread;
    auto* t = new MidiThread;
    t->side = &m;
    const int32_t index = m.owner.midiPortIndex;
    if (const PortEntry* entry = listedEntry(m, m.owner.midiPortListSerial(), index)) {
        t->chosen = *entry;
        t->chosenAt = index;
    }
    try {
        t->thread = std::thread(run, std::ref(*t));
    } catch (const std::system_error&) {
        delete t;
        return nullptr;
    }
    return m.thread = t;
}

template <typename Change>
uint64_t ask(MidiSide& m, Change change) {
    MidiThread* t = thread(m);
    if (t == nullptr) return 0;
    {
        std::lock_guard<std::mutex> held(t->mutex);
        change(t->asked);
        t->asked.sequence = ++m.sequence;
    }
    t->wake.notify_one();
    return m.sequence;
}

}  // namespace

uint64_t MidiPorts::askMidiPortChange(uint32_t listSerial, int position) {
    return ask(*side_, [&](Asked& a) {
        a.change = std::make_pair(listSerial, position);
        a.look = false;
    });
}

void MidiPorts::askMidiPortLook() {
    ask(*side_, [](Asked& a) { a.look = true; });
}

void MidiPorts::askMidiPortList() {
    ask(*side_, [](Asked& a) { a.list = true; });
}

MidiPortNews MidiPorts::takeMidiPortNews() {
    MidiPortNews news;
    MidiThread* t = side_->opened ? thread(*side_) : side_->thread;
    if (t == nullptr) return news;
    std::unique_lock<std::mutex> held(t->mutex, std::try_to_lock);
    // Held for a moment by the thread telling something: picked up next time.
    if (held.owns_lock()) std::swap(news, t->news);
    return news;
}

bool askMidiThreadToStop(MidiSide& m) {
    m.opened = false;
    MidiThread* t = m.thread;
    if (t == nullptr) return false;
    {
        std::lock_guard<std::mutex> held(t->mutex);
        t->stop = true;
    }
    t->wake.notify_one();
    return true;
}

bool MidiPorts::finishMidiShutdown(const std::function<void()>& pumpWindowEvents) {
    MidiSide& m = *side_;
    if (MidiThread* t = std::exchange(m.thread, nullptr)) {
        const bool finished =
            waitWhilePumping([t] { return t->finished.load(std::memory_order_acquire) != 0; },
                             m.shutdownDeadline, pumpWindowEvents);
        // Still in a call at the deadline: the thread is left to it.
        if (!finished) {
            t->thread.detach();
            return false;
        }
        t->thread.join();
        delete t;
    }
    if (!m.shutdownDone) return true;
    const std::shared_ptr<std::atomic<int32_t>> done = std::move(m.shutdownDone);
    return waitWhilePumping([&done] { return done->load(std::memory_order_acquire) != 0; },
                            m.shutdownDeadline, pumpWindowEvents);
}

}  // namespace tessivox
