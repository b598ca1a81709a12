// The arena found in the empty-arena picture: the floor, a large even region
// around the picture's middle, set off from the walls and the room around it.
//
//   DetectedArena arena = detectArena(background);
//   if (arena.found) { settings.roi = arena.bounds; settings.arenaMask = arena.mask; }
//
// Where no such region stands out (the floor fills the picture, or it is too
// uneven, too small or off-centre), nothing is found and the whole frame is
// the arena; `reason` says why.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tracking/Segmenter.h"

namespace tressel::tracking {

struct DetectedArena {
  bool found = false;
  Rect bounds;                     // the floor's bounding box
  std::vector<std::uint8_t> mask;  // the picture's size; non-zero on the floor and a few pixels around it
  std::string reason;              // why nothing was found
};

DetectedArena detectArena(const Background& background);

}  // namespace tressel::tracking
