#include <array>
#include <string>

#include <gtest/gtest.h>

#include "picture/editor_model.h"

namespace tessivox {
namespace {

using Texts = std::array<std::string, 6>;

Texts texts(const EditorModel& m) {
    return {m.xFrom, m.xTo, m.yFrom, m.yTo, m.xLabel, m.yLabel};
}

// Each axis as the host's ports give it, one after the other.
TEST(EditorModel, AxisFromPortsShowsAsAClickWould) {
    const struct {
        bool x;
        ParamId p;
        float from, to;
        Texts want;
    } steps[] = {
        {true, ParamId::N1, 2.0f, 30.5f, {"2.000", "30.500", "", "", "N1", ""}},
        {false, ParamId::B, 0.1f, 4.0f, {"2.000", "30.500", "0.100", "4.000", "N1", "B"}},
        {true, ParamId::None, 1.0f, 2.0f, {"", "", "0.100", "4.000", "", "B"}},
    };
    EditorModel m;
    for (const auto& step : steps) {
        showAxis(m, step.x, step.p, step.from, step.to);
        EXPECT_EQ(texts(m), step.want);
    }
}

TEST(EditorModel, UndoTakesBackSixTextsOnly) {
    const EditorModel shown{"1.000", "", "4.2", "", "m", "Y", true};
    EditorModel m;
    ASSERT_TRUE(takeJoinedTexts(m, joinedTexts(shown)));
    EXPECT_EQ(texts(m), texts(shown));
    for (const char* wrong : {"", "a\nb\nc\nd\ne", "a\nb\nc\nd\ne\nf\ng"}) {
        EXPECT_FALSE(takeJoinedTexts(m, wrong)) << wrong;
        EXPECT_EQ(texts(m), texts(shown)) << wrong;
    }
}

// Any text in the four limits will do; a label naming no parameter drives none.
TEST(EditorModel, EnableStartsWhatTheTextsSay) {
    EditorModel m{"6.030", "10", "x", "2.5y", "X", "N3"};
    ASSERT_TRUE(tickEnable(m, true));
    const Trajectory t = trajectoryOf(m);
    EXPECT_EQ(t.x, ParamId::None);
    EXPECT_EQ(t.y, ParamId::N3);
    EXPECT_EQ((std::array{t.xFrom, t.xTo, t.yFrom, t.yTo}), (std::array{6.03f, 10.0f, 0.0f, 2.5f}));
    EXPECT_FALSE(tickEnable(m, false));
    m.yFrom.clear();
    EXPECT_FALSE(tickEnable(m, true));
    EXPECT_FALSE(m.enable);
}

}  // namespace
}  // namespace tessivox
