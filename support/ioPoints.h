// Scan-line spans: for every run of region pixels in a row, its first (entry)
// and last (exit) pixel, rows top to bottom, runs left to right. A one-pixel
// run gives the same point twice.
#pragma once

#include "support/channel8.h"
#include "support/pointList.h"

namespace lti {

class borderPoints;

class ioPoints : public tpointList<int> {
 public:
  ioPoints() = default;
  ioPoints(const ioPoints&) = default;
  ioPoints& operator=(const ioPoints& other) {
    assignFrom(other);
    return *this;
  }
  ~ioPoints() override = default;
  const char* getTypeName() const override { return "ioPoints"; }

  // Replaces this list with the spans of the region the contour encloses.
  ioPoints& buildFromBorder(const borderPoints& contour);
  // Replaces this list with the spans of the raster's non-zero pixels.
  bool fromMask(const channel8& mask);
  // Sizes the raster from storedBox, clears it and draws the spans with 255.
  // Returns false at a pair that is incomplete or spans two rows; the pairs
  // before it stay drawn.
  bool toMask(channel8& mask) const;
};

}  // namespace lti
