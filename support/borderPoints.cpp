#include "support/borderPoints.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/byteScan.h"
#include "support/genericMatrix.h"
#include "support/directionCodes.h"
#include "support/ioPoints.h"
#include "support/rasterFrame.h"

namespace lti {
namespace {

// Bit values of the corner marks: a span starts at a pixel marked 8 and ends
// at a pixel marked 2; 1 and 4 only make the pixel non-zero.
constexpr unsigned char spanStart = 8;
constexpr unsigned char spanEnd = 2;

// Corner mark of a contour pixel, by the code of the step arriving at it (row)
// and of the step leaving it (column). Made for clockwise contours.
constexpr unsigned char cornerMarks[8][8] = {
    {1, 1, 0, 0, 7, 7, 3, 3},         //
    {9, 9, 8, 8, 0, 15, 11, 11},      //
    {9, 9, 8, 8, 0, 0, 11, 11},       //
    {13, 13, 12, 12, 4, 4, 0, 15},    //
    {13, 13, 12, 12, 4, 4, 0, 0},     //
    {0, 15, 14, 14, 6, 6, 2, 2},      //
    {0, 0, 14, 14, 6, 6, 2, 2},       //
    {1, 1, 0, 15, 7, 7, 3, 3},        //
};

struct wide {
  std::int64_t x;
  std::int64_t y;
  bool operator==(const wide& o) const { return x == o.x && y == o.y; }
};

// The contour's points, shifted, without repeats: a point equal to the one
// before it is dropped, then the last point while it equals the first. A
// repeated point would be a step without a direction.
std::vector<wide> distinctSteps(const tpointList<int>& contour, pixelShift shift) {
  std::vector<wide> points;
  points.reserve(static_cast<std::size_t>(contour.size()));
  for (const point& p : contour) {
    const wide w{p.x + shift.dx, p.y + shift.dy};
    if (points.empty() || !(points.back() == w)) points.push_back(w);
  }
  while (points.size() > 1 && points.back() == points.front()) points.pop_back();
  return points;
}

// Fills each row between its start and end marks. Only marked pixels are
// non-zero before the fill, so the row is taken from one mark to the next:
// the unmarked pixels between two marks are filled when inside a span.
void fillBetweenMarks(channel8& mask) {
  const int columns = mask.columns();
  for (int y = 0; y < mask.rows(); ++y) {
    unsigned char* row = mask.rowData(y);
    bool inside = false;
    bool firstMark = true;
    int x = 0;
    while (x < columns) {
      const int mark = findNonZero(row, x, columns);
      if (inside) std::memset(row + x, 255, static_cast<std::size_t>(mark - x));
      if (mark == columns) break;
      const unsigned char c = row[mark];
      if (c & spanStart) {
        inside = true;
        row[mark] = 255;
        firstMark = false;
      } else if (inside) {
        row[mark] = 255;
      }
      if (c & spanEnd) {
        inside = false;
        // An end mark before any start mark closes a span that began at the
        // row's left edge.
        if (firstMark) {
          std::memset(row, 255, static_cast<std::size_t>(mark));
          firstMark = false;
        }
      }
      x = mark + 1;
    }
  }
}

}  // namespace

void drawContour(const tpointList<int>& contour, pixelShift shift, channel8& mask) {
  if (!mask.hasStorage()) return;
  const std::vector<wide> points = distinctSteps(contour, shift);
  auto onRaster = [&mask](const wide& p) {
    return p.x >= 0 && p.x < mask.columns() && p.y >= 0 && p.y < mask.rows();
  };
  const std::size_t n = points.size();
  if (n < 4) {
    for (const wide& p : points) {
      if (onRaster(p)) mask.at(static_cast<int>(p.y), static_cast<int>(p.x)) = 255;
    }
    return;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const wide& before = points[i == 0 ? n - 1 : i - 1];
    const wide& here = points[i];
    const wide& after = points[i + 1 == n ? 0 : i + 1];
    if (!onRaster(here)) continue;
    const int arriving = directionCode(here.x - before.x, here.y - before.y);
    const int leaving = directionCode(after.x - here.x, after.y - here.y);
    mask.at(static_cast<int>(here.y), static_cast<int>(here.x)) |= cornerMarks[arriving][leaving];
  }
  fillBetweenMarks(mask);
}

void contourFillRuns(const tpointList<int>& contour, std::vector<rowRun>& runs, std::vector<rowMark>& marks,
                     std::vector<std::int64_t>& rowStarts) {
  runs.clear();
  if (contour.empty()) return;
  const box b = contour.boundingBox();
  const std::int64_t width = std::int64_t{b.maxX} - b.minX + 1;
  const std::int64_t height = std::int64_t{b.maxY} - b.minY + 1;
  if (checkedCellCount(height, width) <= 0) return;  // as frameRaster: no storage, nothing drawn
  const std::vector<wide> points = distinctSteps(contour, shiftToOrigin(b));
  const std::size_t n = points.size();

  // The marks, as drawContour sets them (pixels with a zero mark stay zero).
  std::vector<rowMark> unsorted;
  unsorted.reserve(n);
  if (n < 4) {
    for (const wide& p : points) unsorted.push_back(rowMark{p.y, p.x, 255});
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      const wide& before = points[i == 0 ? n - 1 : i - 1];
      const wide& here = points[i];
      const wide& after = points[i + 1 == n ? 0 : i + 1];
      const int arriving = directionCode(here.x - before.x, here.y - before.y);
      const int leaving = directionCode(after.x - here.x, after.y - here.y);
      const unsigned char bits = cornerMarks[arriving][leaving];
      if (bits != 0) unsorted.push_back(rowMark{here.y, here.x, bits});
    }
  }

  // Into rows (a counting sort), then by column within each row; marks of one
  // pixel are joined as the raster's |= joins them.
  rowStarts.assign(static_cast<std::size_t>(height) + 1, 0);
  for (const rowMark& m : unsorted) ++rowStarts[static_cast<std::size_t>(m.y) + 1];
  for (std::size_t r = 1; r < rowStarts.size(); ++r) rowStarts[r] += rowStarts[r - 1];
  marks.resize(unsorted.size());
  {
    std::vector<std::int64_t> next(rowStarts.begin(), rowStarts.end() - 1);
    for (const rowMark& m : unsorted) marks[static_cast<std::size_t>(next[static_cast<std::size_t>(m.y)]++)] = m;
  }
  const int minX = b.minX;
  const int minY = b.minY;
  std::size_t rowBegin = 0;
  while (rowBegin < marks.size()) {
    const std::int64_t y = marks[rowBegin].y;
    const std::size_t rowEnd = static_cast<std::size_t>(rowStarts[static_cast<std::size_t>(y) + 1]);
    // By column: an insertion sort for the few marks of a usual row, a full
    // sort for a contour that folds back and forth along one row (marks of
    // one column are joined below, so their order does not matter).
    if (rowEnd - rowBegin > 32) {
      std::sort(marks.begin() + static_cast<std::ptrdiff_t>(rowBegin), marks.begin() + static_cast<std::ptrdiff_t>(rowEnd),
                [](const rowMark& a, const rowMark& b) { return a.x < b.x; });
    }
    for (std::size_t i = rowBegin + 1; i < rowEnd; ++i) {
      const rowMark m = marks[i];
      std::size_t j = i;
      while (j > rowBegin && marks[j - 1].x > m.x) {
        marks[j] = marks[j - 1];
        --j;
      }
      marks[j] = m;
    }
    // fillBetweenMarks on this row: a pixel is non-zero when marked or filled.
    const std::size_t rowFirstRun = runs.size();
    const int row = static_cast<int>(minY + y);
    auto add = [&](std::int64_t first, std::int64_t last) {
      const int f = static_cast<int>(minX + first);
      const int l = static_cast<int>(minX + last);
      if (runs.size() > rowFirstRun && std::int64_t{runs.back().last} + 1 >= f) {
        if (l > runs.back().last) runs.back().last = l;
      } else {
        runs.push_back(rowRun{row, f, l});
      }
    };
    bool inside = false;
    bool firstMark = true;
    std::int64_t x = 0;
    std::size_t i = rowBegin;
    while (i < rowEnd) {
      const std::int64_t at = marks[i].x;
      unsigned char c = 0;
      for (; i < rowEnd && marks[i].x == at; ++i) c = static_cast<unsigned char>(c | marks[i].bits);
      if (inside && at > x) add(x, at - 1);
      if (c & spanStart) {
        inside = true;
        firstMark = false;
      }
      if (c & spanEnd) {
        inside = false;
        if (firstMark) {
          // Everything before this mark, the earlier marks included.
          runs.resize(rowFirstRun);
          if (at > 0) add(0, at - 1);
          firstMark = false;
        }
      }
      add(at, at);
      x = at + 1;
    }
    if (inside && x < width) add(x, width - 1);
    rowBegin = rowEnd;
  }
}

bool borderPoints::toMask(channel8& mask) const {
  if (empty()) return true;
  sizeForStoredBox(storedBox, mask);
  drawContour(*this, pixelShift{}, mask);
  return true;
}

bool borderPoints::fromMask(const channel8& mask) {
  clear();
  if (!mask.hasStorage()) return true;
  const int rows = mask.rows();
  const int columns = mask.columns();

  point start(-1, -1);
  for (int y = 0; y < rows && start.y < 0; ++y) {
    const int x = findNonZero(mask.rowData(y), 0, columns);
    if (x < columns) start = point(x, y);
  }
  if (start.y < 0) return true;

  auto isRegion = [&](int x, int y) {
    return x >= 0 && x < columns && y >= 0 && y < rows && mask.at(y, x) != 0;
  };

  pushBack(start);
  point current = start;
  int direction = 0;
  // The walk is deterministic on (pixel, direction), so it cannot take more
  // steps than there are such states before returning to the start pixel.
  const std::int64_t stepLimit = 8 * std::int64_t{rows} * columns + 8;
  for (std::int64_t steps = 0; steps < stepLimit; ++steps) {
    bool found = false;
    for (int tries = 0; tries < 8; ++tries) {
      if (isRegion(current.x + directionStepX[direction], current.y + directionStepY[direction])) {
        found = true;
        break;
      }
      direction = (direction + 7) % 8;
    }
    if (!found) return true;  // an isolated pixel: the contour is the start point alone
    current = point(current.x + directionStepX[direction], current.y + directionStepY[direction]);
    pushBack(current);
    direction = (direction + 2) % 8;
    if (current == start) break;
  }
  popBack();  // the repeated start point
  return true;
}

borderPoints& borderPoints::buildFromIo(const ioPoints& spans) {
  channel8 mask;
  const box b = frameRaster(spans, mask);
  drawSpans(spans, shiftToOrigin(b), mask);
  fromMask(mask);
  shiftPoints(*this, b.minX, b.minY);
  return *this;
}

}  // namespace lti
