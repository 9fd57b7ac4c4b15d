#include "midi/midi_file.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "midi/midi_rules.h"
#include "midi_bytes.h"

namespace tessivox {
namespace {

using namespace test;
using Schedule = std::vector<ScheduledMessage>;

MidiSchedule readOk(const Bytes& bytes) {
    MidiSchedule schedule;
    std::string error;
    EXPECT_TRUE(readMidiFile(bytes, schedule, error)) << error;
    return schedule;
}

std::string readError(const Bytes& bytes) {
    MidiSchedule schedule;
    std::string error;
    EXPECT_FALSE(readMidiFile(bytes, schedule, error));
    EXPECT_EQ(error.find('\n'), std::string::npos);
    return error;
}

uint32_t on(uint8_t note) {
    return packShortMessage(0x90, note, 100);
}
uint32_t off(uint8_t note) {
    return packShortMessage(0x80, note, 0);
}

// --- time ------------------------------------------------------------------

TEST(MidiFileTime, Ppq22050AtDefaultTempoIsOneTickPerFrame) {
    const MidiSchedule s = readOk(
        cat({header(0, 1, 22050),
             track({{0, noteOn(60)}, {1, noteOff(60)}, {44099, noteOn(61)}, {12345, noteOff(61)}},
                   7)}));
    EXPECT_EQ(s.messages, (Schedule{{0, on(60)}, {1, off(60)}, {44100, on(61)}, {56445, off(61)}}));
    EXPECT_EQ(s.endFrame, 56452);
}

TEST(MidiFileTime, TempoChangeAppliesFromItsOwnTickOnAcrossTracks) {
    // 480 ticks at 0.5 s, then quarter notes of 0.25 s; the map lives in track 1.
    const MidiSchedule s = readOk(cat({header(1, 2, 480), track({{480, tempo(250000)}}),
                                       track({{480, noteOn(60)}, {480, noteOff(60)}})}));
    EXPECT_EQ(s.messages, (Schedule{{22050, on(60)}, {33075, off(60)}}));
    EXPECT_EQ(s.endFrame, 33075);
}

TEST(MidiFileTime, TempoAtTickZeroReplacesTheDefaultAndTheLastOfATickWins) {
    const MidiSchedule s = readOk(cat(
        {header(0, 1, 100), track({{0, tempo(1000000)}, {0, tempo(2000000)}, {100, noteOn(60)}})}));
    EXPECT_EQ(s.messages, (Schedule{{88200, on(60)}}));
}

TEST(MidiFileTime, FrameRoundsHalfwayToEven) {
    // Half a frame per tick: ticks 1, 3, 5, 7 fall exactly between two frames.
    const MidiSchedule s = readOk(cat({header(0, 1, 22050), track({{0, tempo(250000)},
                                                                   {1, noteOn(1)},
                                                                   {2, noteOn(3)},
                                                                   {2, noteOn(5)},
                                                                   {2, noteOn(7)}})}));
    EXPECT_EQ(s.messages, (Schedule{{0, on(1)}, {2, on(3)}, {2, on(5)}, {4, on(7)}}));
}

TEST(MidiFileTime, ExactArithmeticWhereDoublesWouldDrift) {
    // 96 PPQ at 500000 us: a tick is exactly 229.6875 frames.
    const MidiSchedule s =
        readOk(cat({header(0, 1, 96), track({{40000, noteOn(60)}, {1, noteOff(60)}})}));
    EXPECT_EQ(s.messages[0].frame, 9187500);
    EXPECT_EQ(s.messages[1].frame, 9187730);  // 9187729.6875 rounds up
}

TEST(MidiFileTime, EndIsTheLatestEndOfTrack) {
    const MidiSchedule s = readOk(
        cat({header(1, 2, 22050), track({{10, noteOn(60)}}, 90), track({{5, noteOff(60)}}, 995)}));
    EXPECT_EQ(s.endFrame, 1000);
}

TEST(MidiFileTime, TempoZeroStopsTime) {
    const MidiSchedule s = readOk(
        cat({header(0, 1, 1), track({{0, tempo(0)}, {0x0FFFFFFF, noteOn(60)}}, 0x0FFFFFFF)}));
    EXPECT_EQ(s.messages, (Schedule{{0, on(60)}}));
    EXPECT_EQ(s.endFrame, 0);
}

// --- merging and decoding -----------------------------------------------------

TEST(MidiFileEvents, MergeByTimeThenTrackThenFileOrder) {
    // Half a frame per tick, so tick 0 and tick 1 share frame 0: time decides.
    const MidiSchedule s =
        readOk(cat({header(1, 3, 22050), track({{0, tempo(250000)}, {1, noteOn(10)}}),
                    track({{0, noteOn(40)}, {0, noteOn(21)}, {1, noteOn(2)}}),
                    track({{0, noteOn(30)}, {1, noteOn(1)}})}));
    EXPECT_EQ(
        s.messages,
        (Schedule{{0, on(40)}, {0, on(21)}, {0, on(30)}, {0, on(10)}, {0, on(2)}, {0, on(1)}}));
}

TEST(MidiFileEvents, RunningStatusIsExpanded) {
    const MidiSchedule s = readOk(cat({header(0, 1, 22050), track({{0, {0x90, 60, 100}},
                                                                   {1, {62, 0}},
                                                                   {1, {0xFF, 0x01, 0x01, 'x'}},
                                                                   {1, {64, 90}},
                                                                   {1, {0xC3, 5}},
                                                                   {1, {6}},
                                                                   {1, {0xE0, 0x00, 0x40}}})}));
    EXPECT_EQ(s.messages, (Schedule{{0, on(60)},
                                    {1, packShortMessage(0x90, 62, 0)},
                                    {3, packShortMessage(0x90, 64, 90)},
                                    {4, packShortMessage(0xC3, 5, 0)},
                                    {5, packShortMessage(0xC3, 6, 0)},
                                    {6, packShortMessage(0xE0, 0x00, 0x40)}}));
}

TEST(MidiFileEvents, SysexMetaAndUnknownChunksAreSkipped) {
    const Bytes longHeader = chunk("MThd", {0, 1, 0, 2, 0x56, 0x22, 0xAA, 0xBB});
    Bytes sysex(200, 0x11);
    const MidiSchedule s = readOk(cat({
        longHeader,
        chunk("XFIH", {1, 2, 3}),
        track({{0, cat({{0xF0}, vlq(200), sysex})},
               {1, {0xF7, 0x02, 0x43, 0x12}},
               {1, {0xFF, 0x7F, 0x00}},
               {1, noteOn(60)}}),
        chunk("junk", {}),
        track({{2, noteOff(60)}}),
        Bytes{'t', 'r', 'a', 'i', 'l'},
    }));
    EXPECT_EQ(s.messages, (Schedule{{2, off(60)}, {3, on(60)}}));
}

TEST(MidiFileEvents, BytesAfterEndOfTrackAreIgnored) {
    const MidiSchedule s =
        readOk(cat({header(0, 1, 22050),
                    chunk("MTrk", cat({trackBody({{4, noteOn(60)}}), Bytes{0x00, 0xF4}}))}));
    EXPECT_EQ(s.messages, (Schedule{{4, on(60)}}));
    EXPECT_EQ(s.endFrame, 4);
}

TEST(MidiFileEvents, TrackWithoutEndOfTrackEndsAtItsLastEvent) {
    const MidiSchedule s =
        readOk(cat({header(0, 1, 22050), chunk("MTrk", cat({vlq(300), noteOn(60)}))}));
    EXPECT_EQ(s.endFrame, 300);
}

// --- malformed files ------------------------------------------------------------

struct BadFile {
    const char* name;
    Bytes bytes;
    const char* message;
};

void PrintTo(const BadFile& f, std::ostream* os) {
    *os << f.name;
}

class MidiFileErrors : public ::testing::TestWithParam<BadFile> {};

TEST_P(MidiFileErrors, AreRefusedWithAReason) {
    EXPECT_NE(readError(GetParam().bytes).find(GetParam().message), std::string::npos)
        << readError(GetParam().bytes);
}

const Bytes kOkTrack = track({{0, noteOn(60)}});

INSTANTIATE_TEST_SUITE_P(
    Reader, MidiFileErrors,
    ::testing::Values(
        BadFile{"Empty", {}, "not a Standard MIDI File"},
        BadFile{"Garbage", {'R', 'I', 'F', 'F', 0, 0, 0, 0}, "not a Standard MIDI File"},
        BadFile{"HeaderCut", {'M', 'T', 'h', 'd', 0, 0}, "truncated MThd"},
        BadFile{"HeaderTooShort", chunk("MThd", {0, 0, 0, 1}), "< 6"},
        BadFile{"HeaderPastEnd", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}, "runs past the end"},
        BadFile{"Format2", cat({header(2, 1, 96), kOkTrack}), "format 2"},
        BadFile{"Format3", cat({header(3, 1, 96), kOkTrack}), "unknown MIDI file format 3"},
        BadFile{"Smpte", cat({header(0, 1, 0xE728), kOkTrack}), "SMPTE"},
        BadFile{"DivisionZero", cat({header(0, 1, 0), kOkTrack}), "0 ticks"},
        BadFile{"MissingTrack", cat({header(1, 2, 96), kOkTrack}), "after 1 of 2 tracks"},
        BadFile{"TrackPastEnd",
                cat({header(0, 1, 96), Bytes(kOkTrack.begin(), kOkTrack.end() - 1)}),
                "track chunk of 8 bytes runs past the end"},
        BadFile{"UnknownChunkPastEnd", cat({header(0, 1, 96), Bytes{'a', 'b', 'c', 'd', 0, 0, 1}}),
                "file ends after 0 of 1"},
        BadFile{"LongVlq", cat({header(0, 1, 96), chunk("MTrk", {0x81, 0x80, 0x80, 0x80, 0x00})}),
                "longer than 4 bytes"},
        BadFile{"VlqCut", cat({header(0, 1, 96), chunk("MTrk", {0x81, 0x80})}),
                "delta time runs past the end"},
        BadFile{"NoRunningStatus", cat({header(0, 1, 96), track({{0, {60, 100}}})}),
                "data byte without a status byte"},
        BadFile{"SystemStatus", cat({header(0, 1, 96), track({{0, {0xF8}}})}),
                "track 1, byte 23: unexpected status byte 0xF8"},
        BadFile{"StatusInData", cat({header(0, 1, 96), track({{0, {0x90, 60, 0x80}}})}),
                "status byte inside a channel message"},
        BadFile{"MessageCut", cat({header(0, 1, 96), chunk("MTrk", {0x00, 0x90, 60})}),
                "track ends inside a channel message"},
        BadFile{"EventMissing", cat({header(0, 1, 96), chunk("MTrk", {0x00})}),
                "track ends inside an event"},
        BadFile{"SysexPastEnd", cat({header(0, 1, 96), chunk("MTrk", {0x00, 0xF0, 0x05, 1, 2})}),
                "system exclusive event of 5 bytes runs past the end"},
        BadFile{"MetaPastEnd",
                cat({header(0, 1, 96), chunk("MTrk", {0x00, 0xFF, 0x01, 0x8F, 0x7F, 'a'})}),
                "meta event of 2047 bytes runs past the end"},
        BadFile{"MetaCut", cat({header(0, 1, 96), chunk("MTrk", {0x00, 0xFF})}),
                "track ends inside a meta event"},
        BadFile{"TempoLength", cat({header(0, 1, 96), track({{0, {0xFF, 0x51, 0x02, 1, 2}}})}),
                "Set Tempo event of length 2"},
        BadFile{"TempoCut", cat({header(0, 1, 96), chunk("MTrk", {0x00, 0xFF, 0x51, 0x03, 1})}),
                "Set Tempo event runs past the end"},
        BadFile{"OverAnHour",
                cat({header(0, 1, 1), track({{0, tempo(0xFFFFFF)}, {0x0FFFFFFF, noteOn(60)}})}),
                "more than one hour"},
        BadFile{"AbsurdEndOfTrack", cat({header(0, 1, 22050), track({}, 0x0FFFFFFF)}),
                "more than one hour"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MidiFileLimits, ExactlyOneHourIsAccepted) {
    // PPQ 1 at one second per quarter: 3600 ticks is one hour.
    const MidiSchedule s = readOk(cat({header(0, 1, 1), track({{0, tempo(1000000)}}, 3600)}));
    EXPECT_EQ(s.endFrame, kMaxRenderFrames);
    readError(cat({header(0, 1, 1), track({{0, tempo(1000000)}}, 3601)}));
}

TEST(MidiFileLimits, ManyHugeDeltasDoNotOverflow) {
    Bytes body;
    for (int i = 0; i < 4096; ++i) {
        body = cat({body, vlq(0x0FFFFFFF), {0xFF, 0x51, 0x03, 0xFF, 0xFF, 0xFF}});
    }
    EXPECT_NE(readError(cat({header(0, 1, 1), chunk("MTrk", body)})).find("one hour"),
              std::string::npos);
}

}  // namespace
}  // namespace tessivox
