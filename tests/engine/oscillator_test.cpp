#include <cmath>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "engine/engine_steps.h"
#include "test_support.h"

namespace tessivox {
namespace {

class Oscillator : public test::EngineTest {
protected:
    void setParams(float m, float n1, float n2, float n3, float a, float b) {
        test::setShape(s, m, n1, n2, n3, a, b);
    }
    void playing(double frequency) {
        s.noteFrequency = frequency;
        s.fadeCounter = 1001;
    }
};

TEST_F(Oscillator, SilentAndStillBeforeAnyNote) {
    for (int i = 0; i < 500; ++i) ASSERT_EQ(nextOscillatorSample(s), 0.0f);
    EXPECT_EQ(s.phase, 0.0f);
    EXPECT_EQ(s.periodSamples, 0);
}

// Values worked out independently, rounding step by step as the formula says.
TEST_F(Oscillator, DefaultShapeMatchesReferenceBits) {
    playing(440.0);
    float out[100];
    for (float& v : out) v = nextOscillatorSample(s);
    EXPECT_EQ(s.periodSamples, 100);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0x1.f3e5c6p-5f);
    EXPECT_EQ(out[7], 0x1.aa15fp-2f);
    EXPECT_EQ(out[25], 0x1.f56072p-1f);
    EXPECT_EQ(out[50], 0x1.9e5aecp-27f);
    EXPECT_EQ(out[63], -0x1.6b1f66p-1f);
    EXPECT_EQ(out[99], -0x1.f3e2fcp-5f);
    // float32 accumulation of 0.01 falls short of 1 after 100 steps: no wrap yet.
    EXPECT_EQ(s.phase, 0x1.ffffeap-1f);
}

TEST_F(Oscillator, UnitCircleGivesSine) {
    setParams(4, 2, 2, 2, 1, 1);
    playing(441.0);  // 100 samples
    for (int i = 0; i < 300; ++i) {
        const double theta = static_cast<double>(s.phase) * kTwoPi;
        ASSERT_NEAR(nextOscillatorSample(s), std::sin(theta), 1e-6) << i;
    }
}

TEST_F(Oscillator, ZeroMGivesScaledSine) {
    setParams(0, 2, 3, 5, 0.5f, 1);
    playing(441.0);
    const double scale = std::pow(std::pow(2.0, 3.0), -1.0 / 2.0);  // (|1/A|^N2)^(-1/N1)
    for (int i = 0; i < 100; ++i) {
        const double theta = static_cast<double>(s.phase) * kTwoPi;
        ASSERT_NEAR(nextOscillatorSample(s), scale * std::sin(theta), 1e-6) << i;
    }
}

TEST_F(Oscillator, PeriodIsWholeSamplesTiesToEven) {
    const struct {
        double frequency;
        int32_t period;
    } cases[] = {
        {440.0, 100},
        {noteFrequencyOf(127), 4},
        {noteFrequencyOf(0), 5394},
        {44100.0 / 2.5, 2},  // exactly halfway: the even neighbour
        {44100.0 / 3.5, 4},
    };
    for (const auto& c : cases) {
        EngineState fresh;
        fresh.noteFrequency = c.frequency;
        fresh.fadeCounter = 1001;
        nextOscillatorSample(fresh);
        EXPECT_EQ(fresh.periodSamples, c.period) << c.frequency;
    }
}

TEST_F(Oscillator, PhaseOfExactlyOneWrapsOnlyOnTheNextCall) {
    playing(44100.0 / 4);
    const float expected[] = {0.25f, 0.5f, 0.75f, 1.0f, 0.25f};
    for (float e : expected) {
        nextOscillatorSample(s);
        ASSERT_EQ(s.phase, e);
    }
}

TEST_F(Oscillator, FadeOutPlaysThePreviousPitch) {
    s.noteFrequency = 880.0;
    s.previousFrequency = 441.0;
    s.fadeCounter = 1000;
    nextOscillatorSample(s);
    EXPECT_EQ(s.periodSamples, 100);
    s.fadeCounter = 1001;
    nextOscillatorSample(s);
    EXPECT_EQ(s.periodSamples, 50);
}

TEST_F(Oscillator, ZeroPreviousFrequencyHoldsTheLastSample) {
    // A note-off before any note-on copies 0 into previousFrequency.
    s.noteFrequency = 440.0;
    s.previousFrequency = 0.0;
    s.fadeCounter = 0;
    s.oscillatorOutput = 0.25f;
    s.phase = 0.5f;
    EXPECT_EQ(nextOscillatorSample(s), 0.25f);
    EXPECT_EQ(s.phase, 0.5f);
    EXPECT_EQ(s.periodSamples, 0);
}

TEST_F(Oscillator, UnderflowingRadiusGivesZeroNotInfinity) {
    setParams(6.03f, 100, 100, 100, 5, 5);
    playing(441.0);
    s.oscillatorOutput = 0.5f;
    // Both powers are below the smallest float32, so r is infinite everywhere.
    for (int i = 0; i < 200; ++i) ASSERT_EQ(nextOscillatorSample(s), 0.0f) << i;
    EXPECT_EQ(s.oscillatorOutput, 0.0f);
    EXPECT_EQ(s.periodSamples, 100);  // the phase still turns
}

// Silence is filled in stretches; frame by frame it takes the one-frame step.
// Random sessions (rates, pitches, exact pitch, shapes finite, never finite
// or mixed, short releases) must give the same bits, signs of zero included,
// and leave the same phase.
TEST(SilentStretches, EqualFrameByFrameRenders) {
    const float shapes[][6] = {{6.03f, 4.2f, 0.1f, 71.6f, 0.3f, 0.767f},
                               {6.03f, 0.1f, 100, 100, 5, 5},
                               {6.03f, 0.4f, 20, 20, 5, 5}};
    for (int session = 0; session < 300; ++session) {
        const auto render = [&](bool oneByOne) {
            std::mt19937 rng(session);
            auto s = std::make_unique<EngineState>();
            setSampleRate(*s, session % 5 ? 8000 + rng() % 184001 : 8000);
            const float* shape = shapes[session % 3];
            test::setShape(*s, shape[0], shape[1], shape[2], shape[3], shape[4], shape[5]);
            s->exactPitch = session % 2;
            s->releaseSlider = 5;
            std::vector<float> out(40000);
            uint32_t note = 0x80;  // a note-off of key 0: silence before any note
            for (size_t at = 0, block; at < 40000; at += block) {
                block = std::min<size_t>(40000 - at, rng() % 9000 + 1);
                if (rng() % 2) {
                    note = note & 0x10 ? note & 0xEF : 0x90 | (rng() % 128) << 8;
                    handleMidiShortMessage(*s, note | 100u << 16);
                }
                for (size_t k = 0; k < block; k += oneByOne ? 1 : block) {
                    renderFrames(*s, &out[at + k], oneByOne ? 1 : block);
                }
                out.push_back(s->phase);  // the phase carried on, whatever the output shows
            }
            return out;
        };
        const std::vector<float> frames = render(true), blocks = render(false);
        ASSERT_EQ(std::memcmp(frames.data(), blocks.data(), frames.size() * 4), 0)
            << "session " << session;
    }
}

TEST(RoundToInt32, TiesToEvenAndOutOfRange) {
    EXPECT_EQ(roundToInt32(2.5), 2);
    EXPECT_EQ(roundToInt32(3.5), 4);
    EXPECT_EQ(roundToInt32(-2.5), -2);
    EXPECT_EQ(roundToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(roundToInt32(2147483648.0), INT32_MIN);
    EXPECT_EQ(roundToInt32(INFINITY), INT32_MIN);
    EXPECT_EQ(roundToInt32(NAN), INT32_MIN);
}

}  // namespace
}  // namespace tessivox
