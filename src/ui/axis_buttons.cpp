#include "ui/axis_buttons.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>

#include "engine/engine.h"
#include "ui/number_text.h"

namespace tessivox {

void clearAxisAssignment(SynthState& s, const AxisControls& c) {
    for (QLabel* text : {c.xFrom, c.xTo, c.yFrom, c.yTo, c.xLabel, c.yLabel}) text->clear();
    {
        // Unticking by program is not a click: no handler may run for it.
        const QSignalBlocker quiet(c.enable);
        c.enable->setChecked(false);
    }
    disableTrajectory(s);
}

namespace {

// The texts the rules read, held while they read them.
struct ShownTexts {
    std::string value, xFrom, xTo, yFrom, yTo, xLabel;
    ShownTexts(const AxisControls& c, ParamId p)
        : value(text(c.valueTexts[static_cast<int>(p)])),
          xFrom(text(c.xFrom)),
          xTo(text(c.xTo)),
          yFrom(text(c.yFrom)),
          yTo(text(c.yTo)),
          xLabel(text(c.xLabel)) {}
    AxisTexts view() const { return {value, xFrom, xTo, yFrom, yTo, xLabel}; }
    static std::string text(const QLabel* label) { return label->text().toStdString(); }
};

}  // namespace

AxisDecision decideAxisButton(const AxisControls& c, ParamId p) {
    const std::string_view name = paramName(p);
    const AxisRuling r = decideAxisStep(ShownTexts(c, p).view(), p);
    return {r.step, QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
            QString::fromStdString(r.why)};
}

QString axisButtonTip(const AxisControls& c, ParamId p) {
    if (p == ParamId::None) return {};
    return QString::fromStdString(axisButtonTip(ShownTexts(c, p).view(), p));
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
            clearAxisAssignment(s, c);
            return;
    }
}

}  // namespace tessivox
