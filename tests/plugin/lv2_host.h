#pragma once

// A small LV2 host on lilv for the tests: loads tessivox.lv2 from the build
// tree, connects every port and feeds MIDI as atom events at exact frames.

#include <lilv/lilv.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tessivox::testing {

struct MidiAt {
    int64_t frame;
    std::vector<uint8_t> bytes;
    bool midi = true;  // false: an atom of another type with the same body
    uint32_t overrun = 0;  // bytes its size claims past the end of the sequence
};

LilvWorld* lv2World();
const LilvPlugin* tessivoxPlugin();

class Lv2Instance {
  public:
    explicit Lv2Instance(double rate);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    bool ok() const { return instance_ != nullptr; }
    // The value the control port reads at the next run().
    float& control(uint32_t port) { return controls_[port]; }
    // One run() of `out.size()` frames; event frames count from the block's start.
    void run(std::span<const MidiAt> events, std::span<float> out);
    // Applies a preset through lilv's state interface; returns the number of
    // port values it set.
    int applyPreset(const LilvNode* preset);

  private:
    LilvInstance* instance_ = nullptr;
    std::vector<float> controls_;
    std::vector<uint64_t> sequence_;  // 8-byte aligned atom sequence
    uint32_t sequenceType_, midiType_, chunkType_;
};

// Renders `frames` frames in blocks of `block`, each event given at its
// absolute frame; `beforeBlock(start)` may change controls before each run().
std::vector<float> renderWith(Lv2Instance& plugin, const std::vector<MidiAt>& events,
                              int64_t frames, uint32_t block,
                              const std::function<void(int64_t)>& beforeBlock = {});

// A packed short message as the bytes of one MIDI event.
std::vector<uint8_t> midiBytes(uint32_t message);

}  // namespace tessivox::testing
