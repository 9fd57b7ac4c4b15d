#include "ui/axis_buttons.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>

#include "engine/engine.h"

namespace tessivox {

namespace {

std::string valueOf(const AxisControls& c, ParamId p) {
    return c.valueTexts[static_cast<int>(p)]->text().toStdString();
}

}  // namespace

EditorModel shownModel(const AxisControls& c) {
    EditorModel m;
    const auto model = axisTextsOf(m);
    for (size_t i = 0; i < model.size(); ++i)
        *model[i] = (*axisTextsOf(c)[i])->text().toStdString();
    m.enable = c.enable->isChecked();
    return m;
}

void showModel(const AxisControls& c, const EditorModel& m) {
    const auto model = axisTextsOf(m);
    for (size_t i = 0; i < model.size(); ++i) {
        QLabel* shown = *axisTextsOf(c)[i];
        const QString text = QString::fromStdString(*model[i]);
        if (text.isEmpty()) {
            shown->clear();
        } else if (shown->text() != text) {
            shown->setText(text);
        }
    }
    if (c.enable->isChecked() == m.enable) return;
    // Set by program, not a click: no handler may run for it.
    const QSignalBlocker quiet(c.enable);
    c.enable->setChecked(m.enable);
}

QString axisButtonTip(const AxisControls& c, ParamId p) {
    if (p == ParamId::None) return {};
    return QString::fromStdString(axisButtonTip(shownModel(c), p, valueOf(c, p)));
}

void handleAxisButton(SynthState& s, const AxisControls& c, ParamId p) {
    if (p == ParamId::None) return;
    EditorModel m = shownModel(c);
    const AxisStep step = clickAxisButton(m, p, valueOf(c, p));
    showModel(c, m);
    if (step == AxisStep::Reset) disableTrajectory(s);
}

}  // namespace tessivox
