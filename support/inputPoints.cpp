#include "support/inputPoints.h"

#include <cmath>

namespace tressel {

int truncateCoordinate(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0f) return 2147483647;
  if (value < -2147483648.0f) return -2147483647 - 1;
  return static_cast<int>(value);  // in range: truncates toward zero
}

void appendInputPoints(const float* x, const float* y, int count, lti::ioPoints& outline) {
  if (x == nullptr || y == nullptr) return;
  for (int i = 0; i < count; ++i) outline.pushBack(lti::point(truncateCoordinate(x[i]), truncateCoordinate(y[i])));
}

}  // namespace tressel
