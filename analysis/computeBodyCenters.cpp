// The centre of the body (the contour with tail and limbs cut away) and the
// same mean pulled toward the tail base, which counts as 110 pixels.
#include "analysis/CTailAnalyzer.h"
#include "analysis/pointSums.h"

namespace tressel {
namespace {
constexpr std::int64_t tailBaseWeight = 110;
}

void CTailAnalyzer::computeBodyCenters() {
  PointSums sums;
  if (path.steps != nullptr) {
    sums = path.steps->bodySums(*this);
  } else {
    bodyMask.fill(*bodyBorder);
    sums = bodyMask.sums();
    if (retain == Retain::workingLists) bodyMask.toAreaPoints(*bodyArea);
  }
  if (sums.count > 0) {
    bodyCenter = lti::point(static_cast<int>(sums.x / sums.count), static_cast<int>(sums.y / sums.count));
  }
  const std::int64_t weight = sums.count + tailBaseWeight;
  weightedCenter = lti::point(static_cast<int>((sums.x + tailBaseWeight * tailBase.x) / weight),
                              static_cast<int>((sums.y + tailBaseWeight * tailBase.y) / weight));
}

}  // namespace tressel
