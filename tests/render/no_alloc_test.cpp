// The frame loop and the MIDI rules run on real-time threads: not one heap
// allocation may happen in them. Global operator new/delete are replaced and
// malloc and friends wrapped at link time (-Wl,--wrap), all counting while armed.

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "midi/midi_rules.h"

namespace {

std::atomic<bool> armed{false};
std::atomic<long> heapCalls{0};

void count() {
    if (armed.load(std::memory_order_relaxed)) heapCalls.fetch_add(1, std::memory_order_relaxed);
}

// Keeps the compiler from removing an allocation whose result is unused.
void escape(void* p) {
    asm volatile("" : : "g"(p) : "memory");
}

}  // namespace

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* p, size_t size);
void* __real_aligned_alloc(size_t alignment, size_t size);
int __real_posix_memalign(void** p, size_t alignment, size_t size);
void __real_free(void* p);

void* __wrap_malloc(size_t size) {
    count();
    return __real_malloc(size);
}
void* __wrap_calloc(size_t n, size_t size) {
    count();
    return __real_calloc(n, size);
}
void* __wrap_realloc(void* p, size_t size) {
    count();
    return __real_realloc(p, size);
}
void* __wrap_aligned_alloc(size_t alignment, size_t size) {
    count();
    return __real_aligned_alloc(alignment, size);
}
int __wrap_posix_memalign(void** p, size_t alignment, size_t size) {
    count();
    return __real_posix_memalign(p, alignment, size);
}
void __wrap_free(void* p) {
    if (p) count();
    __real_free(p);
}
}

void* operator new(size_t size) {
    count();
    if (void* p = __real_malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    count();
    return __real_malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void* operator new(size_t size, std::align_val_t align) {
    count();
    const size_t a = static_cast<size_t>(align);
    if (void* p = __real_aligned_alloc(a, (size + a - 1) / a * a)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size, std::align_val_t align) {
    return operator new(size, align);
}
void operator delete(void* p) noexcept {
    if (p) count();
    __real_free(p);
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete(void* p, size_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, size_t) noexcept {
    operator delete(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    operator delete(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    operator delete(p);
}

namespace tessivox {
namespace {

class Armed {
  public:
    Armed() {
        heapCalls.store(0);
        armed.store(true);
    }
    ~Armed() { armed.store(false); }
};

TEST(NoAllocation, TheCounterSeesEveryKindOfAllocation) {
    long seen[4];
    {
        Armed a;
        auto* v = new std::vector<int>(100);
        escape(v);
        delete v;
        seen[0] = heapCalls.load();
    }
    {
        Armed a;
        void* p = std::malloc(64);
        escape(p);
        std::free(p);
        seen[1] = heapCalls.load();
    }
    {
        Armed a;
        void* p = std::calloc(4, 16);
        escape(p);
        p = std::realloc(p, 128);
        escape(p);
        std::free(p);
        seen[2] = heapCalls.load();
    }
    {
        Armed a;
        void* p = ::operator new (64, std::align_val_t{64});
        escape(p);
        ::operator delete (p, std::align_val_t{64});
        seen[3] = heapCalls.load();
    }
    EXPECT_EQ(seen[0], 4);  // the vector and its storage, each new and deleted
    EXPECT_EQ(seen[1], 2);
    EXPECT_EQ(seen[2], 3);
    EXPECT_EQ(seen[3], 2);
}

TEST(NoAllocation, TenSecondsOfNotesWithTheTrajectory) {
    auto state = std::make_unique<SynthState>();
    SynthState& s = *state;
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
        calls = heapCalls.load();
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
