#include "analysis/RegionMask.h"

#include <cstdint>

#include "support/rasterFrame.h"

namespace tressel {

void RegionMask::fill(const lti::borderPoints& contour) { frame_ = lti::fillContour(contour, pixels_); }

void RegionMask::release() { pixels_.setSize(0, 0, 0); }

PointSums RegionMask::sums() const {
  PointSums sums;
  forEachRun([&sums](int y, int first, int last) {
    const std::int64_t n = std::int64_t{last} - first + 1;
    sums.x += (std::int64_t{first} + last) * n / 2;  // first + (first + 1) + ... + last
    sums.y += std::int64_t{y} * n;
    sums.count += n;
  });
  return sums;
}

void RegionMask::toAreaPoints(lti::areaPoints& area) const {
  area.clear();
  forEachRun([&area](int y, int first, int last) {
    for (int x = first; x <= last; ++x) area.pushBack(lti::point(x, y));
  });
}

}  // namespace tressel
