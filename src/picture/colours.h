#pragma once

#include <cstdint>

namespace tessivox {

inline constexpr uint32_t kBlack = 0xff000000u;
inline constexpr uint32_t kWhite = 0xffffffffu;
inline constexpr uint32_t kRed = 0xffff0000u;
inline constexpr uint32_t kGreen = 0xff00ff00u;
inline constexpr uint32_t kYellow = 0xffffcc00u;

}  // namespace tessivox
