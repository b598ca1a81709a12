// Cleaning the body contour after the tail cut: short loops are pruned, then
// up to ten thin limbs are found and cut off one at a time.
#include "analysis/CTailAnalyzer.h"
#include "analysis/arithmetic.h"

namespace tressel {
namespace {

constexpr int maxLimbCuts = 10;

// Removes stretches where the contour comes back to a pixel within `window`
// points of leaving it, unless the stretch passes one of the tail's ends.
void pruneLoops(lti::borderPoints& contour, int window, const lti::point& tailStart,
                const lti::point& tailEnd) {
  if (window <= 0) return;
  auto p = contour.begin();
  while (p != contour.end()) {
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
      auto afterP = p;
      ++afterP;
      if (!wrapped) {
        auto follower = contour.eraseRange(afterP, q);
        contour.erase(follower);
      } else {
        if (afterP != contour.end()) contour.eraseRange(afterP, contour.end());
        contour.eraseRange(contour.begin(), q);
        contour.erase(q);
      }
      removed = true;
      break;
    }
    if (removed && wrapped) return;  // P is now the last point
    ++p;
  }
}

}  // namespace

void CTailAnalyzer::removeLimbs() {
  if (!hasTail) return;
  const int window = percentOf(bodyBorder->size(), loopLengthMaxPercent);
  pruneLoops(*bodyBorder, window, tailStart, tailEnd);

  for (int cut = 0; cut < maxLimbCuts; ++cut) {
    searchLimb();
    if (!hasLimb) return;
    buildLimbSegment();
    cutLimb();
  }
}

}  // namespace tressel
