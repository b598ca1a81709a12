#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "analyzerFixture.h"

namespace {

using namespace fixture;

TEST(BaseSegment, RunsAndChains) {
  struct Case {
    const char* name;
    point start;
    point end;
    Points runs;
    Points chain;
  };
  const Case cases[] = {
      {"horizontal, right to left", {9, 4}, {5, 4}, {{5, 4}, {9, 4}}, {{9, 4}, {8, 4}, {7, 4}, {6, 4}, {5, 4}}},
      {"vertical, upward", {3, 8}, {3, 5}, {{3, 5}, {3, 5}, {3, 6}, {3, 6}, {3, 7}, {3, 7}, {3, 8}, {3, 8}},
       {{3, 8}, {3, 7}, {3, 6}, {3, 5}}},
      {"diagonal, x falling", {10, 5}, {8, 7}, {{10, 5}, {10, 5}, {9, 6}, {9, 6}, {8, 7}, {8, 7}},
       {{10, 5}, {9, 6}, {8, 7}}},
      {"the same diagonal swapped", {8, 7}, {10, 5}, {{10, 5}, {10, 5}, {9, 6}, {9, 6}, {8, 7}, {8, 7}},
       {{8, 7}, {9, 6}, {10, 5}}},
      {"sloping down", {2, 1}, {6, 3}, {{2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 3}, {6, 3}},
       {{2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 3}}},
      {"sloping down, swapped", {6, 3}, {2, 1}, {{2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 3}, {6, 3}},
       {{6, 3}, {5, 2}, {4, 2}, {3, 1}, {2, 1}}},
      {"sloping with x falling", {6, 1}, {2, 3}, {{6, 1}, {6, 1}, {4, 2}, {5, 2}, {2, 3}, {3, 3}},
       {{6, 1}, {5, 2}, {4, 2}, {3, 3}, {2, 3}}},
      {"on the last column and row", {12, 9}, {12, 7}, {{12, 7}, {12, 7}, {12, 8}, {12, 8}, {12, 9}, {12, 9}},
       {{12, 9}, {12, 8}, {12, 7}}},
      {"a negative end lies off the raster", {2, 2}, {-2, 2}, {{0, 2}, {2, 2}}, {{2, 2}, {1, 2}, {0, 2}}},
  };
  for (const Case& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    a.maxX = 12;
    a.maxY = 9;
    a.hasTail = 1;
    a.tailStart = c.start;
    a.tailEnd = c.end;
    a.tailBorder->pushBack(point(99, 99));
    a.buildTailSegment();
    EXPECT_EQ(pointsOf(*a.tailIo), c.runs) << c.name;
    EXPECT_EQ(pointsOf(*a.tailBorder), c.chain) << c.name;
  }
}

TEST(BaseSegment, NoTailClearsBothLists) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.tailIo->pushBack(point(1, 1));
  a.tailBorder->pushBack(point(1, 1));
  a.maxX = 1 << 20;
  a.maxY = 1 << 20;  // a raster of this size would raise: none is made
  a.buildTailSegment();
  EXPECT_TRUE(a.tailIo->empty());
  EXPECT_TRUE(a.tailBorder->empty());
}

TEST(BaseSegment, RasterFromTheOriginObeysTheSizeBound) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.hasLimb = 1;
  a.limbStart = point(100000, 5000);
  a.limbEnd = point(100001, 5000);
  a.maxX = 100001;
  a.maxY = 5000;
  EXPECT_THROW(a.buildLimbSegment(), lti::allocException);
  EXPECT_TRUE(a.limbBorder->empty());
}

// The contour P0 ... P9 used by the cut examples.
Points tenPoints() {
  Points p;
  for (int i = 0; i < 10; ++i) p.emplace_back(i, 0);
  return p;
}

TEST(Cut, ReplacesTheStretchBetweenTheBasePointsByTheSegment) {
  const Points P = tenPoints();
  const point A(20, 20), B(21, 21);
  struct Case {
    const char* name;
    Points contour;
    point start, end;
    Points chain;
    Points body;
    int lengthAfterRemoval;
  };
  const Case cases[] = {
      {"ordinary", P, P[2], P[6], {P[2], A, B, P[6]}, {P[0], P[1], P[2], A, B, P[6], P[7], P[8], P[9]}, 7},
      {"across the list's end", P, P[7], P[1], {P[7], A, B, P[1]}, {P[1], P[2], P[3], P[4], P[5], P[6], P[7], A, B},
       7},
      {"adjacent base points", P, P[4], P[5], {P[4], P[5]}, P, 10},
      {"end first, start last: the interior goes to the end", P, P[9], P[0], {P[9], A, P[0]},
       {P[0], P[1], P[2], P[3], P[4], P[5], P[6], P[7], P[8], P[9], A}, 10},
      {"the same pixel twice", {P[0], P[1], P[2], P[3], P[1], P[4]}, P[1], P[1], {P[1]},
       {P[0], P[1], P[1], P[4]}, 4},
      {"a base point missing from the chain: nothing is cut", P, P[2], P[6], {P[2], A, B}, P, 10},
      {"a base point missing from the contour: nothing is cut", P, P[2], point(-1, -1), {P[2], A, point(-1, -1)}, P,
       10},
  };
  for (const Case& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    a.border->assignFrom(listOf<lti::borderPoints>(c.contour));
    a.border->storedBox = lti::box{1, 2, 3, 4};
    a.hasTail = 1;
    a.tailStart = c.start;
    a.tailEnd = c.end;
    a.tailBorder->assignFrom(listOf<lti::borderPoints>(c.chain));
    a.cutTail();
    EXPECT_EQ(pointsOf(*a.bodyBorder), c.body) << c.name;
    EXPECT_EQ(a.bodyBorderLength, c.lengthAfterRemoval) << c.name;
    EXPECT_EQ(a.bodyBorder->storedBox, (lti::box{1, 2, 3, 4})) << c.name;
  }
}

TEST(Cut, WithoutATailTheBodyIsACopyOfTheBorder) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.border->assignFrom(listOf<lti::borderPoints>(tenPoints()));
  a.bodyBorder->pushBack(point(5, 5));
  a.cutTail();
  EXPECT_TRUE(a.bodyBorder->equals(*a.border));
  EXPECT_EQ(a.bodyBorderLength, 0);
}

TEST(Cut, LimbCutLeavesTheTailsLength) {
  const Points P = tenPoints();
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.bodyBorder->assignFrom(listOf<lti::borderPoints>(P));
  a.bodyBorderLength = 42;
  a.hasLimb = 0;
  a.cutLimb();
  EXPECT_EQ(pointsOf(*a.bodyBorder), P);
  a.hasLimb = 1;
  a.limbStart = P[3];
  a.limbEnd = P[8];
  a.limbBorder->assignFrom(listOf<lti::borderPoints>({P[3], point(4, 1), P[8]}));
  a.cutLimb();
  EXPECT_EQ(pointsOf(*a.bodyBorder), (Points{P[0], P[1], P[2], P[3], point(4, 1), P[8], P[9]}));
  EXPECT_EQ(a.bodyBorderLength, 42);
}

// Loop pruning, with the limb search finding nothing (the grid is empty, so
// no point is narrow).
// The plain path walks the window from every point; the fast path looks the
// loops up and must prune exactly the same points.
Points pruned(const Points& contour, int loopPercent, point tailStart = point(-9, -9), point tailEnd = point(-9, -8)) {
  Points result[2];
  const tressel::Path paths[2] = {tressel::Path::plain, tressel::Path::fast};
  for (int k = 0; k < 2; ++k) {
    tressel::CTailAnalyzer a(defaults(), paths[k]);
    a.loopLengthMaxPercent = loopPercent;
    a.hasTail = 1;
    a.tailStart = tailStart;
    a.tailEnd = tailEnd;
    a.bodyBorder->assignFrom(listOf<lti::borderPoints>(contour));
    // Most contours get a grid over their box, as in the analysis (with every
    // point unmeasured); the others none, so that every point is off it.
    const lti::box b = a.bodyBorder->boundingBox();
    if (contour.size() % 5 != 0) a.widthGrid->build(b.minX, b.minY, b.maxX, b.maxY);
    a.removeLimbs();
    EXPECT_EQ(a.hasLimb, 0);
    result[k] = pointsOf(*a.bodyBorder);
  }
  EXPECT_EQ(result[1], result[0]) << "the fast path prunes what the plain one does";
  return result[0];
}

// n distinct points on the row y = 100, with the points given spliced in at `at`.
Points padded(int n, int at, const Points& loop) {
  Points p;
  for (int i = 0; i < n; ++i) p.emplace_back(i, 100);
  p.insert(p.begin() + at, loop.begin(), loop.end());
  return p;
}

TEST(LoopPruning, WindowsAndLoops) {
  const point P(50, 50), a(51, 51), b(52, 52), c(53, 53), d(54, 54);
  const point Pd = P;
  struct Case {
    const char* name;
    Points contour;
    int percent;
    point tailStart;
    Points expected;
  };
  const point off(-9, -9);
  const Case cases[] = {
      // 40 points with 10 percent: W = 4.
      {"a loop at distance 4 is removed", padded(35, 5, {P, a, b, c, Pd}), 10, off, padded(35, 5, {P})},
      {"a loop at distance 5 is kept", padded(34, 5, {P, a, b, c, d, Pd}), 10, off, padded(34, 5, {P, a, b, c, d, Pd})},
      {"9 points give W = 0", padded(7, 2, {P, Pd}), 10, off, padded(7, 2, {P, Pd})},
      {"19 points give W = 1: a repeated neighbour goes", padded(17, 2, {P, Pd}), 10, off, padded(17, 2, {P})},
      {"a loop through a tail end is kept", padded(35, 5, {P, a, b, c, Pd}), 10, b, padded(35, 5, {P, a, b, c, Pd})},
      {"a loop from a tail end is kept", padded(35, 5, {P, a, b, c, Pd}), 10, P, padded(35, 5, {P, a, b, c, Pd})},
      {"only the first of two loops from one point", padded(32, 5, {P, a, Pd, b, Pd}), 10, off,
       padded(32, 5, {P, b, Pd})},
  };
  for (const Case& c : cases) EXPECT_EQ(pruned(c.contour, c.percent, c.tailStart), c.expected) << c.name;
}

TEST(LoopPruning, ALoopAcrossTheListsEndLeavesPLast) {
  const point P(50, 50), a(51, 51), b(52, 52), c(53, 53);
  Points contour = {c, P};
  for (int i = 0; i < 36; ++i) contour.emplace_back(i, 100);
  contour.insert(contour.end(), {P, a, b});
  Points expected;
  for (int i = 0; i < 36; ++i) expected.emplace_back(i, 100);
  expected.push_back(P);
  EXPECT_EQ(pruned(contour, 10), expected);
}

TEST(LoopPruning, AWalkAllTheWayRoundNeverRemovesP) {
  // A window longer than the contour, and tail ends that are not on it.
  const Points contour = {{0, 0}, {1, 0}, {2, 0}, {1, 1}};
  EXPECT_EQ(pruned(contour, 1000), contour);
}

// Random walks on a few pixels repeat pixels at every distance: loops short
// and long, across the list's end, through the tail's ends, one inside
// another.
TEST(LoopPruning, FastPathOnRandomWalks) {
  struct Shape {
    int length;
    int side;      // the walk stays on side x side pixels
    point origin;  // from this corner: pixels are looked up by value, negative and far ones too
  };
  const Shape shapes[] = {{5, 2, {0, 0}},         {12, 3, {0, 0}},     {40, 4, {0, 0}},
                          {40, 8, {0, 0}},        {150, 6, {0, 0}},    {400, 12, {0, 0}},
                          {1000, 30, {0, 0}},     {400, 12, {-7, -3}}, {1000, 30, {-2147483000, 2147482000}},
                          {3000, 60, {65536, -65536}}};
  const int percents[] = {1, 10, 30, 100, 1000};
  std::mt19937 random(11);
  for (const Shape& shape : shapes) {
    for (int round = 0; round < 40; ++round) {
      Points walk;
      point at(0, 0);
      for (int i = 0; i < shape.length; ++i) {
        walk.emplace_back(shape.origin.x + at.x, shape.origin.y + at.y);
        at.x = std::clamp(at.x + static_cast<int>(random() % 3) - 1, 0, shape.side - 1);
        at.y = std::clamp(at.y + static_cast<int>(random() % 3) - 1, 0, shape.side - 1);
      }
      const point tailStart = walk[random() % walk.size()];
      const point tailEnd = round % 3 == 0 ? point(-9, -9) : walk[random() % walk.size()];
      for (int percent : percents) {
        SCOPED_TRACE(std::to_string(shape.length) + " points, round " + std::to_string(round) + ", " +
                     std::to_string(percent) + "%");
        pruned(walk, percent, tailStart, tailEnd);
      }
    }
  }
}

TEST(LimbRemoval, AtMostTenLimbs) {
  // Eleven limbs, each an excursion of ten narrow points below a row of wide
  // base points; a cut leaves two narrow points, too short to be a limb. With
  // maxWidth 0 the width threshold is the minimum 7, so no extension can
  // cross the 4 wide points between two limbs.
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  Points points;
  std::vector<int> widths;
  for (int limb = 0; limb < 11; ++limb) {
    const int x = limb * 6;
    for (int i = 0; i < 4; ++i) {
      points.emplace_back(x + i, 0);
      widths.push_back(wide);
    }
    for (int y = 1; y <= 5; ++y) {
      points.emplace_back(x + 4, y);
      widths.push_back(narrow);
    }
    for (int y = 5; y >= 1; --y) {
      points.emplace_back(x + 5, y);
      widths.push_back(narrow);
    }
  }
  prepareBorder(a, points, widths, 0);
  a.bodyBorder->assignFrom(*a.border);
  a.hasTail = 1;
  a.tailStart = point(-1, -1);
  a.tailEnd = point(-1, -2);
  a.removeLimbs();
  EXPECT_EQ(a.hasLimb, 1) << "the loop ended after ten cuts";
  EXPECT_EQ(a.bodyBorder->size(), 154 - 10 * 8);
  int deepPoints = 0;
  for (const point& p : *a.bodyBorder) deepPoints += p.y > 1;
  EXPECT_EQ(deepPoints, 8) << "the eleventh limb is still there";
  EXPECT_EQ(pointsOf(*a.limbBorder), (Points{{58, 1}, {59, 1}})) << "the segment of the tenth limb";
}

TEST(LimbRemoval, NothingWithoutATail) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  const Points contour = padded(35, 5, {{50, 50}, {51, 51}, {50, 50}});
  a.bodyBorder->assignFrom(listOf<lti::borderPoints>(contour));
  a.removeLimbs();
  EXPECT_EQ(pointsOf(*a.bodyBorder), contour);
  EXPECT_TRUE(a.limbBorder->empty());
}

}  // namespace

// The fast path cuts limbs on an array of classified points; the plain path
// searches and cuts the list afresh each time. Contours are combs: wide base
// points along y = 0 with narrow limbs hanging below, each limb 18 points
// (down 8, across 2, up 8) whose base segment brings 2 wide points in, so a
// cut of one limb removes 14 points.
struct Comb {
  Points points;
  std::vector<int> widths;
  int x = 0;
  Comb& base(int count) {
    for (int i = 0; i < count; ++i) add(point(x++, 0), wide);
    return *this;
  }
  Comb& limb(int depth = 8) {
    for (int y = 1; y <= depth; ++y) add(point(x, y), narrow);
    for (int dx = 1; dx <= 2; ++dx) add(point(x + dx, depth), narrow);
    for (int y = depth; y >= 1; --y) add(point(x + 3, y), narrow);
    x += 4;
    return *this;
  }
  Comb& again(const point& p, int width) {  // a pixel met before, with its width
    add(p, width);
    return *this;
  }
  Comb rotated(int by) const {
    Comb c = *this;
    std::rotate(c.points.begin(), c.points.begin() + by, c.points.end());
    std::rotate(c.widths.begin(), c.widths.begin() + by, c.widths.end());
    return c;
  }
  void add(const point& p, int width) {
    points.push_back(p);
    widths.push_back(width);
  }
};

TEST(LimbRemoval, FastPathCutsWhatThePlainPathCuts) {
  auto comb = [] { return Comb(); };
  const Comb three = comb().base(20).limb().base(30).limb().base(30).limb().base(20);
  Comb eleven = comb();
  for (int i = 0; i < 11; ++i) eleven.base(4).limb();
  struct Case {
    const char* name;
    Comb contour;
    point tailStart, tailEnd;
    int removed;  // points the plain path's cuts remove, so that the case is what it says
  };
  const point off(-5, -5), off2(-5, -6);
  const Case cases[] = {
      {"three limbs", three, off, off2, 3 * 14},
      {"a limb across the list's end: its end lies before its start", three.rotated(25), off, off2, 3 * 14},
      {"a limb from the list's first point", three.rotated(20), off, off2, 3 * 14},
      {"a limb up to the list's last point", three.rotated(38), off, off2, 3 * 14},
      {"two limbs one wide point apart are bridged into one cut (35 out, 7 in)",
       comb().base(20).limb().base(1).limb().base(60), off, off2, 28},
      {"two limbs four apart are two cuts", comb().base(20).limb().base(4).limb().base(60), off, off2, 2 * 14},
      // Kept apart, the short limbs are cut last, as one across the tail end; bridged they would go second.
      {"a tail end between two short limbs, behind a cut, keeps them from being bridged (23 out, 7 in)",
       comb().base(20).limb().base(30).limb(5).base(1).limb(5).base(30).limb().base(20), point(58, 0), off2,
       2 * 14 + 16},
      {"a tail end on a segment", three, point(21, 1), off2, 3 * 14},
      {"tail ends split a limb: two cuts, then its piece of 9 (7 out, 6 in)", three, point(20, 5), point(21, 8),
       2 * 14 + 1},
      {"a limb's start met earlier: the cut runs from its first occurrence (27 out, 2 in)",
       comb().base(10).again(point(20, 1), narrow).base(10).limb().base(60), off, off2, 25},
      {"at most ten cuts", eleven, off, off2, 10 * 14},
      {"no limb", comb().base(80), off, off2, 0},
  };
  for (const Case& c : cases) {
    struct Outcome {
      Points body, segment;
      int hasLimb, runLength;
      point start, end;
    } out[2];
    const tressel::Path paths[2] = {tressel::Path::plain, tressel::Path::fast};
    for (int k = 0; k < 2; ++k) {
      tressel::CTailAnalyzer a(defaults(), paths[k]);
      prepareBorder(a, c.contour.points, c.contour.widths, 0);
      a.bodyBorder->assignFrom(*a.border);
      a.bodyBorder->storedBox = lti::box{1, 2, 3, 4};
      a.loopLengthMaxPercent = 0;
      a.hasTail = 1;
      a.tailStart = c.tailStart;
      a.tailEnd = c.tailEnd;
      a.removeLimbs();
      out[k] = {pointsOf(*a.bodyBorder), pointsOf(*a.limbBorder), a.hasLimb, a.limbRunLength, a.limbStart,
                a.limbEnd};
      EXPECT_EQ(a.bodyBorder->storedBox, (lti::box{1, 2, 3, 4})) << c.name;
    }
    EXPECT_EQ(static_cast<int>(c.contour.points.size() - out[0].body.size()), c.removed) << c.name << ": plain";
    EXPECT_EQ(out[1].body, out[0].body) << c.name;
    EXPECT_EQ(out[1].segment, out[0].segment) << c.name;
    EXPECT_EQ(out[1].hasLimb, out[0].hasLimb) << c.name;
    EXPECT_EQ(out[1].runLength, out[0].runLength) << c.name;
    EXPECT_EQ(out[1].start, out[0].start) << c.name;
    EXPECT_EQ(out[1].end, out[0].end) << c.name;
  }
}
