#pragma once

// Builds Standard MIDI Files byte by byte for the tests.

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace tessivox::test {

using Bytes = std::vector<uint8_t>;

inline Bytes vlq(uint32_t value) {
    Bytes out{static_cast<uint8_t>(value & 0x7F)};
    while (value >>= 7) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (value & 0x7F)));
    return out;
}

inline Bytes be(uint32_t value, int count) {
    Bytes out;
    for (int i = count - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return out;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes chunk(const std::string& id, const Bytes& body) {
    return cat({Bytes(id.begin(), id.end()), be(static_cast<uint32_t>(body.size()), 4), body});
}

inline Bytes header(uint16_t format, uint16_t tracks, uint16_t division) {
    return chunk("MThd", cat({be(format, 2), be(tracks, 2), be(division, 2)}));
}

// A track body from (delta, event bytes) pairs, End of Track appended.
struct Ev {
    uint32_t delta;
    Bytes data;
};
inline Bytes trackBody(std::initializer_list<Ev> events, uint32_t endDelta = 0) {
    Bytes out;
    for (const Ev& e : events) out = cat({out, vlq(e.delta), e.data});
    return cat({out, vlq(endDelta), {0xFF, 0x2F, 0x00}});
}
inline Bytes track(std::initializer_list<Ev> events, uint32_t endDelta = 0) {
    return chunk("MTrk", trackBody(events, endDelta));
}

inline Bytes tempo(uint32_t microsecondsPerQuarter) {
    return cat({{0xFF, 0x51, 0x03}, be(microsecondsPerQuarter, 3)});
}
inline Bytes noteOn(uint8_t note, uint8_t velocity = 100) {
    return {0x90, note, velocity};
}
inline Bytes noteOff(uint8_t note) {
    return {0x80, note, 0};
}

// False when the file could not be written whole.
inline bool spit(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

}  // namespace tessivox::test
