// The main window: its controls, handlers and event loop.
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "picture_colours.h"
#include "test_support.h"

#include "engine/engine.h"
#include "midi/midi_input.h"
#include "ui/displays.h"
#include "ui/main_window.h"

namespace tessivox {
namespace {

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = createMainWindow(s, midi);
        ASSERT_TRUE(window);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QSlider* slider(int id) { return window->slider(id); }
    QString text(int id) { return window->label(id)->text(); }
    void setLimits(const char* xFrom, const char* xTo, const char* yFrom, const char* yTo,
                   const char* xName, const char* yName) {
        const AxisControls& a = window->axisControls();
        a.xFrom->setText(xFrom);
        a.xTo->setText(xTo);
        a.yFrom->setText(yFrom);
        a.yTo->setText(yTo);
        a.xLabel->setText(xName);
        a.yLabel->setText(yName);
    }
    void clickEnable() { QTest::mouseClick(window->enableBox(), Qt::LeftButton); }

    SynthState s;
    MidiPorts midi{s};
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, WindowFrameMenuAndStatusBar) {
    EXPECT_EQ(window->windowTitle(), "Tessivox");
    EXPECT_EQ(window->size(), QSize(870, 530));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const Qt::WindowFlags f = window->windowFlags();
    EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);

    // Control coordinates start below the menu bar; nothing reaches the
    // status bar.
    QWidget* client = window->centralWidget();
    EXPECT_EQ(client->geometry().top(), window->menuBar()->geometry().bottom() + 1);
    EXPECT_GE(window->statusBar()->geometry().top(), client->geometry().top() + 470);

    const auto menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "Sound");
    EXPECT_EQ(menus[1]->text(), "?");
    const auto items = menus[1]->menu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "About");
    EXPECT_EQ(items[1]->text(), "Help");
    EXPECT_EQ(items[2]->text(), "Playing and sounds");

    const int widths[3] = {100, 100, 30};
    int left = -1;
    for (int f = 0; f < 3; ++f) {
        QLabel* field = window->statusField(f);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->width(), widths[f]);
        EXPECT_TRUE(field->alignment() & Qt::AlignHCenter);
        EXPECT_TRUE(field->text().isEmpty());
        EXPECT_GT(field->x(), left);  // from the left, in order
        left = field->x();
    }
}

TEST_F(MainWindowTest, ControlsStartWithTheirGeometryRangesAndValues) {
    struct Row {
        int id, x, y, w, h;
    };
    const Row geometry[] = {
        {2, 710, 445, 130, 20}, {15, 30, 350, 600, 20},  {20, 30, 450, 600, 20},
        {21, 640, 350, 35, 20}, {26, 640, 450, 35, 20},  {33, 680, 350, 20, 10},
        {38, 680, 450, 20, 10}, {27, 10, 350, 25, 20},   {32, 10, 450, 25, 20},
        {39, 520, 320, 40, 20}, {40, 800, 320, 40, 20},  {41, 830, 300, 40, 20},
        {42, 830, 10, 40, 20},  {43, 660, 320, 35, 20},  {44, 830, 155, 35, 20},
        {11, 10, 10, 300, 300}, {12, 312, 10, 201, 300}, {13, 515, 10, 300, 300},
        {45, 570, 315, 50, 20}, {3, 730, 355, 20, 85},   {4, 750, 355, 20, 85},
        {5, 770, 355, 20, 85},  {6, 790, 355, 20, 85},   {7, 735, 342, 10, 20},
        {9, 755, 342, 10, 20},  {8, 775, 342, 10, 20},   {10, 795, 342, 10, 20},
    };
    for (const Row& r : geometry) {
        QWidget* c = window->control(r.id);
        ASSERT_NE(c, nullptr) << r.id;
        EXPECT_EQ(c->geometry(), QRect(r.x, r.y, r.w, r.h)) << r.id;
        EXPECT_EQ(c->parentWidget(), window->centralWidget()) << r.id;
    }

    const int ranges[6][3] = {{1, 2500, 603}, {1, 1000, 42},  {1, 1000, 1},
                              {1, 1000, 716}, {1, 5000, 300}, {1, 5000, 767}};
    const char* texts[6] = {"6.030", "4.200", "0.100", "71.600", "0.300", "0.767"};
    const char* names[6] = {"m", "N1", "N2", "N3", "A", "B"};
    for (int k = 0; k < 6; ++k) {
        QSlider* p = slider(15 + k);
        EXPECT_EQ(p->orientation(), Qt::Horizontal);
        EXPECT_EQ(p->minimum(), ranges[k][0]);
        EXPECT_EQ(p->maximum(), ranges[k][1]);
        EXPECT_EQ(p->value(), ranges[k][2]);
        EXPECT_EQ(text(21 + k), texts[k]);
        EXPECT_EQ(text(27 + k), names[k]);
        auto* button = qobject_cast<QPushButton*>(window->control(33 + k));
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->text().isEmpty());
        EXPECT_EQ(param(s, static_cast<ParamId>(k)).load(), kStartParams[k]);
    }
    for (int id : {39, 40, 41, 42}) EXPECT_TRUE(text(id).isEmpty()) << id;
    EXPECT_EQ(text(43), "X");
    EXPECT_EQ(text(44), "Y");
    EXPECT_EQ(window->enableBox()->text(), "Enable");
    EXPECT_FALSE(window->enableBox()->isChecked());
    EXPECT_EQ(text(7), "A");
    EXPECT_EQ(text(9), "D");
    EXPECT_EQ(text(8), "S");
    EXPECT_EQ(text(10), "R");

    const int envelope[4][4] = {
        {3, 1, 2000, 1}, {4, 1, 5000, 1000}, {5, 0, 100, 50}, {6, 1, 5000, 1500}};
    for (const auto& e : envelope) {
        QSlider* v = slider(e[0]);
        EXPECT_EQ(v->orientation(), Qt::Vertical);
        EXPECT_EQ(v->minimum(), e[1]);
        EXPECT_EQ(v->maximum(), e[2]);
        EXPECT_EQ(v->value(), e[3]);
    }
    EXPECT_EQ(s.attackSlider.load(), 1);
    EXPECT_EQ(s.decaySlider.load(), 1000);
    EXPECT_EQ(s.sustainSlider.load(), 50);
    EXPECT_EQ(s.releaseSlider.load(), 1500);

    // No MIDI port in the test environment: empty list, nothing selected.
    EXPECT_EQ(window->midiPortList()->count(), 0);
    EXPECT_EQ(window->midiPortList()->currentIndex(), -1);
    EXPECT_EQ(midi.midiPortIndex, -1);
    EXPECT_FALSE(window->midiPortList()->isEditable());
}

TEST_F(MainWindowTest, FirstPictures) {
    const QImage shape = window->shapeDisplay().image();
    for (int y = 0; y < 300; y += 7)
        for (int x = 0; x < 300; x += 7) ASSERT_EQ(shape.pixel(x, y) | 0xff000000u, kBlack);
    const QImage wave = window->waveformDisplay().image();
    for (int x = 0; x < 201; ++x) {
        EXPECT_EQ(wave.pixel(x, 75) | 0xff000000u, kRed);
        EXPECT_EQ(wave.pixel(x, 225) | 0xff000000u, kRed);
        EXPECT_EQ(wave.pixel(x, 150) | 0xff000000u, kWhite);
        EXPECT_EQ(wave.pixel(x, 100) | 0xff000000u, kBlack);
    }
    EXPECT_EQ(window->pad().image().pixel(50, 50) | 0xff000000u, qRgb(0, 255, 0));
}

TEST_F(MainWindowTest, EnvelopeSlidersCountUpwardAndAreMirrored) {
    QSlider* attack = slider(3);
    // The top of the groove is the maximum.
    QTest::keyClick(attack, Qt::Key_End);
    EXPECT_EQ(attack->value(), 2000);
    EXPECT_EQ(s.attackSlider.load(), 2000);
    QTest::keyClick(attack, Qt::Key_Up);  // already at the top
    EXPECT_EQ(attack->value(), 2000);
    QTest::keyClick(attack, Qt::Key_Home);
    EXPECT_EQ(s.attackSlider.load(), 1);
    slider(5)->setValue(100);
    EXPECT_EQ(s.sustainSlider.load(), 100);
    slider(4)->setValue(5000);
    slider(6)->setValue(1);
    EXPECT_EQ(s.decaySlider.load(), 5000);
    EXPECT_EQ(s.releaseSlider.load(), 1);
    // A click in the upper part of the groove moves the thumb up.
    slider(5)->setValue(0);
    QTest::mouseClick(slider(5), Qt::LeftButton, {}, QPoint(10, 5));
    EXPECT_GT(s.sustainSlider.load(), 0);
}

TEST_F(MainWindowTest, ParameterSlidersSetValueTextAndDisplaysAtTheirEnds) {
    struct Case {
        int slider;
        int position;
        float value;
        const char* text;
    };
    const Case cases[] = {
        {15, 1, 0.01f, "0.010"},       {15, 2500, 25.0f, "25.000"},   {16, 1, 0.1f, "0.100"},
        {16, 1000, 100.0f, "100.000"}, {17, 1000, 100.0f, "100.000"}, {18, 1, 0.1f, "0.100"},
        {19, 1, 0.001f, "0.001"},      {19, 5000, 5.0f, "5.000"},     {20, 1, 0.001f, "0.001"},
        {20, 5000, 5.0f, "5.000"},     {15, 603, 6.03f, "6.030"},     {20, 333, 0.333f, "0.333"},
    };
    for (const Case& c : cases) {
        s.shapeX.fill(-1);
        slider(c.slider)->setValue(c.position);
        const ParamId id = static_cast<ParamId>(c.slider - 15);
        EXPECT_EQ(param(s, id).load(), c.value) << c.slider << " " << c.position;
        EXPECT_EQ(text(c.slider + 6), c.text) << c.slider << " " << c.position;
        EXPECT_NE(s.shapeX[0], -1) << "displays not updated";
    }
    // By keyboard as well, one step at a time.
    slider(15)->setValue(600);
    QTest::keyClick(slider(15), Qt::Key_Right);
    EXPECT_EQ(s.m.load(), 6.01f);
    EXPECT_EQ(text(21), "6.010");
    // The shape on screen is the one of the new parameters.
    SynthState fresh;
    test::setShape(fresh, s.m, s.N1, s.N2, s.N3, s.A, s.B);
    DrawingArea shape(11, 300, 300), wave(12, 201, 300);
    updateDisplays(fresh, shape, wave);
    EXPECT_EQ(window->shapeDisplay().image(), shape.image());
    EXPECT_EQ(window->waveformDisplay().image(), wave.image());
}

TEST_F(MainWindowTest, EnableNeedsACompleteAssignment) {
    setLimits("6.030", "10.000", "", "", "m", "Y");
    clickEnable();
    EXPECT_FALSE(window->enableBox()->isChecked());
    EXPECT_EQ(s.trajectoryEnabled.load(), 0);
    EXPECT_EQ(s.xParam.load(), ParamId::None);
    // Any single limit missing is enough.
    for (int missing = 0; missing < 4; ++missing) {
        setLimits("1.000", "2.000", "3.000", "4.000", "m", "N1");
        QLabel* limits[4] = {window->axisControls().xFrom, window->axisControls().xTo,
                             window->axisControls().yFrom, window->axisControls().yTo};
        limits[missing]->setText("");
        clickEnable();
        EXPECT_FALSE(window->enableBox()->isChecked()) << missing;
        EXPECT_EQ(s.trajectoryEnabled.load(), 0) << missing;
    }
}

TEST_F(MainWindowTest, TickingCopiesTheAssignmentOnce) {
    setLimits("6.030", "10.000", "4.200", "30.500", "m", "N1");
    clickEnable();
    EXPECT_TRUE(window->enableBox()->isChecked());
    EXPECT_EQ(s.trajectoryEnabled.load(), 1);
    EXPECT_EQ(s.xParam.load(), ParamId::M);
    EXPECT_EQ(s.yParam.load(), ParamId::N1);
    EXPECT_EQ(s.xFrom.load(), 6.03f);
    EXPECT_EQ(s.xTo.load(), 10.0f);
    EXPECT_EQ(s.yFrom.load(), 4.2f);
    EXPECT_EQ(s.yTo.load(), 30.5f);
    // Later changes of the texts or sliders do not reach the copy.
    setLimits("1.000", "2.000", "3.000", "4.000", "A", "B");
    slider(15)->setValue(100);
    EXPECT_EQ(s.xParam.load(), ParamId::M);
    EXPECT_EQ(s.xFrom.load(), 6.03f);
    EXPECT_EQ(s.yTo.load(), 30.5f);
}

TEST_F(MainWindowTest, SettingTheBoxByProgramRaisesNoEvent) {
    setLimits("6.030", "10.000", "4.200", "30.500", "m", "N1");
    window->enableBox()->setChecked(true);
    EXPECT_EQ(s.trajectoryEnabled.load(), 0);
    clickEnable();  // now unticks by the user: the handler restores
    EXPECT_FALSE(window->enableBox()->isChecked());
    EXPECT_EQ(s.trajectoryEnabled.load(), 0);
}

TEST_F(MainWindowTest, UntickingRestoresTheSliderValues) {
    setLimits("6.030", "10.000", "4.200", "30.500", "m", "N1");
    clickEnable();
    ASSERT_EQ(s.trajectoryEnabled.load(), 1);
    for (int k = 0; k < kParamCount; ++k) param(s, static_cast<ParamId>(k)).store(99.0f);
    clickEnable();
    EXPECT_EQ(s.trajectoryEnabled.load(), 0);
    for (int k = 0; k < kParamCount; ++k)
        EXPECT_EQ(param(s, static_cast<ParamId>(k)).load(), kStartParams[k]) << k;
    // Texts are not rewritten by the untick.
    EXPECT_EQ(text(21), "6.030");
}

// The audio thread applies the trajectory every frame; an untick at any
// moment must leave the slider values in place.
TEST_F(MainWindowTest, UntickingRestoresWhileTheTrajectoryRunsOnALiveThread) {
    setLimits("1.000", "20.000", "50.000", "90.000", "m", "N3");
    s.noteFrequency = 440.0;
    s.gate.store(1);
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> blocks{0};
    std::thread audio([&] {
        float buffer[64];
        while (!stop.load()) {
            renderFrames(s, buffer, 64);
            blocks.fetch_add(1);
        }
    });
    auto waitBlocks = [&](uint64_t n) {
        const uint64_t target = blocks.load() + n;
        while (blocks.load() < target) std::this_thread::yield();
    };
    int sawDriven = 0;
    for (int round = 0; round < 200; ++round) {
        clickEnable();
        ASSERT_EQ(s.trajectoryEnabled.load(), 1);
        waitBlocks(2);
        if (s.m.load() != 6.03f) ++sawDriven;
        clickEnable();
        // At once and after more frames: the slider values stand.
        EXPECT_EQ(s.m.load(), 6.03f) << round;
        EXPECT_EQ(s.N3.load(), 71.6f) << round;
        waitBlocks(3);
        EXPECT_EQ(s.m.load(), 6.03f) << round;
        EXPECT_EQ(s.N3.load(), 71.6f) << round;
    }
    stop = true;
    audio.join();
    EXPECT_GT(sawDriven, 150);  // the trajectory really was running
}

// Twenty edits of every kind, each a step: undone one by one, then redone,
// the sound and the window's pixels are those each step had.
TEST_F(MainWindowTest, UndoAndRedoRestoreTheSoundAndThePixels) {
    updateDisplays(s, *window);  // as the program starts
    std::mt19937 random(1);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto step = [&] { return std::pair{window->currentSound(), window->grab().toImage()}; };
    std::vector<std::pair<sound::Sound, QImage>> steps{step()};
    while (steps.size() < 21) {
        const int row = pick(kParamCount);
        QSlider* param = slider(kFirstParamSlider + row);
        switch (pick(5)) {
            case 0:
                param->setValue(param->minimum() + pick(2000));
                break;
            case 1:
                slider(kAttackSlider + pick(4))->setValue(pick(2000));
                break;
            case 2:
                window->dispatch(kControlEvent, kFirstAxisButton + row);
                break;
            case 3:
                clickEnable();
                break;
            default: {
                const PadPoint p = s.padPoints[pick(4)];
                const int x = pick(300), y = pick(300);
                using T = PadEvent::Type;
                window->dispatch(kControlEvent, kPadId,
                                 {T::LeftButtonDown, int(p.x), int(p.y), true});
                window->dispatch(kControlEvent, kPadId, {T::PointerMove, x, y, true});
                window->dispatch(kControlEvent, kPadId, {T::LeftButtonUp, x, y, false});
            }
        }
        if (window->currentSound().values != steps.back().first.values) steps.push_back(step());
        EXPECT_EQ(window->history().canUndo(), steps.size() > 1);
    }
    EXPECT_EQ(window->windowTitle(), "Untitled* - Tessivox");
    for (const int item : {kUndoItem, kRedoItem}) {
        for (size_t n = 1; n < steps.size(); ++n) {
            window->dispatch(kMenuEvent, item);
            const auto& [sound, picture] = steps[item == kUndoItem ? steps.size() - 1 - n : n];
            ASSERT_EQ(window->currentSound().values, sound.values) << n;
            ASSERT_EQ(window->grab().toImage(), picture) << n;
        }
        EXPECT_EQ(window->windowTitle(), item == kUndoItem ? "Tessivox" : "Untitled* - Tessivox");
    }
}

TEST_F(MainWindowTest, EscapeAndCloseBoxEndTheLoopAboutAndHelpNever) {
    int abouts = 0, helps = 0;
    bool loopRunningAfterMenu = false;
    window->setMenuActions([&] { ++abouts; }, [&] { ++helps; });
    const auto items = window->menuBar()->actions()[1]->menu()->actions();
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        window->dispatch(kMenuEvent, kEscapeItem);
    });

    QTimer::singleShot(0, [&] {
        items[0]->trigger();
        items[1]->trigger();
        QTimer::singleShot(30, [&] {
            loopRunningAfterMenu = s.quitRequested == 0;
            QTest::keyClick(window.get(), Qt::Key_Escape);
        });
    });
    watchdog.start(3000);
    runEventLoop(s, *window);
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(loopRunningAfterMenu);
    EXPECT_EQ(abouts, 1);
    EXPECT_EQ(helps, 1);
    EXPECT_EQ(s.quitRequested, 1);
    EXPECT_EQ(s.windowEvent, kMenuEvent);

    // Escape with a modifier is not the shortcut.
    s.quitRequested = 0;
    QTest::keyClick(window.get(), Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_EQ(s.quitRequested, 0);

    // The close box: the window stays until the program takes it down.
    QTimer::singleShot(0, [&] { window->close(); });
    watchdog.start(3000);
    runEventLoop(s, *window);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(s.quitRequested, 1);
    EXPECT_EQ(s.windowEvent, kCloseEvent);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, WhileHelpIsOpenEveryMainWindowEventIsDropped) {
    bool checked = false;
    window->setMenuActions({}, [&] {
        QTest::keyClick(window.get(), Qt::Key_Escape);
        window->close();
        window->dispatch(kMenuEvent, kEscapeItem);
        slider(15)->setValue(1000);  // moves on screen only
        checked = true;
    });
    window->dispatch(kMenuEvent, kHelpItem);
    ASSERT_TRUE(checked);
    EXPECT_EQ(s.quitRequested, 0);
    EXPECT_EQ(slider(15)->value(), 1000);
    EXPECT_EQ(s.m.load(), 6.03f);
    EXPECT_EQ(text(21), "6.030");
    // Afterwards the window handles events again.
    slider(15)->setValue(1001);
    EXPECT_EQ(s.m.load(), 10.01f);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(s.quitRequested, 1);
}

TEST_F(MainWindowTest, StatusFieldOneFollowsTheGateText) {
    EXPECT_TRUE(window->statusField(1)->text().isEmpty());
    s.gateText.store(GateText::On);
    s.shortMessageCount.fetch_add(1, std::memory_order_release);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->statusField(1)->text() == "On"; }, 500));
    s.gateText.store(GateText::Off);
    s.shortMessageCount.fetch_add(1, std::memory_order_release);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->statusField(1)->text() == "Off"; }, 500));
    // Without a new message the text is not rewritten.
    window->statusField(1)->setText("x");
    QTest::qWait(40);
    EXPECT_EQ(window->statusField(1)->text(), "x");
    EXPECT_TRUE(window->statusField(2)->text().isEmpty());
}

TEST(MainWindowHelpers, ValueTextsAndLimitNumbers) {
    EXPECT_EQ(valueText(6.03f), "6.030");
    EXPECT_EQ(valueText(71.6f), "71.600");
    EXPECT_EQ(valueText(0.001f), "0.001");
    EXPECT_EQ(valueText(25.0f), "25.000");
    EXPECT_EQ(limitNumber("6.030"), 6.03f);
    EXPECT_EQ(limitNumber("100.000"), 100.0f);
    EXPECT_EQ(limitNumber(" 0.767"), 0.767f);
    EXPECT_EQ(limitNumber("abc"), 0.0f);
    EXPECT_EQ(limitNumber("2.5x"), 2.5f);
    // Every slider position shows and reads back as itself.
    for (int row = 0; row < kParamCount; ++row) {
        for (int p = kParamSliders[row].minimum; p <= kParamSliders[row].maximum; ++p) {
            const float v = paramValueAt(row, p);
            ASSERT_EQ(limitNumber(valueText(v).toLatin1().toStdString()), v) << row << " " << p;
        }
    }
}

}  // namespace
}  // namespace tessivox

namespace tessivox {
namespace {
TEST_F(MainWindowTest, TextsFitTheirControls) {
    // The widest texts each control can show.
    struct Fit {
        int id;
        const char* text;
    };
    for (const Fit& f : {Fit{21, "100.000"}, Fit{24, "71.600"}, Fit{39, "100.000"},
                         Fit{42, "100.000"}, Fit{43, "N1"}, Fit{27, "N1"}, Fit{9, "D"}}) {
        QLabel* l = window->label(f.id);
        EXPECT_LE(l->fontMetrics().horizontalAdvance(f.text), l->contentsRect().width())
            << f.id << " " << l->fontMetrics().horizontalAdvance(f.text);
    }
    EXPECT_LE(window->enableBox()->sizeHint().width(), 50)
        << window->enableBox()->sizeHint().width();
}
}  // namespace
}  // namespace tessivox
