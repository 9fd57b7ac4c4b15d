#include "engine/superformula.h"

#include <algorithm>
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
    // At any split c, |cos| of m theta / 4 is at least c or |sin| at least
    // sqrt(1 - c^2), so the sum is at least the smaller power there; the
    // split that balances the two is found by bisection.
    const auto t1At = [&](double c) { return std::pow(c * lo / A, static_cast<double>(N2)) * lo; };
    const auto t2At = [&](double c) {
        return std::pow(std::sqrt(1.0 - c * c) * lo / B, static_cast<double>(N3)) * lo;
    };
    double below = 0.0, above = 1.0;
    for (int i = 0; i < 60; ++i) {
        const double c = (below + above) / 2.0;
        (t1At(c) < t2At(c) ? below : above) = c;
    }
    const double sumMin =
        std::max(std::min(t1At(below), t2At(below)), std::min(t1At(above), t2At(above)));
    // Rounding to float32 loses at most half the smallest subnormal besides
    // the relative margin; r is largest where the sum is smallest, and |y| <= r.
    const double sumLow = sumMin - 1.5e-45;
    if (sumLow > 0.0 && std::pow(sumLow * lo, e) * hi < 1e38) return Finiteness::Always;
    return Finiteness::Mixed;
}

}  // namespace tessivox
