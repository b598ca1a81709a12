// The cross-width of the region at every contour point: a ray from the point
// along the contour's normal, into the region, until it meets the contour
// again or leaves the region. The widths go into the grid, the largest into
// maxWidth.
#include <algorithm>
#include <array>
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

// The ray's direction for a chord (dx, dy): the chord's quantised direction
// turned by a quarter turn, (0, 0) for a chord of no direction.
struct Normal {
  int sx = 0;
  int sy = 0;
};
Normal normalOf(int64 dx, int64 dy) {
  const int64 larger = std::max(std::llabs(dx), std::llabs(dy));
  if (larger == 0) return {};
  return {-quantised(dy, larger), quantised(dx, larger)};
}

// The chord of a contour whose neighbours touch spans at most 4 cells each
// way: its normal is looked up, dx and dy each offset by `reach`.
constexpr int reach = 4;
constexpr int side = 2 * reach + 1;
using NormalTable = std::array<Normal, side * side>;
NormalTable makeNormalTable() {
  NormalTable t{};
  for (int dx = -reach; dx <= reach; ++dx) {
    for (int dy = -reach; dy <= reach; ++dy) {
      t[static_cast<std::size_t>((dx + reach) * side + dy + reach)] = normalOf(dx, dy);
    }
  }
  return t;
}

// The width of a diagonal ray of k steps, truncatedLength(2 k^2), looked up
// for the usual lengths: the root's latency held up every diagonal ray.
constexpr int64 tabledDiagonals = 1024;
struct DiagonalWidths {
  int of[tabledDiagonals];
  DiagonalWidths() : of() {
    for (int64 k = 0; k < tabledDiagonals; ++k) of[k] = static_cast<int>(truncatedLength(2 * k * k));
  }
};
const DiagonalWidths diagonalWidths;

int diagonalWidth(int64 k) {
  return static_cast<std::uint64_t>(k) < tabledDiagonals ? diagonalWidths.of[k] : static_cast<int>(truncatedLength(2 * k * k));
}

// The first cell after `cell`, stepping by `offset`, that is not interior (in
// the area, off the contour), as its number of steps from `cell`. The grid's
// frame ends every walk.
// Walking costs about 2.75 instructions a cell. Tables of steps per direction,
// built over the area 16 cells at a time, cost more than they save: the rays
// of one direction cross only part of the area (on the recording, 346 M
// instructions became 411 M). Notes left where a ray ends, for the ray coming
// back the other way, rarely meet such a ray (L200: 162 k became 178 k).
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

// The width at one contour point, whose cell is `start`, along `offset` (a
// step of the normal). The ray starts at the point; a step that leaves the
// box, or a first step that misses the area, reverses it, and after two
// reversals the width is 1. Once the ray has entered the area (on either
// attempt), it ends at the first pixel that is on the contour or off the
// area; a ray reversed after entering starts again from the point itself. A
// step out of the box lands on the grid's frame, which is not in the area.
// The width is the ray's length in steps, times sqrt 2 along a diagonal,
// truncated.
template <bool alongRow, bool diagonal>
int rayWidth(const std::uint8_t* start, std::ptrdiff_t offset) {
  auto steps = [](const std::uint8_t* from, std::ptrdiff_t by) {
    return alongRow ? interiorStepsAlongRow(from, by) : interiorSteps(from, by);
  };
  auto width = [](int64 k) { return diagonal ? diagonalWidth(k) : static_cast<int>(k); };
  std::uint8_t f = start[offset];
  if (f & WidthGrid::inArea) {
    if (f & WidthGrid::onBorder) return 1;
    const int64 k = 1 + steps(start + offset, offset);
    if (!(start[k * offset] & WidthGrid::outside)) return width(k);
    const int64 back = steps(start, -offset);  // ran out of the box
    return (start[-back * offset] & WidthGrid::outside) ? 1 : width(back);
  }
  f = start[-offset];  // the normal points out of the area
  if (!(f & WidthGrid::inArea) || (f & WidthGrid::onBorder)) return 1;
  const int64 k = 1 + steps(start - offset, -offset);
  return (start[-k * offset] & WidthGrid::outside) ? 1 : width(k);
}

int rayWidth(const std::uint8_t* start, std::ptrdiff_t stride, const Normal& u) {
  const std::ptrdiff_t offset = u.sy * stride + u.sx;
  if (u.sy == 0) return rayWidth<true, false>(start, offset);
  if (u.sx == 0) return rayWidth<false, false>(start, offset);
  return rayWidth<false, true>(start, offset);
}

}  // namespace

void CTailAnalyzer::measureWidths() {
  borderMeasured = false;
  WidthGrid& grid = *widthGrid;
  grid.build(minX, minY, maxX, maxY);
  if (path.steps != nullptr) {
    path.steps->markArea(*this);
  } else {
    for (const RegionMask::Run& r : areaMask.runs()) grid.markAreaRun(r.y, r.first, r.last);
  }
  maxWidth = 0;

  // The contour in an array with two points of the other end on either side:
  // ring[j] is p(j - 2), indices taken around the contour.
  std::vector<lti::point>& ring = contourPoints;
  const int64 n = static_cast<int64>(border->size());
  if (n == 0) return;
  // Grown, never shrunk: every point it holds beyond n + 4 is left unread.
  if (ring.size() < static_cast<std::size_t>(n + 4)) ring.resize(static_cast<std::size_t>(n + 4));
  if (contourCells.size() < static_cast<std::size_t>(n)) contourCells.resize(static_cast<std::size_t>(n));
  std::size_t* const cells = contourCells.data();
  lti::point* to = &ring[2];
  std::size_t* cell = cells;
  for (const lti::point& p : *border) {
    *cell++ = grid.markBorderAt(p);
    *to++ = p;
  }
  for (const int64 j : {int64{0}, int64{1}, n + 2, n + 3}) {
    ring[static_cast<std::size_t>(j)] = ring[static_cast<std::size_t>(2 + ((j - 2) % n + n) % n)];
  }

  static const NormalTable normals = makeNormalTable();
  const std::uint8_t* const flags = grid.flags();
  const std::ptrdiff_t stride = grid.stride();
  int largest = 0;
  // p(2), p(3), ..., p(n-1), p(0), p(1): the chord of p(i) joins p(i-2) and p(i+2).
  int64 i = 2;
  for (int64 k = 0; k < n; ++k, ++i) {
    while (i >= n) i -= n;
    const lti::point* const at = &ring[static_cast<std::size_t>(i)];  // at[2] is p(i)
    const int64 dx = int64{at[4].x} - at[0].x;
    const int64 dy = int64{at[4].y} - at[0].y;
    const std::uint64_t column = static_cast<std::uint64_t>(dx + reach);  // wraps below -reach
    const std::uint64_t row = static_cast<std::uint64_t>(dy + reach);
    const Normal u = column < side && row < side ? normals[column * side + row] : normalOf(dx, dy);
    const std::size_t cell = cells[i];

    // A point whose chord has no direction gets no ray.
    const int width = u.sx == 0 && u.sy == 0 ? 1 : rayWidth(flags + cell, stride, u);
    grid.storeWidth(cell, width);  // a later visit of the same pixel overwrites
    largest = std::max(largest, width);
  }
  maxWidth = largest;
  borderMeasured = true;
}

}  // namespace tressel
