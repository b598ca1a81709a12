// The border service's output: the cleaned contour written into the caller's
// arrays. The legacy call carries no capacity, so the arrays must hold the
// whole border, which is usually longer than the input.
#include "analysis/CTailAnalyzer.h"

namespace tressel {

int CTailAnalyzer::exportBorder(float* x, float* y, int count) const {
  if (border->empty()) return 0;
  if (count <= 0) return count;
  int i = 0;
  for (const lti::point& p : *border) {
    x[i] = static_cast<float>(p.x);
    y[i] = static_cast<float>(p.y);
    ++i;
  }
  return border->size();
}

}  // namespace tressel
