// The plugin's window: the program's displays, pad and controls, drawn with
// cairo on Xlib from the same pictures as the program's window. Everything
// runs on the host's UI thread: events are read and the window is drawn in
// idle(); the plugin is reached through its ports only.

#include <lv2/ui/ui.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/synth_state.h"
#include "picture/editor_model.h"
#include "picture/editor_rules.h"
#include "picture/pictures.h"
#include "picture/shape_points.h"
#include "picture/window_layout.h"
#include "sound/ports.h"

// Last: Xlib's macros (None, Status, Bool) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>

namespace tessivox::lv2 {
namespace {

// The client area without the program's menu, port list and status bar,
// with one more row for the plugin's own controls and a margin below.
constexpr int kWidth = 870;
constexpr int kHeight = 480;
constexpr ControlSpec kPadArea = controlSpec(kPadId);
// The plugin's own controls: the channel where the program has its port
// list, the tuning and the latency under the displays.
constexpr ControlSpec kChannelArea = controlSpec(kMidiPortList);
constexpr int kTuningX = 10, kTuningY = 318, kTuningWidth = 130;
constexpr int kLatencyX = 312;
// The row of the envelope's letters A, D, S and R.
constexpr int kEnvelopeLetterY = controlSpec(7).y;

// Colours of the controls, as cairo takes them.
struct Rgb {
    double r, g, b;
};
constexpr Rgb kBackground{0.937, 0.937, 0.937};
constexpr Rgb kGroove{0.75, 0.75, 0.75};
constexpr Rgb kHandle{0.55, 0.55, 0.6};
constexpr Rgb kFrame{0.35, 0.35, 0.35};
constexpr Rgb kFace{0.98, 0.98, 0.98};
constexpr Rgb kText{0.0, 0.0, 0.0};
constexpr Rgb kTipFace{1.0, 1.0, 0.863};

// As the program's window: a pause before a tooltip shows, and the steps of
// its sliders' keys.
constexpr auto kTipDelay = std::chrono::milliseconds(700);
constexpr int32_t kPageStep = 10;

// The ports of the axis limits, in the order of AxisStep.
constexpr Port kLimitPorts[] = {kXFrom, kXTo, kYFrom, kYTo};

struct Ui {
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    Display* display = nullptr;
    ::Window window = 0;
    // Drawn here and put into the window: cairo keeps nothing of the X connection.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    XImage* image = nullptr;

    // The UI's own record of what it shows; the plugin has its own.
    SynthState s;
    std::array<float, kPortCount> ports{};
    std::array<int32_t, kParamCount> paramPosition{};
    std::array<int32_t, kEnvelopeSliderCount> envelopePosition{};
    EditorModel axes;
    Canvas shape{kDisplaySize, kDisplaySize}, waveform{kWaveformWidth, kDisplaySize},
        pad{kDisplaySize, kDisplaySize};
    int held = -1;  // the control a press on it holds until the release
    int focus = -1;  // the slider the keys move
    // The control under the resting pointer, and since when; its tooltip
    // shows after kTipDelay.
    int hover = -1, pointerX = 0, pointerY = 0;
    std::chrono::steady_clock::time_point hoverSince;
    bool tipShown = false;
    bool dirty = true;
};

void send(Ui& ui, uint32_t port, float value) {
    ui.ports[port] = value;
    ui.write(ui.controller, port, sizeof value, 0, &value);
}

int32_t positionOf(const SliderSpec& spec, double value) {
    const double p = std::nearbyint(value);
    return static_cast<int32_t>(std::clamp(p, double(spec.minimum), double(spec.maximum)));
}

void updateDisplays(Ui& ui) {
    computeShapePoints(ui.s);
    drawShape(ui.s, ui.shape);
    drawWaveform(ui.s, ui.waveform);
}

// The texts of one axis from its ports: a preset or a second UI set them.
void showAxis(Ui& ui, bool x) {
    const int k = static_cast<int>(std::lround(ui.ports[x ? kXParam : kYParam]));
    // Not ParamId::None: Xlib has a macro of that name.
    const ParamId p = k < 1 || k > kParamCount ? ParamId{-1} : static_cast<ParamId>(k - 1);
    showAxis(ui.axes, x, p, ui.ports[x ? kXFrom : kYFrom], ui.ports[x ? kXTo : kYTo]);
}

// A value from the host, shown as the plugin takes it (within the port's
// range, not a number at its minimum); what the UI wrote itself comes back
// unchanged.
void portChanged(Ui& ui, uint32_t port, float value) {
    if (port >= kPortCount || kPorts[port].type == PortType::MidiIn ||
        kPorts[port].type == PortType::AudioOut) {
        return;
    }
    value = clampToPort(port, value);
    if (ui.ports[port] == value) return;
    ui.ports[port] = value;
    ui.dirty = true;
    if (port >= kM && port < kM + kParamCount) {
        const int row = static_cast<int>(port - kM);
        ui.paramPosition[row] = paramPosition(row, value);
        param(ui.s, static_cast<ParamId>(row)).store(value);
        updateDisplays(ui);
    } else if (port >= kAttack && port <= kRelease) {
        ui.envelopePosition[port - kAttack] = positionOf(kEnvelopeSliders[port - kAttack], value);
    } else if (port == kTrajectory) {
        ui.axes.enable = value >= 0.5f;
    } else if (port >= kXParam && port <= kYTo) {
        showAxis(ui, port < kYParam);
    } else if (port >= kPad && port < kPad + 8) {
        PadPoint& p = ui.s.padPoints[(port - kPad) / 2];
        ((port - kPad) % 2 == 0 ? p.x : p.y) =
            std::clamp<double>(std::nearbyint(value), 0, kPadExtent);
        drawPad(ui.s, ui.pad);
    }
}

void setParamPosition(Ui& ui, int row, int32_t position) {
    const SliderSpec& spec = kParamSliders[row];
    position = std::clamp(position, spec.minimum, spec.maximum);
    if (position == ui.paramPosition[row]) return;
    ui.paramPosition[row] = position;
    const float value = paramValueAt(row, position);
    param(ui.s, static_cast<ParamId>(row)).store(value);
    send(ui, kM + row, value);
    updateDisplays(ui);
    ui.dirty = true;
}

void setEnvelopePosition(Ui& ui, int k, int32_t position) {
    const SliderSpec& spec = kEnvelopeSliders[k];
    position = std::clamp(position, spec.minimum, spec.maximum);
    if (position == ui.envelopePosition[k]) return;
    ui.envelopePosition[k] = position;
    send(ui, kAttack + k, static_cast<float>(position));
    ui.dirty = true;
}

void axisClick(Ui& ui, int row) {
    const std::string value = valueString(paramValueAt(row, ui.paramPosition[row]));
    const AxisStep step = clickAxisButton(ui.axes, static_cast<ParamId>(row), value);
    ui.dirty = true;
    if (step == AxisStep::Reset) {
        send(ui, kTrajectory, 0);
        send(ui, kXParam, 0);
        send(ui, kYParam, 0);
        return;
    }
    const bool x = step == AxisStep::XFrom || step == AxisStep::XTo;
    send(ui, kLimitPorts[static_cast<int>(step)], limitNumber(value));
    send(ui, x ? kXParam : kYParam, static_cast<float>(row + 1));
}

// The plugin checks the rest of a ticked assignment as it runs.
void enableClick(Ui& ui) {
    ui.dirty = true;
    const bool enabled = tickEnable(ui.axes, !ui.axes.enable);
    if (enabled) {
        const Trajectory t = trajectoryOf(ui.axes);
        send(ui, kXParam, static_cast<float>(static_cast<int>(t.x) + 1));
        send(ui, kYParam, static_cast<float>(static_cast<int>(t.y) + 1));
        const float limits[] = {t.xFrom, t.xTo, t.yFrom, t.yTo};
        for (int k = 0; k < 4; ++k) send(ui, kLimitPorts[k], limits[k]);
    }
    send(ui, kTrajectory, enabled ? 1.0f : 0.0f);
}

void padMove(Ui& ui, int x, int y) {
    const std::array<PadPoint, 4> before = ui.s.padPoints;
    if (!movePadPoint(ui.s, x - kPadArea.x, y - kPadArea.y)) return;
    for (int k = 0; k < 4; ++k) {
        if (ui.s.padPoints[k] == before[k]) continue;
        send(ui, kPad + 2 * k, static_cast<float>(ui.s.padPoints[k].x));
        send(ui, kPad + 2 * k + 1, static_cast<float>(ui.s.padPoints[k].y));
    }
    drawPad(ui.s, ui.pad);
    ui.dirty = true;
}

bool inside(int x, int y, int left, int top, int width, int height) {
    return x >= left && x < left + width && y >= top && y < top + height;
}
bool inside(int x, int y, const ControlSpec& c) {
    return inside(x, y, c.x, c.y, c.width, c.height);
}

// Sliders take the position under the pointer; the handle is 10 pixels long.
int32_t positionAt(const SliderSpec& spec, int offset, int length) {
    const double t = (offset - 5.0) / (length - 10.0);
    return spec.minimum + static_cast<int32_t>(std::lround(t * (spec.maximum - spec.minimum)));
}

void drag(Ui& ui, int x, int y) {
    const ControlSpec* c = nullptr;
    for (const ControlSpec& spec : kControls) c = spec.id == ui.held ? &spec : c;
    if (!c) return;
    if (c->kind == ControlKind::ParamSlider) {
        setParamPosition(ui, c->row, positionAt(kParamSliders[c->row], x - c->x, c->width));
    } else if (c->kind == ControlKind::EnvelopeSlider) {
        // Upward: the maximum is at the top.
        setEnvelopePosition(ui, c->row,
                            positionAt(kEnvelopeSliders[c->row], c->y + c->height - y, c->height));
    }
}

const ControlSpec* controlAt(int x, int y) {
    for (const ControlSpec& c : kControls)
        if (inside(x, y, c)) return &c;
    return nullptr;
}

bool isSlider(const ControlSpec& c) {
    return c.kind == ControlKind::ParamSlider || c.kind == ControlKind::EnvelopeSlider;
}

// Moves the slider `id` to a position; `to` gives it from the current one
// and the slider's range.
template <class To>
void moveSlider(Ui& ui, const ControlSpec& c, To to) {
    if (c.kind == ControlKind::ParamSlider) {
        const SliderSpec& spec = kParamSliders[c.row];
        setParamPosition(ui, c.row, to(ui.paramPosition[c.row], spec));
    } else if (c.kind == ControlKind::EnvelopeSlider) {
        const SliderSpec& spec = kEnvelopeSliders[c.row];
        setEnvelopePosition(ui, c.row, to(ui.envelopePosition[c.row], spec));
    }
}

// The keys of the program's sliders: arrows by one, Page Up and Down by ten,
// Home and End to the ends; Tab moves among the ten sliders.
void key(Ui& ui, KeySym sym) {
    std::vector<const ControlSpec*> sliders;
    for (const ControlSpec& c : kControls)
        if (isSlider(c)) sliders.push_back(&c);
    auto focused = std::find_if(sliders.begin(), sliders.end(),
                                [&](const ControlSpec* c) { return c->id == ui.focus; });
    if (sym == XK_Tab || sym == XK_ISO_Left_Tab) {
        const long n = static_cast<long>(sliders.size());
        const long at =
            focused == sliders.end() ? (sym == XK_Tab ? -1 : 0) : focused - sliders.begin();
        ui.focus = sliders[static_cast<size_t>((at + (sym == XK_Tab ? 1 : n - 1)) % n)]->id;
        ui.dirty = true;
        return;
    }
    if (focused == sliders.end()) return;
    int32_t step = 0;
    if (sym == XK_Right || sym == XK_Up) step = 1;
    if (sym == XK_Left || sym == XK_Down) step = -1;
    if (sym == XK_Page_Up || sym == XK_Page_Down) step = sym == XK_Page_Up ? kPageStep : -kPageStep;
    if (sym == XK_Home || sym == XK_End) {
        moveSlider(ui, **focused, [sym](int32_t, const SliderSpec& spec) {
            return sym == XK_Home ? spec.minimum : spec.maximum;
        });
    } else if (step != 0) {
        moveSlider(ui, **focused, [step](int32_t at, const SliderSpec&) { return at + step; });
    }
}

// The text of the tooltip for control c, or none.
std::string tipFor(Ui& ui, const ControlSpec& c) {
    if (c.kind == ControlKind::EnvelopeSlider)
        return envelopeTip(c.row, ui.envelopePosition[c.row]);
    if (c.kind != ControlKind::AxisButton) return {};
    const std::string value = valueString(paramValueAt(c.row, ui.paramPosition[c.row]));
    return axisButtonTip(ui.axes, static_cast<ParamId>(c.row), value);
}

void pointerRests(Ui& ui, int x, int y) {
    const ControlSpec* c = controlAt(x, y);
    const int hover = c != nullptr && !tipFor(ui, *c).empty() ? c->id : -1;
    ui.pointerX = x, ui.pointerY = y;
    if (hover == ui.hover) return;
    ui.dirty |= ui.tipShown;
    ui.tipShown = false;
    ui.hover = hover;
    ui.hoverSince = std::chrono::steady_clock::now();
}

void hideTip(Ui& ui) {
    ui.dirty |= ui.tipShown;
    ui.tipShown = false;
    ui.hover = -1;
}

void press(Ui& ui, int x, int y, unsigned button) {
    if (button == 4 || button == 5) {  // the wheel steps a slider by one
        const int step = button == 4 ? 1 : -1;
        for (const ControlSpec& c : kControls)
            if (inside(x, y, c))
                moveSlider(ui, c, [step](int32_t at, const SliderSpec&) { return at + step; });
        return;
    }
    if (button != 1) return;
    if (inside(x, y, kChannelArea)) {
        const int channel = static_cast<int>(std::lround(ui.ports[kChannel]));
        const int next = (channel + (x < kChannelArea.x + kChannelArea.width / 2 ? 16 : 1)) % 17;
        send(ui, kChannel, static_cast<float>(next));
        ui.dirty = true;
        return;
    }
    if (inside(x, y, kTuningX, kTuningY, kTuningWidth, 20)) {
        send(ui, kTuning, ui.ports[kTuning] >= 0.5f ? 0.0f : 1.0f);
        ui.dirty = true;
        return;
    }
    for (const ControlSpec& c : kControls) {
        if (!inside(x, y, c)) continue;
        switch (c.kind) {
            case ControlKind::ParamSlider:
            case ControlKind::EnvelopeSlider:
                ui.held = c.id;
                ui.dirty |= ui.focus != c.id;
                ui.focus = c.id;
                drag(ui, x, y);
                return;
            case ControlKind::AxisButton:
                axisClick(ui, c.row);
                return;
            case ControlKind::EnableBox:
                enableClick(ui);
                return;
            case ControlKind::DrawingArea:
                if (c.id != kPadId) return;
                ui.held = kPadId;
                pickPadPoint(ui.s, x - kPadArea.x, y - kPadArea.y);
                return;
            default:
                break;
        }
    }
}

void motion(Ui& ui, int x, int y, bool leftDown) {
    if (!leftDown) return pointerRests(ui, x, y);
    // As in the program: a press on the pad keeps the pointer, a drag begun
    // beside it reaches it while over it.
    if (ui.held == kPadId || inside(x, y, kPadArea)) {
        padMove(ui, x, y);
    } else {
        drag(ui, x, y);
    }
}

void release(Ui& ui, int x, int y, unsigned button) {
    if (button != 1) return;
    if (ui.held == kPadId || inside(x, y, kPadArea)) ui.s.padDragState = PadDragState::Unpressed;
    ui.held = -1;
}

// ---- drawing ----------------------------------------------------------------

void colour(cairo_t* cr, Rgb c) {
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

void box(cairo_t* cr, double x, double y, double w, double h, Rgb fill) {
    colour(cr, fill);
    cairo_rectangle(cr, x + 0.5, y + 0.5, w - 1, h - 1);
    cairo_fill_preserve(cr);
    colour(cr, kFrame);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void text(cairo_t* cr, double x, double y, std::string_view s) {
    colour(cr, kText);
    cairo_move_to(cr, x, y + 14);
    cairo_show_text(cr, std::string(s).c_str());
}

void picture(cairo_t* cr, Canvas& canvas, int x, int y) {
    // The canvas' memory is a cairo RGB24 surface as it is: the same pixels.
    cairo_surface_t* image = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(canvas.pixels()), CAIRO_FORMAT_RGB24, canvas.width(),
        canvas.height(), canvas.width() * 4);
    cairo_set_source_surface(cr, image, x, y);
    cairo_rectangle(cr, x, y, canvas.width(), canvas.height());
    cairo_fill(cr);
    cairo_surface_destroy(image);
}

void slider(cairo_t* cr, const ControlSpec& c, const SliderSpec& spec, int32_t position) {
    const double t = double(position - spec.minimum) / (spec.maximum - spec.minimum);
    if (c.kind == ControlKind::ParamSlider) {
        box(cr, c.x, c.y + 8, c.width, 4, kGroove);
        box(cr, c.x + t * (c.width - 10), c.y + 2, 10, 16, kHandle);
    } else {
        box(cr, c.x + 8, c.y, 4, c.height, kGroove);
        box(cr, c.x + 2, c.y + (1 - t) * (c.height - 10), 16, 10, kHandle);
    }
}

void checkBox(cairo_t* cr, int x, int y, bool ticked, std::string_view label) {
    box(cr, x, y + 4, 12, 12, kFace);
    if (ticked) {
        colour(cr, kText);
        cairo_rectangle(cr, x + 3, y + 7, 6, 6);
        cairo_fill(cr);
    }
    text(cr, x + 16, y, label);
}

// Below and right of the pointer, kept inside the window.
void tip(cairo_t* cr, int x, int y, const std::string& s) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, s.c_str(), &extents);
    const double w = std::ceil(extents.x_advance) + 8, h = 18;
    const double left = std::clamp(x + 12.0, 0.0, kWidth - w);
    const double top = y + 20 + h <= kHeight ? y + 20.0 : y - 4 - h;
    box(cr, left, top, w, h, kTipFace);
    text(cr, left + 4, top, s);
}

void draw(Ui& ui) {
    cairo_t* cr = cairo_create(ui.surface);
    cairo_push_group(cr);
    colour(cr, kBackground);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 10);
    // What cairo gives an X window with no font settings of its own.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    const std::string* limits[] = {&ui.axes.xFrom, &ui.axes.xTo,    &ui.axes.yFrom,
                                   &ui.axes.yTo,   &ui.axes.xLabel, &ui.axes.yLabel};
    for (const ControlSpec& c : kControls) {
        switch (c.kind) {
            case ControlKind::ParamSlider:
                slider(cr, c, kParamSliders[c.row], ui.paramPosition[c.row]);
                break;
            case ControlKind::EnvelopeSlider:
                slider(cr, c, kEnvelopeSliders[c.row], ui.envelopePosition[c.row]);
                break;
            case ControlKind::ValueText:
                text(cr, c.x, c.y + 3, valueString(paramValueAt(c.row, ui.paramPosition[c.row])));
                break;
            case ControlKind::AxisButton:
                box(cr, c.x, c.y, c.width, c.height, kFace);
                break;
            case ControlKind::StaticText:
                if (c.id >= kXFromText && c.id <= kYLabel) {
                    text(cr, c.x, c.y + 3, *limits[c.id - kXFromText]);
                } else {
                    // The envelope's letters stand above their sliders' tops.
                    text(cr, c.x, c.y + (c.y == kEnvelopeLetterY ? -4 : 3), c.text);
                }
                break;
            case ControlKind::DrawingArea:
                picture(cr,
                        c.id == kShapeDisplayId      ? ui.shape
                        : c.id == kWaveformDisplayId ? ui.waveform
                                                     : ui.pad,
                        c.x, c.y);
                break;
            case ControlKind::EnableBox:
                checkBox(cr, c.x, c.y, ui.axes.enable, c.text);
                break;
            case ControlKind::PortList:
                break;
        }
    }
    const int channel = static_cast<int>(std::lround(ui.ports[kChannel]));
    box(cr, kChannelArea.x, kChannelArea.y, kChannelArea.width, kChannelArea.height, kFace);
    text(cr, kChannelArea.x + 6, kChannelArea.y + 2,
         "<  MIDI channel " + (channel == 0 ? std::string("all") : std::to_string(channel)));
    text(cr, kChannelArea.x + kChannelArea.width - 14, kChannelArea.y + 2, ">");
    checkBox(cr, kTuningX, kTuningY, ui.ports[kTuning] >= 0.5f, "Exact pitch");
    text(cr, kLatencyX, kTuningY,
         "Latency " + std::to_string(std::lround(ui.ports[kLatency])) + " frames");
    for (const ControlSpec& c : kControls) {
        if (c.id != ui.focus) continue;
        colour(cr, kFrame);
        const double dash = 1;
        cairo_set_dash(cr, &dash, 1, 0);
        cairo_rectangle(cr, c.x + 0.5, c.y + 0.5, c.width - 1, c.height - 1);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    if (ui.tipShown) {
        for (const ControlSpec& c : kControls)
            if (c.id == ui.hover) tip(cr, ui.pointerX, ui.pointerY, tipFor(ui, c));
    }
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(ui.surface);
    // Past the controls the window's own background shows, the same colour.
    XPutImage(ui.display, ui.window, DefaultGC(ui.display, DefaultScreen(ui.display)), ui.image, 0,
              0, 0, 0, kWidth, kHeight);
    ui.dirty = false;
}

// ---- LV2 ----------------------------------------------------------------------

constexpr long kEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                         StructureNotifyMask | KeyPressMask | LeaveWindowMask;

void handle(Ui& ui, XEvent& e) {
    switch (e.type) {
        case Expose:
            ui.dirty = true;
            break;
        case ButtonPress:
            hideTip(ui);
            press(ui, e.xbutton.x, e.xbutton.y, e.xbutton.button);
            break;
        case KeyPress:
            hideTip(ui);
            key(ui, XLookupKeysym(&e.xkey, 0));
            break;
        case LeaveNotify:
            hideTip(ui);
            break;
        case ButtonRelease:
            release(ui, e.xbutton.x, e.xbutton.y, e.xbutton.button);
            break;
        case MotionNotify:
            motion(ui, e.xmotion.x, e.xmotion.y, (e.xmotion.state & Button1Mask) != 0);
            break;
        default:
            break;
    }
}

// Xlib's error handler is the process's. An error on a window's own
// connection (the host destroyed the parent first, so the window went with
// it) is the window's to ignore; any other goes to the handler there was.
std::vector<Display*> ownConnections;  // UI thread
XErrorHandler previousHandler = nullptr;

int onXError(Display* display, XErrorEvent* error) {
    if (std::find(ownConnections.begin(), ownConnections.end(), display) != ownConnections.end())
        return 0;
    return previousHandler ? previousHandler(display, error) : 0;
}

Display* openConnection() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;
    if (ownConnections.empty()) previousHandler = XSetErrorHandler(onXError);
    ownConnections.push_back(display);
    return display;
}

void closeConnection(Display* display) {
    XSync(display, False);  // its errors, if any, while they are still known as its own
    XCloseDisplay(display);
    std::erase(ownConnections, display);
    if (!ownConnections.empty()) return;
    // A handler set after ours stays.
    const XErrorHandler current = XSetErrorHandler(previousHandler);
    if (current != onXError) XSetErrorHandler(current);
}

void pump(Ui& ui) {
    while (XPending(ui.display) > 0) {
        XEvent e;
        XNextEvent(ui.display, &e);
        if (e.xany.window == ui.window) handle(ui, e);
    }
}

// Each window has a connection of its own, closed with everything on it.
void cleanup(LV2UI_Handle handle) {
    std::unique_ptr<Ui> ui(static_cast<Ui*>(handle));
    if (ui->image != nullptr) {
        ui->image->data = nullptr;  // the surface's
        XDestroyImage(ui->image);
    }
    cairo_surface_destroy(ui->surface);
    if (ui->window != 0) XDestroyWindow(ui->display, ui->window);
    closeConnection(ui->display);
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (!pluginUri || kPluginUri != pluginUri || !write) return nullptr;
    void* parent = nullptr;
    LV2UI_Resize* resize = nullptr;
    for (int i = 0; features && features[i]; ++i) {
        if (!std::strcmp(features[i]->URI, LV2_UI__parent)) parent = features[i]->data;
        if (!std::strcmp(features[i]->URI, LV2_UI__resize))
            resize = static_cast<LV2UI_Resize*>(features[i]->data);
    }
    Display* display = openConnection();
    if (!display) return nullptr;
    auto ui = std::make_unique<Ui>();
    ui->display = display;
    ui->write = write;
    ui->controller = controller;
    for (uint32_t i = 0; i < kPortCount; ++i) ui->ports[i] = kPorts[i].start;
    for (int row = 0; row < kParamCount; ++row) ui->paramPosition[row] = kParamSliders[row].start;
    for (int k = 0; k < kEnvelopeSliderCount; ++k)
        ui->envelopePosition[k] = kEnvelopeSliders[k].start;
    updateDisplays(*ui);
    drawPad(ui->s, ui->pad);

    // A true-colour visual takes cairo's pixels as they are.
    const int screen = DefaultScreen(display);
    XVisualInfo visual{};
    if (cairo_surface_status(ui->surface) != CAIRO_STATUS_SUCCESS ||
        !XMatchVisualInfo(display, screen, 24, TrueColor, &visual) || visual.red_mask != 0xff0000 ||
        visual.green_mask != 0xff00 || visual.blue_mask != 0xff) {
        cleanup(ui.release());
        return nullptr;
    }
    ui->image = XCreateImage(display, visual.visual, 24, ZPixmap, 0,
                             reinterpret_cast<char*>(cairo_image_surface_get_data(ui->surface)),
                             kWidth, kHeight, 32, cairo_image_surface_get_stride(ui->surface));
    const ::Window parentWindow = parent
                                      ? static_cast<::Window>(reinterpret_cast<uintptr_t>(parent))
                                      : RootWindow(display, screen);
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(display, parentWindow, visual.visual, AllocNone);
    attributes.background_pixel = 0xefefef;
    attributes.event_mask = kEvents;
    ui->window = XCreateWindow(display, parentWindow, 0, 0, kWidth, kHeight, 0, 24, InputOutput,
                               visual.visual,
                               CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    XSizeHints hints{};
    hints.flags = PMinSize | PBaseSize;
    hints.min_width = hints.base_width = kWidth;
    hints.min_height = hints.base_height = kHeight;
    XSetWMNormalHints(display, ui->window, &hints);
    XStoreName(display, ui->window, "Tessivox UI");
    XMapWindow(display, ui->window);
    // The host asks about the window on its own connection as soon as it has its id.
    XSync(display, False);
    if (resize) resize->ui_resize(resize->handle, kWidth, kHeight);
    *widget = reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(ui->window));
    return ui.release();
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
    if (format != 0 || size != sizeof(float) || !buffer) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    portChanged(*static_cast<Ui*>(handle), port, value);
}

int idle(LV2UI_Handle handle) {
    Ui& ui = *static_cast<Ui*>(handle);
    pump(ui);
    if (ui.hover >= 0 && !ui.tipShown &&
        std::chrono::steady_clock::now() - ui.hoverSince >= kTipDelay) {
        ui.tipShown = ui.dirty = true;
    }
    if (ui.dirty) draw(ui);
    XFlush(ui.display);
    return 0;
}

// The host sizes the window: the controls keep their places.
int hostResized(LV2UI_Feature_Handle handle, int width, int height) {
    Ui& ui = *static_cast<Ui*>(handle);
    if (width <= 0 || height <= 0) return 1;
    XResizeWindow(ui.display, ui.window, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    XFlush(ui.display);
    return 0;
}

const void* extensionData(const char* uri) {
    static const LV2UI_Idle_Interface kIdle = {idle};
    static const LV2UI_Resize kResize = {nullptr, hostResized};
    if (!std::strcmp(uri, LV2_UI__idleInterface)) return &kIdle;
    if (!std::strcmp(uri, LV2_UI__resize)) return &kResize;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri.data(), instantiate, cleanup, portEvent,
                                      extensionData};

}  // namespace
}  // namespace tessivox::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &tessivox::lv2::kDescriptor : nullptr;
}
