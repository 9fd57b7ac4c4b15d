// The plugin's window: the program's displays, pad and controls, drawn with
// cairo on Xlib from the same pictures as the program's window. Everything
// runs on the host's UI thread: events are read and the window is drawn in
// idle(); the plugin is reached through its ports only.

#include <lv2/core/lv2_util.h>
#include <lv2/ui/ui.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "ui_drawing.h"
#include "ui_editor.h"

// Last: Xlib's macros (None, Status, Bool) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>

namespace tessivox::lv2 {
namespace {

struct Ui {
    Display* display = nullptr;
    ::Window window = 0;
    // Drawn here and put into the window: cairo keeps nothing of the X connection.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    XImage* image = nullptr;
    Editor editor;
};

// The editor's keys, as the keyboard's first group gives them.
Key keyOf(KeySym sym) {
    static constexpr std::pair<KeySym, Key> kKeys[] = {
        {XK_Tab, Key::Tab},        {XK_ISO_Left_Tab, Key::BackTab},
        {XK_Left, Key::Left},      {XK_Right, Key::Right},
        {XK_Up, Key::Up},          {XK_Down, Key::Down},
        {XK_Page_Up, Key::PageUp}, {XK_Page_Down, Key::PageDown},
        {XK_Home, Key::Home},      {XK_End, Key::End}};
    for (const auto& [known, k] : kKeys)
        if (known == sym) return k;
    return Key::Other;
}

constexpr long kEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                         StructureNotifyMask | KeyPressMask | LeaveWindowMask;

void onEvent(Editor& ed, XEvent& e) {
    if (e.type == ButtonPress || e.type == KeyPress || e.type == LeaveNotify) hideTip(ed);
    if (e.type == Expose) {
        ed.dirty = true;
    } else if (e.type == ButtonPress) {
        press(ed, e.xbutton.x, e.xbutton.y, e.xbutton.button);
    } else if (e.type == ButtonRelease) {
        release(ed, e.xbutton.x, e.xbutton.y, e.xbutton.button);
    } else if (e.type == KeyPress) {
        key(ed, keyOf(XLookupKeysym(&e.xkey, 0)));
    } else if (e.type == MotionNotify) {
        motion(ed, e.xmotion.x, e.xmotion.y, (e.xmotion.state & Button1Mask) != 0);
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
    lv2_features_query(features, LV2_UI__parent, &parent, false, LV2_UI__resize, &resize, false,
                       nullptr);
    Display* display = openConnection();
    if (!display) return nullptr;
    auto ui = std::make_unique<Ui>();
    ui->display = display;
    ui->editor.write = [write, controller](uint32_t port, float value) {
        write(controller, port, sizeof value, 0, &value);
    };

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
    portChanged(static_cast<Ui*>(handle)->editor, port, value);
}

int idle(LV2UI_Handle handle) {
    Ui& ui = *static_cast<Ui*>(handle);
    while (XPending(ui.display) > 0) {
        XEvent e;
        XNextEvent(ui.display, &e);
        if (e.xany.window == ui.window) onEvent(ui.editor, e);
    }
    showTipIfDue(ui.editor, std::chrono::steady_clock::now());
    if (ui.editor.dirty) {
        drawWindow(ui.surface, ui.editor);
        // Past the controls the window's own background shows, the same colour.
        XPutImage(ui.display, ui.window, DefaultGC(ui.display, DefaultScreen(ui.display)), ui.image,
                  0, 0, 0, 0, kWidth, kHeight);
        ui.editor.dirty = false;
    }
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
