// The plain path's steps: the direct way of computing what the fast path
// computes with less work (see Path in CTailAnalyzer.h). Built only into the
// object library tressel_plain, for the tests, fuzz targets and benchmarks
// that compare the two paths; never into the shipped libraries.
#include <cstdint>
#include <iterator>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "analysis/arithmetic.h"
#include "analysis/pointSums.h"
#include "support/genericMatrix.h"

namespace tressel {
namespace {

// How often each pixel of a box occurs on the contour. A loop closes only at
// a pixel the contour holds more than once, so a point whose pixel occurs once
// needs no search. Pixels outside the box (there are none on a body contour,
// whose points all lie in the outline's box) are always searched. Counts stop
// at 255 and then stay there, which only ever means "search".
class PixelCounts {
 public:
  PixelCounts(int minX, int minY, int maxX, int maxY, const lti::borderPoints& contour)
      : minX_(minX), minY_(minY), columns_(int64{maxX} - minX + 1), rows_(int64{maxY} - minY + 1) {
    if (columns_ <= 0 || rows_ <= 0 || columns_ * rows_ > lti::maxRasterCells) {
      columns_ = rows_ = 0;
      return;
    }
    counts_.assign(static_cast<std::size_t>(columns_ * rows_), 0);
    for (const lti::point& p : contour) {
      if (!contains(p)) continue;
      std::uint8_t& c = counts_[index(p)];
      if (c < many) ++c;
    }
  }
  bool occursOnce(const lti::point& p) const { return contains(p) && counts_[index(p)] == 1; }
  void forget(const lti::point& p) {
    if (!contains(p)) return;
    std::uint8_t& c = counts_[index(p)];
    if (c < many) --c;
  }

 private:
  bool contains(const lti::point& p) const {
    return p.x >= minX_ && p.y >= minY_ && p.x - int64{minX_} < columns_ && p.y - int64{minY_} < rows_;
  }
  std::size_t index(const lti::point& p) const {
    return static_cast<std::size_t>((p.y - int64{minY_}) * columns_ + (p.x - int64{minX_}));
  }
  static constexpr std::uint8_t many = 255;
  int minX_, minY_;
  int64 columns_, rows_;
  std::vector<std::uint8_t> counts_;
};

// Removes stretches where the contour comes back to a pixel within `window`
// points of leaving it, unless the stretch passes one of the tail's ends.
void pruneLoops(lti::borderPoints& contour, int window, const lti::point& tailStart, const lti::point& tailEnd,
                PixelCounts& counts) {
  if (window <= 0) return;
  auto erase = [&](lti::borderPoints::iterator first, lti::borderPoints::iterator last) {
    for (auto it = first; it != last; ++it) counts.forget(*it);
    return contour.eraseRange(first, last);
  };
  auto p = contour.begin();
  while (p != contour.end()) {
    if (counts.occursOnce(*p)) {
      ++p;
      continue;
    }
    bool wrapped = false;
    bool passesTail = false;
    bool removed = false;
    auto q = p;
    for (int step = 0; step < window; ++step) {
      ++q;
      if (q == contour.end()) {
        q = contour.begin();
        wrapped = true;
      }
      // Back at P's own point: the walk went all the way round, and P itself
      // must never be removed.
      if (q == p) break;
      if (*q == tailStart || *q == tailEnd) passesTail = true;
      if (*q != *p) continue;
      if (passesTail) break;
      auto afterP = std::next(p);
      if (!wrapped) {
        erase(afterP, std::next(q));
      } else {
        erase(afterP, contour.end());
        erase(contour.begin(), std::next(q));
      }
      removed = true;
      break;
    }
    if (removed && wrapped) return;  // P is now the last point
    ++p;
  }
}

void traceOutline(CTailAnalyzer& a) { a.border->buildFromIo(*a.outline); }

void fillArea(CTailAnalyzer& a) { a.area->buildFromBorder(*a.border); }

PointSums areaSums(const CTailAnalyzer& a) { return sumPoints(*a.area); }

void markArea(CTailAnalyzer& a) {
  for (const lti::point& p : *a.area) a.widthGrid->markArea(p.x, p.y);
}

void prune(CTailAnalyzer& a, int window) {
  PixelCounts counts(a.minX, a.minY, a.maxX, a.maxY, *a.bodyBorder);
  pruneLoops(*a.bodyBorder, window, a.tailStart, a.tailEnd, counts);
}

PointSums bodySums(CTailAnalyzer& a) {
  a.bodyArea->buildFromBorder(*a.bodyBorder);
  return sumPoints(*a.bodyArea);
}

}  // namespace

const PlainSteps plainSteps{traceOutline, fillArea, areaSums, markArea, prune, bodySums};

}  // namespace tressel
