// Integer helpers of the analysis. Quantities are int32 as in the rest of the
// record, but products, sums and squares are formed in 64 bits so that large
// frames cannot overflow; a result that must go back into an int32 field is
// saturated to its range.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "support/point.h"

namespace tressel {

using int64 = std::int64_t;

inline int saturateToInt(int64 value) {
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<int>(value);
}

// quantity x percent / 100, the product formed first, truncated toward zero.
inline int percentOf(int64 quantity, int64 percent) {
  return saturateToInt(quantity * percent / 100);
}

// Squared distance. Every point compared lies inside the outline's bounding
// box, whose sides the raster bound keeps below 2^28, so this cannot overflow.
inline int64 squaredDistance(const lti::point& a, const lti::point& b) {
  const int64 dx = int64{a.x} - b.x;
  const int64 dy = int64{a.y} - b.y;
  return dx * dx + dy * dy;
}

// Integer part of the Euclidean length, the root taken in floating point.
inline int64 truncatedLength(int64 squared) {
  return static_cast<int64>(std::sqrt(static_cast<double>(squared)));
}

// Midpoint with halves truncated toward zero.
inline lti::point midpoint(const lti::point& a, const lti::point& b) {
  return lti::point(static_cast<int>((int64{a.x} + b.x) / 2), static_cast<int>((int64{a.y} + b.y) / 2));
}

}  // namespace tressel
