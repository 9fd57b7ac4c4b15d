#pragma once

// A MIDI file's schedule played on the engine: the renderer's run, and the
// browser's offline render, which must end on the same frame.

#include <cstdint>
#include <optional>

#include "engine/engine.h"
#include "midi/midi_file.h"
#include "midi/midi_rules.h"

namespace tessivox {

// Plays the schedule on `s`: `advanceTo(frame)` brings the output to that
// frame, and each message acts where it falls. Without `frames` the output
// goes on, with no key held, to the frame before which the release ends.
// Returns the output's length.
template <class AdvanceTo>
int64_t playSchedule(EngineState& s, const MidiSchedule& schedule, std::optional<int64_t> frames,
                     AdvanceTo advanceTo) {
    int64_t position = frames.value_or(schedule.endFrame);
    for (const ScheduledMessage& m : schedule.messages) {
        // An event at the output's last frame boundary acts on nothing more.
        if (frames && m.frame >= position) break;
        advanceTo(m.frame);
        handleMidiShortMessage(s, m.message);
    }
    advanceTo(position);
    while (const int64_t count = frames ? 0 : framesShortOfReleaseEnd(s)) {
        advanceTo(position += count);
    }
    return position;
}

// The output's length in frames, for a stream's header: the run replayed on
// `s` (set up as for the run, nothing rendered yet) with the envelope alone,
// which is all that decides when the release ends.
inline int64_t scheduleLength(EngineState& s, const MidiSchedule& schedule,
                              std::optional<int64_t> frames) {
    int64_t position = 0;
    return playSchedule(s, schedule, frames, [&s, &position](int64_t frame) {
        advanceEnvelopeFrames(s, frame - position);
        position = frame;
    });
}

}  // namespace tessivox
