// The contour of the outline's region, with one-pixel spurs removed: places
// where the contour runs out and straight back along the same pixels.
#include <iterator>

#include "analysis/CTailAnalyzer.h"
#include "analysis/removeSpurs.h"

namespace tressel {

void removeSpurs(lti::borderPoints& contour) {
  auto current = contour.begin();
  while (current != contour.end()) {
    // On fewer than three points both neighbours are the same point and the
    // rule would erase a point twice: such a remainder is kept as it is.
    if (contour.size() < 3) break;
    auto next = std::next(current);
    auto predecessor = current == contour.begin() ? std::prev(contour.end()) : std::prev(current);
    auto successor = next == contour.end() ? contour.begin() : next;
    if (*predecessor == *successor) {
      contour.erase(current);
      contour.erase(predecessor);
    }
    current = next;
  }
}

void CTailAnalyzer::cleanOutline() {
  if (path.steps != nullptr) {
    path.steps->traceOutline(*this);
  } else {
    lti::traceSpans(*outline, *border, traceScratch);
  }
  removeSpurs(*border);
}

}  // namespace tressel
