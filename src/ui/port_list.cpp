#include "ui/port_list.h"

#include <QHelpEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolTip>

#include "midi/midi_input.h"

namespace tessivox {

PortList::PortList(MidiPorts& midi, QWidget* parent) : QComboBox(parent), midi_(midi) {
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

void PortList::showNames(const std::vector<std::string>& names, int selected) {
    bool same = count() == static_cast<int>(names.size());
    for (int k = 0; same && k < count(); ++k) same = itemText(k).toStdString() == names[k];
    // Refilling raises no `activated`: the open port stays as it is.
    if (!same) {
        clear();
        for (const std::string& name : names) addItem(QString::fromStdString(name));
    }
    setCurrentIndex(selected);
    midi_.midiPortIndex = selected;
}

void PortList::listNow() {
    std::vector<std::string> names;
    midi_.listMidiPorts(names);
    serial_ = midi_.midiPortListSerial();
    showNames(names, names.empty() ? -1 : 0);
}

void PortList::change(int index) {
    midi_.midiPortIndex = index;
    changeAsked_ = midi_.askMidiPortChange(serial_, index);
}

void PortList::takeList(MidiPortNews& news) {
    if (!news.listed || news.sequence < changeAsked_) return;
    serial_ = news.serial;
    showNames(news.names, news.selected);
}

void PortList::showPopup() {
    // Listed afresh, so a source plugged in since shows up.
    midi_.askMidiPortList();
    QComboBox::showPopup();
}

}  // namespace tessivox
