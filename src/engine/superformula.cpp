#include "engine/superformula.h"

#include <cmath>

namespace tessivox {

float superformulaRadius(float theta, float m, float N1, float N2, float N3, float A, float B) {
    const float e = static_cast<float>(-1.0 / static_cast<double>(N1));
    const double mTheta = static_cast<double>(m) * theta;  // formed before the division by 4
    const float a =
        static_cast<float>(std::fabs(std::cos(mTheta / 4.0) * (1.0 / static_cast<double>(A))));
    const float t1 = static_cast<float>(std::pow(static_cast<double>(a), static_cast<double>(N2)));
    const float b =
        static_cast<float>(std::fabs(std::sin(mTheta / 4.0) * (1.0 / static_cast<double>(B))));
    const float t2 = static_cast<float>(std::pow(static_cast<double>(b), static_cast<double>(N3)));
    const float sum = static_cast<float>(static_cast<double>(t1) + t2);
    return static_cast<float>(std::pow(static_cast<double>(sum), static_cast<double>(e)));
}

Finiteness superformulaFiniteness(float m, float N1, float N2, float N3, float A, float B) {
    const bool usable = std::isfinite(m) && N1 > 0.0f && N2 > 0.0f && N3 > 0.0f && A > 0.0f &&
                        B > 0.0f && std::isfinite(N1 + N2 + N3 + A + B);
    if (!usable) return Finiteness::Mixed;
    // Margins far above the rounding of cos, sin, pow and float32.
    constexpr double lo = 1.0 - 1e-6, hi = 1.0 + 1e-6;
    const double e = static_cast<float>(-1.0 / static_cast<double>(N1));
    // Each power lies below its value at |cos| = 1 (|sin| = 1).
    const double t1Max = std::pow(hi / A, static_cast<double>(N2)) * hi;
    const double t2Max = std::pow(hi / B, static_cast<double>(N3)) * hi;
    // Both round to +0 in float32: the sum is 0 and r infinite at every theta.
    if (t1Max < 5e-46 && t2Max < 5e-46) return Finiteness::Never;
    // At every theta |cos| or |sin| of m theta / 4 is at least 1 / sqrt 2.
    constexpr double halfRoot2 = 0.70710678;
    const double t1Min = std::pow(halfRoot2 * lo / A, static_cast<double>(N2)) * lo;
    const double t2Min = std::pow(halfRoot2 * lo / B, static_cast<double>(N3)) * lo;
    const double sumMin = t1Min < t2Min ? t1Min : t2Min;
    // A sum in the normal float32 range keeps its relative rounding; r is
    // largest where the sum is smallest, and |y| <= r.
    if (sumMin >= 1e-30 && std::pow(sumMin * lo, e) * hi < 1e38) return Finiteness::Always;
    return Finiteness::Mixed;
}

}  // namespace tessivox
