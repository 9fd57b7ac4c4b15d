#include "midi/midi_rules.h"

#include <cstdint>

#include "engine/engine.h"

namespace tessivox {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;
constexpr uint32_t kNoteOn = 0x90;   // channel 1 only
constexpr uint32_t kNoteOff = 0x80;  // channel 1 only
constexpr uint32_t kControlChange = 0xB0;  // channel 1 only
constexpr uint32_t kPitchBend = 0xE0;      // channel 1 only
constexpr int kSustainPedal = 64;
constexpr int kAllSoundOff = 120;
constexpr int kResetControllers = 121;
constexpr int kAllNotesOff = 123;

// The count is changed by exchange: the computer keyboard plays on the
// window's thread beside the MIDI port's.
void releaseKey(EngineState& s) {
    int32_t held = s.keysHeld.load(relaxed);
    while (held > 0 && !s.keysHeld.compare_exchange_weak(held, held - 1, relaxed)) {
    }
    if (held <= 1) {
        s.gate.store(0, std::memory_order_release);
        s.gateText.store(GateText::Off, relaxed);
        s.envelopeLatched.store(0, relaxed);
        s.noteStarted.store(0, relaxed);
        s.previousFrequency.store(s.noteFrequency.load(relaxed), relaxed);
    }
}

// With the pedal down a released key stays counted, held by the pedal.
void releaseOrSustain(EngineState& s) {
    if (s.pedalDown.load(relaxed) == 1 &&
        s.keysSustained.load(relaxed) < s.keysHeld.load(relaxed)) {
        s.keysSustained.fetch_add(1, relaxed);
        return;
    }
    releaseKey(s);
}

// Down only while the pedal is in use; coming up releases what it held.
void movePedal(EngineState& s, uint32_t value) {
    const bool down = value >= 64 && s.sustainPedal.load(relaxed) == 1;
    s.pedalDown.store(down ? 1 : 0, relaxed);
    if (down) return;
    for (int32_t k = s.keysSustained.exchange(0, relaxed); k > 0; --k) releaseKey(s);
}

}  // namespace

void handleMidiShortMessage(EngineState& s, uint32_t message) {
    const uint32_t status = message & 0xFF;
    const int note = static_cast<int>((message >> 8) & 0xFF);
    const uint32_t velocity = (message >> 16) & 0xFF;

    if (status == kNoteOn && velocity > 0) {
        const bool legato = s.keysHeld.load(relaxed) > 0;
        s.noteLegato.store(legato ? 1 : 0, relaxed);
        if (!legato) s.noteVelocity.store(static_cast<int32_t>(velocity), relaxed);
        s.noteFrequency.store(noteFrequencyOf(note), relaxed);
        int32_t held = s.keysHeld.load(relaxed);
        while (held < INT32_MAX && !s.keysHeld.compare_exchange_weak(held, held + 1, relaxed)) {
        }
        if (held == 0) {
            // Released after noteFrequency: the envelope never sees the gate
            // open with a stale pitch.
            s.gate.store(1, std::memory_order_release);
            s.gateText.store(GateText::On, relaxed);
        }
        // A fade asked for before this note must not cut its release later.
        if (held == 0) s.soundOffRequested.store(0, relaxed);
    } else if (status == kNoteOn || status == kNoteOff) {
        releaseOrSustain(s);
    } else if (status == kPitchBend) {
        s.pitchBend.store(static_cast<int32_t>(note | velocity << 7), relaxed);
    } else if (status == kControlChange && note == kSustainPedal) {
        movePedal(s, velocity);
    } else if (status == kControlChange && (note == kAllNotesOff || note == kAllSoundOff)) {
        releaseAllKeys(s);
        // Released after the gate: the audio thread sees the gate closed first.
        if (note == kAllSoundOff) s.soundOffRequested.store(1, std::memory_order_release);
    } else if (status == kControlChange && note < 128 && note != kResetControllers) {
        s.controllerValues[note].store(static_cast<uint8_t>(velocity), relaxed);
        s.lastController.store(note, relaxed);
        s.controllerMoves.fetch_add(1, std::memory_order_release);
    }
    // Every short message refreshes the status text, whatever it is.
    s.shortMessageCount.fetch_add(1, std::memory_order_release);
}

void handleMidiMessageOn(EngineState& s, uint32_t message, int channel) {
    const uint32_t status = message & 0xFF;
    if (status >= 0x80 && status < 0xF0 && channel != 1) {
        if (channel != 0 && static_cast<int>(status & 0x0F) + 1 != channel) {
            s.shortMessageCount.fetch_add(1, std::memory_order_release);
            return;
        }
        message &= ~0x0Fu;
    }
    handleMidiShortMessage(s, message);
}

void releaseAllKeys(EngineState& s) {
    s.keysSustained.store(0, relaxed);
    if (s.keysHeld.load(relaxed) == 0) return;
    s.keysHeld.store(1, relaxed);
    releaseKey(s);
}

void handleMidiPortClosed(EngineState& s) {
    // A keyboard that went cannot lift its pedal or centre its wheel.
    s.pedalDown.store(0, relaxed);
    s.keysSustained.store(0, relaxed);
    s.pitchBend.store(8192, relaxed);
    s.keysHeld.store(0, relaxed);
    s.gate.store(0, std::memory_order_release);
    s.gateText.store(GateText::Off, relaxed);
}

}  // namespace tessivox
