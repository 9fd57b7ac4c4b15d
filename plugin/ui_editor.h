#pragma once
// The plugin window's editor: what the window shows, and what the pointer,
// the keys and the host's port values do to it. No toolkit: the window's
// glue feeds it the events and draws it.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/engine_state.h"
#include "picture/canvas.h"
#include "picture/editor_model.h"
#include "picture/editor_state.h"
#include "picture/pictures.h"
#include "picture/window_layout.h"
#include "sound/ports.h"

namespace tessivox::lv2 {

// The client area without the program's menu, port list and status bar,
// with one more row for the plugin's own controls and a margin below.
constexpr int kWidth = 870;
constexpr int kHeight = 480;
constexpr ControlSpec kPadArea = controlSpec(kPadId);
// The plugin's own controls: the channel where the program has its port
// list, the tuning and the latency under the displays.
constexpr ControlSpec kChannelArea = controlSpec(kMidiPortList);
constexpr ControlSpec kTuningArea{-1, ControlKind::EnableBox, 10, 318, 130, 20, -1, "Exact pitch"};
constexpr int kLatencyX = 312;

// As the program's window: a pause before a tooltip shows.
constexpr auto kTipDelay = std::chrono::milliseconds(700);

// The keys the sliders take; the glue maps the toolkit's onto them.
enum class Key { Other, Tab, BackTab, Left, Right, Up, Down, PageUp, PageDown, Home, End };

struct Editor {
    // Every port at its start, and the pictures of those values.
    Editor();

    // Reaches the plugin: the UI's own record is not the plugin's.
    std::function<void(uint32_t port, float value)> write;
    EngineState engine;  // the values shown, for the pictures
    EditorState view;
    std::array<float, kPortCount> ports{};
    std::array<int32_t, kParamCount> paramPosition{};
    std::array<int32_t, kEnvelopeSliderCount> envelopePosition{};
    EditorModel axes;
    Canvas shape{kDisplaySize, kDisplaySize}, waveform{kWaveformWidth, kDisplaySize},
        pad{kDisplaySize, kDisplaySize};
    int held = -1;   // the control a press on it holds until the release
    int focus = -1;  // the slider the keys move
    // The control under the resting pointer, and since when; its tooltip
    // shows after kTipDelay.
    int hover = -1, pointerX = 0, pointerY = 0;
    std::chrono::steady_clock::time_point hoverSince;
    bool tipShown = false;
    bool dirty = true;  // to be drawn again
};

// A slider's range, and the position the editor has for it.
inline const SliderSpec& rangeOf(const ControlSpec& slider) {
    const bool param = slider.kind == ControlKind::ParamSlider;
    return param ? kParamSliders[slider.row] : kEnvelopeSliders[slider.row];
}
inline int32_t positionOf(const Editor& ed, const ControlSpec& slider) {
    const bool param = slider.kind == ControlKind::ParamSlider;
    return param ? ed.paramPosition[slider.row] : ed.envelopePosition[slider.row];
}

// A value from the host, shown as the plugin takes it (within the port's
// range, not a number at its minimum); what the UI wrote itself comes back
// unchanged.
void portChanged(Editor& ed, uint32_t port, float value);

// Pointer buttons are numbered as X numbers them: 1 the left one, 4 and 5
// the wheel.
void press(Editor& ed, int x, int y, unsigned button);
void motion(Editor& ed, int x, int y, bool leftDown);
void release(Editor& ed, int x, int y, unsigned button);
void key(Editor& ed, Key k);

void hideTip(Editor& ed);
void showTipIfDue(Editor& ed, std::chrono::steady_clock::time_point now);
// The text of the tooltip for control c, or none.
std::string tipFor(const Editor& ed, const ControlSpec& c);

}  // namespace tessivox::lv2
