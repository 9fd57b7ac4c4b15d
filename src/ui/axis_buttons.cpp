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

AxisDecision decideAxisButton(const AxisControls& c, ParamId p) {
    const QLabel* valueText = c.valueTexts[static_cast<int>(p)];
    const QString n =
        QString::fromUtf8(paramName(p).data(), static_cast<qsizetype>(paramName(p).size()));

    const bool xFromEmpty = c.xFrom->text().isEmpty();
    const bool xToEmpty = c.xTo->text().isEmpty();
    const bool yFromEmpty = c.yFrom->text().isEmpty();
    const bool yToEmpty = c.yTo->text().isEmpty();

    // What makes a 'to' refused, in the order the rules are read.
    auto refusedTo = [&](const QLabel* fromText) -> QString {
        const float from = textValue(fromText);
        if (!(from < textValue(valueText))) {
            return QStringLiteral("%1 is not above 'from' %2")
                .arg(valueText->text(), fromText->text());
        }
        if (!acceptedAsFrom(p, from)) {
            return QStringLiteral("'from' %1 lies outside the range of %2")
                .arg(fromText->text(), n);
        }
        return {};
    };
    if (xFromEmpty && xToEmpty && yFromEmpty && yToEmpty) return {AxisStep::XFrom, n, {}};
    if (!xFromEmpty && xToEmpty && yFromEmpty && yToEmpty) {
        QString why = refusedTo(c.xFrom);
        if (why.isEmpty()) return {AxisStep::XTo, n, {}};
        return {AxisStep::Reset, n, why};
    }
    if (!xFromEmpty && !xToEmpty && yFromEmpty && yToEmpty) {
        if (c.xLabel->text() != n) return {AxisStep::YFrom, n, {}};
        return {AxisStep::Reset, n, QStringLiteral("%1 is on the X axis already").arg(n)};
    }
    if (!xFromEmpty && !xToEmpty && !yFromEmpty && yToEmpty) {
        QString why = c.xLabel->text() == n ? QStringLiteral("%1 is on the X axis already").arg(n)
                                            : refusedTo(c.yFrom);
        if (why.isEmpty()) return {AxisStep::YTo, n, {}};
        return {AxisStep::Reset, n, why};
    }
    return {AxisStep::Reset, n, QStringLiteral("both axes are assigned")};
}

QString axisButtonTip(const AxisControls& c, ParamId p) {
    if (p == ParamId::None) return {};
    static constexpr const char* kLimits[] = {"X from", "X to", "Y from", "Y to"};
    const AxisDecision d = decideAxisButton(c, p);
    const QString value = c.valueTexts[static_cast<int>(p)]->text();
    if (d.step != AxisStep::Reset) {
        return QStringLiteral("Click: take %1 (%2) as %3")
            .arg(value, d.name, QLatin1String(kLimits[static_cast<int>(d.step)]));
    }
    return QStringLiteral("Click: clear the axes and untick Enable (%1)").arg(d.why);
}

void handleAxisButton(SynthState& s, const AxisControls& c, ParamId p) {
    if (p == ParamId::None) return;
    const AxisDecision d = decideAxisButton(c, p);
    const QString v = c.valueTexts[static_cast<int>(p)]->text();
    switch (d.step) {
        case AxisStep::XFrom:
        case AxisStep::XTo:
            (d.step == AxisStep::XFrom ? c.xFrom : c.xTo)->setText(v);
            c.xLabel->setText(d.name);
            return;
        case AxisStep::YFrom:
        case AxisStep::YTo:
            (d.step == AxisStep::YFrom ? c.yFrom : c.yTo)->setText(v);
            c.yLabel->setText(d.name);
            return;
        case AxisStep::Reset:
            resetAssignment(s, c);
            return;
    }
}

void clearAxisAssignment(SynthState& s, const AxisControls& c) {
    resetAssignment(s, c);
}

}  // namespace tessivox
