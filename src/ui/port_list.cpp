#include "ui/port_list.h"

#include <QHelpEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolTip>

namespace tessivox {

PortList::PortList(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentTextChanged, this, &QWidget::setToolTip);
}

QRect PortList::textRect(const QStyleOptionComboBox& option) const {
    // The style draws the label one pixel in from each side of the field.
    return style()
        ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
        .adjusted(1, 0, -1, 0);
}

QString PortList::shownText() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return fontMetrics().elidedText(option.currentText, Qt::ElideRight, textRect(option).width());
}

void PortList::paintEvent(QPaintEvent*) {
    // As the toolkit's own paint, with the elided text.
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

bool PortList::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QComboBox::event(event);
    const QString what = QStringLiteral(
        "MIDI input: ALSA sequencer ports, and JACK MIDI ports when a JACK server runs,\n"
        "listed afresh each time the list opens. Notes on channel 1 play.");
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                       toolTip().isEmpty() ? what : toolTip() + QChar(u'\n') + what, this);
    return true;
}

void PortList::showPopup() {
    if (beforePopup) beforePopup();
    QComboBox::showPopup();
}

}  // namespace tessivox
