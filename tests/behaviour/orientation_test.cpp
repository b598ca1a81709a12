#include <gtest/gtest.h>

#include <random>

#include "behaviour/Orientation.h"
#include "records.h"

using namespace behaviour_test;
using tressel::behaviour::Orientation;
using tressel::behaviour::PathDecision;
using tressel::behaviour::PathStep;
using tressel::behaviour::TwoStatePath;

namespace {

// The least-cost state sequence by trying every one.
std::vector<int> bestByEnumeration(const std::vector<PathStep>& steps) {
  const std::size_t n = steps.size();
  double best = INFINITY;
  std::vector<int> bestStates;
  for (std::uint32_t bits = 0; bits < (1u << n); ++bits) {
    double cost = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const int s = (bits >> i) & 1;
      cost += steps[i].cost[s];
      if (i > 0) {
        const int p = (bits >> (i - 1)) & 1;
        if ((p != s) != steps[i].crossed) cost += steps[i].switchCost;
      }
    }
    if (cost < best) {
      best = cost;
      bestStates.clear();
      for (std::size_t i = 0; i < n; ++i) bestStates.push_back((bits >> i) & 1);
    }
  }
  return bestStates;
}

}  // namespace

// The streaming pass decides exactly what a whole-stretch pass would, frames
// arrive in order, and decisions are usually final long before the end.
TEST(TwoStatePath, DecidesAsTheWholeStretchWould) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> cost(0, 3), switching(0, 6);
  std::bernoulli_distribution crossed(0.3);
  std::size_t decidedEarly = 0;
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<PathStep> steps(12);
    for (PathStep& s : steps) s = PathStep{{cost(random), cost(random)}, crossed(random), switching(random)};
    TwoStatePath path(1000);
    std::vector<PathDecision> decided;
    for (const PathStep& s : steps) path.push(s, decided);
    decidedEarly += decided.size();
    path.finish(decided);
    const std::vector<int> expected = bestByEnumeration(steps);
    ASSERT_EQ(decided.size(), steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
      ASSERT_EQ(decided[i].index, i);
      ASSERT_EQ(decided[i].state, expected[i]) << "trial " << trial << ", frame " << i;
      EXPECT_FALSE(decided[i].forced);
      EXPECT_GE(decided[i].confidence, 0);
      EXPECT_LE(decided[i].confidence, 1);
    }
  }
  EXPECT_GT(decidedEarly, 200u * 12 / 2);
  // Evidence that never decides is forced at the lag limit, and counted.
  TwoStatePath path(10);
  std::vector<PathDecision> decided;
  for (int i = 0; i < 100; ++i) {
    path.push(PathStep{{0, 0}, false, 1}, decided);
    ASSERT_LE(path.pending(), 10u);
  }
  EXPECT_EQ(path.forcedDecisions(), decided.size());
  EXPECT_GT(decided.size(), 80u);
}

namespace {

struct OrientationCase {
  const char* name;
  int from, to;               // frames [from, to) of a 300-frame walk are made wrong ...
  enum { reversed, hidden, hiddenStill, reversedStill } how;
  Orientation expected;       // ... and come out so
  std::int64_t flips;         // orientation flips corrected in the summary
  int sharpTurns;             // frames flagged for a turn over 150 degrees
  bool headCorrected;         // the nose is the true head in every frame
};

}  // namespace

class OrientationCases : public testing::TestWithParam<OrientationCase> {};

TEST_P(OrientationCases, NoseOnTheTrueHead) {
  const OrientationCase& c = GetParam();
  std::vector<Pose> poses;
  for (int i = 0; i < 300; ++i) {
    Pose p;
    // Walking along +x at 60 px/s (1.5 body lengths per second), or standing.
    const bool still = c.how == OrientationCase::hiddenStill || c.how == OrientationCase::reversedStill;
    p.x = still ? 200 : 50 + 2.0 * i;
    p.y = 200;
    if (i >= c.from && i < c.to) {
      if (c.how == OrientationCase::reversed || c.how == OrientationCase::reversedStill) p.reversed = true;
      if (c.how == OrientationCase::hidden || c.how == OrientationCase::hiddenStill) {
        p.tail = false;
        p.swapEnds = i % 3 == 0;  // the ends come in no particular order
      }
    }
    poses.push_back(p);
  }
  const Outcome r = run(poses, BehaviourOptions(), {tressel::behaviour::frameArena(800, 400)});
  ASSERT_EQ(r.rows.size(), poses.size());
  int wrong = 0, turns = 0;
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    const BehaviourRow& row = r.rows[i];
    ASSERT_EQ(row.record.frame, std::int64_t(i));
    const bool inside = int(i) >= c.from && int(i) < c.to;
    EXPECT_EQ(row.orientation, inside ? c.expected : Orientation::found) << "frame " << i;
    wrong += row.nose != trueHead(poses[i]);
    turns += row.sharpTurn;
  }
  EXPECT_EQ(wrong, c.headCorrected ? 0 : c.to - c.from);
  EXPECT_EQ(turns, c.sharpTurns);
  EXPECT_EQ(r.summary.arenas[0].overall.flipsCorrected, c.flips);
}

INSTANTIATE_TEST_SUITE_P(
    Behaviour, OrientationCases,
    testing::Values(
        OrientationCase{"fewReversedWalking", 100, 104, OrientationCase::reversed, Orientation::reversed, 1, 0, true},
        OrientationCase{"fewReversedStill", 100, 106, OrientationCase::reversedStill, Orientation::reversed, 1, 0, true},
        OrientationCase{"tailHiddenWalking", 100, 160, OrientationCase::hidden, Orientation::track, 0, 0, true},
        OrientationCase{"tailHiddenStill", 100, 160, OrientationCase::hiddenStill, Orientation::track, 0, 0, true},
        // A long stretch with a tail found on the other end while standing:
        // the tail's evidence outweighs continuity; the swaps are flagged.
        OrientationCase{"longReversedStill", 100, 160, OrientationCase::reversedStill, Orientation::found, 0, 2, false}),
    [](const testing::TestParamInfo<OrientationCase>& info) { return std::string(info.param.name); });

// A stretch of ambiguous frames (no tail, standing, ends in no order) far
// longer than the lag limit: rows still come out within the limit, and the
// forced decisions are counted.
TEST(Orientation, BoundedDelay) {
  std::vector<Pose> poses(3000);
  for (std::size_t i = 0; i < poses.size(); ++i) {
    poses[i].tail = false;
    poses[i].swapEnds = (i * 7919) % 5 < 2;
    poses[i].headingDeg = (i * 7919) % 7 < 3 ? 0 : 90;  // a round body: the long axis jumps about
  }
  BehaviourOptions options;
  options.maxLagFrames = 100;
  const Outcome r = run(poses, options, frame400());
  EXPECT_EQ(r.rows.size(), poses.size());
  EXPECT_LE(r.mostHeld, 100u + 40u);  // the lag, the smoothing window and a freezing run
  EXPECT_GT(r.summary.arenas[0].overall.orientationForced, 0);
}

namespace behaviour_test {
namespace {

// The analysis's nose strays onto the tail (a second, blurred copy of it)
// while its tail base is right: the track puts the nose back on the head
// and keeps the analysis's tail base.
TEST(Orientation, AStrayNoseIsMovedAndTheTailBaseKept) {
  std::vector<FrameRecord> records;
  for (int i = 0; i < 200; ++i) {
    Pose p;
    p.x = 50 + 2.0 * i;
    p.y = 200;
    FrameRecord r = record(i, p);
    if (i >= 100 && i < 104) {
      r.nose = pixel(p.x - 50, p.y + 8);  // out on the tail, behind the rear end
      r.bodyEndA = r.nose;                // the uncut copy of the tail is part of the body
      r.bodyEndB = pixel(p.x + 20, p.y);
    }
    records.push_back(r);
  }
  BehaviourOptions options;
  Behaviour behaviour(options, {tressel::behaviour::frameArena(800, 400)});
  std::vector<BehaviourRow> rows;
  for (FrameRecord& r : records) behaviour.push(r, rows);
  behaviour.finish(rows);
  ASSERT_EQ(rows.size(), records.size());
  for (int i = 100; i < 104; ++i) {
    EXPECT_EQ(rows[i].orientation, tressel::behaviour::Orientation::reversed) << i;
    EXPECT_EQ(rows[i].nose, pixel(50 + 2.0 * i + 20, 200)) << i;
    EXPECT_EQ(rows[i].tailBase, records[i].tailBase) << i;
  }
}

}  // namespace
}  // namespace behaviour_test
