#include "picture/shape_points.h"

#include <cmath>

#include "engine/engine.h"
#include "picture/pictures.h"

namespace tessivox {

namespace {
constexpr double kScale = kDisplayScale;
constexpr double kCentre = kDisplayCentre;
}  // namespace

// The radius comes from the oscillator's own function, so the picture shows
// the curve the oscillator plays.
void computeShapePoints(const EngineState& engine, EditorState& s) {
    float t = 0.0f;
    for (int i = 0; i < kShapePoints; ++i) {
        const float theta = t * kTwoPi;
        // The parameters are read afresh for every point: the trajectory may
        // be moving two of them meanwhile.
        const float r = radiusAt(engine, theta);
        const float x = static_cast<float>(r * std::cos(static_cast<double>(theta)));
        const float y = static_cast<float>(r * std::sin(static_cast<double>(theta)));
        s.shapeX[i] = roundToInt32(x * kScale + kCentre);
        s.shapeY[i] = roundToInt32(kCentre - y * kScale);
        t = static_cast<float>(t + 1.0 / s.shapeSteps);
    }
}

}  // namespace tessivox
