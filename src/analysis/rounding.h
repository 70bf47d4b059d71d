#pragma once
// Conversions from real numbers to integers. The program rounds every such conversion to
// the nearest integer with ties to the even neighbour (2.5 -> 2, 3.5 -> 4), the default
// IEEE rounding mode, which std::nearbyint follows.

#include <cmath>
#include <cstdint>
#include <limits>

namespace tonamira {

// Round to nearest, ties to even, as a double.
inline double RoundEven(double x) { return std::nearbyint(x); }

// Round to nearest, ties to even, saturated to the 32-bit range (NaN gives 0), so that
// a nonsense value from a malformed file can never become undefined behaviour.
inline int32_t RoundInt(double x) {
  if (std::isnan(x)) return 0;
  const double r = std::nearbyint(x);
  if (r >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (r <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(r);
}

inline int64_t RoundInt64(double x) {
  if (std::isnan(x)) return 0;
  const double r = std::nearbyint(x);
  if (r >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (r <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(r);
}

}  // namespace tonamira
