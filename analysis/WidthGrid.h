// Per-pixel cells over the outline's bounding box: whether the pixel is on the
// contour, whether it is in the area, and the cross-width measured there.
// Dense planes over the box, so every lookup is constant time: one byte of
// flags per pixel, and a width per pixel that is meaningful only where the
// on-contour flag is set (every contour pixel gets a width), so that plane
// needs no initialisation.
//
// The flags plane has a frame of one cell around the box, flagged outside:
// a ray stepping out of the box meets such a cell, neither in the area nor on
// the contour, so it needs no bounds test per step; eight spare cells before
// and after the plane let a row be read eight cells at a time. A grid built
// again keeps its storage and clears only the cells the last build marked
// (their extent per row), not the whole box.
//
//   grid.build(minX, minY, maxX, maxY);
//   grid.markAreaRun(y, first, last);   // every run of the region, first
//   grid.markBorder(p);                 // then every contour point
//   grid.setWidth(p, w);
//   grid.widthAt(p);                    // w
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "support/point.h"

namespace tressel {

constexpr int unmeasuredWidth = std::numeric_limits<std::int32_t>::max();

class WidthGrid {
 public:
  static constexpr std::uint8_t onBorder = 1;
  static constexpr std::uint8_t inArea = 2;
  static constexpr std::uint8_t outside = 4;  // the frame around the box

  // Covers (minX, minY) to (maxX, maxY) with every cell off the contour, out of
  // the area and unmeasured. Raises lti::allocException beyond the raster
  // size bound.
  void build(int minX, int minY, int maxX, int maxY);
  void release();

  int columns() const { return columns_; }
  int rows() const { return rows_; }
  // Distance in cells between a pixel and the one below it.
  std::ptrdiff_t stride() const { return stride_; }
  int minX() const { return minX_; }
  int minY() const { return minY_; }
  bool contains(std::int64_t x, std::int64_t y) const {
    return x >= minX_ && y >= minY_ && x - minX_ < columns_ && y - minY_ < rows_;
  }
  // Index of a pixel inside the grid, or of a pixel of the frame around it.
  std::size_t index(std::int64_t x, std::int64_t y) const {
    return static_cast<std::size_t>(y - minY_ + 1) * static_cast<std::size_t>(stride_) +
           static_cast<std::size_t>(x - minX_ + 1);
  }

  const std::uint8_t* flags() const { return cells_; }
  void markBorder(const lti::point& p) { mark(p.x, p.x, p.y, onBorder); }
  // markBorder, giving the pixel's index.
  std::size_t markBorderAt(const lti::point& p) {
    Extent& e = marked_[static_cast<std::size_t>(p.y - minY_)];
    const int column = static_cast<int>(std::int64_t{p.x} - minX_);
    if (column < e.first) e.first = column;
    if (column > e.last) e.last = column;
    const std::size_t i = index(p.x, p.y);
    cells_[i] |= onBorder;
    return i;
  }
  void markArea(std::int64_t x, std::int64_t y) { mark(x, x, y, inArea); }
  // Marks the pixels first..last of row y in the area; meant for cells not
  // yet marked (it sets their flags to in-area alone).
  void markAreaRun(std::int64_t y, std::int64_t first, std::int64_t last) {
    if (last < first) return;
    Extent& e = marked_[static_cast<std::size_t>(y - minY_)];
    const int from = static_cast<int>(first - minX_);
    const int to = static_cast<int>(last - minX_);
    if (from < e.first) e.first = from;
    if (to > e.last) e.last = to;
    std::memset(cells_ + index(first, y), inArea, static_cast<std::size_t>(last - first + 1));
  }

  // Stores the width of a contour pixel (marking it as on the contour).
  void setWidth(const lti::point& p, int width) {
    mark(p.x, p.x, p.y, onBorder);
    widths_[index(p.x, p.y)] = width;
  }
  // Stores the width of the cell at `index`, a pixel already marked on the
  // contour.
  void storeWidth(std::size_t index, int width) { widths_[index] = width; }
  // The width stored at `index`, a cell marked on the contour.
  int storedWidth(std::size_t index) const { return widths_[index]; }
  // The width at a pixel; unmeasuredWidth for pixels off the contour and
  // pixels outside the grid.
  int widthAt(const lti::point& p) const { return reader().widthAt(p); }

  // The lookup by value, for a loop over many points: its fields stay in
  // registers where the grid's might be reloaded after every store.
  struct Reader {
    std::int64_t minX, minY;
    std::uint64_t columns, rows;
    std::ptrdiff_t stride;
    const std::uint8_t* flags;
    const std::int32_t* widths;
    int widthAt(const lti::point& p) const {
      const std::uint64_t cx = static_cast<std::uint64_t>(p.x - minX);  // wraps when left of the grid
      const std::uint64_t cy = static_cast<std::uint64_t>(p.y - minY);
      if ((cx >= columns) | (cy >= rows)) return unmeasuredWidth;  // one branch for both
      const std::size_t i = (cy + 1) * static_cast<std::size_t>(stride) + cx + 1;
      return (flags[i] & onBorder) ? widths[i] : unmeasuredWidth;
    }
  };
  Reader reader() const {
    return Reader{minX_, minY_, static_cast<std::uint64_t>(columns_), static_cast<std::uint64_t>(rows_), stride_,
                  cells_, widths_.get()};
  }

 private:
  struct Extent {
    int first;  // columns of the grid, first > last when the row is clean
    int last;
  };
  void mark(std::int64_t first, std::int64_t last, std::int64_t y, std::uint8_t flag) {
    Extent& e = marked_[static_cast<std::size_t>(y - minY_)];
    const int from = static_cast<int>(first - minX_);
    const int to = static_cast<int>(last - minX_);
    if (from < e.first) e.first = from;
    if (to > e.last) e.last = to;
    std::uint8_t* f = cells_ + index(first, y);
    for (int x = from; x <= to; ++x) *f++ |= flag;
  }
  void clearMarked();
  void setFrame(std::uint8_t value);

  int minX_ = 0;
  int minY_ = 0;
  int columns_ = 0;
  int rows_ = 0;
  std::ptrdiff_t stride_ = 0;
  std::size_t capacity_ = 0;
  static constexpr std::size_t spare = 8;
  std::unique_ptr<std::uint8_t[]> flags_;  // the spare cells, the plane, the spare cells
  std::uint8_t* cells_ = nullptr;          // the plane: all zero but the cells in marked_ and the frame
  std::unique_ptr<std::int32_t[]> widths_;
  std::vector<Extent> marked_;  // per row of the box
};

}  // namespace tressel
