// Shared steps of the conversions between spans, contours and areas. Every
// conversion draws its source into a scratch raster that covers exactly the
// source's bounding box and reads the target back out of it; the source is
// drawn shifted by (-minX, -minY) and the target shifted back.
#pragma once

#include <cstdint>

#include "support/channel8.h"
#include "support/point.h"
#include "support/pointList.h"

namespace lti {

// Offset added to a list's points while drawing them; 64-bit so that moving a
// box at the far end of the int32 range to the origin cannot overflow.
struct pixelShift {
  std::int64_t dx = 0;
  std::int64_t dy = 0;
};

inline pixelShift shiftToOrigin(const box& b) {
  return pixelShift{-std::int64_t{b.minX}, -std::int64_t{b.minY}};
}

// Sizes `mask` to the source's bounding box, all 0; returns the box.
box frameRaster(const tpointList<int>& source, channel8& mask);

// Sizes a raster for a list's storedBox as the toMask operations do: at least
// maxY + 1 rows and maxX + 1 columns, every cell 0.
void sizeForStoredBox(const box& storedBox, channel8& mask);

// Adds (dx, dy) to every point.
void shiftPoints(tpointList<int>& list, int dx, int dy);

// Draws spans (shifted) into an already sized raster; false at the first pair
// that is incomplete or spans two rows.
bool drawSpans(const tpointList<int>& spans, pixelShift shift, channel8& mask);

// Marks the corners of a clockwise contour (shifted) and fills its inside, in
// an already sized raster.
void drawContour(const tpointList<int>& contour, pixelShift shift, channel8& mask);

// Fills a contour into a raster of its bounding box and returns the box; an
// empty contour leaves the raster empty and gives (0, 0, 0, 0).
box fillContour(const tpointList<int>& contour, channel8& mask);

}  // namespace lti
