// The frame loop and the MIDI rules run on real-time threads: not one heap
// call may happen in them. The test runs them inside a real-time scope, where
// the shared counter sees every allocation and free.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "platform/realtime_scope.h"
#include "engine/engine.h"
#include "midi/midi_rules.h"
#include "realtime_counter.h"

namespace {

// Keeps the compiler from removing an allocation whose result is unused.
void escape(void* p) {
    asm volatile("" : : "g"(p) : "memory");
}

// Heap calls made inside one real-time scope.
class Armed {
  public:
    Armed() : before_(tessivox::testing::realtimeViolations()) {}
    long heapCalls() const {
        const auto now = tessivox::testing::realtimeViolations();
        return static_cast<long>(now.allocations - before_.allocations + now.frees -
                                 before_.frees);
    }

  private:
    tessivox::RealtimeScope scope_;
    tessivox::testing::RealtimeViolations before_;
};

}  // namespace

namespace tessivox {
namespace {

TEST(NoAllocation, TheCounterSeesEveryKindOfAllocation) {
    long seen[4];
    {
        Armed a;
        auto* v = new std::vector<int>(100);
        escape(v);
        delete v;
        seen[0] = a.heapCalls();
    }
    {
        Armed a;
        void* p = std::malloc(64);
        escape(p);
        std::free(p);
        seen[1] = a.heapCalls();
    }
    {
        Armed a;
        void* p = std::calloc(4, 16);
        escape(p);
        p = std::realloc(p, 128);
        escape(p);
        std::free(p);
        seen[2] = a.heapCalls();
    }
    {
        Armed a;
        void* p = ::operator new (64, std::align_val_t{64});
        escape(p);
        ::operator delete (p, std::align_val_t{64});
        seen[3] = a.heapCalls();
    }
    EXPECT_EQ(seen[0], 4);  // the vector and its storage, each new and deleted
    EXPECT_EQ(seen[1], 2);
    EXPECT_EQ(seen[2], 3);
    EXPECT_EQ(seen[3], 2);
}

TEST(NoAllocation, TenSecondsOfNotesWithTheTrajectory) {
    auto state = std::make_unique<EngineState>();
    EngineState& s = *state;
    enableTrajectory(s, ParamId::M, ParamId::N1, 1.0f, 12.0f, 1.0f, 8.0f);
    s.attackSlider.store(1500);  // about 0.23 s, so the pad moves slowly enough to see
    s.releaseSlider.store(200);
    constexpr int kBlock = 512;
    constexpr long kFrames = 10 * 44100;
    std::vector<float> audio(kFrames);
    const uint32_t messages[] = {
        packShortMessage(0x90, 57, 100), packShortMessage(0x90, 64, 90),  // legato
        packShortMessage(0x80, 57, 0),   packShortMessage(0xB0, 7, 100),
        packShortMessage(0x90, 64, 0),   packShortMessage(0x91, 60, 100),  // channel 2
        packShortMessage(0x90, 45, 127), packShortMessage(0xE0, 0, 64),
    };
    float mSeenMin = 100, mSeenMax = 0;
    long calls = 0;
    {
        Armed a;
        size_t next = 0;
        for (long frame = 0; frame < kFrames; frame += kBlock) {
            // A message every 20 blocks (about 0.23 s); the port closes once.
            if ((frame / kBlock) % 20 == 0) {
                handleMidiShortMessage(s, messages[next++ % std::size(messages)]);
            }
            if (frame / kBlock == 700) handleMidiPortClosed(s);
            renderFrames(s, audio.data() + frame,
                         static_cast<unsigned long>(std::min<long>(kBlock, kFrames - frame)));
            mSeenMin = std::min(mSeenMin, s.m.load());
            mSeenMax = std::max(mSeenMax, s.m.load());
        }
        calls = a.heapCalls();
    }
    EXPECT_EQ(calls, 0);

    // The run did what it should: notes sounded and the pad moved m.
    float peak = 0;
    for (float v : audio) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.1f);
    EXPECT_LT(mSeenMin, 4.0f);
    EXPECT_GT(mSeenMax, 6.0f);
}

}  // namespace
}  // namespace tessivox
