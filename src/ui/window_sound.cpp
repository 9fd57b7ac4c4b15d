// The main window's sounds: reading the controls into a sound, and setting
// them from one by the same handlers and rules as the user's own moves.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include <QCheckBox>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QTimer>

#include "engine/engine.h"
#include "sound/playing_ports.h"
#include "ui/main_window.h"
#include "ui/sound_dialogs.h"

namespace tessivox {

using namespace lv2;

namespace {

// Runs `work` on a thread of its own while the window keeps answering (it
// repaints, the window manager's pings are answered; input waits), since
// reading thousands of sounds takes seconds. When `ending` turns true first,
// nothing: the thread is left to finish alone.
template <class Work>
auto aside(Work work, const bool* ending = nullptr) -> std::optional<decltype(work())> {
    struct Shared {
        std::optional<decltype(work())> result;
        std::atomic<bool> done{false};
    };
    auto shared = std::make_shared<Shared>();
    try {
        std::thread([shared, work] {
            shared->result = work();
            shared->done.store(true, std::memory_order_release);
        }).detach();
    } catch (const std::system_error&) {
        return work();
    }
    QEventLoop wait;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
        if (shared->done.load(std::memory_order_acquire) || (ending && *ending)) wait.quit();
    });
    poll.start(5);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    if (!shared->done.load(std::memory_order_acquire)) return std::nullopt;
    return std::move(shared->result);
}

}  // namespace

sound::Sound MainWindow::currentSound() const {
    sound::Sound sound = sound::startSound();
    auto& v = sound.values;
    for (int row = 0; row < kParamCount; ++row) {
        v[kM + row] = paramValueAt(row, paramSliders_[row]->value());
    }
    for (int k = 0; k < kEnvelopeSliderCount; ++k)
        v[lv2::kAttack + k] = slider(kAttackSlider + k)->value();
    v[kTrajectory] = enable_->isChecked() ? 1 : 0;
    for (Port port : kSoundPlayingPorts) v[port] = playingPortValue(s_, port);
    // An axis with only its 'from' chosen keeps 'to' equal to it: no
    // trajectory runs on it, and loading gives the same half-made choice.
    const EditorModel m = shownModel(axis_);
    const auto axis = [&](const std::string& label, const std::string& from, const std::string& to,
                          Port param, Port fromPort, Port toPort) {
        const int row = static_cast<int>(paramIdFromName(label));
        if (row < 0 || from.empty()) return;
        v[param] = static_cast<float>(row + 1);
        v[fromPort] = limitNumber(from);
        v[toPort] = to.empty() ? v[fromPort] : limitNumber(to);
    };
    axis(m.xLabel, m.xFrom, m.xTo, kXParam, kXFrom, kXTo);
    axis(m.yLabel, m.yFrom, m.yTo, kYParam, kYFrom, kYTo);
    for (int k = 0; k < 4; ++k) {
        v[kPad + 2 * k] = static_cast<float>(s_.padPoints[k].x);
        v[kPad + 2 * k + 1] = static_cast<float>(s_.padPoints[k].y);
    }
    for (uint32_t port = 0; port < kPortCount; ++port) v[port] = clampToPort(port, v[port]);
    sound.name = history_.now().name;
    return sound;
}

void MainWindow::applySound(const sound::Sound& sound) {
    applying_ = true;
    const auto& v = sound.values;
    const auto moveSlider = [this](int row, int position) {
        // A slider already there raises no change: its handler runs all the same.
        if (paramSliders_[row]->value() == position) {
            dispatch(kControlEvent, kFirstParamSlider + row);
        } else {
            paramSliders_[row]->setValue(position);
        }
    };
    const auto press = [this](int row) { dispatch(kControlEvent, kFirstAxisButton + row); };
    const auto tick = [this](bool ticked) {
        enable_->setChecked(ticked);
        dispatch(kControlEvent, kEnableBox);
    };

    // The trajectory off and the axes cleared before anything moves.
    if (enable_->isChecked()) tick(false);
    showModel(axis_, EditorModel{});
    disableTrajectory(s_);

    // Each limit is chosen as a user chooses it: the slider to the value,
    // then the parameter's axis button; the buttons' rules decide.
    const auto chooseAxis = [&](Port param, Port from, Port to) {
        const int row = static_cast<int>(v[param]) - 1;
        if (row < 0) return;
        const int first = paramPosition(row, v[from]);
        const int second = paramPosition(row, v[to]);
        moveSlider(row, first);
        press(row);
        if (second != first) {
            moveSlider(row, second);
            press(row);
        }
    };
    chooseAxis(kXParam, kXFrom, kXTo);
    if (!axis_.xTo->text().isEmpty()) chooseAxis(kYParam, kYFrom, kYTo);

    for (int row = 0; row < kParamCount; ++row) moveSlider(row, paramPosition(row, v[kM + row]));
    for (int k = 0; k < kEnvelopeSliderCount; ++k) {
        slider(kAttackSlider + k)->setValue(static_cast<int>(v[lv2::kAttack + k]));
    }
    // A point is dragged by the pad's own handler, picked by its number so
    // that points lying on one another cannot be mistaken.
    for (int k = 0; k < 4; ++k) {
        const int x = static_cast<int>(v[kPad + 2 * k]);
        const int y = static_cast<int>(v[kPad + 2 * k + 1]);
        if (s_.padPoints[k] == PadPoint{static_cast<double>(x), static_cast<double>(y)}) continue;
        s_.padDragState = static_cast<PadDragState>(k + 1);
        dispatch(kControlEvent, kPadId, {PadEvent::Type::PointerMove, x, y, true});
        dispatch(kControlEvent, kPadId, {PadEvent::Type::LeftButtonUp, x, y, false});
        s_.padDragState = PadDragState::Unpressed;
    }
    if (v[kTrajectory] == 1.0f) tick(true);
    // The dialog shows these when it opens: the sound's are played as they stand.
    for (Port port : kSoundPlayingPorts) applyPlayingPort(s_, port, v[port]);
    applying_ = false;
}

void MainWindow::loaded(const sound::Sound& sound) {
    applySound(sound);
    sound::Sound now = currentSound();
    now.name = sound.name;
    history_.commit(now, axisTexts(), true);
    showSoundState();
}

// The axis texts as they came to be: a limit taken from another parameter,
// or a letter where no parameter is, cannot be chosen again by the buttons.
std::string MainWindow::axisTexts() const {
    return joinedTexts(shownModel(axis_));
}

void MainWindow::commitEdit() {
    if (applying_ || controllerMoving_ || s_.padDragState != PadDragState::Unpressed) return;
    for (int id = 0; id < static_cast<int>(controls_.size()); ++id) {
        if (const QSlider* held = slider(id); held && held->isSliderDown()) return;
    }
    if (history_.commit(currentSound(), axisTexts())) showSoundState();
}

void MainWindow::stepHistory(bool back) {
    const std::optional<sound::Sound> sound = back ? history_.undo() : history_.redo();
    if (!sound) return;
    applySound(*sound);
    EditorModel m = shownModel(axis_);
    if (takeJoinedTexts(m, history_.view())) {
        showModel(axis_, m);
        if (enable_->isChecked()) handleEnableBox();
    }
    showSoundState();
}

void MainWindow::showSoundState() {
    setWindowTitle(QString::fromStdString(sound::titleOf(history_)));
    const bool named = !history_.now().name.empty();
    const bool enabled[] = {named, named, history_.canUndo(), history_.canRedo()};
    for (size_t i = 0; i < soundActions_.size(); ++i) {
        if (soundActions_[i]) soundActions_[i]->setEnabled(enabled[i]);
    }
}

void MainWindow::buildSoundMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("Sound"));
    const auto item = [&](const char* text, int id, QKeySequence keys = {}) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, [this, id] { dispatch(kMenuEvent, id); });
        return action;
    };
    item("New", kNewSoundItem);
    item("Open\u2026", kLoadSoundItem, QKeySequence(Qt::CTRL | Qt::Key_O));
    item("Save", kSaveSoundItem, QKeySequence(Qt::CTRL | Qt::Key_S));
    item("Save as\u2026", kSaveSoundAsItem);
    soundActions_[0] = item("Rename\u2026", kRenameSoundItem);
    soundActions_[1] = item("Delete\u2026", kDeleteSoundItem);
    item("Playing\u2026", kPlayingItem);
    menu->addSeparator();
    soundActions_[2] = item("Undo", kUndoItem, QKeySequence(Qt::CTRL | Qt::Key_Z));
    soundActions_[3] = item("Redo", kRedoItem, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    showSoundState();
}

void MainWindow::startWithSound(const std::string& nameOrFile) {
    std::string error;
    if (const std::optional<sound::Sound> sound = sound::loadSound(nameOrFile, error)) {
        loaded(*sound);
        // What the program starts with is no step back.
        history_ = sound::History(history_.now(), axisTexts());
        showSoundState();
        return;
    }
    std::fprintf(stderr, "tessivox: --sound: %s\n", error.c_str());
    QTimer::singleShot(0, this, [this, error] { showSoundError(this, "Load sound", error); });
}

void MainWindow::saveSound(bool askName) {
    std::string name = history_.now().name;
    if (askName || name.empty()) {
        const std::optional<std::string> asked =
            askSoundName(this, "Save sound", "Save the sound as:", name);
        if (!asked) return;
        name = *asked;
    }
    // A factory sound is kept as it is: Save asks for a name of the user's own.
    if (saveNamed(name, !askName, "Save sound") == sound::SaveResult::FactoryName && !askName)
        saveSound(true);
}

sound::SaveResult MainWindow::saveNamed(const std::string& name, bool replace,
                                        const std::string& title) {
    sound::Sound sound = currentSound();
    sound.name = name;
    std::string error;
    // A save is waited for whatever comes, so that it is never cut short.
    const auto save = [&](bool replacing) {
        return *aside(
            [&sound, &error, replacing] { return sound::saveSound(sound, replacing, error); });
    };
    sound::SaveResult result = save(replace);
    if (result == sound::SaveResult::NameTaken) {
        if (!askReplaceSound(this, name)) return result;
        result = save(true);
    }
    if (result == sound::SaveResult::Saved) {
        history_.rename(name, true);
        showSoundState();
    } else if (result != sound::SaveResult::FactoryName || !replace) {
        showSoundError(this, title, error);
    }
    return result;
}

void MainWindow::renameSound() {
    const std::string old = history_.now().name;
    const std::optional<std::string> name = askSoundName(this, "Rename sound", "New name:", old);
    if (!name || *name == old) return;
    // Only a sound of the user's own is renamed: one that deletes.
    const std::vector<sound::Entry> entries = *aside([] { return sound::listSounds(); });
    if (std::none_of(entries.begin(), entries.end(),
                     [&](const sound::Entry& e) { return e.name == old && !e.factory; })) {
        showSoundError(this, "Rename sound",
                       "'" + old + "' is not a sound of yours: save it under a name first");
        return;
    }
    if (saveNamed(*name, false, "Rename sound") != sound::SaveResult::Saved) return;
    std::string error;
    if (!*aside([&] { return sound::deleteSound(old, error); }))
        showSoundError(this, "Rename sound", error);
}

void MainWindow::deleteSound() {
    const std::string name = history_.now().name;
    if (!askDeleteSound(this, name)) return;
    std::string error;
    if (*aside([&] { return sound::deleteSound(name, error); })) {
        history_.rename("", false);
        showSoundState();
    } else {
        showSoundError(this, "Delete sound", error);
    }
}

void MainWindow::loadSoundChosen() {
    auto entries = aside([] { return sound::listSounds(); }, &terminationRequested_);
    if (!entries) return;
    // The last session's sound first.
    std::stable_partition(entries->begin(), entries->end(), [](const sound::Entry& e) {
        return !e.factory && e.name == sound::kLastSessionName;
    });
    const std::optional<sound::Entry> entry = chooseSound(this, *entries, history_.now().name);
    if (!entry) return;
    const auto got = aside(
        [entry = *entry] {
            std::string error;
            std::optional<sound::Sound> sound = sound::loadSoundEntry(entry, error);
            return std::pair{sound, error};
        },
        &terminationRequested_);
    if (!got) return;
    if (got->first) {
        loaded(*got->first);
    } else {
        showSoundError(this, "Load sound", got->second);
    }
}

void MainWindow::showSoundMenu(const QPoint& globalPosition) {
    QMenu menu(this);
    QAction* save = menu.addAction(QStringLiteral("Save sound\u2026"));
    QAction* load = menu.addAction(QStringLiteral("Load sound\u2026\tCtrl+O"));
    QAction* playing = menu.addAction(QStringLiteral("Playing\u2026"));
    QAction* chosen = menu.exec(globalPosition);
    if (chosen == playing) dispatch(kMenuEvent, kPlayingItem);
    if (chosen == save) dispatch(kMenuEvent, kSaveSoundAsItem);
    if (chosen == load) dispatch(kMenuEvent, kLoadSoundItem);
}

}  // namespace tessivox
