// Per-pixel cells over the outline's bounding box: whether the pixel is on the
// contour, whether it is in the area, and the cross-width measured there.
// Dense planes over the box, so every lookup is constant time: one byte of
// flags per pixel, and a width per pixel that is meaningful only where the
// on-contour flag is set (every contour pixel gets a width), so that plane
// needs no initialisation.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>

#include "support/point.h"

namespace tressel {

constexpr int unmeasuredWidth = std::numeric_limits<std::int32_t>::max();

class WidthGrid {
 public:
  static constexpr std::uint8_t onBorder = 1;
  static constexpr std::uint8_t inArea = 2;

  // Covers (minX, minY) to (maxX, maxY) with every cell off the contour, out of
  // the area and unmeasured. Raises lti::allocException beyond the raster
  // size bound.
  void build(int minX, int minY, int maxX, int maxY);
  void release();

  int columns() const { return columns_; }
  int rows() const { return rows_; }
  int minX() const { return minX_; }
  int minY() const { return minY_; }
  bool contains(std::int64_t x, std::int64_t y) const {
    return x >= minX_ && y >= minY_ && x - minX_ < columns_ && y - minY_ < rows_;
  }
  // Index of a pixel inside the grid.
  std::size_t index(std::int64_t x, std::int64_t y) const {
    return static_cast<std::size_t>(y - minY_) * static_cast<std::size_t>(columns_) +
           static_cast<std::size_t>(x - minX_);
  }

  std::uint8_t* flags() { return flags_.get(); }
  const std::uint8_t* flags() const { return flags_.get(); }
  void markBorder(const lti::point& p) { flags_[index(p.x, p.y)] |= onBorder; }
  void markArea(std::int64_t x, std::int64_t y) { flags_[index(x, y)] |= inArea; }

  // Stores the width of a contour pixel (marking it as on the contour).
  void setWidth(const lti::point& p, int width) {
    const std::size_t i = index(p.x, p.y);
    flags_[i] |= onBorder;
    widths_[i] = width;
  }
  // The width at a pixel; unmeasuredWidth for pixels off the contour and
  // pixels outside the grid.
  int widthAt(const lti::point& p) const {
    if (!contains(p.x, p.y)) return unmeasuredWidth;
    const std::size_t i = index(p.x, p.y);
    return (flags_[i] & onBorder) ? widths_[i] : unmeasuredWidth;
  }

 private:
  int minX_ = 0;
  int minY_ = 0;
  int columns_ = 0;
  int rows_ = 0;
  std::size_t capacity_ = 0;
  std::unique_ptr<std::uint8_t[]> flags_;
  std::unique_ptr<std::int32_t[]> widths_;
};

}  // namespace tressel
