#include <cstring>

#include "engine/engine.h"

namespace tessivox {

namespace {

// On the bits: |v| <= 1 stays, a larger finite or infinite v becomes +-1, NaN 0.
inline uint32_t limitBits(uint32_t bits) {
    constexpr uint32_t kOne = 0x3F800000u, kInfinity = 0x7F800000u, kSign = 0x80000000u;
    const uint32_t magnitude = bits & ~kSign;
    const uint32_t held = magnitude > kInfinity ? 0u : (bits & kSign) | kOne;
    return magnitude <= kOne ? bits : held;
}

}  // namespace

void limitToDeviceRange(float* samples, unsigned long count) {
    // Eight at a time without branches, so that the compiler makes vector code of it.
    constexpr unsigned long kLanes = 8;
    unsigned long i = 0;
    const auto limitOne = [samples](unsigned long k) {
        uint32_t bits;
        std::memcpy(&bits, samples + k, 4);
        bits = limitBits(bits);
        std::memcpy(samples + k, &bits, 4);
    };
    for (; i + kLanes <= count; i += kLanes) {
        for (unsigned long k = i; k < i + kLanes; ++k) limitOne(k);
    }
    for (; i < count; ++i) limitOne(i);
}

int32_t onsetDelayFrames(const EngineState& s) {
    return s.onsetAtOnce.load(std::memory_order_relaxed) == 1 ? 0 : s.fadeOutLast + 1;
}

}  // namespace tessivox
