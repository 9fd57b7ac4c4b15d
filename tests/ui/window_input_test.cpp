// Pointer and port-list input as a user gives it: presses are routed by the
// toolkit to the widget under the pointer, which keeps it while held.
#include <memory>
#include <vector>

#include <RtMidi.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "midi/midi_input.h"
#include "midi/midi_rules.h"
#include "ui/computer_keyboard.h"
#include "ui/main_window.h"
#include "ui/port_list.h"

namespace tessivox {
namespace {

struct Window {
    Window() : window(createMainWindow(s, midi)) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // In client coordinates, below the menu bar.
    void mouse(QTest::MouseAction action, int x, int y) {
        const QPoint p = window->centralWidget()->mapTo(window.get(), QPoint(x, y));
        if (action == QTest::MouseMove) return QTest::mouseMove(window->windowHandle(), p);
        QTest::mouseEvent(action, window->windowHandle(), Qt::LeftButton, {}, p);
    }
    std::unique_ptr<SynthState> state = std::make_unique<SynthState>();
    SynthState& s = *state;
    MidiPorts midi{s};
    std::unique_ptr<MainWindow> window;
};

TEST(WindowInput, ThumbsUnderStaticTextsCanBeGrabbed) {
    Window w;
    // m at its minimum (thumb at the left end, under "m"); attack at its
    // maximum (thumb at the top, under "A").
    const struct {
        int slider, value, x, y, toX, toY;
    } cases[] = {{15, 1, 32, 360, 330, 360}, {3, 2000, 740, 358, 740, 420}};
    for (const auto& c : cases) {
        QSlider* slider = w.window->slider(c.slider);
        slider->setValue(c.value);
        w.mouse(QTest::MousePress, c.x, c.y);
        EXPECT_TRUE(slider->isSliderDown()) << c.slider;
        w.mouse(QTest::MouseMove, c.toX, c.toY);
        w.mouse(QTest::MouseRelease, c.toX, c.toY);
        EXPECT_NE(slider->value(), c.value) << c.slider;
    }
    EXPECT_NE(w.s.m.load(), 0.01f);
    EXPECT_LT(w.s.attackSlider.load(), 2000);
}

TEST(WindowInput, DragBegunBesideThePadPicksAPointOnIt) {
    Window w;
    // From the gap left of the pad, then from the waveform display; the
    // first point is at pad (50, 50), client (565, 60), then 2 right, 2 up.
    for (const int startX : {513, 480}) {
        w.mouse(QTest::MousePress, startX, 60);
        w.mouse(QTest::MouseMove, 540, 60);  // nothing there
        EXPECT_EQ(w.s.padDragState, PadDragState::Unpressed) << startX;
        const int x = static_cast<int>(w.s.padPoints[0].x) + 2;
        const int y = static_cast<int>(w.s.padPoints[0].y) - 2;
        w.mouse(QTest::MouseMove, 515 + x, 10 + y);
        EXPECT_EQ(w.s.padDragState, PadDragState::FirstPoint) << startX;
        EXPECT_EQ(w.s.padPoints[0], (PadPoint{double(x), double(y)})) << startX;
        EXPECT_EQ(w.s.trajectoryX[0].load(), x);
        w.mouse(QTest::MouseRelease, 515 + x, 10 + y);
        EXPECT_EQ(w.s.padDragState, PadDragState::Unpressed) << startX;
    }
}

TEST(WindowInput, LongPortNamesAreElidedWithTheFullNameAsTooltip) {
    Window w;
    auto* list = static_cast<PortList*>(w.window->midiPortList());
    const QString name = "Midi Through Keyboard Controller:Midi Through Port-0 (capture)";
    list->addItem("keys:out");
    list->addItem(name);
    EXPECT_EQ(list->shownText(), "keys:out");
    EXPECT_EQ(list->toolTip(), "keys:out");
    list->setCurrentIndex(1);
    const QString shown = list->shownText();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)) && name.startsWith(shown.chopped(1)))
        << shown.toStdString();
    EXPECT_EQ(list->toolTip(), name);
    // What is painted is that text: the box looks like a plain one holding it.
    QComboBox plain;
    plain.setFont(list->font());
    plain.addItem(shown);
    plain.setFixedSize(list->size());
    const auto picture = [](QWidget& c) {
        return c.grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    EXPECT_EQ(picture(*list), picture(plain));
}

TEST(WindowInput, ComputerKeysPlayThroughTheNoteRules) {
    Window w;
    auto key = [&](QWidget* to, QEvent::Type type, int k, bool repeat = false,
                   Qt::KeyboardModifiers modifiers = {}) {
        QKeyEvent e(type, k, modifiers, QString(), repeat);
        QApplication::sendEvent(to, &e);
    };
    QComboBox* list = w.window->midiPortList();
    list->addItems({"zeta", "xi"});
    list->setFocus();
    const int listed = list->currentIndex();
    const struct {
        int key;
        bool repeat;
        QEvent::Type type;
        int keysHeld, note;  // after it; note 0: unchanged
    } steps[] = {
        {Qt::Key_Z, false, QEvent::KeyPress, 1, 48},
        {Qt::Key_Equal, false, QEvent::KeyPress, 1, 0},
        {Qt::Key_Z, true, QEvent::KeyRelease, 1, 0},
        {Qt::Key_Z, true, QEvent::KeyPress, 1, 0},
        {Qt::Key_X, false, QEvent::KeyPress, 2, 62},
        {Qt::Key_Z, false, QEvent::KeyRelease, 1, 0},
        {Qt::Key_Minus, false, QEvent::KeyPress, 1, 0},
        {Qt::Key_Minus, false, QEvent::KeyPress, 1, 0},
        {Qt::Key_P, false, QEvent::KeyPress, 2, 64},
        {Qt::Key_X, false, QEvent::KeyRelease, 1, 0},
    };
    for (const auto& step : steps) {
        key(list, step.type, step.key, step.repeat);
        EXPECT_EQ(w.s.keysHeld.load(), step.keysHeld) << step.key;
        if (step.note) {
            EXPECT_EQ(w.s.noteFrequency.load(), noteFrequencyOf(step.note)) << step.key;
        }
    }
    EXPECT_EQ(list->currentIndex(), listed);
    EXPECT_EQ(w.window->computerKeyboard().octave(), -1);
    QEvent away(QEvent::WindowDeactivate);
    QApplication::sendEvent(w.window.get(), &away);
    EXPECT_EQ(w.s.gate.load(), 0);
    // A modifier, or a control's own key, is not played.
    QSlider* m = w.window->slider(kFirstParamSlider);
    m->setFocus();
    const int value = m->value();
    key(m, QEvent::KeyPress, Qt::Key_Right);
    key(m, QEvent::KeyPress, Qt::Key_C, false, Qt::ControlModifier);
    EXPECT_EQ(m->value(), value + 1);
    EXPECT_EQ(w.s.keysHeld.load(), 0);
}

// Needs a JACK server (e2e/window_port_list.sh starts one): two ports of our
// own, a key held on the one in use.
// A slider learns the next controller moved (not the pedal), follows it over
// its whole range, keeps it across a restart and lets it go when told.
TEST(WindowInput, SlidersLearnAndForgetMidiControllers) {
    const QByteArray home = QDir::tempPath().toUtf8() + "/tessivox-learn-" +
                            QByteArray::number(QCoreApplication::applicationPid());
    qputenv("XDG_CONFIG_HOME", home);
    const auto menuItem = [](int downs) {
        QTimer::singleShot(50, [downs] {
            QWidget* menu = QApplication::activePopupWidget();
            for (int k = 0; k < downs; ++k) QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        });
    };
    const auto cc = [](Window& w, int controller, int value) {
        handleMidiShortMessage(w.s, packShortMessage(0xB0, controller, value));
        QTest::qWait(80);
    };
    {
        Window w;
        QSlider* m = w.window->slider(kFirstParamSlider);
        menuItem(1);
        emit m->customContextMenuRequested(QPoint(5, 5));
        cc(w, 64, 127);  // the pedal is never learned
        cc(w, 74, 0);
        EXPECT_EQ(m->value(), m->minimum());
        EXPECT_EQ(w.s.m.load(), 0.01f);
        cc(w, 74, 127);
        EXPECT_EQ(m->value(), m->maximum());
        EXPECT_EQ(w.s.m.load(), 25.0f);
    }
    Window w;  // a restart
    QSlider* m = w.window->slider(kFirstParamSlider);
    const int start = m->value();
    cc(w, 1, 100);  // another controller's move leaves m as it was
    EXPECT_EQ(m->value(), start);
    cc(w, 74, 64);
    EXPECT_EQ(m->value(), m->minimum() + std::lround((m->maximum() - m->minimum()) * 64 / 127.0));
    menuItem(2);
    emit m->customContextMenuRequested(QPoint(5, 5));
    const int before = m->value();
    cc(w, 74, 0);
    EXPECT_EQ(m->value(), before);
    QDir(home).removeRecursively();
    qputenv("XDG_CONFIG_HOME", "/nonexistent/tessivox-tests");
}

TEST(WindowInputWithJack, ChoosingThePortInUseChangesNothing) {
    std::vector<std::unique_ptr<RtMidiOut>> keyboards;
    try {
        for (const char* name : {"keysA", "keysB"}) {
            keyboards.push_back(std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, name));
            keyboards.back()->openVirtualPort("out");
        }
    } catch (const RtMidiError& e) {
        GTEST_SKIP() << "no JACK server: " << e.getMessage();
    }
    Window w;
    SynthState& s = w.s;
    QComboBox* list = w.window->midiPortList();
    ASSERT_EQ(list->count(), 2);
    w.midi.openMidiPort();
    const std::vector<unsigned char> noteOn = {0x90, 60, 100};
    // Sent before the new connection takes effect, a message is lost.
    for (int tries = 0; tries < 10; ++tries) {
        for (auto& k : keyboards) k->sendMessage(&noteOn);
        if (QTest::qWaitFor([&] { return s.keysHeld.load() != 0; }, 500)) break;
    }
    ASSERT_EQ(s.keysHeld.load(), 1);

    // Picked from the open list.
    auto pick = [&](int index) {
        list->showPopup();
        list->view()->setCurrentIndex(list->model()->index(index, 0));
        QTest::keyClick(list->view(), Qt::Key_Return);
    };
    const MidiInput* const handle = w.midi.midiInHandle();
    pick(0);
    // Both are answered on the MIDI side's thread.
    QTest::qWait(100);
    EXPECT_EQ(w.midi.midiInHandle(), handle);
    EXPECT_EQ(s.keysHeld.load(), 1);
    EXPECT_EQ(s.gate.load(), 1);
    // Another entry is a port change: the closed port releases the key.
    pick(1);
    EXPECT_EQ(w.midi.midiPortIndex, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.keysHeld.load() == 0; }, 2000));
    EXPECT_EQ(s.gate.load(), 0);
}

}  // namespace
}  // namespace tessivox
