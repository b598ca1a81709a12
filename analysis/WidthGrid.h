// Per-pixel cells over the outline's bounding box: whether the pixel is on the
// contour, whether it is in the area, and the cross-width measured there.
// One dense block, so every lookup is constant time.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>

#include "support/point.h"

namespace tressel {

constexpr int unmeasuredWidth = std::numeric_limits<std::int32_t>::max();

struct WidthCell {
  std::uint8_t onBorder = 0;
  std::uint8_t inArea = 0;
  std::int32_t width = unmeasuredWidth;
};

class WidthGrid {
 public:
  WidthGrid() = default;

  // Covers (minX, minY) to (maxX, maxY), every cell reset. Raises
  // lti::allocException beyond the raster size bound.
  void build(int minX, int minY, int maxX, int maxY);
  void release();

  int columns() const { return columns_; }
  int rows() const { return rows_; }
  bool contains(std::int64_t x, std::int64_t y) const {
    return x >= minX_ && y >= minY_ && x - minX_ < columns_ && y - minY_ < rows_;
  }
  // The cell of a pixel inside the grid.
  WidthCell& cell(std::int64_t x, std::int64_t y) {
    return cells_[static_cast<std::size_t>(y - minY_) * static_cast<std::size_t>(columns_) +
                  static_cast<std::size_t>(x - minX_)];
  }
  // The width at a pixel; unmeasuredWidth for pixels off the contour and
  // pixels outside the grid.
  int widthAt(const lti::point& p) const {
    if (!contains(p.x, p.y)) return unmeasuredWidth;
    return cells_[static_cast<std::size_t>(p.y - std::int64_t{minY_}) * static_cast<std::size_t>(columns_) +
                  static_cast<std::size_t>(p.x - std::int64_t{minX_})]
        .width;
  }

 private:
  int minX_ = 0;
  int minY_ = 0;
  int columns_ = 0;
  int rows_ = 0;
  std::unique_ptr<WidthCell[]> cells_;
};

}  // namespace tressel
