#include "ui/axis_buttons.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>

#include "engine/engine.h"
#include "ui/number_text.h"

namespace tessivox {

namespace {

float textValue(const QLabel* label) {
    return limitValue(label->text());
}

// Inclusive float32 bounds: the values of the slider's ends.
bool acceptedAsFrom(ParamId p, float f) {
    if (p == ParamId::None) return false;
    const int row = static_cast<int>(p);
    const SliderSpec& spec = kParamSliders[row];
    return paramValueAt(row, spec.minimum) <= f &&
           (!spec.fromCappedAtMaximum || f <= paramValueAt(row, spec.maximum));
}

void resetAssignment(SynthState& s, const AxisControls& c) {
    for (QLabel* text : {c.xFrom, c.xTo, c.yFrom, c.yTo, c.xLabel, c.yLabel}) text->clear();
    {
        // Unticking by program is not a click: no handler may run for it.
        const QSignalBlocker quiet(c.enable);
        c.enable->setChecked(false);
    }
    disableTrajectory(s);
}

}  // namespace

void handleAxisButton(SynthState& s, const AxisControls& c, ParamId p) {
    if (p == ParamId::None) return;
    const QLabel* valueText = c.valueTexts[static_cast<int>(p)];
    const QString v = valueText->text();
    const QString n =
        QString::fromUtf8(paramName(p).data(), static_cast<qsizetype>(paramName(p).size()));

    const bool xFromEmpty = c.xFrom->text().isEmpty();
    const bool xToEmpty = c.xTo->text().isEmpty();
    const bool yFromEmpty = c.yFrom->text().isEmpty();
    const bool yToEmpty = c.yTo->text().isEmpty();

    if (xFromEmpty && xToEmpty && yFromEmpty && yToEmpty) {
        c.xFrom->setText(v);
        c.xLabel->setText(n);
        return;
    }
    if (!xFromEmpty && xToEmpty && yFromEmpty && yToEmpty) {
        const float from = textValue(c.xFrom);
        if (from < textValue(valueText) && acceptedAsFrom(p, from)) {
            c.xTo->setText(v);
            c.xLabel->setText(n);
            return;
        }
    } else if (!xFromEmpty && !xToEmpty && yFromEmpty && yToEmpty) {
        if (c.xLabel->text() != n) {
            c.yFrom->setText(v);
            c.yLabel->setText(n);
            return;
        }
    } else if (!xFromEmpty && !xToEmpty && !yFromEmpty && yToEmpty) {
        const float from = textValue(c.yFrom);
        if (c.xLabel->text() != n && from < textValue(valueText) && acceptedAsFrom(p, from)) {
            c.yTo->setText(v);
            c.yLabel->setText(n);
            return;
        }
    }
    resetAssignment(s, c);
}

void clearAxisAssignment(SynthState& s, const AxisControls& c) {
    resetAssignment(s, c);
}

}  // namespace tessivox
