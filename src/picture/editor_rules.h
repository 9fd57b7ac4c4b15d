#pragma once

#include <string>
#include <string_view>

#include "picture/editor_state.h"

namespace tessivox {

// The editor's rules without a toolkit, for the program's window and the
// plugin's window alike.

// Exactly three decimals, whatever the locale.
std::string valueString(float value);
// The standard decimal conversion of a limit text (leading number, else 0),
// whatever the locale, rounded to float32.
float limitNumber(std::string_view text);

// The position of parameter `row`'s slider that shows `value`: the nearest,
// a half away from zero, within the slider's range.
int32_t paramPosition(int row, float value);

// What a click of parameter p's axis button does, given the texts the
// window shows: fill one of the four limits, or clear them all (`why` says
// what refused it). p is not None.
enum class AxisStep { XFrom, XTo, YFrom, YTo, Reset };
struct AxisTexts {
    std::string_view value;  // p's value text
    std::string_view xFrom, xTo, yFrom, yTo, xLabel;
};
struct AxisRuling {
    AxisStep step;
    std::string why;
};
AxisRuling decideAxisStep(const AxisTexts& t, ParamId p);
// The axis button's tooltip: what a click would do now.
std::string axisButtonTip(const AxisTexts& t, ParamId p);

// An envelope slider's tooltip: what its position stands for, as a note
// start reads it (k: kAttack..kRelease).
std::string envelopeTip(int k, int32_t value);

// A pointer move on the pad with the left button held, at pad pixel (x, y):
// picks a point if none is held, moves the held one. Returns whether the
// pointer is on the pad (then the picture is redrawn).
bool movePadPoint(EngineState& engine, EditorState& s, int32_t x, int32_t y);
// A left press at pad pixel (x, y): a point whose pick box holds it is
// picked then, so that a quick drag whose first move already lies outside
// the box still takes it.
void pickPadPoint(EditorState& s, int32_t x, int32_t y);

}  // namespace tessivox
