#include "ui_drawing.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "picture/editor_rules.h"

namespace tessivox::lv2 {
namespace {

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

void picture(cairo_t* cr, const Canvas& canvas, int x, int y) {
    // The canvas' memory is a cairo RGB24 surface as it is: the same pixels.
    // As a source it is only read.
    cairo_surface_t* image = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(canvas.pixels())),
        CAIRO_FORMAT_RGB24, canvas.width(), canvas.height(), canvas.width() * 4);
    cairo_set_source_surface(cr, image, x, y);
    cairo_rectangle(cr, x, y, canvas.width(), canvas.height());
    cairo_fill(cr);
    cairo_surface_destroy(image);
}

void slider(cairo_t* cr, const ControlSpec& c, const SliderSpec& range, int32_t position) {
    const double t = double(position - range.minimum) / (range.maximum - range.minimum);
    if (c.kind == ControlKind::ParamSlider) {
        box(cr, c.x, c.y + 8, c.width, 4, kGroove);
        box(cr, c.x + t * (c.width - 10), c.y + 2, 10, 16, kHandle);
    } else {
        box(cr, c.x + 8, c.y, 4, c.height, kGroove);
        box(cr, c.x + 2, c.y + (1 - t) * (c.height - 10), 16, 10, kHandle);
    }
}

void checkBox(cairo_t* cr, const ControlSpec& c, bool ticked) {
    box(cr, c.x, c.y + 4, 12, 12, kFace);
    if (ticked) {
        colour(cr, kText);
        cairo_rectangle(cr, c.x + 3, c.y + 7, 6, 6);
        cairo_fill(cr);
    }
    text(cr, c.x + 16, c.y, c.text);
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

// What cairo gives an X window with no font settings of its own.
void setFont(cairo_t* cr) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 10);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

void control(cairo_t* cr, const Editor& ed, const ControlSpec& c) {
    const EditorModel& m = ed.axes;
    switch (c.kind) {
        case ControlKind::ParamSlider:
        case ControlKind::EnvelopeSlider:
            slider(cr, c, rangeOf(c), positionOf(ed, c));
            break;
        case ControlKind::ValueText:
            text(cr, c.x, c.y + 3, valueString(paramValueAt(c.row, ed.paramPosition[c.row])));
            break;
        case ControlKind::AxisButton:
            box(cr, c.x, c.y, c.width, c.height, kFace);
            break;
        case ControlKind::StaticText:
            if (c.id >= kXFromText && c.id <= kYLabel) {
                text(cr, c.x, c.y + 3, *axisTextsOf(m)[c.id - kXFromText]);
            } else {
                // The envelope's letters stand above their sliders' tops.
                text(cr, c.x, c.y + (c.y == kEnvelopeLetterY ? -4 : 3), c.text);
            }
            break;
        case ControlKind::DrawingArea:
            picture(cr,
                    c.id == kShapeDisplayId      ? ed.shape
                    : c.id == kWaveformDisplayId ? ed.waveform
                                                 : ed.pad,
                    c.x, c.y);
            break;
        case ControlKind::EnableBox:
            checkBox(cr, c, m.enable);
            break;
        case ControlKind::PortList:
            break;
    }
}

// The plugin's own controls, where the program has none.
void ownControls(cairo_t* cr, const Editor& ed) {
    const int channel = static_cast<int>(std::lround(ed.ports[kChannel]));
    box(cr, kChannelArea.x, kChannelArea.y, kChannelArea.width, kChannelArea.height, kFace);
    text(cr, kChannelArea.x + 6, kChannelArea.y + 2,
         "<  MIDI channel " + (channel == 0 ? std::string("all") : std::to_string(channel)));
    text(cr, kChannelArea.x + kChannelArea.width - 14, kChannelArea.y + 2, ">");
    checkBox(cr, kTuningArea, ed.ports[kTuning] >= 0.5f);
    text(cr, kLatencyX, kTuningArea.y,
         "Latency " + std::to_string(std::lround(ed.ports[kLatency])) + " frames");
}

void focusFrame(cairo_t* cr, const ControlSpec& c) {
    colour(cr, kFrame);
    const double dash = 1;
    cairo_set_dash(cr, &dash, 1, 0);
    cairo_rectangle(cr, c.x + 0.5, c.y + 0.5, c.width - 1, c.height - 1);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
}

}  // namespace

void drawWindow(cairo_surface_t* surface, const Editor& ed) {
    cairo_t* cr = cairo_create(surface);
    cairo_push_group(cr);
    colour(cr, kBackground);
    cairo_paint(cr);
    setFont(cr);
    for (const ControlSpec& c : kControls) control(cr, ed, c);
    ownControls(cr, ed);
    for (const ControlSpec& c : kControls)
        if (c.id == ed.focus) focusFrame(cr, c);
    if (ed.tipShown) {
        for (const ControlSpec& c : kControls)
            if (c.id == ed.hover) tip(cr, ed.pointerX, ed.pointerY, tipFor(ed, c));
    }
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
}

}  // namespace tessivox::lv2
