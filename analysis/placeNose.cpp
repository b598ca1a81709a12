// The nose: the body contour point farthest from the weighted centre, among
// the points from a tenth of the contour after the tail's end to a tenth
// before coming back to it, so that the points beside the tail's root never
// compete. Without a tail the nose is the centre of the outline's area.
#include "analysis/CTailAnalyzer.h"
#include "analysis/arithmetic.h"

namespace tressel {

void CTailAnalyzer::placeNose() {
  if (!hasTail) {
    nose = center;
    return;
  }
  const int n = bodyBorderLength;
  const int lo = n / 10;
  const int hi = n - n / 10;
  if (hi <= 0) return;

  // Positions are counted from the first point equal to tailEnd (position 1),
  // in list order, wrapping around as often as needed to reach hi.
  int position = 0;
  int64 best = 0;
  for (;;) {
    for (const lti::point& p : *bodyBorder) {
      if (position == 0) {
        if (p != tailEnd) continue;
        position = 1;
        if (position >= hi) return;
        continue;
      }
      ++position;
      if (position < lo) continue;
      if (position > hi) return;
      const int64 d = squaredDistance(p, weightedCenter);
      if (d > best) {
        best = d;
        nose = p;
      }
    }
    if (position == 0) {
      nose = center;  // tailEnd is not on the body contour
      return;
    }
    if (position >= hi) return;
  }
}

}  // namespace tressel
