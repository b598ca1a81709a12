// A filled region kept as a raster over its contour's bounding box: the same
// pixels as an area list, without a list node per pixel.
#pragma once

#include "analysis/pointSums.h"
#include "support/areaPoints.h"
#include "support/borderPoints.h"
#include "support/channel8.h"

namespace tressel {

class RegionMask {
 public:
  // The region the contour encloses, as areaPoints::buildFromBorder fills it.
  void fill(const lti::borderPoints& contour);
  void release();

  // Coordinate sums and count of the region's pixels.
  PointSums sums() const;
  // The region's pixels as an area list, in scan order.
  void toAreaPoints(lti::areaPoints& area) const;

  // Calls visit(y, firstX, lastX) for every run of region pixels, in scan order.
  template <class Visit>
  void forEachRun(Visit&& visit) const;

 private:
  lti::box frame_;
  lti::channel8 pixels_;
};

}  // namespace tressel

#include "support/byteScan.h"

namespace tressel {

template <class Visit>
void RegionMask::forEachRun(Visit&& visit) const {
  if (!pixels_.hasStorage()) return;
  const int columns = pixels_.columns();
  for (int row = 0; row < pixels_.rows(); ++row) {
    const unsigned char* data = pixels_.rowData(row);
    for (int x = lti::findNonZero(data, 0, columns); x < columns; x = lti::findNonZero(data, x, columns)) {
      const int end = lti::findZero(data, x, columns);
      visit(frame_.minY + row, frame_.minX + x, frame_.minX + end - 1);
      x = end;
    }
  }
}

}  // namespace tressel
