#include "ui/shape_points.h"

#include <cmath>

#include "engine/engine.h"

namespace tessivox {

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
constexpr double kScale = 75.0;
constexpr double kCentre = 150.0;
}  // namespace

// Arithmetic between the stored values is double, as in the oscillator, so
// the picture shows the curve the oscillator plays.
void computeShapePoints(SynthState& s) {
    float t = 0.0f;
    for (int i = 0; i < kShapePoints; ++i) {
        const float theta = t * kTwoPi;
        // The parameters are read afresh for every point: the trajectory may
        // be moving two of them meanwhile.
        const double u = static_cast<double>(s.m.load(relaxed)) * theta / 4.0;
        const float c = static_cast<float>(
            std::fabs(std::cos(u) * (1.0 / static_cast<double>(s.A.load(relaxed)))));
        const float sn = static_cast<float>(
            std::fabs(std::sin(u) * (1.0 / static_cast<double>(s.B.load(relaxed)))));
        const float p1 = static_cast<float>(std::pow(static_cast<double>(c), s.N2.load(relaxed)));
        const float p2 = static_cast<float>(std::pow(static_cast<double>(sn), s.N3.load(relaxed)));
        const float sum = static_cast<float>(static_cast<double>(p1) + p2);
        const float e = static_cast<float>(-1.0 / static_cast<double>(s.N1.load(relaxed)));
        const float r = static_cast<float>(std::pow(static_cast<double>(sum), e));
        const float x = static_cast<float>(r * std::cos(static_cast<double>(theta)));
        const float y = static_cast<float>(r * std::sin(static_cast<double>(theta)));
        s.shapeX[i] = roundToInt32(x * kScale + kCentre);
        s.shapeY[i] = roundToInt32(kCentre - y * kScale);
        t = static_cast<float>(t + 1.0 / s.shapeSteps);
    }
}

}  // namespace tessivox
