#include "ui_editor.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "picture/editor_rules.h"
#include "picture/shape_points.h"

namespace tessivox::lv2 {
namespace {

// As the program's window: the steps of its sliders' keys. Home and End
// step past either end, where the slider's range stops them.
constexpr int32_t kPageStep = 10, kPastEnd = 1 << 20;

// The ports of the axis limits, in the order of AxisStep.
constexpr Port kLimitPorts[] = {kXFrom, kXTo, kYFrom, kYTo};

void send(Editor& ed, uint32_t port, float value) {
    ed.ports[port] = value;
    ed.write(port, value);
}

void updateDisplays(Editor& ed) {
    computeShapePoints(ed.engine, ed.view);
    drawShape(ed.view, ed.shape);
    drawWaveform(ed.view, ed.waveform);
}

bool isSlider(const ControlSpec& c) {
    return c.kind == ControlKind::ParamSlider || c.kind == ControlKind::EnvelopeSlider;
}

// A slider the user moved; the sound and the pictures follow it.
void setPosition(Editor& ed, const ControlSpec& slider, int32_t position) {
    const SliderSpec& range = rangeOf(slider);
    const int row = slider.row;
    position = std::clamp(position, range.minimum, range.maximum);
    if (position == positionOf(ed, slider)) return;
    ed.dirty = true;
    if (slider.kind == ControlKind::EnvelopeSlider) {
        ed.envelopePosition[row] = position;
        return send(ed, kAttack + row, static_cast<float>(position));
    }
    ed.paramPosition[row] = position;
    const float value = paramValueAt(row, position);
    param(ed.engine, static_cast<ParamId>(row)).store(value);
    send(ed, kM + row, value);
    updateDisplays(ed);
}

void stepSlider(Editor& ed, const ControlSpec& c, int32_t step) {
    if (isSlider(c)) setPosition(ed, c, positionOf(ed, c) + step);
}

void axisClick(Editor& ed, int row) {
    const std::string value = valueString(paramValueAt(row, ed.paramPosition[row]));
    const AxisStep step = clickAxisButton(ed.axes, static_cast<ParamId>(row), value);
    ed.dirty = true;
    if (step == AxisStep::Reset) {
        send(ed, kTrajectory, 0);
        send(ed, kXParam, 0);
        send(ed, kYParam, 0);
        return;
    }
    const bool x = step == AxisStep::XFrom || step == AxisStep::XTo;
    send(ed, kLimitPorts[static_cast<int>(step)], limitNumber(value));
    send(ed, x ? kXParam : kYParam, static_cast<float>(row + 1));
}

// The plugin checks the rest of a ticked assignment as it runs.
void enableClick(Editor& ed) {
    ed.dirty = true;
    const bool enabled = tickEnable(ed.axes, !ed.axes.enable);
    if (enabled) {
        const Trajectory t = trajectoryOf(ed.axes);
        send(ed, kXParam, static_cast<float>(static_cast<int>(t.x) + 1));
        send(ed, kYParam, static_cast<float>(static_cast<int>(t.y) + 1));
        const float limits[] = {t.xFrom, t.xTo, t.yFrom, t.yTo};
        for (int k = 0; k < 4; ++k) send(ed, kLimitPorts[k], limits[k]);
    }
    send(ed, kTrajectory, enabled ? 1.0f : 0.0f);
}

void padMove(Editor& ed, int x, int y) {
    const std::array<PadPoint, 4> before = ed.view.padPoints;
    if (!movePadPoint(ed.engine, ed.view, x - kPadArea.x, y - kPadArea.y)) return;
    for (int k = 0; k < 4; ++k) {
        if (ed.view.padPoints[k] == before[k]) continue;
        send(ed, kPad + 2 * k, static_cast<float>(ed.view.padPoints[k].x));
        send(ed, kPad + 2 * k + 1, static_cast<float>(ed.view.padPoints[k].y));
    }
    drawPad(ed.view, ed.pad);
    ed.dirty = true;
}

bool inside(int x, int y, const ControlSpec& c) {
    return x >= c.x && x < c.x + c.width && y >= c.y && y < c.y + c.height;
}

// Sliders take the position under the pointer; the handle is 10 pixels long.
// Envelope sliders stand upright, their maximum at the top.
void drag(Editor& ed, int x, int y) {
    for (const ControlSpec& c : kControls) {
        if (c.id != ed.held || !isSlider(c)) continue;
        const bool across = c.kind == ControlKind::ParamSlider;
        const int offset = across ? x - c.x : c.y + c.height - y;
        const double t = (offset - 5.0) / ((across ? c.width : c.height) - 10.0);
        const SliderSpec& range = rangeOf(c);
        const long steps = std::lround(t * (range.maximum - range.minimum));
        setPosition(ed, c, range.minimum + static_cast<int32_t>(steps));
    }
}

void pointerRests(Editor& ed, int x, int y) {
    const auto c = std::find_if(kControls.begin(), kControls.end(),
                                [&](const ControlSpec& c) { return inside(x, y, c); });
    const int hover = c != kControls.end() && !tipFor(ed, *c).empty() ? c->id : -1;
    ed.pointerX = x, ed.pointerY = y;
    if (hover == ed.hover) return;
    hideTip(ed);
    ed.hover = hover;
    ed.hoverSince = std::chrono::steady_clock::now();
}

}  // namespace

Editor::Editor() {
    for (uint32_t i = 0; i < kPortCount; ++i) ports[i] = kPorts[i].start;
    for (int row = 0; row < kParamCount; ++row) paramPosition[row] = kParamSliders[row].start;
    for (int k = 0; k < kEnvelopeSliderCount; ++k) envelopePosition[k] = kEnvelopeSliders[k].start;
    updateDisplays(*this);
    drawPad(view, pad);
}

void portChanged(Editor& ed, uint32_t port, float value) {
    if (port >= kPortCount || kPorts[port].type == PortType::MidiIn ||
        kPorts[port].type == PortType::AudioOut) {
        return;
    }
    value = clampToPort(port, value);
    if (ed.ports[port] == value) return;
    ed.ports[port] = value;
    ed.dirty = true;
    if (port >= kM && port < kM + kParamCount) {
        const int row = static_cast<int>(port - kM);
        ed.paramPosition[row] = paramPosition(row, value);
        param(ed.engine, static_cast<ParamId>(row)).store(value);
        updateDisplays(ed);
    } else if (port >= kAttack && port <= kRelease) {
        // The port's range is the slider's, and the value is rounded already.
        ed.envelopePosition[port - kAttack] = static_cast<int32_t>(value);
    } else if (port == kTrajectory) {
        ed.axes.enable = value >= 0.5f;
    } else if (port >= kXParam && port <= kYTo) {
        // A preset or a second UI set the axis.
        const bool x = port < kYParam;
        const int k = static_cast<int>(std::lround(ed.ports[x ? kXParam : kYParam]));
        const ParamId p = k < 1 || k > kParamCount ? ParamId::None : static_cast<ParamId>(k - 1);
        showAxis(ed.axes, x, p, ed.ports[x ? kXFrom : kYFrom], ed.ports[x ? kXTo : kYTo]);
    } else if (port >= kPad && port < kPad + 8) {
        PadPoint& p = ed.view.padPoints[(port - kPad) / 2];
        ((port - kPad) % 2 == 0 ? p.x : p.y) =
            std::clamp<double>(std::nearbyint(value), 0, kPadExtent);
        drawPad(ed.view, ed.pad);
    }
}

// The keys of the program's sliders: arrows by one, Page Up and Down by ten,
// Home and End to the ends; Tab moves among the ten sliders.
void key(Editor& ed, Key k) {
    std::vector<const ControlSpec*> sliders;
    for (const ControlSpec& c : kControls)
        if (isSlider(c)) sliders.push_back(&c);
    auto focused = std::find_if(sliders.begin(), sliders.end(),
                                [&](const ControlSpec* c) { return c->id == ed.focus; });
    if (k == Key::Tab || k == Key::BackTab) {
        const long n = static_cast<long>(sliders.size());
        const long at =
            focused == sliders.end() ? (k == Key::Tab ? -1 : 0) : focused - sliders.begin();
        ed.focus = sliders[static_cast<size_t>((at + (k == Key::Tab ? 1 : n - 1)) % n)]->id;
        ed.dirty = true;
        return;
    }
    if (focused == sliders.end()) return;
    static constexpr std::pair<Key, int32_t> kSteps[] = {
        {Key::Right, 1},          {Key::Up, 1},
        {Key::Left, -1},          {Key::Down, -1},
        {Key::PageUp, kPageStep}, {Key::PageDown, -kPageStep},
        {Key::Home, -kPastEnd},   {Key::End, kPastEnd}};
    for (const auto& [known, step] : kSteps)
        if (known == k) stepSlider(ed, **focused, step);
}

std::string tipFor(const Editor& ed, const ControlSpec& c) {
    if (c.kind == ControlKind::EnvelopeSlider)
        return envelopeTip(c.row, ed.envelopePosition[c.row]);
    if (c.kind != ControlKind::AxisButton) return {};
    const std::string value = valueString(paramValueAt(c.row, ed.paramPosition[c.row]));
    return axisButtonTip(ed.axes, static_cast<ParamId>(c.row), value);
}

void showTipIfDue(Editor& ed, std::chrono::steady_clock::time_point now) {
    if (ed.hover >= 0 && !ed.tipShown && now - ed.hoverSince >= kTipDelay)
        ed.tipShown = ed.dirty = true;
}

void hideTip(Editor& ed) {
    ed.dirty |= ed.tipShown;
    ed.tipShown = false;
    ed.hover = -1;
}

void press(Editor& ed, int x, int y, unsigned button) {
    if (button == 4 || button == 5) {  // the wheel steps a slider by one
        for (const ControlSpec& c : kControls)
            if (inside(x, y, c)) stepSlider(ed, c, button == 4 ? 1 : -1);
        return;
    }
    if (button != 1) return;
    if (inside(x, y, kChannelArea)) {
        const int channel = static_cast<int>(std::lround(ed.ports[kChannel]));
        const int next = (channel + (x < kChannelArea.x + kChannelArea.width / 2 ? 16 : 1)) % 17;
        send(ed, kChannel, static_cast<float>(next));
        ed.dirty = true;
        return;
    }
    if (inside(x, y, kTuningArea)) {
        send(ed, kTuning, ed.ports[kTuning] >= 0.5f ? 0.0f : 1.0f);
        ed.dirty = true;
        return;
    }
    for (const ControlSpec& c : kControls) {
        if (!inside(x, y, c)) continue;
        switch (c.kind) {
            case ControlKind::ParamSlider:
            case ControlKind::EnvelopeSlider:
                ed.held = c.id;
                ed.dirty |= ed.focus != c.id;
                ed.focus = c.id;
                drag(ed, x, y);
                return;
            case ControlKind::AxisButton:
                axisClick(ed, c.row);
                return;
            case ControlKind::EnableBox:
                enableClick(ed);
                return;
            case ControlKind::DrawingArea:
                if (c.id != kPadId) return;
                ed.held = kPadId;
                pickPadPoint(ed.view, x - kPadArea.x, y - kPadArea.y);
                return;
            default:
                break;
        }
    }
}

void motion(Editor& ed, int x, int y, bool leftDown) {
    if (!leftDown) return pointerRests(ed, x, y);
    // As in the program: a press on the pad keeps the pointer, a drag begun
    // beside it reaches it while over it.
    if (ed.held == kPadId || inside(x, y, kPadArea)) {
        padMove(ed, x, y);
    } else {
        drag(ed, x, y);
    }
}

void release(Editor& ed, int x, int y, unsigned button) {
    if (button != 1) return;
    if (ed.held == kPadId || inside(x, y, kPadArea)) ed.view.padDragState = PadDragState::Unpressed;
    ed.held = -1;
}

}  // namespace tessivox::lv2
