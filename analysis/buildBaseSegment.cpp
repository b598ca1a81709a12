// The straight segment across the base of the tail or of a limb, as a chain of
// pixels from the first base point to the second. The segment is drawn as into
// a raster that spans from the coordinate origin to (maxX, maxY), read back as
// scan-line runs, and the runs are expanded into a chain.
#include <algorithm>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "analysis/arithmetic.h"
#include "support/bresenham.h"
#include "support/channel8.h"
#include "support/draw.h"

namespace tressel {
namespace {

int sign(int64 v) { return (v > 0) - (v < 0); }

// The runs of the segment drawn into a raster of (maxY + 1) x (maxX + 1).
void runsFromRaster(const lti::point& start, const lti::point& end, int maxX, int maxY, lti::ioPoints& runs) {
  lti::draw<unsigned char> pen;
  lti::channel8 raster(int64{maxY} + 1, int64{maxX} + 1, 0);
  pen.setCanvas(&raster);
  pen.setColor(255);
  pen.drawLine(start.x, start.y, end.x, end.y);
  runs.fromMask(raster);
}

// The same runs without the raster, for ends that lie on it: then the line is
// not clipped, its pixels are exactly the walk between the ends, and each row
// holds one unbroken run of them.
void runsOfWalk(const lti::point& start, const lti::point& end, lti::ioPoints& runs) {
  const int top = std::min(start.y, end.y);
  const int bottom = std::max(start.y, end.y);
  struct Extent {
    int first;
    int last;
  };
  std::vector<Extent> rows(static_cast<std::size_t>(bottom - top + 1), Extent{end.x, end.x});
  std::vector<bool> seen(rows.size(), false);
  lti::walkLine(start.x, start.y, end.x, end.y, [&](int64 x, int64 y) {
    const std::size_t row = static_cast<std::size_t>(y - top);
    const int column = static_cast<int>(x);
    if (!seen[row]) {
      rows[row] = Extent{column, column};
      seen[row] = true;
    } else {
      rows[row].first = std::min(rows[row].first, column);
      rows[row].last = std::max(rows[row].last, column);
    }
  });
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const int y = top + static_cast<int>(row);
    runs.pushBack(lti::point(rows[row].first, y));
    runs.pushBack(lti::point(rows[row].last, y));
  }
}

void buildBaseSegment(bool found, const lti::point& start, const lti::point& end, int maxX, int maxY,
                      const Path& path, lti::ioPoints& runs, lti::borderPoints& chain) {
  runs.clear();
  chain.clear();
  if (!found) return;

  // The raster's size bound holds on either path.
  const bool hasPixels = lti::checkedCellCount(int64{maxY} + 1, int64{maxX} + 1) > 0;
  auto onRaster = [&](const lti::point& p) { return p.x >= 0 && p.y >= 0 && p.x <= maxX && p.y <= maxY; };
  if (path.steps == nullptr && hasPixels && onRaster(start) && onRaster(end)) {
    runsOfWalk(start, end, runs);
  } else {
    runsFromRaster(start, end, maxX, maxY, runs);
  }

  // Within a row the pixels follow the way x moves as y grows, so the last
  // pixel of one row touches the first of the next and the chain runs from the
  // segment's upper end to its lower end (left to right when horizontal).
  const bool xFalls = sign(int64{end.x} - start.x) * sign(int64{end.y} - start.y) == -1;
  lti::borderPoints ordered;
  for (auto it = runs.begin(); it != runs.end(); ++it) {
    const lti::point in = *it;
    const lti::point out = *++it;
    if (xFalls) {
      for (int x = out.x; x > in.x; --x) ordered.pushBack(lti::point(x, out.y));
      ordered.pushBack(in);
    } else {
      for (int x = in.x; x < out.x; ++x) ordered.pushBack(lti::point(x, in.y));
      ordered.pushBack(out);
    }
  }

  if (!ordered.empty() && ordered.front() == start) {
    for (const lti::point& p : ordered) chain.pushBack(p);
  } else {
    for (const lti::point& p : ordered) chain.pushFront(p);
  }
}

}  // namespace

void CTailAnalyzer::buildTailSegment() {
  buildBaseSegment(hasTail != 0, tailStart, tailEnd, maxX, maxY, path, *tailIo, *tailBorder);
}

void CTailAnalyzer::buildLimbSegment() {
  buildBaseSegment(hasLimb != 0, limbStart, limbEnd, maxX, maxY, path, *limbIo, *limbBorder);
}

}  // namespace tressel
