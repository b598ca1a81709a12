// The eight step directions between 8-neighbours, numbered counterclockwise
// as drawn with y downward: 0 is a step right, 2 a step up, 4 left, 6 down.
#pragma once

namespace lti {

constexpr int directionStepX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int directionStepY[8] = {0, -1, -1, -1, 0, 1, 1, 1};

// Codes of the steps by their signs, indexed by (sy + 1) * 3 + (sx + 1); kept
// outside directionCode so that a call does not build the table anew.
inline constexpr int directionCodesBySigns[9] = {3, 2, 1, 4, -1, 0, 5, 6, 7};

// The code of a step, from the signs of its differences only; -1 for no step.
constexpr int directionCode(long long dx, long long dy) {
  const int sx = (dx > 0) - (dx < 0);
  const int sy = (dy > 0) - (dy < 0);
  return directionCodesBySigns[(sy + 1) * 3 + (sx + 1)];
}

}  // namespace lti
