// A closed contour in walk order; the last point joins the first. Traced
// contours run clockwise as drawn with y downward, with 8-neighbours as
// consecutive points.
#pragma once

#include <cstdint>
#include <vector>

#include "support/channel8.h"
#include "support/pointList.h"

namespace lti {

class ioPoints;

// A run of pixels of one row, columns first..last inclusive.
struct rowRun {
  int y;
  int first;
  int last;
};

// A corner mark of a contour pixel, sorted into rows by contourFillRuns.
struct rowMark {
  std::int64_t y;
  std::int64_t x;
  unsigned char bits;
};

// The non-zero pixels of the raster that fillContour would make of the
// contour (its bounding box, corners marked, the inside filled between the
// marks), as runs in scan order, without the raster: the work grows with the
// contour, not with its box. `marks` and `rowStarts` are scratch space,
// reused by a caller that keeps them. Raises allocException where
// fillContour would (a box beyond the raster size bound).
void contourFillRuns(const tpointList<int>& contour, std::vector<rowRun>& runs, std::vector<rowMark>& marks,
                     std::vector<std::int64_t>& rowStarts);

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
