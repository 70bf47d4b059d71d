#pragma once
// A colour as 0xRRGGBB, and the named colours the window uses. Shared by the drawing code
// and the piano's key marks, neither of which needs the other to name a colour.

#include <cstdint>

namespace tonamira {

using Rgb = uint32_t;

constexpr Rgb MakeRgb(int r, int g, int b) {
  return (static_cast<Rgb>(r & 0xff) << 16) | (static_cast<Rgb>(g & 0xff) << 8) |
         static_cast<Rgb>(b & 0xff);
}

inline constexpr Rgb kBlack = MakeRgb(0, 0, 0);
inline constexpr Rgb kRed = MakeRgb(255, 0, 0);
inline constexpr Rgb kBlue = MakeRgb(0, 0, 255);
inline constexpr Rgb kGreen = MakeRgb(0, 128, 0);
inline constexpr Rgb kWhite = MakeRgb(255, 255, 255);
inline constexpr Rgb kYellow = MakeRgb(255, 255, 0);

}  // namespace tonamira
