#pragma once

#include <array>
#include <string>
#include <string_view>

#include "engine/engine_state.h"
#include "picture/editor_rules.h"

namespace tessivox {

// What the editor shows of the trajectory's assignment: the axis texts and
// the Enable tick. Each window keeps one and changes it only here, so both
// follow the same rules; what the changes drive is each window's own.
struct EditorModel {
    std::string xFrom, xTo, yFrom, yTo, xLabel, yLabel;
    bool enable = false;
};

// The six texts in their order (xFrom, xTo, yFrom, yTo, xLabel, yLabel),
// which is also the order of their controls' ids.
template <class Model>
auto axisTextsOf(Model& m) {
    return std::array{&m.xFrom, &m.xTo, &m.yFrom, &m.yTo, &m.xLabel, &m.yLabel};
}

// The axis button's tooltip while p shows `value`.
std::string axisButtonTip(const EditorModel& m, ParamId p, std::string_view value);

// A click of parameter p's axis button while it shows `value`: fills one
// limit and names its axis after p, or empties every text and unticks
// Enable. Returns which it did. p is not None.
AxisStep clickAxisButton(EditorModel& m, ParamId p, std::string_view value);

// Enable ticked or unticked by the user: a tick stands only with all four
// limits. Returns whether Enable is ticked now.
bool tickEnable(EditorModel& m, bool ticked);

// What ticking Enable starts: the parameters the labels name (None for any
// other text) and the limits as numbers.
struct Trajectory {
    ParamId x, y;
    float xFrom, xTo, yFrom, yTo;
};
Trajectory trajectoryOf(const EditorModel& m);

// One axis as a sound or the host gives it: no parameter empties its texts.
void showAxis(EditorModel& m, bool x, ParamId p, float from, float to);

// The six texts in one string and back, as undo keeps them beside a sound;
// taking refuses anything but six texts.
std::string joinedTexts(const EditorModel& m);
bool takeJoinedTexts(EditorModel& m, std::string_view joined);

}  // namespace tessivox
