// Every pixel enclosed by the cleaned contour, holes included.
#include "analysis/CTailAnalyzer.h"

namespace tressel {

void CTailAnalyzer::fillArea() {
  area->buildFromBorder(*border);
}

}  // namespace tressel
