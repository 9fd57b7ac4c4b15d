// libFuzzer target: the renderer's MIDI file reading path, from the bytes of a
// file to the schedule of short messages and through the MIDI note rules.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine_state.h"
#include "midi/midi_file.h"
#include "midi/midi_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tessivox;
    MidiSchedule schedule;
    std::string error;
    if (!readMidiFile({data, size}, schedule, error)) {
        if (error.empty() || error.find('\n') != std::string::npos) __builtin_trap();
        return 0;
    }
    if (schedule.endFrame < 0 || schedule.endFrame > kMaxRenderFrames) __builtin_trap();
    auto state = std::make_unique<EngineState>();
    int64_t last = 0;
    for (const ScheduledMessage& m : schedule.messages) {
        // In order, inside the file, and a short message of at most 3 bytes.
        if (m.frame < last || m.frame > schedule.endFrame || m.message > 0xFFFFFF) {
            __builtin_trap();
        }
        if ((m.message & 0x80) == 0 || (m.message & 0x8000) || (m.message & 0x800000)) {
            __builtin_trap();
        }
        last = m.frame;
        handleMidiShortMessage(*state, m.message);
    }
    return 0;
}
