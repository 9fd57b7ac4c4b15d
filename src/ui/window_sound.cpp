// The main window's sounds: reading the controls into a sound, and setting
// them from one by the same handlers and rules as the user's own moves.

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
#include <QSlider>
#include <QTimer>

#include "engine/engine.h"
#include "ui/main_window.h"
#include "ui/number_text.h"
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

// The slider position nearest a value; values between positions cannot be shown.
int positionOf(int row, float value) {
    const SliderSpec& spec = kParamSliders[row];
    const long p = std::lround(static_cast<double>(value) * spec.divisor);
    return static_cast<int>(std::clamp<long>(p, spec.minimum, spec.maximum));
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
    v[kTuning] = s_.exactPitch.load(std::memory_order_relaxed) == 1 ? 1 : 0;
    // An axis with only its 'from' chosen keeps 'to' equal to it: no
    // trajectory runs on it, and loading gives the same half-made choice.
    const auto axis = [&](const QLabel* label, const QLabel* from, const QLabel* to, Port param,
                          Port fromPort, Port toPort) {
        const int row = static_cast<int>(paramIdFromName(label->text().toStdString()));
        if (row < 0 || from->text().isEmpty()) return;
        v[param] = static_cast<float>(row + 1);
        v[fromPort] = limitValue(from->text());
        v[toPort] = to->text().isEmpty() ? v[fromPort] : limitValue(to->text());
    };
    axis(axis_.xLabel, axis_.xFrom, axis_.xTo, kXParam, kXFrom, kXTo);
    axis(axis_.yLabel, axis_.yFrom, axis_.yTo, kYParam, kYFrom, kYTo);
    for (int k = 0; k < 4; ++k) {
        v[kPad + 2 * k] = static_cast<float>(s_.padPoints[k].x);
        v[kPad + 2 * k + 1] = static_cast<float>(s_.padPoints[k].y);
    }
    for (uint32_t port = 0; port < kPortCount; ++port) v[port] = clampToPort(port, v[port]);
    sound.name = soundName_;
    return sound;
}

void MainWindow::applySound(const sound::Sound& sound) {
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

    // The trajectory off and the axes cleared before anything moves.
    if (enable_->isChecked()) {
        enable_->setChecked(false);
        dispatch(kControlEvent, kEnableBox);
    }
    clearAxisAssignment(s_, axis_);

    // Each limit is chosen as a user chooses it: the slider to the value,
    // then the parameter's axis button; the buttons' rules decide.
    const auto chooseAxis = [&](Port param, Port from, Port to) {
        const int row = static_cast<int>(v[param]) - 1;
        if (row < 0) return;
        const int first = positionOf(row, v[from]);
        const int second = positionOf(row, v[to]);
        moveSlider(row, first);
        press(row);
        if (second != first) {
            moveSlider(row, second);
            press(row);
        }
    };
    chooseAxis(kXParam, kXFrom, kXTo);
    if (!axis_.xTo->text().isEmpty()) chooseAxis(kYParam, kYFrom, kYTo);

    for (int row = 0; row < kParamCount; ++row) moveSlider(row, positionOf(row, v[kM + row]));
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
    if (v[kTrajectory] == 1.0f) {
        enable_->setChecked(true);
        dispatch(kControlEvent, kEnableBox);
    }
    // No control shows the tuning: the sound's is played as it stands.
    s_.exactPitch.store(v[kTuning] == 1.0f ? 1 : 0, std::memory_order_relaxed);
    soundName_ = sound.name;
}

void MainWindow::startWithSound(const std::string& nameOrFile) {
    std::string error;
    if (const std::optional<sound::Sound> sound = sound::loadSound(nameOrFile, error)) {
        applySound(*sound);
        return;
    }
    std::fprintf(stderr, "tessivox: --sound: %s\n", error.c_str());
    QTimer::singleShot(0, this, [this, error] { showSoundError(this, "Load sound", error); });
}

void MainWindow::saveSoundAs() {
    const std::optional<std::string> name = askSoundName(this, soundName_);
    if (!name) return;
    sound::Sound sound = currentSound();
    sound.name = *name;
    std::string error;
    // A save is waited for whatever comes, so that it is never cut short.
    const auto save = [&](bool replace) {
        return *aside(
            [&sound, &error, replace] { return sound::saveSound(sound, replace, error); });
    };
    sound::SaveResult result = save(false);
    if (result == sound::SaveResult::NameTaken) {
        if (!askReplaceSound(this, *name)) return;
        result = save(true);
    }
    if (result == sound::SaveResult::Saved) {
        soundName_ = *name;
    } else {
        showSoundError(this, "Save sound", error);
    }
}

void MainWindow::loadSoundChosen() {
    const auto entries = aside([] { return sound::listSounds(); }, &terminationRequested_);
    if (!entries) return;
    const std::optional<sound::Entry> entry = chooseSound(this, *entries);
    if (!entry) return;
    const auto loaded = aside(
        [entry = *entry] {
            std::string error;
            std::optional<sound::Sound> sound = sound::loadSoundEntry(entry, error);
            return std::pair{sound, error};
        },
        &terminationRequested_);
    if (!loaded) return;
    if (loaded->first) {
        applySound(*loaded->first);
    } else {
        showSoundError(this, "Load sound", loaded->second);
    }
}

void MainWindow::showSoundMenu(const QPoint& globalPosition) {
    QMenu menu(this);
    QAction* save = menu.addAction(QStringLiteral("Save sound\u2026\tCtrl+S"));
    QAction* load = menu.addAction(QStringLiteral("Load sound\u2026\tCtrl+O"));
    QAction* chosen = menu.exec(globalPosition);
    if (chosen == save) dispatch(kMenuEvent, kSaveSoundItem);
    if (chosen == load) dispatch(kMenuEvent, kLoadSoundItem);
}

}  // namespace tessivox
