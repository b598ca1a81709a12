// Synthetic tracker records with a known truth, and a Behaviour run over them.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "behaviour/Behaviour.h"

namespace behaviour_test {

using tressel::behaviour::Arena;
using tressel::behaviour::Behaviour;
using tressel::behaviour::BehaviourOptions;
using tressel::behaviour::BehaviourRow;
using tressel::tracking::FrameRecord;
using tressel::tracking::FrameStatus;
using tressel::tracking::Pixel;

constexpr double kPi = 3.14159265358979323846;
constexpr double kFps = 30;

struct Pose {
  double x = 100, y = 100;   // true body centre
  double headingDeg = 0;     // true direction from the rear end to the head
  bool tail = true;          // the analysis found a tail
  bool reversed = false;     // ... and took it at the head (its nose at the rear)
  bool swapEnds = false;     // no tail: body end A is the head (false) or the rear (true)
  std::int64_t change = 300; // body pixels changed since the previous frame
  bool present = true;       // false: no animal
  int arena = 0;
};

inline Pixel pixel(double x, double y) { return {std::int32_t(std::lround(x)), std::int32_t(std::lround(y))}; }

// A body 40 px long and 1000 px in area, its tail (when found) behind it.
inline FrameRecord record(std::int64_t frame, const Pose& p) {
  FrameRecord r;
  r.frame = frame;
  r.time = double(frame) / kFps;
  r.arena = p.arena;
  if (!p.present) return r;
  const double ux = std::cos(p.headingDeg * kPi / 180), uy = std::sin(p.headingDeg * kPi / 180);
  const Pixel head = pixel(p.x + 20 * ux, p.y + 20 * uy), rear = pixel(p.x - 20 * ux, p.y - 20 * uy);
  r.status = p.tail ? FrameStatus::ok : FrameStatus::noTail;
  r.tailFound = p.tail;
  r.areaPx = 1200;
  r.bodyAreaPx = 1000;
  r.center = pixel(p.x, p.y);
  r.centerSubX = p.x;
  r.centerSubY = p.y;
  r.bodyChangePx = frame == 0 ? -1 : p.change;
  if (p.tail) {
    r.nose = p.reversed ? rear : head;
    r.tailBase = p.reversed ? head : rear;
    const double sign = p.reversed ? 1 : -1;
    r.tailStart = pixel(p.x + sign * 20 * ux - 3 * uy, p.y + sign * 20 * uy + 3 * ux);
    r.tailEnd = pixel(p.x + sign * 60 * ux, p.y + sign * 60 * uy);
    r.bodyEndA = r.nose;
    r.bodyEndB = r.tailBase;
  } else {
    r.nose = r.center;
    r.bodyEndA = p.swapEnds ? rear : head;
    r.bodyEndB = p.swapEnds ? head : rear;
  }
  return r;
}

// The true head of a pose, in whole pixels.
inline Pixel trueHead(const Pose& p) {
  return pixel(p.x + 20 * std::cos(p.headingDeg * kPi / 180), p.y + 20 * std::sin(p.headingDeg * kPi / 180));
}

struct Outcome {
  std::vector<BehaviourRow> rows;
  tressel::behaviour::Summary summary;
  std::size_t mostHeld = 0;  // records pushed but not yet out, at worst
};

// Runs every pose through one Behaviour, frame i at time i / 30 s.
inline Outcome run(const std::vector<Pose>& poses, const BehaviourOptions& options, const std::vector<Arena>& arenas,
               int arenaCount = 1) {
  Behaviour behaviour(options, arenas);
  Outcome result;
  std::size_t pushed = 0;
  for (std::size_t i = 0; i < poses.size(); ++i) {
    behaviour.push(record(std::int64_t(i) / arenaCount, poses[i]), result.rows);
    ++pushed;
    result.mostHeld = std::max(result.mostHeld, pushed - result.rows.size());
  }
  behaviour.finish(result.rows);
  result.summary = behaviour.summary();
  return result;
}

inline std::vector<Arena> frame400() { return {tressel::behaviour::frameArena(400, 400)}; }

}  // namespace behaviour_test
