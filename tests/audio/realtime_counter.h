#pragma once

#include <cstdint>

namespace tessivox::testing {

// Heap calls and mutex locks made inside a real-time callback, counted by
// replacements of the C library's allocator and pthread_mutex_lock that are
// linked into the test programs. operator new and delete reach the same
// allocator, so they are counted too.
struct RealtimeViolations {
    uint64_t allocations;  // malloc, calloc, realloc and the aligned kinds
    uint64_t frees;
    uint64_t locks;
};

RealtimeViolations realtimeViolations();

}  // namespace tessivox::testing
