// The contour of the outline's region, with one-pixel spurs removed: places
// where the contour runs out and straight back along the same pixels.
#include <iterator>

#include "analysis/CTailAnalyzer.h"
#include "analysis/removeSpurs.h"

namespace tressel {

void removeSpurs(lti::borderPoints& contour) {
  // The list's end never moves and its front and size change only where
  // points go, so they are held here rather than asked of the list each step.
  const auto end = contour.end();
  auto front = contour.begin();
  int size = contour.size();
  auto current = front;
  while (current != end) {
    // On fewer than three points both neighbours are the same point and the
    // rule would erase a point twice: such a remainder is kept as it is.
    if (size < 3) break;
    auto next = std::next(current);
    auto predecessor = current == front ? std::prev(end) : std::prev(current);
    auto successor = next == end ? front : next;
    if (*predecessor == *successor) {
      contour.erase(current);
      contour.erase(predecessor);
      size -= 2;
      front = contour.begin();
    }
    current = next;
  }
}

void CTailAnalyzer::cleanOutline() {
  borderMeasured = false;
  if (path.steps != nullptr) {
    path.steps->traceOutline(*this);
  } else {
    lti::traceSpans(*outline, *border, traceScratch);
  }
  removeSpurs(*border);
}

}  // namespace tressel
