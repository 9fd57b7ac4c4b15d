#pragma once

#include <array>

#include <QString>

#include "picture/editor_model.h"
#include "ui/synth_state.h"

class QCheckBox;
class QLabel;

namespace tessivox {

// The controls that show the editor model, and each parameter's value text.
struct AxisControls {
    std::array<QLabel*, kParamCount> valueTexts{};  // 21..26
    // In the editor model's order, as axisTextsOf lists them.
    QLabel* xFrom = nullptr;                        // 39
    QLabel* xTo = nullptr;                          // 40
    QLabel* yFrom = nullptr;                        // 41
    QLabel* yTo = nullptr;                          // 42
    QLabel* xLabel = nullptr;                       // 43
    QLabel* yLabel = nullptr;                       // 44
    QCheckBox* enable = nullptr;                    // 45
};

// The model as the controls show it, and the controls made to show one
// (Enable set by program, which raises no click).
EditorModel shownModel(const AxisControls& controls);
void showModel(const AxisControls& controls, const EditorModel& m);

// A click of the axis button of parameter p (buttons 33..38).
void handleAxisButton(SynthState& s, const AxisControls& controls, ParamId p);

// The button's tooltip: what a click would do now.
QString axisButtonTip(const AxisControls& controls, ParamId p);

}  // namespace tessivox
