#include "ui/playing_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

#include "sound/playing_ports.h"

namespace tessivox {

namespace {

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A control for one port from its entry in the port table; `read` gives the
// value it shows, as the port takes it.
QWidget* portControl(uint32_t port, float value, std::function<float()>& read) {
    const lv2::PortSpec& spec = lv2::kPorts[port];
    if (const auto labels = lv2::choiceLabels(port); !labels.empty()) {
        auto* choice = new QComboBox;
        for (const std::string_view label : labels) choice->addItem(text(label));
        choice->setCurrentIndex(static_cast<int>(value));
        read = [choice] { return static_cast<float>(choice->currentIndex()); };
        return choice;
    }
    if (spec.properties & lv2::kInteger) {
        auto* number = new QSpinBox;
        number->setRange(static_cast<int>(spec.minimum), static_cast<int>(spec.maximum));
        number->setValue(static_cast<int>(value));
        read = [number] { return static_cast<float>(number->value()); };
        return number;
    }
    auto* number = new QDoubleSpinBox;
    number->setDecimals(3);
    number->setSingleStep(port == lv2::kGlideTime ? 0.01 : 0.05);
    number->setRange(spec.minimum, spec.maximum);
    number->setValue(value);
    read = [number] { return static_cast<float>(number->value()); };
    return number;
}

}  // namespace

bool askPlaying(QWidget* parent, sound::Sound& sound, PlayerSetup& setup) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Playing"));
    auto* form = new QFormLayout(&dialog);
    std::function<float()> reads[std::size(lv2::kSoundPlayingPorts)];
    for (size_t k = 0; k < std::size(lv2::kSoundPlayingPorts); ++k) {
        const lv2::Port port = lv2::kSoundPlayingPorts[k];
        form->addRow(text(lv2::kPorts[port].name), portControl(port, sound.values[port], reads[k]));
    }
    form->addRow(new QLabel(QStringLiteral("Your set-up, kept apart from sounds:")));
    auto* pedal = new QCheckBox(QStringLiteral("Controller 64 holds released keys"));
    pedal->setChecked(setup.sustainPedal);
    form->addRow(QStringLiteral("Sustain pedal"), pedal);
    auto* channel = new QComboBox;
    channel->addItem(QStringLiteral("Any"));
    for (int k = 1; k <= 16; ++k) channel->addItem(QString::number(k));
    channel->setCurrentIndex(setup.channel);
    form->addRow(QStringLiteral("MIDI channel"), channel);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    for (size_t k = 0; k < std::size(lv2::kSoundPlayingPorts); ++k) {
        const lv2::Port port = lv2::kSoundPlayingPorts[k];
        sound.values[port] = lv2::clampToPort(port, reads[k]());
    }
    setup.sustainPedal = pedal->isChecked();
    setup.channel = channel->currentIndex();
    return true;
}

}  // namespace tessivox
