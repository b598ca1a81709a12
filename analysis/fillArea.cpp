// Every pixel enclosed by the cleaned contour, holes included.
#include "analysis/CTailAnalyzer.h"

namespace tressel {

void CTailAnalyzer::fillArea() {
  if (path.steps != nullptr) {
    path.steps->fillArea(*this);
    return;
  }
  areaMask.fill(*border);
  if (retain == Retain::workingLists) areaMask.toAreaPoints(*area);
}

}  // namespace tressel
