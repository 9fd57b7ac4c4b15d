#pragma once

#include <QRgb>

namespace tessivox {

inline constexpr QRgb kBlack = qRgb(0, 0, 0);
inline constexpr QRgb kWhite = qRgb(255, 255, 255);
inline constexpr QRgb kRed = qRgb(255, 0, 0);
inline constexpr QRgb kGreen = qRgb(0, 255, 0);
inline constexpr QRgb kYellow = qRgb(255, 204, 0);

}  // namespace tessivox
