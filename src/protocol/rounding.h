#pragma once

#include <cmath>

namespace nms::protocol {

// Rounds to the nearest whole number, halves to the even neighbour (2.5 gives 2, 3.5 gives 4),
// whatever rounding mode the floating-point environment is in.
inline double roundHalfEven(double v) {
    const double lower = std::floor(v);
    const double diff = v - lower;
    if (diff > 0.5) return lower + 1;
    if (diff < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

}  // namespace nms::protocol
