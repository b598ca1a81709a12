#include "support/areaPoints.h"

#include "support/borderPoints.h"
#include "support/rasterFrame.h"

namespace lti {

areaPoints& areaPoints::buildFromBorder(const borderPoints& contour) {
  channel8 mask;
  box b;
  if (!contour.empty()) {
    b = frameRaster(contour, mask);
    drawContour(contour, shiftToOrigin(b), mask);
  }
  fromMask(mask);
  shiftPoints(*this, b.minX, b.minY);
  return *this;
}

bool areaPoints::fromMask(const channel8& mask) {
  clear();
  if (!mask.hasStorage()) return true;
  for (int y = 0; y < mask.rows(); ++y) {
    const unsigned char* row = mask.rowData(y);
    for (int x = 0; x < mask.columns(); ++x) {
      if (row[x] != 0) pushBack(point(x, y));
    }
  }
  return true;
}

}  // namespace lti
