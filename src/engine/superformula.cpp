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

}  // namespace tessivox
