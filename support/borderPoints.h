// A closed contour in walk order; the last point joins the first. Traced
// contours run clockwise as drawn with y downward, with 8-neighbours as
// consecutive points.
#pragma once

#include "support/channel8.h"
#include "support/pointList.h"

namespace lti {

class ioPoints;

class borderPoints : public tpointList<int> {
 public:
  borderPoints() = default;
  borderPoints(const borderPoints&) = default;
  borderPoints& operator=(const borderPoints& other) {
    assignFrom(other);
    return *this;
  }
  ~borderPoints() override = default;
  const char* getTypeName() const override { return "borderPoints"; }

  // Replaces this list with the outer contour of the region the spans give.
  borderPoints& buildFromIo(const ioPoints& spans);
  // Replaces this list with the traced contour of the raster's first region
  // in scan order.
  bool fromMask(const channel8& mask);
  // Sizes the raster from storedBox, clears it, marks the contour's corners
  // and fills its inside.
  bool toMask(channel8& mask) const;
};

}  // namespace lti
