// The bounding box of the outline as given (after sorting), before the
// contour is cleaned; it is not recomputed later.
#include "analysis/CTailAnalyzer.h"

namespace tressel {

void CTailAnalyzer::findBoundingBox() {
  const lti::box b = outline->boundingBox();
  minX = b.minX;
  minY = b.minY;
  maxX = b.maxX;
  maxY = b.maxY;
}

}  // namespace tressel
