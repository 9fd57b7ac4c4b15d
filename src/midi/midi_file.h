#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/controls.h"

namespace tessivox {

// The longest output the renderer writes: one hour at 44100 frames per second.
inline constexpr int64_t kMaxRenderSeconds = 3600;
inline constexpr int64_t kMaxRenderFrames = kMaxRenderSeconds * kDefaultRate;

// A channel message of the file, packed as a short message, with the frame
// before which it acts (after frame - 1 has been computed).
struct ScheduledMessage {
    int64_t frame;
    uint32_t message;
    bool operator==(const ScheduledMessage&) const = default;
};

struct MidiSchedule {
    // All tracks merged, in the order the messages act.
    std::vector<ScheduledMessage> messages;
    // Frame of the file's last event, End of Track included.
    int64_t endFrame = 0;
};

// Reads a Standard MIDI File (format 0 or 1, ticks-per-quarter division) and
// places its channel messages on frames at `sampleRate` Hz. Files lasting
// longer than one hour are refused. On failure returns false and puts a
// one-line reason into `error`.
bool readMidiFile(std::span<const uint8_t> bytes, MidiSchedule& out, std::string& error,
                  int64_t sampleRate = kDefaultRate);

}  // namespace tessivox
