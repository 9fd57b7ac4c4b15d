// Three threads on one state, as in the running program: a MIDI thread
// flooding note-ons and note-offs through the note rules, a UI thread moving
// the six parameters, the pad points, the envelope sliders and the axis
// assignment with the Enable switch, and an audio thread rendering. Built
// with ThreadSanitizer, any data race ends the run with a report. The MIDI
// thread delivers through a port's gate, and the UI thread changes ports as
// the port change does: shut the gate, apply the port-closed rule, open again.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "midi/delivery_gate.h"
#include "midi/midi_rules.h"

namespace {

using namespace tessivox;
using Clock = std::chrono::steady_clock;
constexpr auto relaxed = std::memory_order_relaxed;

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    auto state = std::make_unique<EngineState>();
    EngineState& s = *state;
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> midiMessages{0}, uiEdits{0}, frames{0}, nonFinite{0};
    DeliveryGate gate;
    gate.open();
    // Plain on purpose: only the gate orders the MIDI thread's writes before
    // the UI thread's reads, so a gate that let a delivery run on past shut()
    // shows up as a race.
    uint64_t deliveredSinceChange = 0;
    uint64_t portChanges = 0;

    std::thread midi([&] {
        uint32_t k = 0;
        while (!stop.load(relaxed)) {
            const auto note = static_cast<uint8_t>(36 + k % 48);
            if (!gate.enter()) {
                gate.leave();
                std::this_thread::yield();
                continue;
            }
            ++deliveredSinceChange;
            switch (k % 5) {
                case 0:
                case 1:
                    handleMidiShortMessage(s, packShortMessage(0x90, note, 100));
                    break;
                case 2:
                    handleMidiShortMessage(s, packShortMessage(0x80, note, 0));
                    break;
                case 3:
                    handleMidiShortMessage(s, packShortMessage(0x90, note, 0));
                    break;
                default:  // clocks, and now and then All Sound Off or All Notes Off
                    handleMidiShortMessage(
                        s, k % 15 == 4 ? packShortMessage(0xB0, k % 30 == 4 ? 120 : 123, 0)
                                       : packShortMessage(0xF8, 0, 0));
                    break;
            }
            gate.leave();
            ++k;
            midiMessages.fetch_add(1, relaxed);
            if (k % 64 == 0) std::this_thread::yield();
        }
    });

    std::thread audio([&] {
        std::vector<float> buffer(512);
        while (!stop.load(relaxed)) {
            renderFrames(s, buffer.data(), buffer.size());
            for (float v : buffer) nonFinite.fetch_add(std::isfinite(v) ? 0 : 1, relaxed);
            frames.fetch_add(buffer.size(), relaxed);
        }
    });

    // The UI thread: what the sliders, the pad and the Enable box do.
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    uint32_t k = 0;
    bool failed = false;
    while (Clock::now() < end) {
        const float t = static_cast<float>(k % 100) / 100.0f;
        for (int p = 0; p < kParamCount; ++p) {
            param(s, static_cast<ParamId>(p)).store(kStartParams[p] * (0.5f + t), relaxed);
        }
        for (int i = 0; i < 4; ++i) {
            s.trajectoryX[i].store(std::fmod(kStartTrajectoryX[i] + k, 300.0), relaxed);
            s.trajectoryY[i].store(std::fmod(kStartTrajectoryY[i] + 2.0 * k, 300.0), relaxed);
        }
        s.attackSlider.store(static_cast<int32_t>(k % 1000), relaxed);
        s.decaySlider.store(static_cast<int32_t>(k % 2000), relaxed);
        s.sustainSlider.store(static_cast<int32_t>(k % 101), relaxed);
        s.releaseSlider.store(static_cast<int32_t>(k % 3000), relaxed);
        if (k % 7 == 0) {
            enableTrajectory(s, static_cast<ParamId>(k % kParamCount),
                             static_cast<ParamId>((k / 3) % kParamCount), 1.0f, 10.0f + t, 0.2f,
                             2.0f);
        } else if (k % 7 == 3) {
            // Unticking Enable: switch off, then the sliders' values stand.
            disableTrajectory(s);
            for (int p = 0; p < kParamCount; ++p) {
                param(s, static_cast<ParamId>(p)).store(kStartParams[p], relaxed);
            }
        }
        if (k % 50 == 25) {
            gate.shut();
            handleMidiPortClosed(s);
            deliveredSinceChange = 0;
            ++portChanges;
            if (s.gate.load() != 0 || s.keysHeld.load() != 0) {
                std::printf("FAIL: a delivery changed the note state after the port closed\n");
                failed = true;
                break;
            }
            gate.open();
        }
        ++k;
        uiEdits.fetch_add(1, relaxed);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    stop.store(true, relaxed);
    midi.join();
    audio.join();

    std::printf(
        "midi messages %llu, ui edits %llu, port changes %llu, frames %llu, "
        "non-finite %llu\n",
        static_cast<unsigned long long>(midiMessages.load()),
        static_cast<unsigned long long>(uiEdits.load()),
        static_cast<unsigned long long>(portChanges),
        static_cast<unsigned long long>(frames.load()),
        static_cast<unsigned long long>(nonFinite.load()));
    if (failed) return 1;
    // Every thread must have had its share, or the run proved nothing.
    if (portChanges < 10 || midiMessages.load() < 1000 || uiEdits.load() < 100 ||
        frames.load() < 44100) {
        std::printf("FAIL: a thread barely ran\n");
        return 1;
    }
    return 0;
}
