// Every pixel of a region once, in scan order.
#pragma once

#include "support/channel8.h"
#include "support/pointList.h"

namespace lti {

class borderPoints;

class areaPoints : public tpointList<int> {
 public:
  areaPoints() = default;
  areaPoints(const areaPoints&) = default;
  areaPoints& operator=(const areaPoints& other) {
    assignFrom(other);
    return *this;
  }
  ~areaPoints() override = default;
  const char* getTypeName() const override { return "areaPoints"; }

  // Replaces this list with every pixel the contour encloses, holes included.
  areaPoints& buildFromBorder(const borderPoints& contour);
  // Replaces this list with the positions of the raster's non-zero pixels.
  bool fromMask(const channel8& mask);
};

}  // namespace lti
