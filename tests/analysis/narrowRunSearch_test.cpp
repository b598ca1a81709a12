#include <gtest/gtest.h>

#include "analyzerFixture.h"

namespace {

using namespace fixture;

// Border points lie on the row y = 0 at x = 0, 1, 2, ..., so a run from x = s
// to x = e has the chord e - s.
struct TailCase {
  const char* name;
  std::vector<Stretch> runs;
  int maxWidth;
  int tailWidthPercent;
  int tailLengthPercent;
  bool hasTail;
  int runLength;
  int startX;
  int endX;
};

TEST(TailSearch, RunsBridgesExtensionsAndDecisions) {
  const int N = narrow, W = wide;
  const TailCase cases[] = {
      {"all narrow: all tail, from the first to the last point", {{30, N}}, 1000, 13, 16, true, 30, 0, 29},
      {"nothing narrow: no tail", {{50, W}}, 1000, 13, 16, false, 0, -1, -1},
      {"nothing narrow, even with no length threshold", {{5, W}}, 1000, 13, 0, false, 0, -1, -1},
      {"a narrow run across the wrap is one run", {{5, N}, {40, W}, {15, N}}, 1000, 13, 0, true, 20, 45, 4},
      {"two runs only", {{10, W}, {20, N}}, 1000, 13, 0, true, 20, 10, 29},
      {"a gap of 3 is bridged", {{40, W}, {10, N}, {3, W}, {2, N}, {40, W}}, 1000, 13, 0, true, 15, 40, 54},
      {"a gap of 4 is not", {{40, W}, {10, N}, {4, W}, {2, N}, {40, W}}, 1000, 13, 0, true, 10, 40, 49},
      {"neighbours of 9 and 9 do not bridge", {{40, W}, {9, N}, {3, W}, {9, N}, {40, W}}, 1000, 13, 0, true, 9, 40,
       48},
      {"a neighbour of 10 bridges", {{40, W}, {1, N}, {3, W}, {10, N}, {40, W}}, 1000, 13, 0, true, 14, 40, 53},
      {"a gap that is the last run is bridged into the first",
       {{12, N}, {30, W}, {1, N}, {30, W}, {5, N}, {2, W}}, 1000, 13, 0, true, 19, 73, 11},
      {"equal runs: the first wins", {{10, W}, {8, N}, {10, W}, {8, N}, {10, W}}, 1000, 13, 0, true, 8, 10, 17},
      // Width threshold 20 (40 percent capped at 25 of 80), so gaps up to 10 can be crossed; the length
      // threshold is 111 * 16 / 100 = 17, so the far run needs 8.
      {"extension backward across a gap of 10", {{30, W}, {9, N}, {10, W}, {20, N}, {40, W}, {2, N}}, 80, 40, 16,
       true, 20, 30, 68},
      {"no extension across a gap of 11", {{30, W}, {9, N}, {11, W}, {20, N}, {40, W}, {1, N}}, 80, 40, 16, true, 20,
       50, 69},
      {"no extension when the far run is too short", {{30, W}, {7, N}, {10, W}, {20, N}, {40, W}, {4, N}}, 80, 40,
       16, true, 20, 47, 66},
      {"extension forward", {{30, W}, {2, N}, {40, W}, {20, N}, {10, W}, {9, N}}, 80, 40, 16, true, 20, 72, 110},
      {"both sides possible: the longer far run's side", {{30, W}, {9, N}, {5, W}, {20, N}, {5, W}, {10, N}}, 80,
       40, 16, true, 20, 44, 78},
      // Length threshold 100 * 16 / 100 = 16.
      {"a run as long as the threshold is a tail", {{42, W}, {16, N}, {42, W}}, 1000, 13, 16, true, 16, 42, 57},
      {"one shorter is not", {{43, W}, {15, N}, {42, W}}, 1000, 13, 16, false, 0, -1, -1},
      {"an extension does not make a short run long enough", {{40, W}, {9, N}, {5, W}, {10, N}, {30, W}, {6, N}},
       80, 40, 16, false, 0, -1, -1},
  };
  for (const TailCase& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    a.tailWidthPercent = c.tailWidthPercent;
    a.tailLengthPercent = c.tailLengthPercent;
    prepareRuns(a, c.runs, c.maxWidth);
    a.center = point(-1, -1);
    a.searchTail();
    EXPECT_EQ(a.hasTail, c.hasTail ? 1 : 0) << c.name;
    EXPECT_EQ(a.tailRunLength, c.runLength) << c.name;
    EXPECT_EQ(a.tailStart, point(c.startX, c.hasTail ? 0 : -1)) << c.name;
    EXPECT_EQ(a.tailEnd, point(c.endX, c.hasTail ? 0 : -1)) << c.name;
    if (!c.hasTail) {
      EXPECT_EQ(a.tailBase, a.center) << c.name;
    }
  }
}

TEST(TailSearch, WidthThresholdCapAndMinimum) {
  struct Case {
    const char* name;
    int maxWidth;
    int percent;
    int narrowWidth;  // the widest width that still counts as narrow
  };
  const Case cases[] = {
      {"40 percent of 80 is capped at 25 percent: 20", 80, 40, 20},
      {"13 percent of 30 is 3, raised to the minimum 7", 30, 13, 7},
      {"13 percent of 1000 is 130", 1000, 13, 130},
  };
  for (const Case& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    a.tailWidthPercent = c.percent;
    a.tailLengthPercent = 0;
    prepareRuns(a, {{10, c.narrowWidth + 1}, {5, c.narrowWidth}}, c.maxWidth);
    a.searchTail();
    EXPECT_EQ(a.tailRunLength, 5) << c.name;
  }
}

TEST(TailSearch, ChordIsTruncatedAndComparedWithTwiceTheWidthThreshold) {
  struct Case {
    point end;  // the run starts at (0, 0)
    bool accepted;
  };
  // Width threshold 7: a chord of up to 14 is accepted.
  const Case cases[] = {
      {{14, 0}, true},    // 196
      {{10, 11}, true},   // 221: root 14.87 counts as 14
      {{9, 12}, false},   // 225: root 15
      {{-15, 0}, false},
  };
  for (const Case& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    a.tailLengthPercent = 0;
    Points points = {{0, 0}, {0, 1}, {0, 2}, c.end, {30, 30}, {31, 30}, {32, 30}};
    prepareBorder(a, points, {narrow, narrow, narrow, narrow, wide, wide, wide}, 0);
    a.searchTail();
    EXPECT_EQ(a.hasTail, c.accepted ? 1 : 0) << c.end.x << ", " << c.end.y;
  }
}

TEST(TailSearch, TailBaseHalvesTruncateTowardZero) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.tailLengthPercent = 0;
  prepareBorder(a, {{-3, 4}, {-2, 5}, {-1, 6}, {0, 7}, {1, 7}, {2, 7}, {3, 7}}, {1, 1, 1, 1, wide, wide, wide}, 0);
  a.searchTail();
  ASSERT_EQ(a.hasTail, 1);
  EXPECT_EQ(a.tailStart, point(-3, 4));
  EXPECT_EQ(a.tailEnd, point(0, 7));
  EXPECT_EQ(a.tailBase, point(-1, 5));
}

TEST(TailSearch, EmptyBorderHasNoTail) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.center = point(4, 2);
  a.tailLengthPercent = -5;
  a.searchTail();
  EXPECT_EQ(a.hasTail, 0);
  EXPECT_EQ(a.tailStart, point(4, 2));
  EXPECT_EQ(a.tailBase, point(4, 2));
}

// Limb search: the body contour is the prepared border, the tail's ends are
// placed off it unless a case puts them on it.
void prepareLimbRuns(tressel::CTailAnalyzer& a, const std::vector<Stretch>& runs, int maxWidth) {
  prepareRuns(a, runs, maxWidth);
  a.bodyBorder->assignFrom(*a.border);
  a.hasTail = 1;
  a.tailStart = point(-100, -100);
  a.tailEnd = point(-100, -101);
}

TEST(LimbSearch, LengthThresholdFromTheBodyContour) {
  struct Case {
    int size;
    int runLength;
    bool accepted;
  };
  // Defaults: 7 percent, at least 1, at most 15.
  const Case cases[] = {
      {14, 1, true},  {15, 1, true},   {200, 14, true}, {200, 13, false},
      {215, 15, true}, {215, 14, false}, {300, 15, true}, {300, 14, false},
  };
  for (const Case& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    prepareLimbRuns(a, {{c.size - c.runLength, wide}, {c.runLength, narrow}}, 1000);
    a.searchLimb();
    EXPECT_EQ(a.hasLimb, c.accepted ? 1 : 0) << c.size << " points, run of " << c.runLength;
    EXPECT_EQ(a.limbRunLength, c.accepted ? c.runLength : 0);
  }
}

TEST(LimbSearch, WidthThresholdHasNoCap) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.limbWidthPercent = 30;
  prepareLimbRuns(a, {{10, 25}, {5, 24}}, 80);
  a.searchLimb();
  EXPECT_EQ(a.hasLimb, 1);
  EXPECT_EQ(a.limbRunLength, 5);
  EXPECT_EQ(a.limbStart, point(10, 0));
  EXPECT_EQ(a.limbEnd, point(14, 0));
}

TEST(LimbSearch, BridgingAndTailEnds) {
  struct Case {
    const char* name;
    std::vector<Stretch> runs;
    int tailEndAt;  // index of a border point that is a tail end, or -1
    int runLength;
    int startX;     // the limb's run covers x = startX .. startX + runLength - 1
  };
  const int N = narrow, W = wide;
  const Case cases[] = {
      {"a neighbour of 5 bridges", {{40, W}, {5, N}, {3, W}, {1, N}, {40, W}}, -1, 9, 40},
      {"neighbours of 4 and 4 do not", {{40, W}, {4, N}, {3, W}, {4, N}, {40, W}}, -1, 4, 40},
      {"a tail end splits a narrow stretch and is never bridged", {{40, W}, {10, N}, {1, N}, {8, N}, {40, W}}, 50,
       10, 40},
  };
  for (const Case& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    a.limbLengthPercent = 0;
    prepareLimbRuns(a, c.runs, 1000);
    if (c.tailEndAt >= 0) a.tailEnd = point(c.tailEndAt, 0);
    a.searchLimb();
    EXPECT_EQ(a.limbRunLength, c.runLength) << c.name;
    EXPECT_EQ(a.limbStart, point(c.startX, 0)) << c.name;
    EXPECT_EQ(a.limbEnd, point(c.startX + c.runLength - 1, 0)) << c.name;
  }
}

TEST(LimbSearch, NothingHappensWithoutATail) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  prepareLimbRuns(a, {{10, wide}, {10, narrow}}, 1000);
  a.hasTail = 0;
  a.hasLimb = 7;
  a.limbRunLength = 7;
  a.searchLimb();
  EXPECT_EQ(a.hasLimb, 7);
  EXPECT_EQ(a.limbRunLength, 7);
}

}  // namespace
