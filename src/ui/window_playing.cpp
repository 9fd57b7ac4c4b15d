// The main window's playing settings: the "Playing" dialog, the player's
// set-up and the sliders that follow learned MIDI controllers.

#include <utility>

#include <QMenu>
#include <QSlider>

#include "engine/engine.h"
#include "midi/midi_rules.h"
#include "picture/controller_learn.h"
#include "sound/playing_ports.h"
#include "ui/main_window.h"
#include "ui/playing_dialog.h"

namespace tessivox {

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
}

QSlider* MainWindow::learnSlider(int k) const {
    return slider(k < kParamCount ? kFirstParamSlider + k : kAttackSlider + k - kParamCount);
}

void MainWindow::applyPlayerSetup() {
    s_.midiChannel.store(player_.channel, relaxed);
    lv2::applyPlayingPort(s_, lv2::kSustainPedal, player_.sustainPedal ? 1.0f : 0.0f);
}

void MainWindow::showPlaying() {
    sound::Sound sound = currentSound();
    const bool pedal = player_.sustainPedal;
    if (!askPlaying(this, sound, player_)) return;
    // Keys the pedal held would never end once it no longer counts.
    if (pedal && !player_.sustainPedal) handleMidiShortMessage(s_, packShortMessage(0xB0, 64, 0));
    for (lv2::Port port : lv2::kSoundPlayingPorts)
        lv2::applyPlayingPort(s_, port, sound.values[port]);
    applyPlayerSetup();
    savePlayerSetup(player_);
    commitEdit();
}

void MainWindow::showLearnMenu(int k, const QPoint& globalPosition) {
    QMenu menu(this);
    const int learned = player_.learned[k];
    QAction* learn = menu.addAction(QStringLiteral("Learn MIDI controller"));
    QAction* forget =
        menu.addAction(learned < 0 ? QStringLiteral("Forget")
                                   : QStringLiteral("Forget controller %1").arg(learned));
    forget->setEnabled(learned >= 0);
    QAction* chosen = menu.exec(globalPosition);
    if (chosen == learn) {
        learning_ = k;
        seenMoves_ = s_.controllerMoves.load(std::memory_order_acquire);
    } else if (chosen == forget) {
        player_.learned[k] = -1;
        savePlayerSetup(player_);
    }
}

// The next controller moved after a learn is asked for is the slider's; a
// learned slider moves to its controller's value as a drag would move it,
// and becomes one step back once the controller rests.
void MainWindow::pollControllers() {
    const uint32_t moves = s_.controllerMoves.load(std::memory_order_acquire);
    if (moves == seenMoves_) {
        // A controller at rest is a drag let go: its moves are one step back.
        if (std::exchange(controllerMoving_, false)) commitEdit();
        return;
    }
    seenMoves_ = moves;
    const int moved = s_.lastController.load(relaxed);
    if (learning_ >= 0 && learnableController(moved)) {
        learnController(player_.learned, learning_, moved);
        followed_[learning_] = -1;
        learning_ = -1;
        savePlayerSetup(player_);
    }
    for (int k = 0; k < static_cast<int>(player_.learned.size()); ++k) {
        const int controller = player_.learned[k];
        if (controller < 0) continue;
        const int value = s_.controllerValues[controller].load(relaxed);
        if (value == followed_[k] && controller != moved) continue;
        followed_[k] = value;
        controllerMoving_ = true;
        QSlider* target = learnSlider(k);
        target->setValue(learnedPosition(target->minimum(), target->maximum(), value));
    }
}

}  // namespace tessivox
