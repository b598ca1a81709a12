// Which end of the body is the head, decided over each stretch of detected
// frames at once rather than frame by frame.
//
// Every frame has two states: 0, the head is the body end nearer the
// analysis's nose (bodyEndA: the analysis as found), and 1, it is the other
// end (reversed). Each frame's own evidence costs something in either state,
// and so does moving the head to the other physical end between two frames;
// the decision is the path of least total cost over the stretch (Viterbi).
// Costs are in nats (negative log-likelihoods), so that a cost difference d
// between the two states means odds of e^d.
//
//   TwoStatePath path(maxLag);
//   std::vector<PathDecision> decided;
//   for each detected frame of a stretch: path.push(step, decided);   // decisions, oldest first
//   at the stretch's end:                 path.finish(decided);       // the rest
//
// A frame's decision is final as soon as the best paths ending in either
// state share it; that usually takes a few frames. When a stretch stays
// ambiguous for more than maxLag frames, the older half of the pending frames
// is decided along the currently best path (forced, and counted).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "behaviour/Arenas.h"
#include "tracking/FrameRecord.h"

namespace tressel::behaviour {

// The evidence's weights (nats); recorded with every summary.
struct OrientationWeights {
  double tail = 2.5;          // a tail found and cut: per frame, against the reversed state
  double motion = 1.0;        // moving steadily: per frame, against the head pointing backwards
  double switchEnds = 12;     // the head jumping to the other body end when the ends are clearly tracked
  double switchAny = 1;       // ... and whatever the ends look like (a round, curled-up body)
  double steadySpeed = 0.5;   // moving steadily: at least this many body lengths per second ...
  double straightness = 0.8;  // ... with displacement / path length at least this ...
  double windowSeconds = 0.3; // ... over this time
};

struct PathStep {
  double cost[2] = {0, 0};  // this frame's evidence against state 0 and state 1
  bool crossed = false;     // the body ends' labels swapped since the previous frame
  double switchCost = 0;    // moving the head to the other physical end since the previous frame
};

struct PathDecision {
  std::uint64_t index = 0;  // which push, counted from 0 over every stretch
  int state = 0;            // 0: head = end A (as found), 1: head = end B (reversed)
  double confidence = 0;    // tanh(margin / 2), margin = best cost with the other state here - the best cost
  bool forced = false;
};

class TwoStatePath {
 public:
  explicit TwoStatePath(std::size_t maxLag);
  void push(const PathStep& step, std::vector<PathDecision>& decided);
  void finish(std::vector<PathDecision>& decided);  // ends the stretch
  std::size_t pending() const { return pending_.size(); }
  std::uint64_t forcedDecisions() const { return forced_; }

 private:
  struct Pending {
    PathStep step;
    double forward[2];  // least cost of a path to this frame in each state (minus the lesser)
    std::uint8_t back[2];
  };
  static double transition(const PathStep& step, int from, int to);
  void extend(Pending& p, const Pending* previous) const;
  void commit(std::size_t count, int newestState, bool forced, std::vector<PathDecision>& decided);

  std::size_t maxLag_;
  std::deque<Pending> pending_;
  std::uint64_t firstIndex_ = 0;  // index of pending_.front()
  std::uint64_t forced_ = 0;
};

// The body's two ends of a frame with points (A nearer the analysis's nose).
// When the tracker gave none, the nose and its mirror image through the body
// centre (or the tail base) serve.
void bodyEnds(const tracking::FrameRecord& record, Point2& a, Point2& b);

// Turns the detected frames of a stretch into path steps.
class OrientationEvidence {
 public:
  explicit OrientationEvidence(OrientationWeights weights = {}) : weights_(weights) {}
  PathStep next(const tracking::FrameRecord& record, double bodyLengthPx);
  void endStretch();

 private:
  struct Recent {
    double time, x, y, path;  // path: distance travelled in the stretch up to this frame
  };
  OrientationWeights weights_;
  bool hasPrevious_ = false;
  Point2 previousA_, previousB_;
  std::deque<Recent> recent_;
};

}  // namespace tressel::behaviour
