#pragma once

#include <cstdint>

#include "support/pointList.h"

namespace tressel {

// Coordinate sums of a point list, in 64 bits so that a large silhouette far
// from the origin cannot overflow them.
struct PointSums {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t count = 0;
};

inline PointSums sumPoints(const lti::tpointList<int>& points) {
  PointSums sums;
  for (const lti::point& p : points) {
    sums.x += p.x;
    sums.y += p.y;
  }
  sums.count = points.size();
  return sums;
}

}  // namespace tressel
