// The slider ranges live in one table; the window's sliders, the axis
// buttons' bounds and the renderer's options must all show each entry.

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <QLabel>
#include <QSlider>

#include <gtest/gtest.h>

#include "engine/controls.h"
#include "midi/midi_input.h"
#include "test_support.h"
#include "ui/main_window.h"

namespace tessivox {
namespace {

std::string text(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", value);
    return buffer;
}

using Run = test::ProgramRun;

Run render(const std::string& options) {
    std::vector<std::string> args = {TESSIVOX_RENDER_BIN};
    std::istringstream words(options);
    for (std::string word; words >> word;) args.push_back(word);
    return test::runProgram(args);
}

std::string renderOption(std::string_view name) {
    std::string option = "--";
    for (const char c : name) option += static_cast<char>(std::tolower(c));
    return option;
}

// Accepted as a render option: exit 0; refused: exit 2 naming the range.
void expectRendererRange(const std::string& option, const std::string& lo, const std::string& hi,
                         const std::string& belowLo, const std::string& aboveHi) {
    const std::string job = std::string(TESSIVOX_DATA_DIR) + "/demo.mid /dev/null --frames 1 ";
    EXPECT_EQ(render(job + option + " " + lo).status, 0) << option << " " << lo;
    EXPECT_EQ(render(job + option + " " + hi).status, 0) << option << " " << hi;
    for (const std::string& outside : {belowLo, aboveHi}) {
        const Run refused = render(job + option + " " + outside);
        EXPECT_EQ(refused.status, 2) << option << " " << outside;
        EXPECT_NE(refused.out.find("out of range (" + lo + " to " + hi + ")"), std::string::npos)
            << refused.out;
    }
}

// An X assignment whose 'from' is `from`, then a 'to' far above it: does it stand?
bool axisAcceptsFrom(MainWindow& window, SynthState& s, int row, float from) {
    const AxisControls& c = window.axisControls();
    const QString saved = c.valueTexts[row]->text();
    c.valueTexts[row]->setText(QString::fromStdString(text(from)));
    handleAxisButton(s, c, static_cast<ParamId>(row));
    c.valueTexts[row]->setText(QStringLiteral("1e30"));
    handleAxisButton(s, c, static_cast<ParamId>(row));
    const bool accepted = !c.xTo->text().isEmpty();
    if (accepted) handleAxisButton(s, c, static_cast<ParamId>(row));  // a third click resets
    c.valueTexts[row]->setText(saved);
    return accepted;
}

TEST(ControlTable, WindowAxisButtonsAndRendererShowEveryEntry) {
    SynthState s;
    MidiPorts midi(s);
    MainWindow window(s, midi);
    const std::string help = render("--help").out;

    for (int row = 0; row < kParamCount; ++row) {
        const SliderSpec& spec = kParamSliders[row];
        SCOPED_TRACE(std::string(spec.name));
        const QSlider* slider = window.slider(kFirstParamSlider + row);
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->minimum(), spec.minimum);
        EXPECT_EQ(slider->maximum(), spec.maximum);
        EXPECT_EQ(slider->value(), spec.start);
        EXPECT_EQ(window.axisControls().valueTexts[row]->text(), valueText(startParamValue(row)));

        const float lo = paramValueAt(row, spec.minimum);
        const float hi = paramValueAt(row, spec.maximum);
        const float belowLo = std::nextafter(lo, 0.0f);
        const float aboveHi = std::nextafter(hi, INFINITY);
        EXPECT_TRUE(axisAcceptsFrom(window, s, row, lo));
        EXPECT_FALSE(axisAcceptsFrom(window, s, row, belowLo));
        EXPECT_TRUE(axisAcceptsFrom(window, s, row, hi));
        EXPECT_EQ(axisAcceptsFrom(window, s, row, aboveHi), !spec.fromCappedAtMaximum);

        char line[128];
        std::snprintf(line, sizeof line, "%s, %g to %g (default %g)", spec.name.data(), lo, hi,
                      startParamValue(row));
        EXPECT_NE(help.find(line), std::string::npos) << line;
        char loText[32], hiText[32];
        std::snprintf(loText, sizeof loText, "%g", lo);
        std::snprintf(hiText, sizeof hiText, "%g", hi);
        expectRendererRange(renderOption(spec.name), loText, hiText, text(belowLo), text(aboveHi));
    }

    constexpr int kEnvelopeIds[kEnvelopeSliderCount] = {3, 4, 5, 6};
    for (int k = 0; k < kEnvelopeSliderCount; ++k) {
        const SliderSpec& spec = kEnvelopeSliders[k];
        SCOPED_TRACE(std::string(spec.name));
        const QSlider* slider = window.slider(kEnvelopeIds[k]);
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->minimum(), spec.minimum);
        EXPECT_EQ(slider->maximum(), spec.maximum);
        EXPECT_EQ(slider->value(), spec.start);
        const std::string line =
            std::string(spec.name) + " slider, " + std::to_string(spec.minimum) + " to " +
            std::to_string(spec.maximum) + " (default " + std::to_string(spec.start) + ")";
        EXPECT_NE(help.find(line), std::string::npos) << line;
        expectRendererRange(renderOption(spec.name), std::to_string(spec.minimum),
                            std::to_string(spec.maximum), std::to_string(spec.minimum - 1),
                            std::to_string(spec.maximum + 1));
    }
}

}  // namespace
}  // namespace tessivox
