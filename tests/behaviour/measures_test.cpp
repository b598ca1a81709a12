#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "records.h"

using namespace behaviour_test;
using tressel::behaviour::Measures;

namespace {

const Measures& overall(const Outcome& r, std::size_t arena = 0) { return r.summary.arenas.at(arena).overall; }

// Around the square (100,100)-(300,300) once, 2 px per frame, with up to
// `noise` px of noise on the body centre: 800 px in 400 frames, 13.33 s.
std::vector<Pose> square(double noise) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> jitter(-noise, noise);
  std::vector<Pose> poses;
  for (int i = 0; i <= 400; ++i) {
    const double s = 2.0 * i;
    Pose p;
    const int side = std::min(3, i / 100);
    const double along = s - 200 * side;
    const double xs[] = {100 + along, 300, 300 - along, 100}, ys[] = {100, 100 + along, 300, 300 - along};
    p.x = xs[side] + jitter(random);
    p.y = ys[side] + jitter(random);
    p.headingDeg = 90.0 * side;
    poses.push_back(p);
  }
  return poses;
}

}  // namespace

// The path's length, from the sub-pixel centre smoothed for the measures;
// unsmoothed, the noise adds 8 %.
TEST(Measures, PathOfKnownLength) {
  const Outcome r = run(square(1.0), BehaviourOptions(), frame400());
  EXPECT_NEAR(overall(r).distance, 800, 16);
  EXPECT_NEAR(overall(r).meanSpeed(), 60, 1.2);
  EXPECT_NEAR(r.rows.back().distance, overall(r).distance, 1e-9);
  EXPECT_NEAR(overall(r).duration, 401 / kFps, 1e-9);
  EXPECT_NEAR(overall(r).timeMoving, overall(r).duration, 0.5);  // the first half second is the moving window
  BehaviourOptions raw;
  raw.smoothFrames = 1;
  EXPECT_GT(run(square(1.0), raw, frame400()).summary.arenas[0].overall.distance, 850);
}

TEST(Measures, CalibrationConvertsExactly) {
  struct Case {
    const char* option;
    const char* value;
    int frameWidth, frameHeight;
  };
  const double pixels = run(square(0), BehaviourOptions(), frame400()).summary.arenas[0].overall.distance;
  for (const Case c : {Case{"--scale", "40cm:800px", 400, 400}, Case{"--scale", "0.4m:800px", 400, 400},
                       Case{"--arena-size", "20x20cm", 400, 400}, Case{"--arena-size", "200x200mm", 400, 400}}) {
    BehaviourOptions options;
    ASSERT_EQ(tressel::behaviour::findBehaviourOption(c.option)->apply(c.value, options), "");
    Behaviour probe(options, {tressel::behaviour::frameArena(c.frameWidth, c.frameHeight)});
    std::string names;
    for (const auto& column : probe.columns()) names += column.name + ",";
    EXPECT_NE(names.find(",speed_cm_s,distance_cm,"), std::string::npos) << c.value;
    const Outcome r = run(square(0), options, {tressel::behaviour::frameArena(c.frameWidth, c.frameHeight)});
    EXPECT_EQ(r.summary.unit, "cm");
    EXPECT_NEAR(overall(r).distance, pixels * 0.05, 1e-9) << c.value;
  }
}

// In the periphery, then three visits of 2 s to the centre, 1 s apart.
TEST(Measures, ZoneTimeEntriesAndLatency) {
  std::vector<Pose> poses;
  for (int i = 0; i < 300; ++i) {
    Pose p;
    const bool inCentre = i >= 60 && (i - 60) % 90 < 60 && i < 60 + 3 * 90;
    p.x = inCentre ? 200 : 40;
    p.y = 200;
    poses.push_back(p);
  }
  std::vector<Arena> arenas = frame400();
  BehaviourOptions options;
  options.binSeconds = 5;
  Outcome r = run(poses, options, arenas);
  const auto& zones = r.summary.arenas[0].info->zones;
  ASSERT_EQ(zones[0].name, "centre");
  EXPECT_NEAR(overall(r).zones[0].time, 6.0, 1e-9);
  EXPECT_EQ(overall(r).zones[0].entries, 3);
  EXPECT_NEAR(overall(r).zones[0].latency, 2.0, 1e-9);
  EXPECT_EQ(overall(r).zones[1].entries, 3);  // the start counts as one
  EXPECT_EQ(r.rows[100].record.frame, 100);
  EXPECT_EQ(std::string(r.summary.arenas[0].info->zones[r.rows[100].zone].name), "centre");
  // Per 5 s bin: the same totals.
  ASSERT_EQ(r.summary.arenas[0].bins.size(), 2u);
  double time = 0;
  std::int64_t entries = 0;
  for (const Measures& bin : r.summary.arenas[0].bins) {
    time += bin.zones[0].time;
    entries += bin.zones[0].entries;
  }
  EXPECT_NEAR(time, 6.0, 1e-9);
  EXPECT_EQ(entries, 3);

  // The same visits to a circle of a zones file.
  const std::string path = testing::TempDir() + "behaviour_zones.json";
  std::ofstream(path) << R"({"zones": [{"name": "dish", "circle": [200, 200, 30]}]})";
  options.zonesFile = path;
  r = run(poses, options, arenas);
  std::remove(path.c_str());
  ASSERT_EQ(r.summary.arenas[0].info->zones.size(), 1u);
  EXPECT_NEAR(overall(r).zones[0].time, 6.0, 1e-9);
  EXPECT_EQ(overall(r).zones[0].entries, 3);
}

// Three circles clockwise (on screen, y down) and a bit, then on into two
// circles and a bit counter-clockwise beside them (a figure of eight).
TEST(Measures, FullTurnsEachWay) {
  const int clockwise = 370, counterclockwise = 250;  // frames at 3 degrees each
  const double end = 3.0 * clockwise * kPi / 180;
  std::vector<Pose> poses;
  for (int i = 0; i < clockwise + counterclockwise; ++i) {
    Pose p;
    const bool first = i < clockwise;
    const double a = first ? 3.0 * i * kPi / 180 : end + kPi - 3.0 * (i - clockwise) * kPi / 180;
    p.x = 250 + (first ? 0 : 160 * std::cos(end)) + 80 * std::cos(a);
    p.y = 250 + (first ? 0 : 160 * std::sin(end)) + 80 * std::sin(a);
    p.headingDeg = a * 180 / kPi + (first ? 90 : -90);
    poses.push_back(p);
  }
  const Outcome r = run(poses, BehaviourOptions(), {tressel::behaviour::frameArena(600, 600)});
  EXPECT_EQ(overall(r).rotationsClockwise, 3);
  EXPECT_EQ(overall(r).rotationsCounterclockwise, 2);
  EXPECT_NEAR(overall(r).turnedClockwise, 3.0 * clockwise, 3);  // with the step into the second circle
  EXPECT_NEAR(overall(r).turnedCounterclockwise, 3.0 * (counterclockwise - 1), 3);
}

// Still for 2 s and for 0.5 s between walks: one bout of freezing, of 2 s.
TEST(Measures, FreezingForAKnownTime) {
  std::vector<Pose> poses;
  double x = 50;
  for (int i = 0; i < 300; ++i) {
    Pose p;
    const bool still = (i > 60 && i <= 120) || (i > 180 && i <= 195);  // 60 and 15 frames unchanged
    if (!still) x += 1;
    p.x = x;
    p.change = still ? 10 : 300;
    poses.push_back(p);
  }
  const Outcome r = run(poses, BehaviourOptions(), frame400());
  EXPECT_NEAR(overall(r).timeFreezing, 2.0, 1e-9);
  EXPECT_EQ(overall(r).freezingBouts, 1);
  EXPECT_EQ(r.rows[61].freezing, 1);
  EXPECT_EQ(r.rows[190].freezing, 0);
}

// A gap of 3 frames is filled and one of 5 is not; a one-frame leap across
// the arena is a jump both ways and left out of the distance.
TEST(Measures, GapsAndJumps) {
  std::vector<Pose> poses;
  for (int i = 0; i < 120; ++i) {
    Pose p;
    p.x = 50 + i;
    p.present = !(i >= 20 && i < 23) && !(i >= 50 && i < 55);
    if (i == 90) p.y = 300;
    poses.push_back(p);
  }
  BehaviourOptions options;
  options.interpolate = 3;
  ASSERT_EQ(tressel::behaviour::findBehaviourOption("--max-speed")->apply("1000px/s", options), "");
  const Outcome r = run(poses, options, frame400());
  for (int i : {20, 21, 22}) {
    EXPECT_TRUE(r.rows[i].interpolated);
    EXPECT_NEAR(r.rows[i].x, 50 + i, 1e-9);
  }
  EXPECT_FALSE(r.rows[50].hasPosition);
  EXPECT_EQ(overall(r).framesInterpolated, 3);
  EXPECT_TRUE(r.rows[90].jump);
  EXPECT_TRUE(r.rows[91].jump);
  EXPECT_EQ(overall(r).jumps, 2);
  // 119 px, the gap that was not filled bridged by a straight line, less the
  // two 1 px steps of the jump's frames (the median has already removed the leap).
  EXPECT_NEAR(overall(r).distance, 117, 1e-6);
  EXPECT_NEAR(r.rows[55].speed, 30, 1e-6);  // 6 px in 0.2 s
}

// Two arenas in one recording: rows in frame order, then arena; each arena's
// own measures and zones.
TEST(Measures, TwoArenasKeepTheirOwnMeasures) {
  const std::vector<Arena> arenas = tressel::behaviour::parseArenas(
      R"({"arenas": [{"name": "left", "rect": [0, 0, 200, 200]}, {"name": "right", "rect": [200, 0, 200, 200]}]})",
      "arenas.json");
  std::vector<Pose> poses;
  for (int i = 0; i < 200; ++i) {
    Pose left, right;
    left.x = 5 + 0.8 * (i % 100 < 50 ? i % 100 : 100 - i % 100);  // to and fro in its periphery
    left.y = 100;
    right.x = 300;  // still, in its centre
    right.y = 100;
    right.arena = 1;
    right.change = 5;
    poses.push_back(left);
    poses.push_back(right);
  }
  const Outcome r = run(poses, BehaviourOptions(), arenas, 2);
  ASSERT_EQ(r.rows.size(), 400u);
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    ASSERT_EQ(r.rows[i].record.frame, std::int64_t(i / 2));
    ASSERT_EQ(r.rows[i].arena->index, int(i % 2));
  }
  // 159.2 px, less the 0.8 px each way that the median cuts off each of the
  // three turning points.
  EXPECT_NEAR(overall(r, 0).distance, 159.2 - 3 * 1.6, 1e-6);
  EXPECT_NEAR(overall(r, 1).distance, 0, 1e-9);
  EXPECT_NEAR(overall(r, 0).zones[0].time, 0, 1e-9);            // the left animal stays in its periphery ...
  EXPECT_NEAR(overall(r, 1).zones[0].time, 200 / kFps, 1e-9);   // ... the right one in its centre
  EXPECT_NEAR(overall(r, 1).timeFreezing, 199 / kFps, 0.01);
  EXPECT_EQ(overall(r, 0).freezingBouts, 0);
}
