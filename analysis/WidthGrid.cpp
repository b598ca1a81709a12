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
  clearMarked();
  setFrame(0);
  columns_ = 0;
  rows_ = 0;
  stride_ = 0;
  if (cells > 0) {
    // The box and its frame; the widths plane has the same layout.
    const std::size_t n = static_cast<std::size_t>((rows + 2) * (columns + 2));
    if (n > capacity_) {  // a grid built again keeps its storage when it fits
      release();
      flags_.reset(new (std::nothrow) std::uint8_t[n + 2 * spare]());
      widths_.reset(new (std::nothrow) std::int32_t[n]);
      if (!flags_ || !widths_) {
        release();
        throw lti::allocException();
      }
      cells_ = flags_.get() + spare;
      capacity_ = n;
    }
    marked_.assign(static_cast<std::size_t>(rows), Extent{1, 0});
  }
  minX_ = minX;
  minY_ = minY;
  columns_ = cells > 0 ? static_cast<int>(columns) : 0;
  rows_ = cells > 0 ? static_cast<int>(rows) : 0;
  stride_ = cells > 0 ? static_cast<std::ptrdiff_t>(columns) + 2 : 0;
  setFrame(outside);
}

// The cells around the box, in the current geometry.
void WidthGrid::setFrame(std::uint8_t value) {
  if (!flags_ || rows_ == 0) return;
  const std::size_t stride = static_cast<std::size_t>(stride_);
  std::uint8_t* f = cells_;
  std::memset(f, value, stride);
  std::memset(f + (static_cast<std::size_t>(rows_) + 1) * stride, value, stride);
  // A row's last frame cell and the next row's first are neighbours in memory.
  const std::uint8_t pair[2] = {value, value};
  std::uint8_t* const end = f + (static_cast<std::size_t>(rows_) + 1) * stride;
  for (f += stride - 1; f < end; f += stride) std::memcpy(f, pair, sizeof pair);
}

// Every cell outside the rows' marked extents is already zero.
void WidthGrid::clearMarked() {
  if (!flags_) return;
  for (std::size_t row = 0; row < marked_.size(); ++row) {
    const Extent e = marked_[row];
    if (e.first > e.last) continue;
    std::uint8_t* f = cells_ + (row + 1) * static_cast<std::size_t>(stride_) + static_cast<std::size_t>(e.first) + 1;
    std::memset(f, 0, static_cast<std::size_t>(e.last - e.first + 1));
  }
  marked_.clear();
}

void WidthGrid::release() {
  flags_.reset();  // the frame goes with it
  cells_ = nullptr;
  widths_.reset();
  marked_ = std::vector<Extent>();
  capacity_ = 0;
  columns_ = 0;
  rows_ = 0;
  stride_ = 0;
}

}  // namespace tressel
