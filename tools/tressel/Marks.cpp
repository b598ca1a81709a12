#include "Marks.h"

#include <algorithm>

namespace tressel_tool {

void drawMarker(Canvas& canvas, Vertex at, Marker shape, double radius, Colour c) {
  const double r = radius;
  const double o = std::max(1.0, r / 4);  // outline
  switch (shape) {
    case Marker::ring: {
      const double band = std::max(1.5, r / 2.5);
      canvas.fillRing(at.x, at.y, std::max(0.0, r - band - o), r + o, kOutlineColour);
      canvas.fillRing(at.x, at.y, r - band, r, c);
      break;
    }
    case Marker::cross: {
      const double arm = r + 1, bar = std::max(2.0, r / 2);
      for (int pass = 0; pass < 2; ++pass) {
        const double grow = pass == 0 ? o : 0;
        const Colour colour = pass == 0 ? kOutlineColour : c;
        canvas.fillPolygon({{at.x - arm - grow, at.y - bar / 2 - grow}, {at.x + arm + grow, at.y - bar / 2 - grow},
                            {at.x + arm + grow, at.y + bar / 2 + grow}, {at.x - arm - grow, at.y + bar / 2 + grow}},
                           colour);
        canvas.fillPolygon({{at.x - bar / 2 - grow, at.y - arm - grow}, {at.x + bar / 2 + grow, at.y - arm - grow},
                            {at.x + bar / 2 + grow, at.y + arm + grow}, {at.x - bar / 2 - grow, at.y + arm + grow}},
                           colour);
      }
      break;
    }
    case Marker::diamond: {
      const double d = r * 1.3;
      canvas.fillPolygon({{at.x, at.y - d - 1.5 * o}, {at.x + d + 1.5 * o, at.y}, {at.x, at.y + d + 1.5 * o},
                          {at.x - d - 1.5 * o, at.y}},
                         kOutlineColour);
      canvas.fillPolygon({{at.x, at.y - d}, {at.x + d, at.y}, {at.x, at.y + d}, {at.x - d, at.y}}, c);
      break;
    }
  }
}

}  // namespace tressel_tool
