#pragma once

#include <cmath>

namespace veltrane {

// Floating-point values become integers by rounding to the nearest, a value exactly halfway
// going to the even neighbour (12.5 gives 12, 13.5 gives 14): the default rounding mode.
inline double RoundHalfToEven(double value) { return std::nearbyint(value); }

}  // namespace veltrane
