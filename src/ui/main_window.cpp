#include "ui/main_window.h"

#include <cmath>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QStatusBar>
#include <QToolTip>

#include "engine/engine.h"
#include "midi/midi_input.h"
#include "ui/displays.h"
#include "ui/pad_editor.h"
#include "ui/port_list.h"

namespace tessivox {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

}  // namespace

QWidget* MainWindow::control(int id) const {
    if (id < 0 || id >= static_cast<int>(controls_.size())) return nullptr;
    return controls_[id];
}

QSlider* MainWindow::slider(int id) const {
    return qobject_cast<QSlider*>(control(id));
}

QLabel* MainWindow::label(int id) const {
    return qobject_cast<QLabel*>(control(id));
}

QLabel* MainWindow::statusField(int field) const {
    if (field < 0 || field >= static_cast<int>(status_.size())) return nullptr;
    return status_[field];
}

void MainWindow::setStatusText(int field, std::string_view text) {
    if (QLabel* f = statusField(field)) {
        f->setText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    }
}

void MainWindow::pollGateText() {
    const uint32_t count = s_.shortMessageCount.load(std::memory_order_acquire);
    if (count == shownMessageCount_) return;
    shownMessageCount_ = count;
    setStatusText(1, gateTextString(s_.gateText.load(std::memory_order_acquire)));
}

void MainWindow::pollMidiPort() {
    // Nothing is reopened while the program is ending.
    if (s_.quitRequested != 0) return;
    MidiPortNews news = midi_.takeMidiPortNews();
    if (!news.status.empty()) setStatusText(0, news.status);
    portList_->takeList(news);
}

void MainWindow::setMenuActions(std::function<void()> about, std::function<void()> help) {
    about_ = std::move(about);
    help_ = std::move(help);
}

void MainWindow::dispatch(int eventCode, int id, const PadEvent& padEvent) {
    if (droppingEvents_) return;
    s_.windowEvent = eventCode;
    ++handlersRunning_;
    switch (eventCode) {
        case kMenuEvent:
            if (id == kAboutItem && about_) about_();
            if (id == kHelpItem || id == kPlayingHelpItem) showHelp(id);
            if (id == kEscapeItem) s_.quitRequested = 1;
            if (id == kSaveSoundItem || id == kSaveSoundAsItem) saveSound(id == kSaveSoundAsItem);
            if (id == kLoadSoundItem) loadSoundChosen();
            if (id == kNewSoundItem) loaded(sound::startSound());
            if (id == kRenameSoundItem) renameSound();
            if (id == kDeleteSoundItem) deleteSound();
            if (id == kUndoItem || id == kRedoItem) stepHistory(id == kUndoItem);
            if (id == kPlayingItem) showPlaying();
            break;
        case kControlEvent:
            if (id == kMidiPortList) {
                portList_->change(portList_->currentIndex());
            } else if (id >= kFirstParamSlider && id < kFirstParamSlider + kParamCount) {
                handleParamSlider(id - kFirstParamSlider);
            } else if (id >= kFirstAxisButton && id < kFirstAxisButton + kParamCount) {
                handleAxisButton(s_, axis_, static_cast<ParamId>(id - kFirstAxisButton));
            } else if (id == kEnableBox) {
                handleEnableBox();
            } else if (id == kPadId) {
                handlePadEvent(s_, *pad_, padEvent);
            }
            if (handlersRunning_ == 1) commitEdit();
            break;
        case kCloseEvent:
            s_.quitRequested = 1;
            break;
        default:
            break;
    }
    // A signal that came while About or Help was open ends the loop once
    // their handler has returned.
    if (--handlersRunning_ == 0 && terminationRequested_) {
        s_.windowEvent = kCloseEvent;
        s_.quitRequested = 1;
    }
    if (s_.quitRequested != 0) emit quitRequestedChanged();
}

void MainWindow::requestTermination() {
    terminationRequested_ = true;
    // Help and About wait inside a handler; closing them lets it return.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible()) w->close();
    }
    if (handlersRunning_ == 0) dispatch(kCloseEvent, 0);
}

void MainWindow::showHelp(int item) {
    if (!help_) return;
    helpItem_ = item;
    // The help window runs its own wait; everything the main window raises
    // meanwhile is dropped.
    droppingEvents_ = true;
    struct Restore {
        bool& flag;
        ~Restore() { flag = false; }
    } restore{droppingEvents_};
    help_();
    // Given the keyboard while Help blocked it, this window holds the focus
    // without knowing it: no focus change will come to tell it.
    activateWindow();
    if (QApplication::activeWindow() == nullptr) QApplication::setActiveWindow(this);
}

void MainWindow::handleParamSlider(int row) {
    const float value = paramValueAt(row, paramSliders_[row]->value());
    param(s_, static_cast<ParamId>(row)).store(value, relaxed);
    axis_.valueTexts[row]->setText(valueText(value));
    updateDisplays(s_, *shape_, *waveform_);
}

void MainWindow::handleEnableBox() {
    const bool ticked = enable_->isChecked();
    EditorModel m = shownModel(axis_);
    if (tickEnable(m, ticked)) {
        const Trajectory t = trajectoryOf(m);
        enableTrajectory(s_, t.x, t.y, t.xFrom, t.xTo, t.yFrom, t.yTo);
        return;
    }
    showModel(axis_, m);
    // Off first: once it returns no trajectory step can overwrite what
    // is restored below.
    disableTrajectory(s_);
    if (ticked) return;  // refused: the parameters were never driven
    for (int row = 0; row < kParamCount; ++row) {
        param(s_, static_cast<ParamId>(row))
            .store(paramValueAt(row, paramSliders_[row]->value()), relaxed);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box only asks; the program ends through its shutdown.
    event->ignore();
    dispatch(kCloseEvent, 0);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::ToolTip) {
        for (int row = 0; row < kParamCount; ++row) {
            if (watched != controls_[kFirstAxisButton + row]) continue;
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                               axisButtonTip(axis_, static_cast<ParamId>(row)),
                               controls_[kFirstAxisButton + row]);
            return true;
        }
    }
    // Only the free background has the sound menu; controls keep theirs.
    if (type == QEvent::ContextMenu && watched == client_) {
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        if (client_->childAt(menu->pos()) == nullptr) {
            showSoundMenu(menu->globalPos());
            return true;
        }
    }
    if (type == QEvent::MouseMove || type == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPointF p = pad_->mapFromGlobal(mouse->globalPosition());
        const int x = static_cast<int>(std::floor(p.x()));
        const int y = static_cast<int>(std::floor(p.y()));
        if (x >= 0 && x < pad_->width() && y >= 0 && y < pad_->height()) {
            PadEvent e{PadEvent::Type::PointerMove, x, y, (mouse->buttons() & Qt::LeftButton) != 0};
            if (type == QEvent::MouseButtonRelease) {
                e.type = mouse->button() == Qt::LeftButton ? PadEvent::Type::LeftButtonUp
                                                           : PadEvent::Type::Other;
            }
            dispatch(kControlEvent, kPadId, e);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::event(QEvent* event) {
    // Menu hovers would otherwise blank the status fields.
    if (event->type() == QEvent::StatusTip) return true;
    return QMainWindow::event(event);
}

std::unique_ptr<MainWindow> createMainWindow(SynthState& s, MidiPorts& midi) {
    auto window = std::make_unique<MainWindow>(s, midi);
    window->listMidiPorts();
    showCentred(*window);
    return window;
}

void updateDisplays(SynthState& s, MainWindow& window) {
    updateDisplays(s, window.shapeDisplay(), window.waveformDisplay());
}

void runEventLoop(SynthState& s, MainWindow& window) {
    s.quitRequested = 0;
    QEventLoop loop;
    QObject::connect(&window, &MainWindow::quitRequestedChanged, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace tessivox
