// The contour of the outline's region, with one-pixel spurs removed: places
// where the contour runs out and straight back along the same pixels.
#include <iterator>

#include "analysis/CTailAnalyzer.h"

namespace tressel {

void CTailAnalyzer::cleanOutline() {
  border->buildFromIo(*outline);

  // One walk from the front. A point whose two contour neighbours coincide is
  // the tip of a spur: it goes, with the point before it, and the walk resumes
  // at the point after it, whose predecessor is now the point before the
  // erased pair, so a longer spur is consumed from its tip inward. There is no
  // second pass.
  lti::borderPoints& b = *border;
  auto current = b.begin();
  while (current != b.end()) {
    // On fewer than three points both neighbours are the same point and the
    // rule would erase a point twice: such a remainder is kept as it is.
    if (b.size() < 3) break;
    auto next = current;
    ++next;
    auto predecessor = current == b.begin() ? --b.end() : std::prev(current);
    auto successor = next == b.end() ? b.begin() : next;
    if (*predecessor == *successor) {
      b.erase(current);
      b.erase(predecessor);
    }
    current = next;
  }
}

}  // namespace tressel
