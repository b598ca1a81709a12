// One finished row of the per-frame table: the tracker's record and what
// the behaviour measures add to it.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "behaviour/Arenas.h"
#include "behaviour/Options.h"
#include "tracking/FrameRecord.h"

namespace tressel::behaviour {

// What the rows of one arena share (rows and summaries keep it alive).
struct ArenaInfo {
  int index = 0;
  Arena arena;
  std::vector<Zone> zones;  // in order: the `zone` column names the first that holds the position
  Calibration calibration;
};

// How the row's nose and tail base were obtained.
enum class Orientation : std::uint8_t {
  none,      // no points
  found,     // the analysis's own
  reversed,  // the track says the analysis had the ends the wrong way round: from the body's ends
  track,     // no tail was found: from the body end that the track says is the head
};

const char* orientationName(Orientation orientation);  // "", "found", "reversed", "track"

struct BehaviourRow {
  tracking::FrameRecord record;  // as the tracker gave it (without its pixel runs)
  std::shared_ptr<const ArenaInfo> arena;

  // The head and tail base as the track decides (defined when orientation != none).
  Orientation orientation = Orientation::none;
  tracking::Pixel nose;
  tracking::Pixel tailBase;
  double headingDeg = NAN;   // tail base (no tail: body centre) -> nose; 0 = +x, 90 = +y, in [0, 360)
  double confidence = NAN;   // of the head end, 0-1
  bool orientationForced = false;  // decided at the lag limit, not by the evidence converging
  bool sharpTurn = false;    // the tail base -> nose direction turned more than the limit since the previous frame

  // The position the measures start from: the body's sub-pixel centre, or an
  // interpolated one; then smoothed for the measures only.
  bool hasPosition = false;
  bool interpolated = false;
  bool jump = false;  // the step here was faster than --max-speed (left out of the distance)
  double x = NAN, y = NAN;
  double smoothX = NAN, smoothY = NAN;

  // The step from the previous position (across a gap: the straight line):
  // its speed in calibration units per second, and its time.
  double speed = NAN;
  double stepSeconds = NAN;
  double distance = 0;   // travelled so far in the arena (jumps left out), calibration units
  std::uint64_t zonesHolding = 0;  // bit i: zone i holds the smoothed position
  int zone = -1;                   // the first of them, -1 none
  double mobility = NAN;           // body pixels changed / (body area now + before)
  signed char moving = -1;         // -1 unknown (no position), 0, 1
  signed char freezing = -1;
};

}  // namespace tressel::behaviour
