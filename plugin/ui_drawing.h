#pragma once
// The plugin window's face, drawn with cairo.

#include <cairo.h>

#include "ui_editor.h"

namespace tessivox::lv2 {

// The whole window as the editor has it, into an RGB24 surface of kWidth by
// kHeight.
void drawWindow(cairo_surface_t* surface, const Editor& ed);

}  // namespace tessivox::lv2
