#include <atomic>
#include <cmath>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tessivox {
namespace {

class Envelope : public test::EngineTest {
protected:
    // One key held at any pitch, so that a note-off releases it.
    void keyDown(double frequency = 441.0) {
        s.noteFrequency = frequency;
        s.gate = 1;
        s.keysHeld = 1;
    }
    void keyUp() { off(69); }
    void assign(ParamId x, float xFrom, float xTo, ParamId y, float yFrom, float yTo) {
        enableTrajectory(s, x, y, xFrom, xTo, yFrom, yTo);
    }
};

TEST_F(Envelope, FirstNoteWaitsOutASilentFade) {
    keyDown();
    for (int i = 0; i < 1001; ++i) {
        ASSERT_EQ(frame(), 0.0f) << i;
        ASSERT_EQ(s.envelopeLevel, 0.0);
    }
    EXPECT_EQ(s.fadeCounter, 1000);
    EXPECT_EQ(s.noteStarted, 0);
    frame();  // the 1,002nd gate-open sample starts the note
    EXPECT_EQ(s.noteStarted, 1);
    EXPECT_EQ(s.sampleIndex, 1);
    EXPECT_EQ(s.periodSamples, 100);
}

// The whole frame loop for note 69 from the first frame, against values worked
// out independently with every rounding where the formulas put it.
TEST_F(Envelope, FirstNoteMatchesReferenceBits) {
    keyDown(440.0);
    std::vector<float> out(1300);
    renderFrames(s, out.data(), out.size());
    for (int i = 0; i <= 1001; ++i) ASSERT_EQ(out[i], 0.0f) << i;
    EXPECT_EQ(out[1002], 0x1.857c86p-40f);
    EXPECT_EQ(out[1003], 0x1.84d7e6p-33f);
    EXPECT_EQ(out[1005], 0x1.824992p-26f);
    EXPECT_EQ(out[1050], 0x1.516caep-16f);
    EXPECT_EQ(out[1099], -0x1.c29254p-4f);
    EXPECT_EQ(out[1100], -0x1.dae09ep-5f);
    EXPECT_EQ(out[1101], -0x1.0c2ceap-18f);
    EXPECT_EQ(out[1234], 0x1.b2dcfap-1f);
    EXPECT_EQ(out[1299], -0x1.f15cbp-4f);
}

TEST_F(Envelope, DefaultAttackDecaySustainLevels) {
    keyDown();
    frames(1001);
    const double attack[] = {0.0, 0.2268, 0.4535, 0.6803, 0.9070};
    for (int n = 0; n <= 4; ++n) {
        frame();
        ASSERT_NEAR(s.envelopeLevel, attack[n], 1e-4) << n;
    }
    frame();  // n = 5: decay, just under 1
    EXPECT_LT(s.envelopeLevel, 1.0);
    EXPECT_GT(s.envelopeLevel, 0.99998);
    frames(44104 - 5 - 1);
    frame();  // n = 44104, the rounded decay bound
    EXPECT_EQ(s.releaseStartIndex, 44104);
    EXPECT_NEAR(s.envelopeLevel, 0.500005, 1e-6);
    frame();
    EXPECT_EQ(s.envelopeLevel, 0.5);
}

TEST_F(Envelope, SlidersAreLatchedAtTheFirstGateOpenSample) {
    s.attackSlider = 2000;
    s.decaySlider = 5000;
    s.sustainSlider = 0;
    s.releaseSlider = 1;
    keyDown();
    frame();
    s.attackSlider = 1;  // too late for this note
    frame();
    EXPECT_NEAR(s.attackSeconds, 3.0, 0.01);
    EXPECT_EQ(s.decaySeconds, 5.0);
    EXPECT_EQ(s.sustainLevel, 0.0);
    EXPECT_EQ(s.releaseSamples, 44.1);
    EXPECT_EQ(s.attackSamples, s.attackSeconds * 44100.0);
}

TEST_F(Envelope, ZeroSustainIsSilentAfterTheDecay) {
    s.sustainSlider = 0;
    s.decaySlider = 1;
    keyDown();
    frames(1001 + 100);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(frame(), 0.0f);
}

TEST_F(Envelope, DefaultReleaseTakes66150Samples) {
    keyDown();
    frames(1001 + 50000);
    const double start = s.envelopeLevel;
    keyUp();
    frame();
    EXPECT_NEAR(s.envelopeLevel, start * (66150.0 - 1) / 66150.0, 1e-12);
    frames(66147);
    EXPECT_FALSE(releaseFinished(s));
    frame();  // the last audible frame of the release
    EXPECT_NEAR(s.envelopeLevel, start / 66150.0, 1e-12);
    EXPECT_TRUE(releaseFinished(s));
    frame();
    EXPECT_EQ(s.envelopeLevel, 0.0);
}

TEST_F(Envelope, ReleaseDuringFadeStartsFromTheFadingLevel) {
    keyDown();
    frames(1001 + 50000);
    keyUp();
    frames(1000);
    const double releasing = s.envelopeLevel;
    keyDown();  // pressed again during the release: fade that out first
    frames(500);
    const double fading = s.envelopeLevel;
    EXPECT_NEAR(fading, (1 - 499 / 1000.0) * releasing, 1e-12);
    keyUp();
    frame();
    EXPECT_NEAR(s.envelopeLevel, fading * (s.releaseSamples - 1) / s.releaseSamples, 1e-12);
    EXPECT_EQ(s.noteStarted, 0);
}

TEST_F(Envelope, NoteAfterAReleaseRestartsFromZero) {
    keyDown(441.0);
    frames(1001 + 1000);
    keyUp();
    frames(100);
    keyDown(882.0);
    frames(1001);
    EXPECT_EQ(s.periodSamples, 100);  // still the old pitch while fading
    EXPECT_EQ(s.envelopeLevel, 0.0);  // fade ended
    const float first = frame();
    EXPECT_EQ(first, 0.0f);  // the fade-in starts at 0
    EXPECT_EQ(s.phase, 1.0f / 50);
    EXPECT_EQ(s.periodSamples, 50);
}

TEST_F(Envelope, ReleaseBeforeAnyLatchIsSilentAtP4) {
    s.padPositionX = 7;
    frame();
    EXPECT_EQ(s.envelopeLevel, 0.0);
    EXPECT_EQ(s.padPositionX, 250.0);
    EXPECT_EQ(s.padPositionY, 75.0);
}

TEST_F(Envelope, WrapGuardRestartsTheIndexAndSilencesTheRelease) {
    keyDown();
    frames(1001 + 10);
    keyUp();
    s.sampleIndex = 2147483640;
    s.releaseStartIndex = 2147483600;
    frame();
    EXPECT_EQ(s.sampleIndex, 2147483641);
    EXPECT_GT(s.envelopeLevel, 0.0);
    frame();
    EXPECT_EQ(s.sampleIndex, 1);
    EXPECT_EQ(s.envelopeLevel, 0.0);
}

TEST_F(Envelope, FadeCounterStopsAboveTheFade) {
    keyDown();
    frames(5000);
    EXPECT_EQ(s.fadeCounter, 1001);
}

TEST_F(Envelope, FadeInRampOnTheFirstHundredFrames) {
    // Before any note-on the oscillator repeats its last sample: hold it at 1
    // and the envelope at a sustain of 1 from n = 1 on.
    s.oscillatorOutput = 1.0f;
    s.gate = 1;
    s.envelopeLatched = 1;
    s.noteStarted = 1;
    s.fadeCounter = 1001;
    s.attackSamples = 0.4;
    s.decaySamples = 0.1;
    s.sustainLevel = 1.0;
    std::vector<float> out(101);
    renderFrames(s, out.data(), out.size());
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[50], 0.03125f);
    EXPECT_EQ(out[90], static_cast<float>(std::pow(static_cast<double>(0.9f), 5.0)));
    EXPECT_EQ(out[100], 1.0f);
}

TEST_F(Envelope, ZeroFramesWriteNothing) {
    float sentinel = 7.0f;
    renderFrames(s, &sentinel, 0);
    EXPECT_EQ(sentinel, 7.0f);
    EXPECT_EQ(s.sampleIndex, 0);
}

TEST_F(Envelope, SecondKeyDuringFadeChangesOnlyThePitch) {
    keyDown(441.0);
    frames(500);
    s.noteFrequency = 882.0;  // legato: gate stays open
    frames(501);
    EXPECT_EQ(s.noteStarted, 0);
    frame();
    EXPECT_EQ(s.periodSamples, 50);
    EXPECT_EQ(s.fadeCounter, 1001);
}

// --- trajectory ---------------------------------------------------------------

TEST_F(Envelope, TrajectoryFollowsThePathOfTheNote) {
    assign(ParamId::M, 1, 10, ParamId::A, 0.1f, 1);
    frame();  // no note yet: the P4 values from the first sample
    EXPECT_EQ(s.m.load(), 8.5f);
    EXPECT_EQ(s.A.load(), 0.325f);
    EXPECT_EQ(s.A.load(), 0x1.4cccccp-2f);  // 0.32499999

    keyDown();
    frames(1001);
    EXPECT_EQ(s.m.load(), 8.5f);  // untouched during the fade-out
    frame();                      // attack start, x = 50, y = 50
    EXPECT_EQ(s.m.load(), 2.5f);
    EXPECT_EQ(s.A.load(), 0.25f);
    frames(44200);
    EXPECT_EQ(s.m.load(), 7.0f);  // sustain on P3 (200, 100)
    EXPECT_EQ(s.A.load(), static_cast<float>(0.1 + (100 / 300.0) * (1.0 - 0.1f)));
    keyUp();
    frames(66150);
    EXPECT_EQ(s.m.load(), 8.5f);
}

TEST_F(Envelope, SameAxisTwiceLetsYWin) {
    assign(ParamId::N1, 1, 2, ParamId::N1, 10, 40);
    frame();  // at P4 (250, 75)
    EXPECT_EQ(s.N1.load(), 17.5f);
}

TEST_F(Envelope, UnknownAxisNameChangesNothing) {
    assign(paramIdFromName("M"), 1, 2, paramIdFromName(""), 1, 2);
    frame();
    for (int i = 0; i < kParamCount; ++i) {
        EXPECT_EQ(param(s, static_cast<ParamId>(i)).load(), kStartParams[i]);
    }
    EXPECT_EQ(paramIdFromName("N3"), ParamId::N3);
}

TEST_F(Envelope, PointMovedDuringANoteIsHeardAtOnce) {
    assign(ParamId::B, 0, 3, ParamId::None, 0, 0);
    keyDown();
    frames(1001 + 50000);  // sustain on P3
    s.trajectoryX[2] = 100;
    frame();
    EXPECT_EQ(s.B.load(), 1.0f);
}

TEST_F(Envelope, DisabledTrajectoryLeavesTheParametersAlone) {
    assign(ParamId::M, 1, 10, ParamId::A, 0.1f, 1);
    disableTrajectory(s);
    frame();
    EXPECT_EQ(s.m.load(), kStartParams[0]);
}

// The renderer's length pass takes a span in one step where it can: after
// every span and the release, the envelope holds what single steps leave.
TEST(EnvelopeSpans, InOneStepEndAsFrameByFrame) {
    const uint32_t on = 0x644590, off = 0x4580, cut = 0x78B0;  // note 69 on, off; All Sound Off
    // Silence, a held note, one released in its fade-out, a release cut, and a cut at the end.
    const std::pair<int64_t, uint32_t> events[] = {
        {100000, on},  {400000, off}, {400500, on},  {400600, off}, {401000, on},
        {500000, cut}, {600000, on},  {700000, off}, {710000, on},  {720000, cut}};
    const auto fields = [](const EngineState& s) {
        return std::tuple(s.sampleIndex, s.releaseStartIndex, s.releaseSamples, s.fadeCounter,
                          s.envelopeLevel, s.lastReleaseLevel);
    };
    for (const double rate : {8000.0, 44100.0, 192000.0}) {
        const auto spans = std::make_unique<EngineState>(),
                   frames = std::make_unique<EngineState>();
        for (EngineState* s : {spans.get(), frames.get()}) setSampleRate(*s, rate);
        int64_t at = 0;
        for (const auto& [frame, message] : events) {
            advanceEnvelopeFrames(*spans, frame - at);
            for (; at < frame; ++at) advanceEnvelopeFrames(*frames, 1);
            ASSERT_EQ(fields(*spans), fields(*frames)) << rate << " at " << frame;
            for (EngineState* s : {spans.get(), frames.get()}) handleMidiShortMessage(*s, message);
        }
        while (const int64_t count = framesShortOfReleaseEnd(*spans))
            advanceEnvelopeFrames(*spans, count);
        while (frames->gate == 0 && !releaseFinished(*frames)) advanceEnvelopeFrames(*frames, 1);
        EXPECT_EQ(fields(*spans), fields(*frames)) << rate << " after the release";
    }
}

// The restore after switching off must stand even when the audio thread is in
// the middle of a trajectory step at that moment.
TEST(TrajectorySwitch, RestoredValuesStandAfterDisable) {
    auto state = std::make_unique<EngineState>();
    EngineState& s = *state;
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        float buffer[64];
        while (!stop.load(std::memory_order_relaxed)) renderFrames(s, buffer, 64);
    });
    for (int round = 0; round < 2000; ++round) {
        enableTrajectory(s, ParamId::M, ParamId::A, 1, 10, 0.1f, 1);
        std::this_thread::yield();
        disableTrajectory(s);
        s.m = 6.03f;
        s.A = 0.3f;
        // Give any straggling step time to land: none may.
        for (int spin = 0; spin < 50; ++spin) std::this_thread::yield();
        ASSERT_EQ(s.m.load(), 6.03f) << round;
        ASSERT_EQ(s.A.load(), 0.3f) << round;
    }
    stop = true;
    audio.join();
}

}  // namespace
}  // namespace tessivox
