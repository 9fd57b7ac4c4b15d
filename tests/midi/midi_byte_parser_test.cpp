#include "midi/midi_byte_parser.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace tessivox {
namespace {

class ParserTest : public ::testing::Test {
  protected:
    std::vector<uint32_t> feed(std::initializer_list<unsigned char> bytes) {
        std::vector<unsigned char> v(bytes);
        std::vector<uint32_t> out;
        parser.feed(v.data(), v.size(), [&](uint32_t m) { out.push_back(m); });
        return out;
    }
    MidiByteParser parser;
};

TEST_F(ParserTest, CompleteMessagesArePackedStatusFirst) {
    EXPECT_EQ(feed({0x90, 69, 100}), (std::vector<uint32_t>{0x644590}));
    EXPECT_EQ(feed({0x80, 60, 0}), (std::vector<uint32_t>{0x003C80}));
    EXPECT_EQ(feed({0xC0, 5}), (std::vector<uint32_t>{0x0005C0}));
}

TEST_F(ParserTest, RunningStatusIsExpandedWithinAndAcrossDeliveries) {
    EXPECT_EQ(feed({0x90, 60, 100, 64, 100, 60, 0}),
              (std::vector<uint32_t>{0x643C90, 0x644090, 0x003C90}));
    // The next delivery carries on with the same status.
    EXPECT_EQ(feed({64, 0}), (std::vector<uint32_t>{0x004090}));
    // A one-data-byte status runs too.
    EXPECT_EQ(feed({0xD0, 7, 9}), (std::vector<uint32_t>{0x0007D0, 0x0009D0}));
}

TEST_F(ParserTest, RealTimeBytesPassThroughWithoutBreakingAMessage) {
    EXPECT_EQ(feed({0x90, 0xF8, 60, 0xFE, 100}), (std::vector<uint32_t>{0xF8, 0xFE, 0x643C90}));
    EXPECT_EQ(feed({0xFE}), (std::vector<uint32_t>{0xFE}));
}

TEST_F(ParserTest, SystemExclusiveIsDroppedAndEndsRunningStatus) {
    EXPECT_TRUE(feed({0x90, 60, 100}).size() == 1);
    // Data inside the sysex must not become notes, before or after its end.
    EXPECT_TRUE(feed({0xF0, 0x7E, 60, 100, 0xF7}).empty());
    EXPECT_TRUE(feed({60, 100}).empty());
    // A sysex cut off without its end swallows data until the next status.
    EXPECT_TRUE(feed({0xF0, 1, 2}).empty());
    EXPECT_TRUE(feed({60, 100}).empty());
    EXPECT_EQ(feed({0x80, 60, 0}), (std::vector<uint32_t>{0x003C80}));
}

TEST_F(ParserTest, SystemCommonMessagesTakeTheirOwnLength) {
    EXPECT_EQ(feed({0xF2, 0x10, 0x20}), (std::vector<uint32_t>{0x2010F2}));
    EXPECT_EQ(feed({0xF1, 0x31}), (std::vector<uint32_t>{0x0031F1}));
    EXPECT_EQ(feed({0xF6}), (std::vector<uint32_t>{0xF6}));
    // They cancel running status.
    EXPECT_EQ(feed({0x90, 60, 100, 0xF6, 61, 100}), (std::vector<uint32_t>{0x643C90, 0xF6}));
}

TEST_F(ParserTest, StrayAndCutOffDataIsDropped) {
    EXPECT_TRUE(feed({60, 100}).empty());
    // A new status abandons an unfinished message.
    EXPECT_EQ(feed({0x90, 60, 0x80, 61, 0}), (std::vector<uint32_t>{0x003D80}));
}

}  // namespace
}  // namespace tessivox
