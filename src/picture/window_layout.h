#pragma once

#include <array>
#include <string_view>

#include "engine/controls.h"
#include "picture/pictures.h"

namespace tessivox {

// Control identifiers that handlers and tests name.
inline constexpr int kShapeDisplayId = 11;
inline constexpr int kWaveformDisplayId = 12;
inline constexpr int kPadId = 13;
inline constexpr int kMidiPortList = 2;
inline constexpr int kAttackSlider = 3;       // 3..6: attack, decay, sustain, release
inline constexpr int kFirstParamSlider = 15;  // 15..20: m, N1, N2, N3, A, B
inline constexpr int kFirstValueText = 21;    // 21..26
inline constexpr int kFirstParamLabel = 27;   // 27..32
inline constexpr int kFirstAxisButton = 33;   // 33..38
inline constexpr int kXFromText = 39, kXToText = 40, kYFromText = 41, kYToText = 42;
inline constexpr int kXLabel = 43, kYLabel = 44;
inline constexpr int kEnableBox = 45;

enum class ControlKind {
    PortList,
    ParamSlider,
    ValueText,
    AxisButton,
    StaticText,
    DrawingArea,
    EnableBox,
    EnvelopeSlider,
};

// One control of the main window: where it stands in the client area, and
// for sliders and value texts the row of their slider table.
struct ControlSpec {
    int id;
    ControlKind kind;
    int x, y, width, height;
    int row = -1;
    std::string_view text = {};
};

inline constexpr int kControlCount = 43;

// Every control, in the order the window builds them.
inline constexpr std::array<ControlSpec, kControlCount> kControls = [] {
    using K = ControlKind;
    constexpr int kRowY = 350, kRowStep = 20;
    std::array<ControlSpec, kControlCount> c{};
    int n = 0;
    c[n++] = {kMidiPortList, K::PortList, 710, 445, 130, 20};
    // The six parameter rows, a column at a time.
    auto column = [&](int firstId, K kind, int x, int width, int height) {
        for (int row = 0; row < kParamCount; ++row) {
            const std::string_view name = kind == K::StaticText ? kParamSliders[row].name : "";
            c[n++] = {firstId + row, kind, x, kRowY + kRowStep * row, width, height, row, name};
        }
    };
    column(kFirstParamSlider, K::ParamSlider, 30, 600, 20);
    column(kFirstValueText, K::ValueText, 640, 35, 20);
    column(kFirstAxisButton, K::AxisButton, 680, 20, 10);
    column(kFirstParamLabel, K::StaticText, 10, 25, 20);
    c[n++] = {kXFromText, K::StaticText, 520, 320, 40, 20};
    c[n++] = {kXToText, K::StaticText, 800, 320, 40, 20};
    c[n++] = {kYFromText, K::StaticText, 830, 300, 40, 20};
    c[n++] = {kYToText, K::StaticText, 830, 10, 40, 20};
    c[n++] = {kXLabel, K::StaticText, 660, 320, 35, 20, -1, "X"};
    c[n++] = {kYLabel, K::StaticText, 830, 155, 35, 20, -1, "Y"};
    c[n++] = {kShapeDisplayId, K::DrawingArea, 10, 10, kDisplaySize, kDisplaySize};
    c[n++] = {kWaveformDisplayId, K::DrawingArea, 312, 10, kWaveformWidth, kDisplaySize};
    c[n++] = {kPadId, K::DrawingArea, 515, 10, kDisplaySize, kDisplaySize};
    c[n++] = {kEnableBox, K::EnableBox, 570, 315, 50, 20, -1, "Enable"};
    for (int k = 0; k < kEnvelopeSliderCount; ++k) {
        c[n++] = {kAttackSlider + k, K::EnvelopeSlider, 730 + 20 * k, 355, 20, 85, k};
    }
    // Each letter overlaps its slider's top; D and S have crossed identifiers.
    c[n++] = {7, K::StaticText, 735, 342, 10, 20, -1, "A"};
    c[n++] = {9, K::StaticText, 755, 342, 10, 20, -1, "D"};
    c[n++] = {8, K::StaticText, 775, 342, 10, 20, -1, "S"};
    c[n++] = {10, K::StaticText, 795, 342, 10, 20, -1, "R"};
    return c;
}();

// The control with this id; naming one the table lacks does not compile.
consteval ControlSpec controlSpec(int id) {
    for (const ControlSpec& c : kControls) {
        if (c.id == id) return c;
    }
    throw "no control has this id";
}

}  // namespace tessivox
