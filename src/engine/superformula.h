#pragma once

#include <cstdint>

namespace tessivox {

// r(theta) of the superformula, rounded to float32 at each stored step. The
// oscillator, the shape display and the icon all call this one function, so
// they show and play the same curve.
float superformulaRadius(float theta, float m, float N1, float N2, float N3, float A, float B);

// Whether r(theta) * sin(theta), rounded to float32, is finite: for every
// theta, for none, or depending on theta (also when the bounds cannot tell).
enum class Finiteness : int32_t { Mixed, Always, Never };
Finiteness superformulaFiniteness(float m, float N1, float N2, float N3, float A, float B);

}  // namespace tessivox
