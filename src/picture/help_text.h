#pragma once

#include <string_view>

namespace tessivox {

// The Help window's first page, shared by the window and the browser page.
inline constexpr std::string_view kHelpText = R"(
Tessivox is based on the so-called SuperFormula:

r = (((Abs(A*cos(m*theta/4)))^N2) + ((Abs(B*sin(m*theta/4)))^N3)) ^ (-1/N1)

where theta is the polar angle. The shape created by this polar equation then drives the sound waveform with
amplitude given by y = r*sin(theta). Adjust waveform to stay within the red lines, else clipping can occur.

As the sound plays, you can dynamically change the value of any two parameters with the pad to the right of the
waveform display. You select 'from value' and 'to value' limits for each of the parameters by clicking on the button
adjacent to the parameter slider. Then you drag and drop the line segments in the pad - green (attack), yellow
(decay-sustain) and red (release) - according to how you want the parameter values to change within the
specified limits over the duration of the sound. Finally you tick the 'Enable' checkbox, and play the sound from a keyboard.

Unticking the 'Enable' checkbox results in only the parameter values set by the sliders influencing the sound, and not the pad.)";

}  // namespace tessivox
