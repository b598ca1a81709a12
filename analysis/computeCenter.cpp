// The mean of all pixels of the whole outline area, tail included. Means
// truncate toward zero; an empty area leaves the centre at (0, 0).
#include "analysis/CTailAnalyzer.h"
#include "analysis/pointSums.h"

namespace tressel {

void CTailAnalyzer::computeCenter() {
  const PointSums sums = path.steps != nullptr ? path.steps->areaSums(*this) : areaMask.sums();
  if (sums.count == 0) return;
  center = lti::point(static_cast<int>(sums.x / sums.count), static_cast<int>(sums.y / sums.count));
}

}  // namespace tressel
