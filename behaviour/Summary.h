// The summaries of a recording: per arena, over the whole recording and per
// time bin, with every setting that made them.
//
//   const Summary& s = behaviour.summary();           // complete after finish()
//   write(dir + "/SUMMARY.json", summaryJson(s, trackerSettingsJson));
//   write(dir + "/SUMMARY.csv", summaryCsv(s));      // one row per arena and bin
//   std::cerr << summaryTable(s);                     // a short table for the terminal
//
// A frame lasts from the previous frame's time to its own (the first frame
// as long as the second), so that durations add up to the recording's.
// Lengths and speeds are in the calibration's unit ("px" or "cm").
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "behaviour/Orientation.h"
#include "behaviour/Row.h"

namespace tressel::behaviour {

struct ZoneMeasures {
  double time = 0;        // seconds with the position inside
  std::int64_t entries = 0;  // arrivals from outside; being inside at the first position counts as one
  double latency = NAN;   // seconds from the period's start to the first frame inside; NaN: never inside
  double distance = 0;    // travelled inside
};

struct Measures {
  double start = 0;  // seconds: the period's first frame, or the bin's start
  double end = 0;
  double duration = 0;  // sum of the frames' durations
  std::int64_t frames = 0;
  std::int64_t framesTracked = 0;   // with an animal (ok, no_tail, odd_size)
  std::int64_t framesWithTail = 0;
  std::int64_t framesInterpolated = 0;
  std::int64_t jumps = 0;
  std::int64_t framesReversed = 0;     // the analysis's ends swapped back by the track
  std::int64_t flipsCorrected = 0;     // stretches of such frames
  std::int64_t framesNoseFromTrack = 0;  // no tail: the head end from the track
  std::int64_t orientationForced = 0;
  std::int64_t sharpTurns = 0;
  double distance = 0;
  double timeWithSpeed = 0;  // the time over which the distance was measured (gaps bridged included)
  double timeMoving = 0;
  double distanceMoving = 0;
  std::int64_t movingBouts = 0;
  double timeFreezing = 0;
  std::int64_t freezingBouts = 0;
  double turnedClockwise = 0;         // degrees, summed frame to frame (clockwise on screen: y points down)
  double turnedCounterclockwise = 0;
  // Full turns, counted as they complete: the heading's net turn reaching
  // 360 degrees one way; turning back by more than 90 degrees starts afresh.
  std::int64_t rotationsClockwise = 0;
  std::int64_t rotationsCounterclockwise = 0;
  std::vector<ZoneMeasures> zones;      // as the arena's zones
  double firstFrameTime = 0;            // the latencies' origin

  double meanSpeed() const { return timeWithSpeed > 0 ? distance / timeWithSpeed : NAN; }
  double meanSpeedMoving() const { return timeMoving > 0 ? distanceMoving / timeMoving : NAN; }
};

struct ArenaSummary {
  std::shared_ptr<const ArenaInfo> info;
  double bodyLengthPx = NAN;  // median over the arena's frames
  Measures overall;
  std::vector<Measures> bins;  // empty without --bin
};

struct Summary {
  BehaviourOptions options;
  OrientationWeights weights;
  std::string unit = "px";
  std::vector<ArenaSummary> arenas;
};

// Gathers one arena's rows, in order, into its summary.
class SummaryBuilder {
 public:
  SummaryBuilder(std::shared_ptr<const ArenaInfo> info, const BehaviourOptions& options);
  void add(const BehaviourRow& row);
  void finish(double bodyLengthPx);
  const ArenaSummary& summary() const { return summary_; }

 private:
  void account(const BehaviourRow& row, double duration);
  Measures& binFor(double time);

  ArenaSummary summary_;
  double binSeconds_;
  bool started_ = false;
  bool hasFirst_ = false;
  BehaviourRow first_;  // held until the second frame tells its duration
  double previousTime_ = 0;
  double origin_ = 0;
  // Frame-to-frame state.
  bool previousReversed_ = false;
  signed char previousMoving_ = 0;
  signed char previousFreezing_ = 0;
  double previousHeading_ = NAN;
  double netTurn_ = 0;   // since the last full turn or turn back
  double turnPeak_ = 0;  // the net turn's extreme in its direction
  double lastDistance_ = 0;
  std::vector<bool> inside_;
};

// SUMMARY.json: the settings (the behaviour options, the orientation weights
// and `trackerJson`, a JSON object the tool gives with its own settings),
// then per arena its shape, zones, calibration, overall measures and bins.
std::string summaryJson(const Summary& summary, const std::string& trackerJson = "{}");
// SUMMARY.csv: one row per arena and period ("all", then each bin).
std::string summaryCsv(const Summary& summary);
// A few measures per arena, one line each, for the terminal.
std::string summaryTable(const Summary& summary);

}  // namespace tressel::behaviour
