#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tessivox {
namespace {

using MidiRules = test::EngineTest;

TEST_F(MidiRules, NoteFrequencies) {
    on(69);
    EXPECT_EQ(s.noteFrequency.load(), 440.0);
    on(60);
    EXPECT_EQ(s.noteFrequency.load(), 261.6255653005986);
    on(0);
    EXPECT_EQ(s.noteFrequency.load(), 8.175798915643707);
}

TEST_F(MidiRules, FirstKeyOpensTheGateAndNotifies) {
    EXPECT_EQ(s.gateText.load(), GateText::Empty);
    on(60);
    EXPECT_EQ(s.gate.load(), 1);
    EXPECT_EQ(s.keysHeld.load(), 1);
    EXPECT_EQ(s.gateText.load(), GateText::On);
    EXPECT_EQ(s.shortMessageCount.load(), 1u);
}

TEST_F(MidiRules, OtherChannelsAndMessagesOnlyRefreshTheText) {
    send(0x91, 60, 100);  // note-on, channel 2
    send(0x81, 60, 0);
    send(0xB0, 7, 100);
    send(0xF8, 0, 0);  // clock
    EXPECT_EQ(s.gate.load(), 0);
    EXPECT_EQ(s.keysHeld.load(), 0);
    EXPECT_EQ(s.noteFrequency.load(), 0.0);
    EXPECT_EQ(s.gateText.load(), GateText::Empty);
    EXPECT_EQ(s.shortMessageCount.load(), 4u);
}

TEST_F(MidiRules, LegatoKeepsThePitchOfTheLastNoteOn) {
    on(60);
    on(64);
    s.envelopeLatched = 1;
    s.noteStarted = 1;
    off(64);
    EXPECT_EQ(s.noteFrequency.load(), noteFrequencyOf(64));
    EXPECT_EQ(s.keysHeld.load(), 1);
    EXPECT_EQ(s.gate.load(), 1);
    EXPECT_EQ(s.gateText.load(), GateText::On);
    EXPECT_EQ(s.envelopeLatched.load(), 1);
    off(60);
    EXPECT_EQ(s.keysHeld.load(), 0);
    EXPECT_EQ(s.gate.load(), 0);
    EXPECT_EQ(s.gateText.load(), GateText::Off);
    EXPECT_EQ(s.envelopeLatched.load(), 0);
    EXPECT_EQ(s.noteStarted.load(), 0);
    EXPECT_EQ(s.previousFrequency.load(), noteFrequencyOf(64));
}

TEST_F(MidiRules, NoteOffIsNotMatchedToItsKey) {
    on(60);
    off(61);
    EXPECT_EQ(s.gate.load(), 0);
    EXPECT_EQ(s.keysHeld.load(), 0);
}

TEST_F(MidiRules, VelocityZeroNoteOnIsANoteOff) {
    on(60);
    on(60);  // the same key twice needs two releases
    send(0x90, 60, 0);
    EXPECT_EQ(s.gate.load(), 1);
    send(0x90, 60, 0);
    EXPECT_EQ(s.gate.load(), 0);
    EXPECT_EQ(s.previousFrequency.load(), noteFrequencyOf(60));
}

TEST_F(MidiRules, NoteOffWithNothingHeldRepeatsTheRelease) {
    off(60);
    EXPECT_EQ(s.keysHeld.load(), 0);
    EXPECT_EQ(s.gateText.load(), GateText::Off);
    EXPECT_EQ(s.previousFrequency.load(), 0.0);  // the oscillator guards this
}

TEST_F(MidiRules, PortClosedDropsTheKeysButNotTheNote) {
    on(60);
    s.envelopeLatched = 1;
    s.noteStarted = 1;
    const uint32_t shown = s.shortMessageCount.load();
    handleMidiPortClosed(s);
    EXPECT_EQ(s.keysHeld.load(), 0);
    EXPECT_EQ(s.gate.load(), 0);
    EXPECT_EQ(s.gateText.load(), GateText::Off);
    EXPECT_EQ(s.envelopeLatched.load(), 1);
    EXPECT_EQ(s.noteStarted.load(), 1);
    EXPECT_EQ(s.previousFrequency.load(), 100.0);
    EXPECT_EQ(s.shortMessageCount.load(), shown);  // the status bar is not written
    off(60);  // on the new port: finds nothing held
    EXPECT_EQ(s.keysHeld.load(), 0);
}

TEST_F(MidiRules, AllNotesOffAndAllSoundOffOnChannelOneEndEveryKey) {
    on(60);
    on(64);
    send(0xB1, 123, 0);  // channel 2
    EXPECT_EQ(s.keysHeld.load(), 2);
    send(0xB0, 123, 0);
    EXPECT_EQ(s.keysHeld.load(), 0);
    EXPECT_EQ(s.gate.load(), 0);
    EXPECT_EQ(s.envelopeLatched.load(), 0);  // the next note has its attack again
    EXPECT_EQ(s.soundOffRequested.load(), 0);
    on(60);
    send(0xB0, 120, 0);
    EXPECT_EQ(s.gate.load(), 0);
    EXPECT_EQ(s.soundOffRequested.load(), 1);
    on(62);  // a new note is not cut short later
    EXPECT_EQ(s.soundOffRequested.load(), 0);
}

// A note-off before any note-on, then a note: the fade-out plays at 0 Hz.
TEST_F(MidiRules, ReleaseBeforeFirstNoteThenPlayStaysFinite) {
    off(60);
    on(69);
    std::vector<float> out(3000);
    renderFrames(s, out.data(), out.size());
    for (float v : out) ASSERT_TRUE(std::isfinite(v));
    EXPECT_NE(out.back(), 0.0f);
}

}  // namespace
}  // namespace tessivox
