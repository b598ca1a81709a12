#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "analyzerFixture.h"
#include "silhouettes.h"

namespace {

using namespace fixture;
using testing_silhouettes::Mask;
using testing_silhouettes::rodent;

lti::ioPoints outlineOf(const Mask& m, int dx = 0, int dy = 0) {
  const auto s = testing_silhouettes::spansOf(m, dx, dy);
  lti::ioPoints io;
  for (int i = 0; i < s.count(); ++i) io.pushBack(point(static_cast<int>(s.x[i]), static_cast<int>(s.y[i])));
  return io;
}

struct Found {
  bool hasTail;
  point tailBase, tailStart, tailEnd, bodyCenter, nose, center;
};

Found analyse(const lti::ioPoints& spans, const tressel::AnalysisParameters& p = defaults()) {
  tressel::CTailAnalyzer a(spans, p, tressel::Retain::borderOnly, tressel::Path::fast);
  return Found{a.hasTail != 0, a.tailBase, a.tailStart, a.tailEnd, a.bodyCenter, a.nose, a.center};
}

// An ellipse with a tail tapering from 6 to 3 pixels across, joined at x = 100.
Mask ellipseWithTail(bool tail) {
  Mask m(170, 80);
  m.fillEllipse(60, 40, 40, 20);
  if (tail) m.drawBand([](double t) { return lti::tpoint<double>(99 + t * 60, 40 + 5 * t); }, 3, 1.5, 240);
  return m;
}

TEST(Pipeline, EllipseWithATaperingTail) {
  const Found f = analyse(outlineOf(ellipseWithTail(true)));
  ASSERT_TRUE(f.hasTail);
  EXPECT_NEAR(f.tailBase.x, 101, 3) << "where the tail meets the body";
  EXPECT_NEAR(f.tailBase.y, 40, 2);
  EXPECT_LT(f.tailStart.y, f.tailEnd.y) << "the two base points lie on either side of the tail";
  EXPECT_NEAR(f.bodyCenter.x, 60, 1);
  EXPECT_NEAR(f.bodyCenter.y, 40, 1);
  EXPECT_NEAR(f.nose.x, 20, 1) << "the nose is the body point farthest from the tail side";
  EXPECT_GT(f.center.x, f.bodyCenter.x + 3) << "the whole outline's centre counts the tail";
}

TEST(Pipeline, EllipseWithoutATail) {
  const Found f = analyse(outlineOf(ellipseWithTail(false)));
  EXPECT_FALSE(f.hasTail);
  EXPECT_EQ(f.tailBase, f.center);
  EXPECT_EQ(f.tailStart, f.center);
  EXPECT_EQ(f.nose, f.center);
  EXPECT_EQ(f.center, point(60, 40));
}

TEST(Pipeline, AThinLineIsAllTail) {
  Mask m(60, 6);
  m.fillRect(5, 2, 50, 3);
  tressel::CTailAnalyzer a(outlineOf(m), defaults(), tressel::Retain::borderOnly, tressel::Path::fast);
  EXPECT_EQ(a.hasTail, 1);
  EXPECT_EQ(a.tailStart, a.border->front());
  EXPECT_EQ(a.tailEnd, a.border->back());
}

TEST(Pipeline, LimbsAreCutAndTheNoseIsAtTheHead) {
  for (int length : {60, 100, 200}) {
    const Found plain = analyse(outlineOf(rodent(length, true, 0.1, 0)));
    const Found legged = analyse(outlineOf(rodent(length, true, 0.1, 4)));
    ASSERT_TRUE(legged.hasTail) << length;
    EXPECT_EQ(legged.tailBase, plain.tailBase) << length;
    EXPECT_LE(std::abs(legged.bodyCenter.x - plain.bodyCenter.x), 1) << length;
    EXPECT_LE(std::abs(legged.bodyCenter.y - plain.bodyCenter.y), 1) << length;
    EXPECT_LT(legged.nose.x, legged.bodyCenter.x - length * 4 / 10) << "nose at the head, far from the tail";
    EXPECT_GT(legged.center.x, legged.bodyCenter.x) << "the long tail pulls the outline's centre";
  }
}

TEST(Pipeline, PointOrderDoesNotMatter) {
  const lti::ioPoints spans = outlineOf(rodent(80, true, 0.2, 2));
  Points shuffled = pointsOf(spans);
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(5));
  const Found a = analyse(spans);
  const Found b = analyse(listOf<lti::ioPoints>(shuffled));
  EXPECT_EQ(a.tailBase, b.tailBase);
  EXPECT_EQ(a.bodyCenter, b.bodyCenter);
  EXPECT_EQ(a.nose, b.nose);
}

TEST(Pipeline, MovingTheSilhouetteMovesEveryResult) {
  // Far from the origin the coordinate sums of the area exceed the int32
  // range (about 10^4 pixels at x = 500000); the results must still move with
  // the silhouette.
  const Mask m = rodent(100, true, 0.1, 2);
  const Found here = analyse(outlineOf(m));
  struct Offset {
    int dx, dy;
  };
  for (const Offset o : {Offset{37, 11}, Offset{500000, 3}, Offset{5, 400000}}) {
    const Found there = analyse(outlineOf(m, o.dx, o.dy));
    const point shift(o.dx, o.dy);
    auto moved = [&](const point& p) { return point(p.x + shift.x, p.y + shift.y); };
    EXPECT_EQ(there.hasTail, here.hasTail);
    EXPECT_EQ(there.tailBase, moved(here.tailBase)) << o.dx;
    EXPECT_EQ(there.tailStart, moved(here.tailStart)) << o.dx;
    EXPECT_EQ(there.bodyCenter, moved(here.bodyCenter)) << o.dx;
    EXPECT_EQ(there.center, moved(here.center)) << o.dx;
    EXPECT_EQ(there.nose, moved(here.nose)) << o.dx;
  }
}

TEST(Pipeline, NegativeCoordinatesEndWithoutCutting) {
  // The segment raster spans from the origin, so a tail whose base lies at
  // negative coordinates cannot be drawn: the analysis must still end.
  const Mask m = rodent(60, true, 0.1, 2);
  const Found f = analyse(outlineOf(m, -500, -300));
  EXPECT_TRUE(f.hasTail);
  EXPECT_LT(f.bodyCenter.x, 0);
}

}  // namespace
