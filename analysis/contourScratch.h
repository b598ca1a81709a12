// Scratch space of the body contour's cleaning (loop pruning, the limb
// searches and cuts), kept by an analyzer that runs frame after frame so that
// its buffers are reused. What it holds between calls means nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "support/borderPoints.h"
#include "support/point.h"

namespace tressel {

struct ContourScratch {
  std::vector<lti::point> points;                 // a contour's points in walk order
  std::vector<lti::borderPoints::iterator> at;    // and where each is on the list
  std::vector<std::uint32_t> slots;               // a pixel table: position + 1 of a pixel's first occurrence
  std::vector<std::uint32_t> firstSame, nextSame, lastSame;
  std::vector<std::uint32_t> keptBefore;
  std::vector<std::uint8_t> onList;
};

}  // namespace tressel
