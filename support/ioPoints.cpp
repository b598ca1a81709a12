#include "support/ioPoints.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "support/borderPoints.h"
#include "support/byteScan.h"
#include "support/rasterFrame.h"

namespace lti {

bool drawSpans(const tpointList<int>& spans, pixelShift shift, channel8& mask) {
  const std::int64_t rows = mask.hasStorage() ? mask.rows() : 0;
  const std::int64_t columns = mask.hasStorage() ? mask.columns() : 0;
  for (auto it = spans.begin(); it != spans.end(); ++it) {
    const point entry = *it;
    if (++it == spans.end()) return false;
    const point exit = *it;
    if (entry.y != exit.y) return false;
    const std::int64_t y = std::int64_t{entry.y} + shift.dy;
    if (y < 0 || y >= rows) continue;
    const std::int64_t first = std::max<std::int64_t>(std::int64_t{entry.x} + shift.dx, 0);
    const std::int64_t last = std::min<std::int64_t>(std::int64_t{exit.x} + shift.dx, columns - 1);
    if (first <= last) {
      std::memset(mask.rowData(static_cast<int>(y)) + first, 255, static_cast<std::size_t>(last - first + 1));
    }
  }
  return true;
}

bool ioPoints::toMask(channel8& mask) const {
  if (empty()) return true;
  sizeForStoredBox(storedBox, mask);
  return drawSpans(*this, pixelShift{}, mask);
}

bool ioPoints::fromMask(const channel8& mask) {
  clear();
  if (!mask.hasStorage()) return true;
  const int columns = mask.columns();
  for (int y = 0; y < mask.rows(); ++y) {
    const unsigned char* row = mask.rowData(y);
    for (int x = findNonZero(row, 0, columns); x < columns; x = findNonZero(row, x, columns)) {
      const int entry = x;
      x = findZero(row, x, columns);
      pushBack(point(entry, y));
      pushBack(point(x - 1, y));
    }
  }
  return true;
}

ioPoints& ioPoints::buildFromBorder(const borderPoints& contour) {
  channel8 mask;
  const box b = frameRaster(contour, mask);
  if (!contour.empty()) drawContour(contour, shiftToOrigin(b), mask);
  fromMask(mask);
  shiftPoints(*this, b.minX, b.minY);
  return *this;
}

}  // namespace lti
