#include "analysis/RegionMask.h"

#include <cstdint>


namespace tressel {

void RegionMask::fill(const lti::borderPoints& contour) { lti::contourFillRuns(contour, runs_, scratch_); }

PointSums RegionMask::sums() const {
  PointSums sums;
  for (const Run& r : runs_) {
    const std::int64_t n = std::int64_t{r.last} - r.first + 1;
    sums.x += (std::int64_t{r.first} + r.last) * n / 2;  // first + (first + 1) + ... + last
    sums.y += std::int64_t{r.y} * n;
    sums.count += n;
  }
  return sums;
}

void RegionMask::toAreaPoints(lti::areaPoints& area) const {
  area.clear();
  for (const Run& r : runs_) {
    for (std::int64_t x = r.first; x <= r.last; ++x) area.pushBack(lti::point(static_cast<int>(x), r.y));
  }
}

}  // namespace tressel
