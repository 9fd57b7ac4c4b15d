#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tessivox {

// One slider whose position the synthesis reads: its range, its start
// position and what a position is divided by to give the value it stands for.
struct SliderSpec {
    std::string_view name;
    int32_t minimum;
    int32_t maximum;
    int32_t start;
    double divisor;
    // An axis 'from' limit taken from this slider must not pass its maximum.
    // N1..N3 take any 'from' above their minimum.
    bool fromCappedAtMaximum = true;
};

inline constexpr int kParamCount = 6;

// The six parameters, in the order the window lists them.
inline constexpr std::array<SliderSpec, kParamCount> kParamSliders{{
    {"m", 1, 2500, 603, 100.0},
    {"N1", 1, 1000, 42, 10.0, false},
    {"N2", 1, 1000, 1, 10.0, false},
    {"N3", 1, 1000, 716, 10.0, false},
    {"A", 1, 5000, 300, 1000.0},
    {"B", 1, 5000, 767, 1000.0},
}};

// The value a parameter slider position stands for, rounded to float32.
constexpr float paramValueAt(int row, int32_t position) {
    return static_cast<float>(position / kParamSliders[row].divisor);
}

constexpr float startParamValue(int row) {
    return paramValueAt(row, kParamSliders[row].start);
}

// A parameter's values run between its slider's ends.
constexpr float paramMinimum(int row) {
    return paramValueAt(row, kParamSliders[row].minimum);
}
constexpr float paramMaximum(int row) {
    return paramValueAt(row, kParamSliders[row].maximum);
}
// NaN stays NaN.
constexpr float clampToParam(int row, float value) {
    return value < paramMinimum(row)   ? paramMinimum(row)
           : value > paramMaximum(row) ? paramMaximum(row)
                                       : value;
}

// The envelope sliders' positions are read as they are; the envelope step
// turns them into times and a level.
enum EnvelopeSlider : int { kAttack, kDecay, kSustain, kRelease, kEnvelopeSliderCount };
inline constexpr std::array<SliderSpec, kEnvelopeSliderCount> kEnvelopeSliders{{
    {"attack", 1, 2000, 1, 1.0},
    {"decay", 1, 5000, 1000, 1.0},
    {"sustain", 0, 100, 50, 1.0},
    {"release", 1, 5000, 1500, 1.0},
}};

// The rate the engine is exact at, and every host's default, in frames per second.
inline constexpr int64_t kDefaultRate = 44100;
inline constexpr double kSampleRate = kDefaultRate;

// The pad's four points at start, in pad pixels (0..300).
inline constexpr int32_t kPadExtent = 300;
inline constexpr std::array<double, 4> kStartTrajectoryX{50, 150, 200, 250};
inline constexpr std::array<double, 4> kStartTrajectoryY{50, 150, 100, 75};

}  // namespace tessivox
