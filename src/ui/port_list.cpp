#include "ui/port_list.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

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

void PortList::showPopup() {
    if (beforePopup) beforePopup();
    QComboBox::showPopup();
}

}  // namespace tessivox
