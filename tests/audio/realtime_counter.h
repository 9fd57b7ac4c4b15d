#pragma once

#include <cstdint>

namespace tessivox::testing {

// Allocations and mutex locks made inside a real-time callback, counted by
// replacements of the C library's allocator and pthread_mutex_lock that are
// linked into the test programs.
struct RealtimeViolations {
    uint64_t allocations;
    uint64_t locks;
};

RealtimeViolations realtimeViolations();

}  // namespace tessivox::testing
