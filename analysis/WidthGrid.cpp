#include "analysis/WidthGrid.h"

#include <new>

#include "support/exception.h"
#include "support/genericMatrix.h"

namespace tressel {

void WidthGrid::build(int minX, int minY, int maxX, int maxY) {
  const std::int64_t columns = std::int64_t{maxX} - minX + 1;
  const std::int64_t rows = std::int64_t{maxY} - minY + 1;
  const std::int64_t cells = lti::checkedCellCount(rows, columns);
  release();
  if (cells > 0) {
    cells_.reset(new (std::nothrow) WidthCell[static_cast<std::size_t>(cells)]);
    if (!cells_) throw lti::allocException();
  }
  minX_ = minX;
  minY_ = minY;
  columns_ = cells > 0 ? static_cast<int>(columns) : 0;
  rows_ = cells > 0 ? static_cast<int>(rows) : 0;
}

void WidthGrid::release() {
  cells_.reset();
  columns_ = 0;
  rows_ = 0;
}

}  // namespace tressel
