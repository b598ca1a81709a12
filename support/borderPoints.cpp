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

namespace {

// A mark as one sortable word: its column within the box in the high half;
// in the low half the last column it makes non-zero above the mark's four
// bits. Ordering the words orders a row's marks by column. The box is at most
// 2^28 cells wide.
//
// A point inside a stretch of the contour along a row (arriving and leaving
// by a step of one pixel to the same side) is marked 1 or 4: it only makes its
// pixel non-zero. Such points in a row are one mark of their first column that
// reaches to their last, so a stretch costs what one point costs.
constexpr int markBits = 4;
constexpr std::uint32_t markMask = (1u << markBits) - 1;

std::uint64_t markWord(std::uint64_t column, std::uint64_t reach, unsigned bits) {
  return column << 32 | reach << markBits | bits;
}

// The marks of one row in column order: by insertion while few (a contour
// crosses most rows in a step or two), with std::sort when a contour runs
// along the row or folds back and forth on it, so that no row costs more than
// n log n.
void sortRow(std::uint64_t* first, std::uint64_t* last) {
  if (last - first > 16) {
    std::sort(first, last);
    return;
  }
  for (std::uint64_t* i = first + 1; i < last; ++i) {
    const std::uint64_t v = *i;
    std::uint64_t* j = i;
    for (; j > first && v < j[-1]; --j) *j = j[-1];
    *j = v;
  }
}

// fillBetweenMarks on one row of the box (columns 0 to width - 1, shifted
// by minX), its marks in column order; marks of one column are joined, as the
// raster's |= joins them. A pixel is non-zero when marked or filled. The row's
// runs are written from `out` on, at most one a mark; returns the end of
// those written.
inline rowRun* fillRow(int y, const std::uint64_t* mark, const std::uint64_t* end, int minX, std::uint32_t width,
                       rowRun* const out) {
  if (end - mark == 2) {
    // The usual row: a span's start, then its end. The loop below would open
    // the run at the first mark and close it at the further reach.
    const unsigned c0 = mark[0] & markMask, c1 = mark[1] & markMask;
    if ((c0 & (spanStart | spanEnd)) == spanStart && (c1 & (spanStart | spanEnd)) == spanEnd) {
      const std::uint32_t reach0 = static_cast<std::uint32_t>(mark[0]) >> markBits;
      const std::uint32_t reach1 = static_cast<std::uint32_t>(mark[1]) >> markBits;
      *out = rowRun{y, static_cast<int>(minX + static_cast<std::int64_t>(mark[0] >> 32)),
                    static_cast<int>(minX + std::int64_t{std::max(reach0, reach1)})};
      return out + 1;
    }
  }
  // The run being made is *open, its last pixel the last column marked so far.
  rowRun* open = out;
  bool inside = false;
  bool firstMark = true;
  std::int64_t last = -2;  // the last marked column
  while (mark < end) {
    const std::uint64_t at = *mark >> 32;
    unsigned c = *mark & markMask;
    std::int64_t reach = static_cast<std::uint32_t>(*mark) >> markBits;
    for (++mark; mark < end && (*mark >> 32) == at; ++mark) {
      c |= *mark & markMask;
      reach = std::max<std::int64_t>(reach, static_cast<std::uint32_t>(*mark) >> markBits);
    }
    if (!inside && static_cast<std::int64_t>(at) > last + 1) {  // a gap in the row: a new run
      if (last >= 0) (open++)->last = static_cast<int>(minX + last);
      open->y = y;
      open->first = static_cast<int>(minX + static_cast<std::int64_t>(at));
    }
    if (c & (spanStart | spanEnd)) {
      if (firstMark && !(c & spanStart)) {
        // An end mark before any start mark closes a span that began at the
        // row's left edge: everything up to it, the earlier marks included.
        open = out;
        open->y = y;
        open->first = minX;
      }
      firstMark = false;
      inside = (c & spanEnd) == 0;
    }
    last = std::max(last, reach);
  }
  if (inside) last = std::max<std::int64_t>(last, std::int64_t{width} - 1);
  open->last = static_cast<int>(minX + last);
  return open + 1;
}

// A step as the signs of its differences, (sy + 1) * 3 + (sx + 1), plus
// `longStep` when it is not a step to an 8-neighbour.
constexpr unsigned char longStep = 9;
constexpr unsigned char stepRight = 5;
constexpr unsigned char stepLeft = 3;

// The corner marks by the steps arriving at a pixel (row) and leaving it
// (column); 4, no step, does not occur between distinct points.
struct marksBySigns {
  unsigned char of[18][18];
  constexpr marksBySigns() : of() {
    for (int arriving = 0; arriving < 18; ++arriving) {
      for (int leaving = 0; leaving < 18; ++leaving) {
        const int a = directionCodesBySigns[arriving % 9];
        const int l = directionCodesBySigns[leaving % 9];
        of[arriving][leaving] = a < 0 || l < 0 ? 0 : cornerMarks[a][l];
      }
    }
  }
};
constexpr marksBySigns cornerMarksBySigns;

unsigned char stepSigns(const point& from, const point& to) {
  const std::int64_t dx = std::int64_t{to.x} - from.x;
  const std::int64_t dy = std::int64_t{to.y} - from.y;
  if (static_cast<std::uint64_t>(dx + 1) <= 2 && static_cast<std::uint64_t>(dy + 1) <= 2) {
    return static_cast<unsigned char>((dy + 1) * 3 + dx + 1);  // a step to an 8-neighbour, the usual one
  }
  return static_cast<unsigned char>(longStep + ((dy > 0) - (dy < 0) + 1) * 3 + (dx > 0) - (dx < 0) + 1);
}

}  // namespace

void contourFillRuns(const tpointList<int>& contour, std::vector<rowRun>& runs, fillScratch& s) {
  runs.clear();
  if (contour.empty()) return;
  // The points without repeats (a repeated point would be a step without a
  // direction), their box, and the step arriving at each.
  const auto listed = static_cast<std::size_t>(contour.size());
  if (s.points.size() < listed) s.points.resize(listed);
  if (s.steps.size() < listed + 1) s.steps.resize(listed + 1);
  point* const points = s.points.data();
  unsigned char* const steps = s.steps.data();
  points[0] = contour.front();
  std::size_t n = 1;
  box b{points[0].x, points[0].y, points[0].x, points[0].y};
  const auto listEnd = contour.end();
  point before = points[0];
  for (auto it = contour.begin(); it != listEnd; ++it) {
    const point p = *it;
    if (p == before) continue;
    b.minX = std::min(b.minX, p.x);
    b.maxX = std::max(b.maxX, p.x);
    b.minY = std::min(b.minY, p.y);
    b.maxY = std::max(b.maxY, p.y);
    steps[n] = stepSigns(before, p);
    points[n++] = p;
    before = p;
  }
  if (n > 1 && points[n - 1] == points[0]) --n;  // the one before it differs from it
  const std::int64_t width = std::int64_t{b.maxX} - b.minX + 1;
  const std::int64_t height = std::int64_t{b.maxY} - b.minY + 1;
  if (checkedCellCount(height, width) <= 0) return;  // as frameRaster: no storage, nothing drawn

  // The marks as drawContour sets them (a zero mark leaves its pixel zero;
  // fewer than four points are drawn as points), counted by row where the box
  // has not many more rows than the contour has points (always so when they
  // are 8-neighbours).
  const bool countByRow = height <= 2 * static_cast<std::int64_t>(n) + 64;
  if (s.marks.size() < n) s.marks.resize(n);
  if (s.markRows.size() < n) s.markRows.resize(n);
  std::uint64_t* const marks = s.marks.data();
  std::uint32_t* const markRows = s.markRows.data();
  std::vector<std::uint32_t>& rowEnds = s.rowEnds;
  rowEnds.assign(countByRow ? static_cast<std::size_t>(height) + 1 : 2, 0);
  std::uint32_t* const rowCounts = rowEnds.data() + 1;
  const std::uint32_t countMask = countByRow ? ~std::uint32_t{0} : 0;  // otherwise all counted in one, unused
  std::size_t count = 0;
  auto keep = [&](const point& p, unsigned bits) {
    // Written always, kept when not zero: no branch on the marks.
    const auto row = static_cast<std::uint32_t>(std::int64_t{p.y} - b.minY);
    const auto column = static_cast<std::uint64_t>(std::int64_t{p.x} - b.minX);
    markRows[count] = row;
    marks[count] = markWord(column, column, bits);
    rowCounts[row & countMask] += bits != 0;
    count += bits != 0;
  };
  if (n < 4) {
    for (std::size_t i = 0; i < n; ++i) keep(points[i], markMask);
  } else {
    steps[0] = stepSigns(points[n - 1], points[0]);
    steps[n] = steps[0];
    for (std::size_t i = 0; i < n;) {
      const unsigned char arriving = steps[i];
      if ((arriving == stepRight || arriving == stepLeft) && steps[i + 1] == arriving) {
        // Points i to j - 1 lie inside one stretch along the row.
        std::size_t j = i + 1;
        while (j < n && steps[j + 1] == arriving) ++j;
        const std::int64_t from = std::int64_t{points[arriving == stepRight ? i : j - 1].x} - b.minX;
        const std::int64_t to = std::int64_t{points[arriving == stepRight ? j - 1 : i].x} - b.minX;
        const auto row = static_cast<std::uint32_t>(std::int64_t{points[i].y} - b.minY);
        markRows[count] = row;
        marks[count++] = markWord(static_cast<std::uint64_t>(from), static_cast<std::uint64_t>(to), 1);
        ++rowCounts[row & countMask];
        i = j;
        continue;
      }
      keep(points[i], cornerMarksBySigns.of[arriving][steps[i + 1]]);
      ++i;
    }
  }

  if (s.byRow.size() < count) s.byRow.resize(count);
  std::uint64_t* const byRow = s.byRow.data();
  // At most one run a mark, made in the scratch's buffer, which only grows,
  // and copied out once: no run is cleared before it is written.
  if (s.runs.size() < count) s.runs.resize(count);
  rowRun* const made = s.runs.data();
  rowRun* out = made;
  if (!countByRow) {
    // Few points far apart: the marks sorted by row, then by column.
    std::vector<std::uint32_t>& order = s.order;
    order.resize(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(), [&](std::uint32_t l, std::uint32_t r) {
      return markRows[l] != markRows[r] ? markRows[l] < markRows[r] : marks[l] < marks[r];
    });
    for (std::size_t i = 0; i < count; ++i) byRow[i] = marks[order[i]];
    for (std::size_t first = 0; first < count;) {
      const std::uint32_t row = markRows[order[first]];
      std::size_t last = first;
      while (last < count && markRows[order[last]] == row) ++last;
      out = fillRow(static_cast<int>(b.minY + std::int64_t{row}), byRow + first, byRow + last, b.minX,
                    static_cast<std::uint32_t>(width), out);
      first = last;
    }
    runs.assign(made, out);
    return;
  }

  // Into rows (a counting sort); row r's marks then end at rowEnds[r].
  for (std::size_t r = 1; r < rowEnds.size(); ++r) rowEnds[r] += rowEnds[r - 1];
  // Taken from the walk's end: a clockwise walk meets a row on its right side
  // first, so in reverse most rows come out already in column order.
  for (std::size_t i = count; i-- > 0;) byRow[rowEnds[markRows[i]]++] = marks[i];
  std::uint32_t rowBegin = 0;
  for (std::size_t r = 0; r + 1 < rowEnds.size(); ++r) {
    const std::uint32_t rowEnd = rowEnds[r];
    if (rowEnd == rowBegin) continue;
    if (rowEnd - rowBegin == 2) {
      // The usual row, a span's start and its end: ordered without a sort,
      // and filled here when they are that.
      const std::uint64_t a = byRow[rowBegin], c = byRow[rowBegin + 1];
      const std::uint64_t low = std::min(a, c), high = std::max(a, c);
      if ((low & (spanStart | spanEnd)) == spanStart && (high & (spanStart | spanEnd)) == spanEnd) {
        const std::uint32_t reach = std::max(static_cast<std::uint32_t>(low), static_cast<std::uint32_t>(high)) >> markBits;
        *out++ = rowRun{static_cast<int>(b.minY + static_cast<std::int64_t>(r)),
                        static_cast<int>(b.minX + static_cast<std::int64_t>(low >> 32)),
                        static_cast<int>(b.minX + std::int64_t{reach})};
        rowBegin = rowEnd;
        continue;
      }
      byRow[rowBegin] = low;
      byRow[rowBegin + 1] = high;
    } else {
      sortRow(byRow + rowBegin, byRow + rowEnd);
    }
    out = fillRow(static_cast<int>(b.minY + static_cast<std::int64_t>(r)), byRow + rowBegin, byRow + rowEnd, b.minX,
                  static_cast<std::uint32_t>(width), out);
    rowBegin = rowEnd;
  }
  runs.assign(made, out);
}

namespace {

// The runs drawSpans would draw, in scan order, overlapping and touching runs
// of a row joined: pairs up to the first that is incomplete or spans two rows.
// Returns the bounding box of all the spans' points, as boundingBox() does.
box runsOfSpans(const tpointList<int>& spans, std::vector<rowRun>& runs) {
  runs.clear();
  box b;
  if (spans.empty()) return b;
  b = box{spans.front().x, spans.front().y, spans.front().x, spans.front().y};
  auto widen = [&b](const point& p) {
    b.minX = std::min(b.minX, p.x);
    b.maxX = std::max(b.maxX, p.x);
    b.minY = std::min(b.minY, p.y);
    b.maxY = std::max(b.maxY, p.y);
  };
  bool collecting = true;
  bool sorted = true;
  const auto end = spans.end();
  for (auto it = spans.begin(); it != end; ++it) {
    const point entry = *it;
    widen(entry);
    if (++it == end) break;
    const point exit = *it;
    widen(exit);
    if (entry.y != exit.y) collecting = false;
    if (!collecting || entry.x > exit.x) continue;
    if (!runs.empty() && (runs.back().y > entry.y || (runs.back().y == entry.y && runs.back().first > entry.x))) {
      sorted = false;
    }
    runs.push_back(rowRun{entry.y, entry.x, exit.x});
  }
  if (!sorted) {
    std::sort(runs.begin(), runs.end(),
              [](const rowRun& a, const rowRun& b) { return a.y != b.y ? a.y < b.y : a.first < b.first; });
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (kept > 0 && runs[kept - 1].y == runs[i].y && std::int64_t{runs[kept - 1].last} + 1 >= runs[i].first) {
      runs[kept - 1].last = std::max(runs[kept - 1].last, runs[i].last);
    } else {
      runs[kept++] = runs[i];
    }
  }
  runs.resize(kept);
  return b;
}

// A pixel's 3 x 3 neighbourhood as nine bits: columns x - 1, x, x + 1 of the
// row above are bits 0 to 2, of the pixel's own row bits 3 to 5, of the row
// below bits 6 to 8. The window bit of the neighbour in each direction:
constexpr int windowBitOf[8] = {5, 2, 1, 0, 3, 6, 7, 8};

// The direction fromMask's walk takes from a pixel with this neighbourhood,
// having to try `direction` first and then clockwise: the first direction
// tried whose neighbour is a region pixel, -1 when there is none.
struct nextDirections {
  signed char of[512][8];
  constexpr nextDirections() : of() {
    for (int window = 0; window < 512; ++window) {
      for (int direction = 0; direction < 8; ++direction) {
        of[window][direction] = -1;
        for (int tries = 0; tries < 8; ++tries) {
          const int d = (direction + 8 - tries) % 8;
          if (window & (1 << windowBitOf[d])) {
            of[window][direction] = static_cast<signed char>(d);
            break;
          }
        }
      }
    }
  }
};
constexpr nextDirections nextDirection;

// The same walk's step as one entry: the direction taken, its step, and the
// direction to try first from the pixel it reaches. Read in one load, so
// that a step waits on one table, not three.
struct walkStep {
  signed char direction;  // -1: no neighbour in the region
  signed char dx;
  signed char dy;
  unsigned char tryNext;
};
struct walkSteps {
  walkStep of[512][8];
  constexpr walkSteps() : of() {
    for (int window = 0; window < 512; ++window) {
      for (int direction = 0; direction < 8; ++direction) {
        const int d = nextDirection.of[window][direction];
        of[window][direction] =
            d < 0 ? walkStep{-1, 0, 0, 0}
                  : walkStep{static_cast<signed char>(d), static_cast<signed char>(directionStepX[d]),
                             static_cast<signed char>(directionStepY[d]), static_cast<unsigned char>((d + 2) % 8)};
      }
    }
  }
};
constexpr walkSteps walkStepOf;

// The pixels of joined runs in scan order, read three columns of a row at a
// time. Each row's runs are found through a table of rows, or by a binary
// search where the runs' rows are few and far apart.
class runLookup {
 public:
  runLookup(const std::vector<rowRun>& runs, std::vector<std::uint32_t>& rowStarts)
      : runs_(runs.data()), count_(runs.size()), top_(runs.front().y), bottom_(runs.back().y) {
    const std::int64_t rows = std::int64_t{bottom_} - top_ + 1;
    byTable_ = rows <= 2 * static_cast<std::int64_t>(count_) + 64;
    if (!byTable_) return;
    rowStarts.assign(static_cast<std::size_t>(rows) + 1, 0);
    for (std::size_t i = 0; i < count_; ++i) ++rowStarts[static_cast<std::size_t>(std::int64_t{runs_[i].y} - top_) + 1];
    for (std::size_t r = 1; r < rowStarts.size(); ++r) rowStarts[r] += rowStarts[r - 1];
    starts_ = rowStarts.data();
  }

  // Columns x - 1, x and x + 1 of row y as bits 0, 1 and 2.
  unsigned columnsAround(std::int64_t x, std::int64_t y) const {
    if (y < top_ || y > bottom_) return 0;
    const rowRun* run;
    const rowRun* end;
    if (byTable_) {
      run = runs_ + starts_[y - top_];
      end = runs_ + starts_[y - top_ + 1];
    } else {
      run = std::lower_bound(runs_, runs_ + count_, y, [](const rowRun& r, std::int64_t row) { return r.y < row; });
      end = std::upper_bound(run, runs_ + count_, y, [](std::int64_t row, const rowRun& r) { return row < r.y; });
    }
    // The row's runs are apart, so their last columns rise too.
    if (end - run > 8) {
      run = std::lower_bound(run, end, x - 1, [](const rowRun& r, std::int64_t column) { return r.last < column; });
    } else {
      while (run < end && run->last < x - 1) ++run;
    }
    unsigned bits = 0;
    for (; run < end && run->first <= x + 1; ++run) {
      const std::int64_t low = std::max<std::int64_t>(run->first, x - 1);
      const std::int64_t high = std::min<std::int64_t>(run->last, x + 1);
      bits |= ((2u << (high - low)) - 1) << (low - (x - 1));
    }
    return bits;
  }

  unsigned window(std::int64_t x, std::int64_t y) const {
    return columnsAround(x, y - 1) | columnsAround(x, y) << 3 | columnsAround(x, y + 1) << 6;
  }

 private:
  const rowRun* runs_;
  std::size_t count_;
  int top_;
  int bottom_;
  bool byTable_ = false;
  const std::uint32_t* starts_ = nullptr;
};

// The runs' pixels as the bits of a raster of their box with a margin of one
// pixel (column c of a row is bit c % 8 of its byte c / 8), in a buffer that
// is all zero between uses: only the rows the runs lie on are cleared again,
// so a use costs the runs and the contour, not the box.
class bitRegion {
 public:
  // Bytes a row needs: the margins, and a byte to spare so that any window
  // reads two bytes of the row.
  static std::size_t strideFor(std::int64_t columns) { return static_cast<std::size_t>((columns + 2) / 8 + 2); }

  bitRegion(const std::vector<rowRun>& runs, int minX, std::size_t stride, std::vector<unsigned char>& bytes)
      : minX_(minX), top_(runs.front().y), stride_(stride), bytes_(bytes.data()),
        usedRows_(static_cast<std::size_t>(std::int64_t{runs.back().y} - top_ + 1)) {
    for (const rowRun& r : runs) set(r);
  }
  bitRegion(const bitRegion&) = delete;
  bitRegion& operator=(const bitRegion&) = delete;
  ~bitRegion() { std::memset(bytes_ + stride_, 0, usedRows_ * stride_); }

  // A pixel of the box as the row above its own and its column less one
  // (both with the margin), which a walk moves along without going back to x
  // and y; a row below is stride() further.
  const unsigned char* rowAbove(std::int64_t y) const { return bytes_ + static_cast<std::size_t>(y - top_) * stride_; }
  std::size_t column(std::int64_t x) const { return static_cast<std::size_t>(x - minX_); }
  std::ptrdiff_t stride() const { return static_cast<std::ptrdiff_t>(stride_); }

  // The pixel's neighbourhood (see windowBitOf).
  unsigned windowAt(const unsigned char* rowAbove, std::size_t left) const {
    const unsigned char* row = rowAbove + left / 8;
    const unsigned shift = left % 8;
    auto three = [shift](const unsigned char* at) { return ((at[0] | unsigned{at[1]} << 8) >> shift) & 7u; };
    return three(row) | three(row + stride_) << 3 | three(row + 2 * stride_) << 6;
  }

 private:
  void set(const rowRun& r) {
    unsigned char* row = bytes_ + static_cast<std::size_t>(std::int64_t{r.y} - top_ + 1) * stride_;
    const auto first = static_cast<std::size_t>(std::int64_t{r.first} - minX_ + 1);
    const auto last = static_cast<std::size_t>(std::int64_t{r.last} - minX_ + 1);
    const auto firstBits = static_cast<unsigned char>(0xffu << (first % 8));
    const auto lastBits = static_cast<unsigned char>(0xffu >> (7 - last % 8));
    if (first / 8 == last / 8) {
      row[first / 8] |= firstBits & lastBits;
      return;
    }
    row[first / 8] |= firstBits;
    for (std::size_t i = first / 8 + 1; i < last / 8; ++i) row[i] = 0xff;
    row[last / 8] |= lastBits;
  }

  int minX_;
  int top_;
  std::size_t stride_;
  unsigned char* bytes_;
  std::size_t usedRows_;
};

// Where a walk stands, for the neighbourhood of its pixel. Over runs looked
// up by row, the pixel's x and y.
class runsPosition {
 public:
  runsPosition(const runLookup& region, const point& start) : region_(region), x_(start.x), y_(start.y) {}
  unsigned window() const { return region_.window(x_, y_); }
  void move(int dx, int dy) {
    x_ += dx;
    y_ += dy;
  }

 private:
  const runLookup& region_;
  std::int64_t x_;
  std::int64_t y_;
};

// Over a bit raster, the row and column, which move with each step, so that
// the next neighbourhood's address waits on an add.
class bitsPosition {
 public:
  bitsPosition(const bitRegion& region, const point& start)
      : region_(region), row_(region.rowAbove(start.y)), column_(region.column(start.x)), stride_(region.stride()) {}
  unsigned window() const { return region_.windowAt(row_, column_); }
  void move(int dx, int dy) {
    column_ += static_cast<std::size_t>(std::ptrdiff_t{dx});
    row_ += dy * stride_;
  }

 private:
  const bitRegion& region_;
  const unsigned char* row_;
  std::size_t column_;
  std::ptrdiff_t stride_;
};

// fromMask's walk: from the first pixel in scan order, each step takes the
// first direction, clockwise from two left of the last step's, whose
// neighbour is a region pixel.
template <class Position>
void walk(Position at, const point& start, std::int64_t stepLimit, std::vector<point>& points) {
  points.clear();
  points.push_back(start);
  std::int64_t x = start.x;
  std::int64_t y = start.y;
  unsigned tryFirst = 0;
  for (std::int64_t steps = 0; steps < stepLimit; ++steps) {
    const walkStep step = walkStepOf.of[at.window()][tryFirst];
    if (step.direction < 0) return;  // an isolated pixel: the contour is the start point alone
    x += step.dx;
    y += step.dy;
    at.move(step.dx, step.dy);
    points.emplace_back(static_cast<int>(x), static_cast<int>(y));
    tryFirst = step.tryNext;
    if (x == start.x && y == start.y) break;
  }
  points.pop_back();  // the repeated start point
}

}  // namespace

void traceSpans(const tpointList<int>& spans, borderPoints& contour, traceScratch& s) {
  traceJoinedRuns(runsOfSpans(spans, s.runs), contour, s);
}

void traceJoinedRuns(const box& b, borderPoints& contour, traceScratch& s) {
  const std::int64_t columns = std::int64_t{b.maxX} - b.minX + 1;
  const std::int64_t rows = std::int64_t{b.maxY} - b.minY + 1;
  checkedCellCount(rows, columns);  // the raster buildFromIo would size
  contour.clear();
  if (s.runs.empty()) return;
  const point start(s.runs.front().first, s.runs.front().y);
  const std::int64_t stepLimit = 8 * rows * columns + 8;

  // A raster of bits where its bytes are not many more than the runs, runs
  // looked up by row otherwise (few runs far apart).
  int minX = s.runs.front().first;
  int maxX = s.runs.front().last;
  for (const rowRun& r : s.runs) {
    minX = std::min(minX, r.first);
    maxX = std::max(maxX, r.last);
  }
  const std::size_t stride = bitRegion::strideFor(std::int64_t{maxX} - minX + 1);
  const std::int64_t runRows = std::int64_t{s.runs.back().y} - s.runs.front().y + 1;
  const std::int64_t bytes = (runRows + 2) * static_cast<std::int64_t>(stride);
  if (bytes <= 256 * static_cast<std::int64_t>(s.runs.size()) + 8192) {
    if (s.bits.size() < static_cast<std::size_t>(bytes)) s.bits.resize(static_cast<std::size_t>(bytes), 0);
    const bitRegion region(s.runs, minX, stride, s.bits);
    walk(bitsPosition(region, start), start, stepLimit, s.points);
  } else {
    const runLookup region(s.runs, s.rowStarts);
    walk(runsPosition(region, start), start, stepLimit, s.points);
  }
  contour.appendPoints(s.points.data(), s.points.data() + s.points.size());
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
