// Opens and closes the plugin's window CYCLES times as a host would, under
// the X server in DISPLAY: a parent window, every port sent (out-of-range and
// non-finite values among them), some idle calls or none, a resize from each
// side; every fourth host destroys the parent first. The library is loaded
// for each window and unloaded after it, as
// suil does. Prints the host's resident memory and open files after the
// first tenth and at the end; fails if memory grew by more than 2 MB
// meanwhile or a file (an X connection) was left open.
//
//   ui_cycles UI_BINARY CYCLES
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <X11/Xlib.h>
#include <lv2/ui/ui.h>

#include "sound/ports.h"

namespace {

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

long openFiles() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return std::distance(begin(fds), end(fds));
}

std::pair<int, int> asked{0, 0};
int hostResize(LV2UI_Feature_Handle, int w, int h) {
    asked = {w, h};
    return 0;
}

void write(LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {}

}  // namespace

int main(int argc, char** argv) {
    using namespace tessivox::lv2;
    if (argc != 3) return 2;
    // Loaded for good, as in GTK hosts.
    dlopen("libcairo.so.2", RTLD_NOW | RTLD_GLOBAL);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return std::fprintf(stderr, "no display\n"), 1;
    const int cycles = std::atoi(argv[2]);
    long early = 0;
    long earlyFiles = 0;
    for (int i = 0; i < cycles; ++i) {
        void* so = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
        auto get = so ? reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(so, "lv2ui_descriptor"))
                      : nullptr;
        const LV2UI_Descriptor* d = get ? get(0) : nullptr;
        if (!d) return std::fprintf(stderr, "no UI\n"), 1;
        auto idle =
            static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
        auto resize = static_cast<const LV2UI_Resize*>(d->extension_data(LV2_UI__resize));
        const Window parent =
            XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 900, 500, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
        LV2UI_Resize hostSide{nullptr, hostResize};
        const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
        const LV2_Feature resizeFeature{LV2_UI__resize, &hostSide};
        const LV2_Feature* features[] = {&parentFeature, &resizeFeature, nullptr};
        LV2UI_Widget widget = nullptr;
        LV2UI_Handle ui =
            d->instantiate(d, kPluginUri.data(), "", write, nullptr, &widget, features);
        if (!ui || !widget || asked != std::pair{870, 480})
            return std::fprintf(stderr, "cycle %d: no window\n", i), 1;
        const float odd[] = {NAN, INFINITY, -1e30f, 1e30f, 0.5f};
        for (uint32_t p = 0; p < kPortCount; ++p) {
            const float v = i % 2 ? odd[(p + i) % 5] : kPorts[p].maximum;
            d->port_event(ui, p, sizeof v, 0, &v);
        }
        d->port_event(ui, kPortCount + 5, 4, 0, odd);  // no such port
        resize->ui_resize(ui, 400 + i, 300);
        for (int k = 0; k < (i % 3) * 2; ++k) idle->idle(ui);  // every third: never idle
        // Every fourth host destroys the parent first, taking the window with it.
        const bool parentFirst = i % 4 == 3;
        if (parentFirst) XDestroyWindow(display, parent), XSync(display, False);
        d->cleanup(ui);
        if (!parentFirst) XDestroyWindow(display, parent);
        XSync(display, False);
        dlclose(so);
        if (i == cycles / 10) early = residentKb(), earlyFiles = openFiles();
    }
    const long late = residentKb();
    const long lateFiles = openFiles();
    std::printf(
        "%d cycles: resident %ld kB and %ld files after %d, %ld kB and %ld files at the end\n",
        cycles, early, earlyFiles, cycles / 10, late, lateFiles);
    XCloseDisplay(display);
    return late - early > 2048 || lateFiles != earlyFiles ? 1 : 0;
}
