// The cross-width of the region at every contour point: a ray from the point
// along the contour's normal, into the region, until it meets the contour
// again or leaves the region. The widths go into the grid, the largest into
// maxWidth.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "analysis/arithmetic.h"

namespace tressel {
namespace {

int sign(int64 v) { return (v > 0) - (v < 0); }

// A component of the chord's quantised direction: non-zero when it is at least
// half of the chord's larger component.
int quantised(int64 component, int64 larger) {
  return ((larger / 2 + std::llabs(component)) / larger) == 1 ? sign(component) : 0;
}

}  // namespace

void CTailAnalyzer::measureWidths() {
  WidthGrid& grid = *widthGrid;
  grid.build(minX, minY, maxX, maxY);
  for (const lti::point& p : *border) grid.cell(p.x, p.y).onBorder = 1;
  for (const lti::point& p : *area) grid.cell(p.x, p.y).inArea = 1;
  maxWidth = 0;

  const std::vector<lti::point> points(border->begin(), border->end());
  const int64 n = static_cast<int64>(points.size());
  auto at = [&](int64 i) -> const lti::point& { return points[static_cast<std::size_t>(((i % n) + n) % n)]; };

  // p(2), p(3), ..., p(n-1), p(0), p(1): the chord of p(i) joins p(i-2) and p(i+2).
  for (int64 k = 0; k < n; ++k) {
    const int64 i = (k + 2) % n;
    const lti::point& here = at(i);
    const int64 dx = int64{at(i + 2).x} - at(i - 2).x;
    const int64 dy = int64{at(i + 2).y} - at(i - 2).y;
    const int64 larger = std::max(std::llabs(dx), std::llabs(dy));

    int width = 1;  // a point whose chord has no direction gets no ray
    if (larger != 0) {
      const int ux = quantised(dx, larger);
      const int uy = quantised(dy, larger);
      int sx = -uy;  // the chord's direction turned by a quarter turn
      int sy = ux;
      int reversals = 0;
      bool entered = false;
      bool measured = false;
      while (!measured) {
        if (reversals > 1) break;  // neither direction enters the region: width 1
        int64 x = here.x;
        int64 y = here.y;
        for (;;) {
          x += sx;
          y += sy;
          if (!grid.contains(x, y)) {
            sx = -sx;
            sy = -sy;
            ++reversals;
            break;
          }
          const WidthCell& c = grid.cell(x, y);
          if (!entered && !c.inArea) {  // the normal pointed out of the region
            sx = -sx;
            sy = -sy;
            ++reversals;
            break;
          }
          entered = true;
          if (c.onBorder || !c.inArea) {
            width = static_cast<int>(truncatedLength((x - here.x) * (x - here.x) + (y - here.y) * (y - here.y)));
            measured = true;
            break;
          }
        }
      }
    }
    grid.cell(here.x, here.y).width = width;  // a later visit of the same pixel overwrites
    if (width > maxWidth) maxWidth = width;
  }
}

}  // namespace tressel
