#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QCheckBox>
#include <QLabel>
#include <QString>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "test_support.h"
#include "ui/axis_buttons.h"

namespace tessivox {
namespace {

using P = ParamId;

class AxisButtons : public test::EngineTestOf<SynthState> {
  protected:
    void SetUp() override {
        const char* start[kParamCount] = {"6.030", "4.200", "0.100", "71.600", "0.300", "0.767"};
        for (int i = 0; i < kParamCount; ++i) {
            values[i] = std::make_unique<QLabel>(QString::fromLatin1(start[i]));
            c.valueTexts[i] = values[i].get();
        }
        c.xFrom = &xFrom;
        c.xTo = &xTo;
        c.yFrom = &yFrom;
        c.yTo = &yTo;
        c.xLabel = &xLabel;
        c.yLabel = &yLabel;
        c.enable = &enable;
        QObject::connect(&enable, &QCheckBox::clicked, [this] { ++enableClicks; });
        QObject::connect(&enable, &QCheckBox::toggled, [this] { ++enableToggles; });
    }

    void setValue(P p, const char* text) {
        values[static_cast<int>(p)]->setText(QString::fromLatin1(text));
    }
    void click(P p) { handleAxisButton(s, c, p); }

    // X from, X to, Y from, Y to, X label, Y label.
    std::array<QString, 6> texts() const {
        return {xFrom.text(), xTo.text(), yFrom.text(), yTo.text(), xLabel.text(), yLabel.text()};
    }
    void expectTexts(std::array<QString, 6> expected) const { EXPECT_EQ(texts(), expected); }
    void expectReset() const { expectTexts({"", "", "", "", "", ""}); }

    std::array<std::unique_ptr<QLabel>, kParamCount> values;
    QLabel xFrom, xTo, yFrom, yTo;
    QLabel xLabel{"X"}, yLabel{"Y"};
    QCheckBox enable{"Enable"};
    AxisControls c;
    int enableClicks = 0;
    int enableToggles = 0;
};

// Before each click the button's tooltip tells what the click then does.
TEST_F(AxisButtons, TooltipTellsWhatTheNextClickDoes) {
    const QString reset = "Click: clear the axes and untick Enable (";
    const struct {
        P p;
        const char* value;
        QString tip;
    } steps[] = {
        {P::M, "6.030", "Click: take 6.030 (m) as X from"},
        {P::M, "6.030", reset + "6.030 is not above 'from' 6.030)"},
        {P::M, "6.030", "Click: take 6.030 (m) as X from"},
        {P::M, "9.000", "Click: take 9.000 (m) as X to"},
        {P::M, "9.000", reset + "m is on the X axis already)"},
        {P::M, "6.030", "Click: take 6.030 (m) as X from"},
        {P::M, "9.000", "Click: take 9.000 (m) as X to"},
        {P::A, "0.300", "Click: take 0.300 (A) as Y from"},
        {P::M, "12.000", reset + "m is on the X axis already)"},
        {P::M, "6.030", "Click: take 6.030 (m) as X from"},
        {P::M, "9.000", "Click: take 9.000 (m) as X to"},
        {P::A, "0.300", "Click: take 0.300 (A) as Y from"},
        {P::A, "2.000", "Click: take 2.000 (A) as Y to"},
        {P::N1, "4.200", reset + "both axes are assigned)"},
    };
    for (const auto& step : steps) {
        setValue(step.p, step.value);
        EXPECT_EQ(axisButtonTip(c, step.p), step.tip);
        click(step.p);
    }
    expectReset();
}

TEST_F(AxisButtons, TwoClicksOnMWithoutMovingResetEverything) {
    click(P::M);
    expectTexts({"6.030", "", "", "", "m", "Y"});
    enable.setChecked(true);
    s.trajectoryEnabled = 1;
    enableToggles = 0;
    click(P::M);
    expectReset();
    EXPECT_FALSE(enable.isChecked());
    EXPECT_EQ(s.trajectoryEnabled.load(), 0);
    // By program: neither the click the window dispatches on nor any other
    // signal of the box.
    EXPECT_EQ(enableClicks, 0);
    EXPECT_EQ(enableToggles, 0);
    // Afterwards a click starts a new assignment.
    click(P::A);
    expectTexts({"0.300", "", "", "", "A", ""});
}

TEST_F(AxisButtons, FullAssignmentThenAnyClickResets) {
    click(P::M);
    setValue(P::M, "10.000");
    click(P::M);
    expectTexts({"6.030", "10.000", "", "", "m", "Y"});
    click(P::N1);
    expectTexts({"6.030", "10.000", "4.200", "", "m", "N1"});
    setValue(P::N1, "50.000");
    click(P::N1);
    expectTexts({"6.030", "10.000", "4.200", "50.000", "m", "N1"});
    // Later slider moves do not touch the texts; the next click resets.
    setValue(P::B, "4.000");
    click(P::B);
    expectReset();
}

TEST_F(AxisButtons, YOnTheXParameterResets) {
    click(P::M);
    setValue(P::M, "10.000");
    click(P::M);
    click(P::M);
    expectReset();

    click(P::N1);
    setValue(P::N1, "9.000");
    click(P::N1);
    click(P::A);
    expectTexts({"4.200", "9.000", "0.300", "", "N1", "A"});
    // Y 'to' on the X parameter, although above Y from and accepted for it.
    click(P::N1);
    expectReset();
}

TEST_F(AxisButtons, ToClickOnAnotherParameterTakesTheAxis) {
    click(P::M);  // 6.030
    setValue(P::N1, "10.000");
    click(P::N1);
    expectTexts({"6.030", "10.000", "", "", "N1", "Y"});
    // The X axis now belongs to N1: m is a valid Y parameter, N1 is not.
    click(P::M);
    expectTexts({"6.030", "10.000", "6.030", "", "N1", "m"});
    // Y 'to' on B: 6.03 is above B's upper bound 5.
    setValue(P::B, "4.900");
    click(P::B);
    expectReset();

    click(P::M);
    setValue(P::N1, "10.000");
    click(P::N1);
    setValue(P::A, "2.000");
    click(P::A);
    setValue(P::B, "3.000");
    click(P::B);
    expectTexts({"6.030", "10.000", "2.000", "3.000", "N1", "B"});
}

TEST_F(AxisButtons, FromAboveToResets) {
    setValue(P::N1, "30.000");
    click(P::N1);
    setValue(P::M, "25.000");
    click(P::M);
    expectReset();
}

TEST_F(AxisButtons, ToMustBeStrictlyGreaterAsFloat32) {
    setValue(P::N1, "1.000");
    click(P::N1);
    // Above 1 as a double, equal once rounded to float32.
    setValue(P::N1, "1.00000001");
    click(P::N1);
    expectReset();

    setValue(P::N1, "1.000");
    click(P::N1);
    setValue(P::N1, "1.0000002");  // the next float32 above 1
    click(P::N1);
    expectTexts({"1.000", "1.0000002", "", "", "N1", ""});
}

// The X 'from' value fromText, then a click on p whose value text is toText.
struct BoundCase {
    P p;
    const char* fromText;
    const char* toText;
    bool accepted;
};

class AxisBounds : public AxisButtons, public ::testing::WithParamInterface<BoundCase> {};

TEST_P(AxisBounds, XAxis) {
    const BoundCase b = GetParam();
    // The 'from' comes from N3, which takes any text; the 'to' click decides.
    setValue(P::N3, b.fromText);
    click(P::N3);
    setValue(b.p, b.toText);
    click(b.p);
    if (b.accepted) {
        expectTexts(
            {b.fromText, b.toText, "", "", QString::fromLatin1(paramName(b.p).data()), "Y"});
    } else {
        expectReset();
    }
}

TEST_P(AxisBounds, YAxis) {
    const BoundCase b = GetParam();
    setValue(P::N3, "1.000");
    click(P::N3);
    setValue(P::N3, "2.000");
    click(P::N3);
    // Y from is filled from N2, whatever the text; then the 'to' click on p.
    setValue(P::N2, b.fromText);
    click(P::N2);
    setValue(b.p, b.toText);
    click(b.p);
    if (b.accepted) {
        expectTexts({"1.000", "2.000", b.fromText, b.toText, "N3",
                     QString::fromLatin1(paramName(b.p).data())});
    } else {
        expectReset();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Inclusive, AxisBounds,
    ::testing::Values(
        BoundCase{P::M, "0.010", "0.020", true}, BoundCase{P::M, "0.009", "0.020", false},
        BoundCase{P::M, "25.000", "25.001", true}, BoundCase{P::M, "25.001", "25.002", false},
        BoundCase{P::N1, "0.100", "0.200", true}, BoundCase{P::N1, "0.099", "0.200", false},
        BoundCase{P::N1, "500.000", "900.000", true}, BoundCase{P::N2, "0.100", "0.200", true},
        BoundCase{P::A, "0.001", "0.002", true}, BoundCase{P::A, "0.000", "0.002", false},
        BoundCase{P::A, "5.000", "5.001", true}, BoundCase{P::A, "5.001", "5.002", false},
        BoundCase{P::B, "0.001", "0.002", true}, BoundCase{P::B, "5.000", "5.001", true},
        BoundCase{P::B, "5.001", "5.002", false}),
    [](const ::testing::TestParamInfo<BoundCase>& info) {
        std::string name = std::string(paramName(info.param.p)) + "_from_" + info.param.fromText;
        for (char& ch : name) {
            if (ch == '.') ch = '_';
        }
        return name + (info.param.accepted ? "_accepted" : "_refused");
    });

TEST_F(AxisButtons, ResetLeavesParametersAndTheCopiedAssignment) {
    enableTrajectory(s, P::M, P::A, 1.0f, 2.0f, 0.1f, 0.2f);
    s.m = 1.5f;
    s.A = 0.15f;
    click(P::M);
    click(P::M);
    EXPECT_EQ(s.trajectoryEnabled.load(), 0);
    EXPECT_EQ(s.m.load(), 1.5f);
    EXPECT_EQ(s.A.load(), 0.15f);
    EXPECT_EQ(s.N1.load(), kStartParams[1]);
    EXPECT_EQ(s.xParam.load(), P::M);
    EXPECT_EQ(s.yParam.load(), P::A);
    EXPECT_EQ(s.xFrom.load(), 1.0f);
    EXPECT_EQ(s.yTo.load(), 0.2f);
}

TEST_F(AxisButtons, ResetStopsARunningTrajectory) {
    // m from 1 to 20 across the pad, A from 0.1 to 4: the pad path moves both.
    enableTrajectory(s, P::M, P::A, 1.0f, 20.0f, 0.1f, 4.0f);
    s.noteFrequency = 441.0;
    s.gate.store(1, std::memory_order_release);

    std::atomic<bool> stop{false};
    std::atomic<int> buffers{0};
    std::thread audio([&] {
        std::vector<float> out(64);
        while (!stop.load()) {
            renderFrames(s, out.data(), out.size());
            buffers.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    while (buffers.load() < 50) std::this_thread::yield();

    click(P::M);
    setValue(P::M, "20.000");
    click(P::M);
    click(P::A);
    setValue(P::A, "4.000");
    click(P::A);
    ASSERT_EQ(texts()[3], "4.000");
    EXPECT_EQ(s.trajectoryEnabled.load(), 1);  // the texts alone change nothing
    click(P::B);
    expectReset();
    EXPECT_EQ(s.trajectoryEnabled.load(), 0);

    // Once the click returns no trajectory step stores any more.
    const float m = s.m.load();
    const float a = s.A.load();
    const int seen = buffers.load();
    while (buffers.load() < seen + 30) std::this_thread::yield();
    stop = true;
    audio.join();
    EXPECT_EQ(s.m.load(), m);
    EXPECT_EQ(s.A.load(), a);
    // They are the last values the trajectory gave, not the slider values.
    EXPECT_EQ(m, s.xParamValue);
    EXPECT_EQ(a, s.yParamValue);
    EXPECT_NE(m, kStartParams[0]);
    EXPECT_NE(a, kStartParams[4]);
    EXPECT_GE(m, 1.0f);
    EXPECT_LE(m, 20.0f);
    EXPECT_GE(a, 0.1f);
    EXPECT_LE(a, 4.0f);
}

}  // namespace
}  // namespace tessivox
