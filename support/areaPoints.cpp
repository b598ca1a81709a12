#include "support/areaPoints.h"

#include "support/borderPoints.h"
#include "support/byteScan.h"
#include "support/rasterFrame.h"

namespace lti {

areaPoints& areaPoints::buildFromBorder(const borderPoints& contour) {
  channel8 mask;
  const box b = fillContour(contour, mask);
  fromMask(mask);
  shiftPoints(*this, b.minX, b.minY);
  return *this;
}

bool areaPoints::fromMask(const channel8& mask) {
  clear();
  if (!mask.hasStorage()) return true;
  const int columns = mask.columns();
  for (int y = 0; y < mask.rows(); ++y) {
    const unsigned char* row = mask.rowData(y);
    for (int x = findNonZero(row, 0, columns); x < columns; x = findNonZero(row, x, columns)) {
      const int last = findZero(row, x, columns);
      for (; x < last; ++x) pushBack(point(x, y));
    }
  }
  return true;
}

}  // namespace lti
