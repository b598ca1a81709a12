#include "support/rasterFrame.h"

#include <algorithm>
#include <cstdint>

namespace lti {

box frameRaster(const tpointList<int>& source, channel8& mask) {
  const box b = source.boundingBox();
  const std::int64_t width = std::int64_t{b.maxX} - b.minX + 1;
  const std::int64_t height = std::int64_t{b.maxY} - b.minY + 1;
  mask.setSize(height, width, 0);
  return b;
}

void sizeForStoredBox(const box& storedBox, channel8& mask) {
  const std::int64_t rows = std::max<std::int64_t>(mask.rows(), std::int64_t{storedBox.maxY} + 1);
  const std::int64_t columns = std::max<std::int64_t>(mask.columns(), std::int64_t{storedBox.maxX} + 1);
  mask.setSize(rows, columns, 0);
}

box fillContour(const tpointList<int>& contour, channel8& mask) {
  if (contour.empty()) {
    mask.setSize(0, 0, 0);
    return box{};
  }
  const box b = frameRaster(contour, mask);
  drawContour(contour, shiftToOrigin(b), mask);
  return b;
}

void shiftPoints(tpointList<int>& list, int dx, int dy) {
  if (dx == 0 && dy == 0) return;
  for (point& p : list) {
    p.x += dx;
    p.y += dy;
  }
}

}  // namespace lti
