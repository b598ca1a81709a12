#pragma once

#include "support/ioPoints.h"

namespace tressel {

// A caller's coordinate as an int: truncated toward zero, NaN as 0, and values
// beyond the int32 range (infinities included) saturated to it.
int truncateCoordinate(float value);

// Appends the caller's points, in the caller's order, to an outline list.
// Null arrays are read as an empty outline.
void appendInputPoints(const float* x, const float* y, int count, lti::ioPoints& outline);

}  // namespace tressel
