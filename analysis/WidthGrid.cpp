#include "analysis/WidthGrid.h"

#include <cstring>
#include <new>

#include "support/exception.h"
#include "support/genericMatrix.h"

namespace tressel {

void WidthGrid::build(int minX, int minY, int maxX, int maxY) {
  const std::int64_t columns = std::int64_t{maxX} - minX + 1;
  const std::int64_t rows = std::int64_t{maxY} - minY + 1;
  const std::int64_t cells = lti::checkedCellCount(rows, columns);
  columns_ = 0;
  rows_ = 0;
  if (cells > 0) {
    const std::size_t n = static_cast<std::size_t>(cells);
    if (n > capacity_) {  // a grid built again keeps its storage when it fits
      release();
      flags_.reset(new (std::nothrow) std::uint8_t[n]);
      widths_.reset(new (std::nothrow) std::int32_t[n]);
      if (!flags_ || !widths_) {
        release();
        throw lti::allocException();
      }
      capacity_ = n;
    }
    std::memset(flags_.get(), 0, n);
  }
  minX_ = minX;
  minY_ = minY;
  columns_ = cells > 0 ? static_cast<int>(columns) : 0;
  rows_ = cells > 0 ? static_cast<int>(rows) : 0;
}

void WidthGrid::release() {
  flags_.reset();
  widths_.reset();
  capacity_ = 0;
  columns_ = 0;
  rows_ = 0;
}

}  // namespace tressel
