// A filled region kept as its runs of pixels: for every row, the first and
// last pixel of each run, in scan order. The same pixels as an area list
// filled from the same contour, without a list node per pixel.
#pragma once

#include <vector>

#include "analysis/pointSums.h"
#include "support/areaPoints.h"
#include "support/borderPoints.h"

namespace tressel {

class RegionMask {
 public:
  using Run = lti::rowRun;

  // The region the contour encloses, as areaPoints::buildFromBorder fills it,
  // computed from the contour's points alone (no raster of its box).
  void fill(const lti::borderPoints& contour);
  // Frees the storage; clear() keeps it for the next fill.
  void release() {
    runs_ = std::vector<Run>();
    scratch_ = lti::fillScratch();
  }
  void clear() { runs_.clear(); }

  const std::vector<Run>& runs() const { return runs_; }
  // Coordinate sums and count of the region's pixels.
  PointSums sums() const;
  // The region's pixels as an area list, in scan order.
  void toAreaPoints(lti::areaPoints& area) const;

 private:
  std::vector<Run> runs_;
  lti::fillScratch scratch_;
};

}  // namespace tressel
