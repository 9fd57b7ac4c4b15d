#pragma once

// The rules of sliders that follow learned MIDI controllers, shared by the
// window and the page: ten sliders, the six parameters, then attack, decay,
// sustain and release, each following one controller or none (-1).

#include <array>

#include "engine/engine.h"

namespace tessivox {

using LearnedControllers = std::array<int, 10>;

// Controllers a slider may follow: any but the pedal and those that end
// notes or reset controllers (All Sound Off, Reset All Controllers, All Notes Off).
constexpr bool learnableController(int controller) {
    return controller >= 0 && controller < 128 && controller != 64 && controller != 120 &&
           controller != 121 && controller != 123;
}

// A controller's value (0 to 127) spans the slider's whole range.
inline int learnedPosition(int minimum, int maximum, int value) {
    const int span = maximum - minimum;
    return minimum + roundToInt32(span * (value / 127.0));
}

// Slider k follows the controller from now on: never two sliders on one.
inline void learnController(LearnedControllers& learned, int k, int controller) {
    for (int& c : learned) c = c == controller ? -1 : c;
    learned[k] = controller;
}

}  // namespace tessivox
