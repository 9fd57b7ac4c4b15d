#pragma once

#include <atomic>
#include <cstdint>

namespace tessivox {

// Marks the running thread as inside one of the two real-time callbacks, so
// that a test build can catch any allocation or lock made there. Costs one
// thread-local store and one relaxed increment per callback.
inline thread_local constinit int32_t tRealtimeDepth = 0;
inline constinit std::atomic<uint64_t> gRealtimeScopesEntered{0};

class RealtimeScope {
  public:
    RealtimeScope() {
        ++tRealtimeDepth;
        gRealtimeScopesEntered.fetch_add(1, std::memory_order_relaxed);
    }
    ~RealtimeScope() { --tRealtimeDepth; }
    RealtimeScope(const RealtimeScope&) = delete;
    RealtimeScope& operator=(const RealtimeScope&) = delete;
};

inline bool inRealtimeCallback() {
    return tRealtimeDepth > 0;
}

}  // namespace tessivox
