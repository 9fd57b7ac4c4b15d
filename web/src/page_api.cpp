// The page's side of the module: what the window shows and its rules, for the
// page's own instance. The page keeps every port value here and sends the
// audio worklet whichever changed; the pictures come from the project's canvas.

#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "picture/controller_learn.h"
#include "picture/editor_model.h"
#include "picture/editor_rules.h"
#include "picture/help_text.h"
#include "picture/pictures.h"
#include "picture/shape_points.h"
#include "picture/window_layout.h"
#include "sound/factory_sounds.h"
#include "sound/history.h"
#include "sound/ports.h"
#include "sound/sound_names.h"

#define TVP extern "C" EMSCRIPTEN_KEEPALIVE

namespace tessivox::sound {
// The module leaves out the sound files (sound.cpp): only their start is needed.
Sound startSound() {
    Sound sound;
    for (uint32_t port = 0; port < lv2::kPortCount; ++port)
        sound.values[port] = lv2::kPorts[port].start;
    return sound;
}
}  // namespace tessivox::sound

namespace tessivox::lv2 {
namespace {

enum Area { kShapeArea, kWaveformArea, kPadArea };

struct Page {
    EngineState engine;  // the values the pictures show
    EditorState view;
    EditorModel axes;
    std::array<float, kPortCount> ports{};
    std::array<int32_t, kParamCount> paramPosition{};
    std::array<int32_t, kEnvelopeSliderCount> envelopePosition{};
    std::array<Canvas, 3> canvases{Canvas(kDisplaySize, kDisplaySize),
                                   Canvas(kWaveformWidth, kDisplaySize),
                                   Canvas(kDisplaySize, kDisplaySize)};
    std::vector<uint8_t> rgba = std::vector<uint8_t>(4 * kDisplaySize * kDisplaySize);
    std::array<float, kPortCount> incoming{};  // a whole sound the page writes before applying
    std::string text;                          // the last string handed out
    std::array<std::string, 5> bundle;
    sound::History history{sound::startSound()};
    LearnedControllers learned{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

Page& page() {
    static Page p;
    return p;
}

const char* hand(std::string s) {
    page().text = std::move(s);
    return page().text.c_str();
}

bool controlPort(uint32_t port) {
    return port < kPortCount && kPorts[port].type == PortType::Control;
}

// A port a sound holds: the player's channel and pedal are not the sound's.
bool soundPort(uint32_t port) {
    return controlPort(port) && !playersPort(port);
}

void updateDisplays(Page& p) {
    computeShapePoints(p.engine, p.view);
    drawShape(p.view, p.canvases[kShapeArea]);
    drawWaveform(p.view, p.canvases[kWaveformArea]);
}

std::string shownValue(const Page& p, int row) {
    return valueString(paramValueAt(row, p.paramPosition[row]));
}

// The axis ports from the texts shown, as the window reads its sound: an axis
// with only its 'from' keeps 'to' equal to it.
void axisPortsFromTexts(Page& p) {
    const EditorModel& m = p.axes;
    p.ports[kXParam] = p.ports[kYParam] = 0;
    const auto axis = [&](const std::string& label, const std::string& from, const std::string& to,
                          Port param, Port fromPort, Port toPort) {
        const int row = static_cast<int>(paramIdFromName(label));
        if (row < 0 || from.empty()) return;
        p.ports[param] = static_cast<float>(row + 1);
        p.ports[fromPort] = clampToPort(fromPort, limitNumber(from));
        p.ports[toPort] = clampToPort(toPort, to.empty() ? limitNumber(from) : limitNumber(to));
    };
    axis(m.xLabel, m.xFrom, m.xTo, kXParam, kXFrom, kXTo);
    axis(m.yLabel, m.yFrom, m.yTo, kYParam, kYFrom, kYTo);
    p.ports[kTrajectory] = m.enable ? 1.0f : 0.0f;
}

// Unticked, the parameters are the sliders' again.
void paramsFromSliders(Page& p) {
    for (int row = 0; row < kParamCount; ++row)
        param(p.engine, static_cast<ParamId>(row)).store(paramValueAt(row, p.paramPosition[row]));
}

// A value from a sound, shown as the plugin takes it.
void setPort(Page& p, uint32_t port, float value) {
    if (!controlPort(port)) return;
    value = clampToPort(port, value);
    p.ports[port] = value;
    if (port >= kM && port < kM + kParamCount) {
        const int row = static_cast<int>(port - kM);
        p.paramPosition[row] = paramPosition(row, value);
        param(p.engine, static_cast<ParamId>(row)).store(value);
    } else if (port >= kAttack && port <= kRelease) {
        p.envelopePosition[port - kAttack] = static_cast<int32_t>(value);
    } else if (port >= kPad && port < kPad + 8) {
        PadPoint& point = p.view.padPoints[(port - kPad) / 2];
        ((port - kPad) % 2 == 0 ? point.x : point.y) = value;
    }
}

void applySound(Page& p, const std::array<float, kPortCount>& values) {
    for (uint32_t port = 0; port < kPortCount; ++port)
        if (soundPort(port)) setPort(p, port, values[port]);
    // The sound holds what the sliders show, as the window reads its sound back.
    for (int row = 0; row < kParamCount; ++row)
        p.ports[kM + row] = paramValueAt(row, p.paramPosition[row]);
    for (const bool x : {true, false}) {
        const AxisPorts a = axisFromPorts(p.ports.data(), x);
        showAxis(p.axes, x, a.row < 0 ? ParamId::None : static_cast<ParamId>(a.row), a.from, a.to);
    }
    // A tick stands only with all four limits, as when the user ticks it.
    tickEnable(p.axes, p.ports[kTrajectory] >= 0.5f);
    axisPortsFromTexts(p);
    paramsFromSliders(p);
    updateDisplays(p);
    drawPad(p.view, p.canvases[kPadArea]);
}

std::array<float, kPortCount> startValues() {
    std::array<float, kPortCount> v{};
    for (uint32_t port = 0; port < kPortCount; ++port) v[port] = kPorts[port].start;
    return v;
}

// A factory sound's settings over the start values, as the bundle writes them.
bool factoryValues(const Preset& preset, std::array<float, kPortCount>& v) {
    v = startValues();
    const std::string settings = preset.settings;
    size_t at = 0;
    while ((at = settings.find_first_not_of(' ', at)) != std::string::npos) {
        const size_t equals = settings.find('=', at);
        const size_t end = std::min(settings.find(' ', at), settings.size());
        if (equals == std::string::npos || equals > end) return false;
        const std::string symbol = settings.substr(at, equals - at);
        const auto port = std::find_if(kPorts.begin(), kPorts.end(),
                                       [&](const PortSpec& s) { return s.symbol == symbol; });
        if (port == kPorts.end()) return false;
        v[port - kPorts.begin()] = std::strtof(settings.c_str() + equals + 1, nullptr);
        at = end;
    }
    return true;
}

// A name as serd quotes it: long quotes when it holds a quote.
std::string turtleString(const std::string& text) {
    const bool quoted = text.find('"') != std::string::npos;
    std::string out = quoted ? "\"\"\"" : "\"";
    int quotes = 0;  // quotes just written, unescaped
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') out += '\\';
        const bool escape = c == '"' && (!quoted || quotes == 2 || i + 1 == text.size());
        if (escape) out += '\\';
        quotes = c == '"' && !escape ? quotes + 1 : 0;
        out += c;
    }
    return out + (quoted ? "\"\"\"" : "\"");
}

// A preset file in the form the window saves, through serd: the subject is
// the file itself; the manifest names the file again.
std::string presetTtl(const std::string& fileName, const std::string* name,
                      const std::array<float, kPortCount>& values) {
    std::string t =
        "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
        "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n<" +
        fileName + ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" + std::string(kPluginUri) + "> ;\n";
    if (name == nullptr) return t + "\trdfs:seeAlso <" + fileName + "> .\n\n";
    t += "\trdfs:label " + turtleString(*name) + " ;\n\tlv2:port [";
    bool first = true;
    for (uint32_t port = 0; port < kPortCount; ++port) {
        if (!soundPort(port)) continue;
        t += std::string(first ? "" : " , [") + "\n\t\tlv2:symbol \"" +
             std::string(kPorts[port].symbol) + "\" ;\n\t\tpset:value " +
             turtleNumber(values[port], false) + "\n\t]";
        first = false;
    }
    return t + " .\n\n";
}

}  // namespace
}  // namespace tessivox::lv2

using namespace tessivox;
using namespace tessivox::lv2;

namespace {
constexpr int kPortTotal = kPortCount;
}

// --- the window's layout --------------------------------------------------

TVP int tvp_control_count() {
    return kControlCount;
}

// Field 0..6: id, kind, x, y, width, height, row.
TVP int tvp_control(int i, int field) {
    if (i < 0 || i >= kControlCount) return -1;
    const ControlSpec& c = kControls[i];
    const int fields[] = {c.id, static_cast<int>(c.kind), c.x, c.y, c.width, c.height, c.row};
    return field >= 0 && field < 7 ? fields[field] : -1;
}

TVP const char* tvp_control_text(int i) {
    if (i < 0 || i >= kControlCount) return hand({});
    return hand(std::string(kControls[i].text));
}

// Field 0..2: minimum, maximum, start of a parameter (kind 0) or envelope slider.
TVP int tvp_slider(int kind, int row, int field) {
    if (row < 0 || row >= (kind == 0 ? kParamCount : kEnvelopeSliderCount)) return 0;
    const SliderSpec& s = kind == 0 ? kParamSliders[row] : kEnvelopeSliders[row];
    return field == 0 ? s.minimum : field == 1 ? s.maximum : s.start;
}

TVP const char* tvp_version() {
    return TESSIVOX_VERSION;
}

TVP const char* tvp_help_text() {
    return kHelpText.data();
}

// --- the sliders, the axis buttons and Enable -----------------------------

TVP void tvp_move_param(int row, int position) {
    if (row < 0 || row >= kParamCount) return;
    Page& p = page();
    const SliderSpec& s = kParamSliders[row];
    p.paramPosition[row] = std::clamp(position, s.minimum, s.maximum);
    const float value = paramValueAt(row, p.paramPosition[row]);
    p.ports[kM + row] = value;
    param(p.engine, static_cast<ParamId>(row)).store(value);
    updateDisplays(p);
}

TVP void tvp_move_envelope(int k, int position) {
    if (k < 0 || k >= kEnvelopeSliderCount) return;
    Page& p = page();
    const SliderSpec& s = kEnvelopeSliders[k];
    p.envelopePosition[k] = std::clamp(position, s.minimum, s.maximum);
    p.ports[lv2::kAttack + k] = static_cast<float>(p.envelopePosition[k]);
}

TVP int tvp_param_position(int row) {
    return row >= 0 && row < kParamCount ? page().paramPosition[row] : 0;
}

TVP int tvp_envelope_position(int k) {
    return k >= 0 && k < kEnvelopeSliderCount ? page().envelopePosition[k] : 0;
}

TVP const char* tvp_value_text(int row) {
    return hand(row >= 0 && row < kParamCount ? shownValue(page(), row) : "");
}

TVP const char* tvp_envelope_tip(int k) {
    return hand(k >= 0 && k < kEnvelopeSliderCount ? envelopeTip(k, page().envelopePosition[k])
                                                   : "");
}

TVP const char* tvp_axis_tip(int row) {
    if (row < 0 || row >= kParamCount) return hand({});
    return hand(axisButtonTip(page().axes, static_cast<ParamId>(row), shownValue(page(), row)));
}

// Returns the AxisStep taken.
TVP int tvp_axis_click(int row) {
    if (row < 0 || row >= kParamCount) return -1;
    Page& p = page();
    const AxisStep step = clickAxisButton(p.axes, static_cast<ParamId>(row), shownValue(p, row));
    if (step == AxisStep::Reset) paramsFromSliders(p);
    axisPortsFromTexts(p);
    return static_cast<int>(step);
}

// The six texts in the order of their controls' ids (kXFromText on).
TVP const char* tvp_axis_text(int k) {
    if (k < 0 || k >= 6) return hand({});
    return hand(*axisTextsOf(page().axes)[k]);
}

TVP int tvp_enable_ticked() {
    return page().axes.enable ? 1 : 0;
}

// Enable ticked or unticked by the user; returns whether it stands ticked.
TVP int tvp_click_enable(int ticked) {
    Page& p = page();
    const bool enabled = tickEnable(p.axes, ticked != 0);
    if (!enabled) paramsFromSliders(p);
    axisPortsFromTexts(p);
    return enabled ? 1 : 0;
}

// --- sliders that follow learned MIDI controllers ---------------------------
// Slider k: the six parameters, then attack, decay, sustain and release.

// Slider k follows the controller from now on, and no other slider does; 0
// (and nothing changes) when the controller is none a slider may follow.
TVP int tvp_learn(int k, int controller) {
    Page& p = page();
    if (k < 0 || k >= static_cast<int>(p.learned.size()) || !learnableController(controller))
        return 0;
    learnController(p.learned, k, controller);
    return 1;
}

TVP void tvp_forget(int k) {
    if (k >= 0 && k < static_cast<int>(page().learned.size())) page().learned[k] = -1;
}

// The controller slider k follows, or -1.
TVP int tvp_learned(int k) {
    return k >= 0 && k < static_cast<int>(page().learned.size()) ? page().learned[k] : -1;
}

// The position a controller's value (0 to 127) gives slider k.
TVP int tvp_learned_position(int k, int value) {
    if (k < 0 || k >= kParamCount + kEnvelopeSliderCount) return 0;
    const SliderSpec& s = k < kParamCount ? kParamSliders[k] : kEnvelopeSliders[k - kParamCount];
    return learnedPosition(s.minimum, s.maximum, std::clamp(value, 0, 127));
}

// --- the pad, in pad pixels -----------------------------------------------

TVP void tvp_pad_press(int x, int y) {
    pickPadPoint(page().view, x, y);
}

// Returns 1 when the pad was drawn again.
TVP int tvp_pad_move(int x, int y) {
    Page& p = page();
    if (!movePadPoint(p.engine, p.view, x, y)) return 0;
    for (int k = 0; k < 4; ++k) {
        p.ports[kPad + 2 * k] = static_cast<float>(p.view.padPoints[k].x);
        p.ports[kPad + 2 * k + 1] = static_cast<float>(p.view.padPoints[k].y);
    }
    drawPad(p.view, p.canvases[kPadArea]);
    return 1;
}

TVP void tvp_pad_release() {
    page().view.padDragState = PadDragState::Unpressed;
}

// --- the pictures ---------------------------------------------------------

// The parameters a running trajectory has moved, as the sound reports them:
// the displays drawn again from them.
TVP void tvp_follow_params(float m, float n1, float n2, float n3, float a, float b) {
    Page& p = page();
    const float values[kParamCount] = {m, n1, n2, n3, a, b};
    for (int row = 0; row < kParamCount; ++row)
        param(p.engine, static_cast<ParamId>(row)).store(values[row]);
    updateDisplays(p);
}

TVP int tvp_picture_width(int area) {
    return area == kWaveformArea ? kWaveformWidth : kDisplaySize;
}

TVP int tvp_picture_height(int) {
    return kDisplaySize;
}

// The area's pixels as RGBA bytes, for putImageData.
TVP const uint8_t* tvp_picture(int area) {
    Page& p = page();
    const Canvas& c = p.canvases[std::clamp(area, 0, 2)];
    const size_t n = static_cast<size_t>(c.width()) * c.height();
    for (size_t i = 0; i < n; ++i) {
        const uint32_t px = c.pixels()[i];
        p.rgba[4 * i] = static_cast<uint8_t>(px >> 16);
        p.rgba[4 * i + 1] = static_cast<uint8_t>(px >> 8);
        p.rgba[4 * i + 2] = static_cast<uint8_t>(px);
        p.rgba[4 * i + 3] = 0xff;
    }
    return p.rgba.data();
}

// --- ports and sounds -----------------------------------------------------

TVP int tvp_port_count() {
    return kPortCount;
}

TVP const char* tvp_port_symbol(int port) {
    return hand(port >= 0 && port < kPortTotal ? std::string(kPorts[port].symbol) : "");
}

TVP const char* tvp_port_name(int port) {
    return hand(port >= 0 && port < kPortTotal ? std::string(kPorts[port].name) : "");
}

// Field 0..4: minimum, maximum, start, properties, whether a sound holds it.
TVP float tvp_port_info(int port, int field) {
    if (port < 0 || port >= kPortTotal) return 0;
    const PortSpec& s = kPorts[port];
    const float fields[] = {s.minimum, s.maximum, s.start, static_cast<float>(s.properties),
                            soundPort(port) ? 1.0f : 0.0f};
    return field >= 0 && field < 5 ? fields[field] : 0;
}

TVP const char* tvp_choice_label(int port, int k) {
    const auto labels = choiceLabels(port < 0 ? kPortTotal : port);
    return hand(k >= 0 && k < static_cast<int>(labels.size()) ? std::string(labels[k]) : "");
}

// Whether a value may stand in a sound as it is: a control's, within its
// range, whole where the port takes whole numbers.
TVP int tvp_port_accepts(int port, float value) {
    if (port < 0 || !controlPort(port) || !std::isfinite(value)) return 0;
    const PortSpec& s = kPorts[port];
    const bool whole = !(s.properties & (kInteger | kToggled)) || value == std::nearbyint(value);
    return value >= s.minimum && value <= s.maximum && whole ? 1 : 0;
}

TVP float tvp_port(int port) {
    return port >= 0 && port < kPortTotal ? page().ports[port] : 0;
}

// A playing setting or the player's own, as the plugin takes it.
TVP void tvp_set_port(int port, float value) {
    if (port >= static_cast<int>(kTuning) && port < kPortTotal) setPort(page(), port, value);
}

// The page writes a whole sound here (every port at its start to begin
// with), then applies it.
TVP float* tvp_sound_buffer() {
    page().incoming = startValues();
    return page().incoming.data();
}

TVP void tvp_apply_sound() {
    applySound(page(), page().incoming);
}

TVP int tvp_factory_count() {
    return static_cast<int>(std::size(kPresets));
}

TVP const char* tvp_factory_label(int i) {
    return hand(i >= 0 && i < tvp_factory_count() ? kPresets[i].label : "");
}

// Returns 1 when the sound is applied.
TVP int tvp_apply_factory(int i) {
    if (i < 0 || i >= tvp_factory_count() || !factoryValues(kPresets[i], page().incoming)) return 0;
    applySound(page(), page().incoming);
    return 1;
}

// The start of the page: every port at its start, the pictures as the
// window shows them first (the shape blank until the first update).
TVP void tvp_start() {
    Page& p = page();
    p.ports = startValues();
    applySound(p, p.ports);
    // The axis texts start as the window's controls do ("X", "Y").
    for (const ControlSpec& c : kControls) {
        if (c.id >= kXFromText && c.id <= kYLabel)
            *axisTextsOf(p.axes)[c.id - kXFromText] = std::string(c.text);
    }
}

// The preset bundle of the sound the page holds, named `name`: what
// tvp_bundle_file(0..2) hands out are the bundle's folder, the preset file's
// name and its text; 3 and 4 the manifest's. Returns why not, or "".
TVP const char* tvp_make_bundle(const char* name) {
    Page& p = page();
    const std::string n = name;
    if (std::string problem = sound::nameProblem(n); !problem.empty()) return hand(problem);
    const std::string symbol = sound::symbolOf(n);
    const std::string file = symbol + ".ttl";
    p.bundle = {"Tessivox_" + symbol + ".preset.lv2", file, presetTtl(file, &n, p.ports),
                "manifest.ttl", presetTtl(file, nullptr, p.ports)};
    return hand({});
}

TVP const char* tvp_bundle_file(int k) {
    return hand(k >= 0 && k < 5 ? page().bundle[k] : "");
}

// --- steps back and forth, and the title ----------------------------------

namespace {
// The sound the controls hold, as the window reads it: the player's ports
// are no part of it.
sound::Sound currentSound() {
    Page& p = page();
    sound::Sound now = sound::startSound();
    for (uint32_t port = 0; port < kPortCount; ++port)
        if (soundPort(port)) now.values[port] = p.ports[port];
    now.name = p.history.now().name;
    return now;
}
}  // namespace

// A finished edit becomes a step back; `loaded` (0 or 1) makes it what the
// name `name` (the sound's own when null) stands for.
TVP int tvp_commit(int loaded, const char* name) {
    Page& p = page();
    sound::Sound now = currentSound();
    if (name) now.name = name;
    return p.history.commit(now, joinedTexts(p.axes), loaded != 0) ? 1 : 0;
}

// Saved under `name`, or (null) no longer any sound's.
TVP void tvp_rename(const char* name) {
    page().history.rename(name ? name : "", name != nullptr);
}

TVP const char* tvp_sound_name() {
    return hand(page().history.now().name);
}

// A step back (1) or forth (0); returns whether there was one. The axis
// texts come back as they were, and a ticked Enable takes them again.
TVP int tvp_step(int back) {
    Page& p = page();
    const std::optional<sound::Sound> s = back ? p.history.undo() : p.history.redo();
    if (!s) return 0;
    applySound(p, s->values);
    EditorModel m = p.axes;
    if (takeJoinedTexts(m, p.history.view())) {
        p.axes = m;
        if (p.axes.enable) tickEnable(p.axes, true);
        axisPortsFromTexts(p);
    }
    return 1;
}

// Field 0: whether there is a step back, 1: forth.
TVP int tvp_can_step(int back) {
    return back ? page().history.canUndo() : page().history.canRedo();
}

TVP const char* tvp_title() {
    return hand(sound::titleOf(page().history));
}
