// The two ends of a body along its long axis: the long axis from the
// second moments of the body's pixels about a centre, the ends the contour
// points that lie farthest along it, either way.
//
//   const AxisEnds ends = axisEnds(bodyRuns, bodyContour, centerX, centerY);
//   // ends.low, ends.high: contour points, the first of equals in contour order
//
// The moments are defined as sums taken pixel by pixel in scan order in
// double precision (sumPixelByPixel = true computes them so). Without it,
// they come from exact per-run integer sums, in time proportional to the
// runs and the contour rather than the pixels; the ends are then accepted
// only where a bound on the difference between the two ways cannot change
// which contour points lie farthest, and found pixel by pixel otherwise, so
// both ways give the same ends.
#pragma once

#include <vector>

#include "support/borderPoints.h"

namespace tressel::tracking {

struct AxisEnds {
  lti::point low;   // least far along the axis
  lti::point high;  // farthest
  bool exactSums = false;  // the ends came from the per-run sums
};

AxisEnds axisEnds(const std::vector<lti::rowRun>& runs, const lti::borderPoints& contour, double centerX,
                  double centerY, bool sumPixelByPixel = false);

}  // namespace tressel::tracking
