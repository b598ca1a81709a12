// The cross-width of the region at every contour point: a ray from the point
// along the contour's normal, into the region, until it meets the contour
// again or leaves the region. The widths go into the grid, the largest into
// maxWidth.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "analysis/arithmetic.h"

namespace tressel {
namespace {

int sign(int64 v) { return (v > 0) - (v < 0); }

// A component of the chord's quantised direction: non-zero when it is at least
// half of the chord's larger component.
// (larger / 2 + |component|) / larger is 1 exactly when |component| reaches
// larger - larger / 2, as |component| <= larger keeps the quotient below 2.
int quantised(int64 component, int64 larger) {
  return std::llabs(component) >= larger - larger / 2 ? sign(component) : 0;
}

// The first cell after `cell`, stepping by `offset`, that is not interior (in
// the area, off the contour), as its number of steps from `cell`. The grid's
// frame ends every walk.
int64 interiorSteps(const std::uint8_t* cell, std::ptrdiff_t offset) {
  const std::ptrdiff_t two = 2 * offset, three = 3 * offset, four = 4 * offset;
  for (int64 k = 0;; k += 4, cell += four) {
    if (cell[offset] != WidthGrid::inArea) return k + 1;
    if (cell[two] != WidthGrid::inArea) return k + 2;
    if (cell[three] != WidthGrid::inArea) return k + 3;
    if (cell[four] != WidthGrid::inArea) return k + 4;
  }
}

// The same along a row (offset 1 or -1), eight cells read at once: the grid's
// spare cells keep every read inside its storage, and the cells read beyond
// the first that is not interior do not count.
int64 interiorStepsAlongRow(const std::uint8_t* cell, std::ptrdiff_t offset) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  constexpr std::uint64_t interior = 0x0202020202020202u;
  std::uint64_t eight = 0;
  if (offset > 0) {
    for (int64 k = 0;; k += 8) {
      std::memcpy(&eight, cell + 1 + k, sizeof eight);  // the nearest cell in the lowest byte
      eight ^= interior;
      if (eight != 0) return k + __builtin_ctzll(eight) / 8 + 1;
    }
  }
  for (int64 k = 0;; k += 8) {
    std::memcpy(&eight, cell - 8 - k, sizeof eight);  // the nearest cell in the highest byte
    eight ^= interior;
    if (eight != 0) return k + __builtin_clzll(eight) / 8 + 1;
  }
#else
  return interiorSteps(cell, offset);
#endif
}

// The width at one contour point, whose cell is `start`. The ray starts at the
// point; a step that leaves the box, or a first step that misses the area,
// reverses it, and after two reversals the width is 1. Once the ray has
// entered the area (on any attempt), it ends at the first pixel that is on the
// contour or off the area. A step out of the box lands on the grid's frame,
// which is not in the area.
int rayWidth(const std::uint8_t* start, std::ptrdiff_t stride, int sx, int sy) {
  int reversals = 0;
  bool entered = false;
  for (;;) {
    if (reversals > 1) return 1;
    const std::ptrdiff_t offset = sy * stride + sx;
    const std::uint8_t* at = start;
    int64 k = 0;  // steps taken
    if (!entered) {
      // The first step of a ray that has not yet entered the area decides
      // whether the normal points into the region at all.
      at += offset;
      const std::uint8_t f = *at;
      if (f & WidthGrid::inArea) {
        entered = true;
        if (f & WidthGrid::onBorder) return 1;
        k = 1;
      }
    }
    if (entered) {
      // Interior cells are exactly "in the area, not on the contour"; the ray
      // ends at the first cell that is anything else, if that lies in the box.
      const int64 more = sy == 0 ? interiorStepsAlongRow(at, offset) : interiorSteps(at, offset);
      k += more;
      if (!(at[more * offset] & WidthGrid::outside)) {
        return static_cast<int>(truncatedLength(k * k * (sx * sx + sy * sy)));
      }
    }
    // The ray missed the area or ran out of the box: try the other way.
    sx = -sx;
    sy = -sy;
    ++reversals;
  }
}

}  // namespace

void CTailAnalyzer::measureWidths() {
  WidthGrid& grid = *widthGrid;
  grid.build(minX, minY, maxX, maxY);
  if (path.steps != nullptr) {
    path.steps->markArea(*this);
  } else {
    for (const RegionMask::Run& r : areaMask.runs()) grid.markAreaRun(r.y, r.first, r.last);
  }
  for (const lti::point& p : *border) grid.markBorder(p);
  maxWidth = 0;

  // The contour in an array with two points of the other end on either side:
  // ring[j] is p(j - 2), indices taken around the contour.
  std::vector<lti::point>& ring = contourPoints;
  const int64 n = static_cast<int64>(border->size());
  ring.clear();
  if (n == 0) return;
  ring.resize(static_cast<std::size_t>(n + 4));
  std::copy(border->begin(), border->end(), ring.begin() + 2);
  for (const int64 j : {int64{0}, int64{1}, n + 2, n + 3}) {
    ring[static_cast<std::size_t>(j)] = ring[static_cast<std::size_t>(2 + ((j - 2) % n + n) % n)];
  }

  // p(2), p(3), ..., p(n-1), p(0), p(1): the chord of p(i) joins p(i-2) and p(i+2).
  for (int64 k = 0; k < n; ++k) {
    int64 i = k + 2;
    if (i >= n) i = i % n;
    const lti::point* const at = &ring[static_cast<std::size_t>(i)];  // at[2] is p(i)
    const lti::point& here = at[2];
    const int64 dx = int64{at[4].x} - at[0].x;
    const int64 dy = int64{at[4].y} - at[0].y;
    const int64 larger = std::max(std::llabs(dx), std::llabs(dy));
    const std::size_t cell = grid.index(here.x, here.y);

    int width = 1;  // a point whose chord has no direction gets no ray
    if (larger != 0) {
      const int ux = quantised(dx, larger);
      const int uy = quantised(dy, larger);
      width = rayWidth(grid.flags() + cell, grid.stride(), -uy, ux);  // the chord's direction turned by a quarter turn
    }
    grid.storeWidth(cell, width);  // a later visit of the same pixel overwrites
    if (width > maxWidth) maxWidth = width;
  }
}

}  // namespace tressel
