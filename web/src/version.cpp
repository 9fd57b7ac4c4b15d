#include <emscripten/emscripten.h>

// The version the pages show in About.
extern "C" EMSCRIPTEN_KEEPALIVE const char* tv_version() {
    return TESSIVOX_VERSION;
}
