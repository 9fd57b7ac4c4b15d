#pragma once

#include <cstdint>

namespace tessivox {

// Counters of the MIDI input callback, for tests and diagnostics.
struct MidiInputStats {
    uint64_t messagesAccepted;    // short messages handed to the note rules
    uint64_t callbacksWhileShut;  // deliveries that arrived after the port was stopped
    uint64_t acceptedAfterClose;  // messages that reached the note rules after the port
                                  // counted as closed: must stay 0
};

}  // namespace tessivox
