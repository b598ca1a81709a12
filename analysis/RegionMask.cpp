#include "analysis/RegionMask.h"

#include <cstdint>

#include "support/byteScan.h"
#include "support/channel8.h"
#include "support/rasterFrame.h"

namespace tressel {

void RegionMask::fill(const lti::borderPoints& contour) {
  runs_.clear();
  lti::channel8 pixels;
  const lti::box frame = lti::fillContour(contour, pixels);
  if (!pixels.hasStorage()) return;
  const int columns = pixels.columns();
  for (int row = 0; row < pixels.rows(); ++row) {
    const unsigned char* data = pixels.rowData(row);
    for (int x = lti::findNonZero(data, 0, columns); x < columns; x = lti::findNonZero(data, x, columns)) {
      const int end = lti::findZero(data, x, columns);
      runs_.push_back(Run{frame.minY + row, frame.minX + x, frame.minX + end - 1});
      x = end;
    }
  }
}

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
    for (int x = r.first; x <= r.last; ++x) area.pushBack(lti::point(x, r.y));
  }
}

}  // namespace tressel
