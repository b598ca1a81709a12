// The straight segment across the base of the tail or of a limb, as a chain of
// pixels from the first base point to the second. The segment is drawn into a
// raster that spans from the coordinate origin to (maxX, maxY), read back as
// scan-line runs, and the runs are expanded into a chain.
#include "analysis/CTailAnalyzer.h"
#include "analysis/arithmetic.h"
#include "support/channel8.h"
#include "support/draw.h"

namespace tressel {
namespace {

int sign(int64 v) { return (v > 0) - (v < 0); }

void buildBaseSegment(bool found, const lti::point& start, const lti::point& end, int maxX, int maxY,
                      lti::ioPoints& runs, lti::borderPoints& chain) {
  runs.clear();
  chain.clear();
  if (!found) return;

  {
    lti::draw<unsigned char> pen;
    lti::channel8 raster(int64{maxY} + 1, int64{maxX} + 1, 0);
    pen.setCanvas(&raster);
    pen.setColor(255);
    pen.drawLine(start.x, start.y, end.x, end.y);
    runs.fromMask(raster);
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
  buildBaseSegment(hasTail != 0, tailStart, tailEnd, maxX, maxY, *tailIo, *tailBorder);
}

void CTailAnalyzer::buildLimbSegment() {
  buildBaseSegment(hasLimb != 0, limbStart, limbEnd, maxX, maxY, *limbIo, *limbBorder);
}

}  // namespace tressel
