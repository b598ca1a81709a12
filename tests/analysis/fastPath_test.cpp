#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "analysis/FrameAnalyzer.h"
#include "analyzerFixture.h"
#include "silhouettes.h"

namespace {

using namespace fixture;
using testing_silhouettes::Mask;

// A random animal-like silhouette: an elliptic body, sometimes a head, a
// wavy tail of random length and thickness, a few thin limbs, and now and
// then a one-pixel loop or a speck.
Mask randomSilhouette(std::mt19937& random) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double length = 12 + unit(random) * 90;
  const int width = static_cast<int>(length * 3) + 10, height = static_cast<int>(length * 1.6) + 10;
  Mask m(width, height);
  const double cx = length * 0.9 + 5, cy = height / 2.0;
  m.fillEllipse(cx, cy, length * (0.35 + 0.2 * unit(random)), length * (0.12 + 0.15 * unit(random)));
  if (unit(random) < 0.7) m.fillEllipse(cx - length * 0.5, cy, length * 0.15, length * 0.1);
  if (unit(random) < 0.8) {
    const double tail = length * (0.3 + 1.2 * unit(random)), bend = (unit(random) - 0.5) * length * 0.6;
    const double wave = 1 + 4 * unit(random), thick = 1 + 4 * unit(random), tip = 0.5 + unit(random);
    m.drawBand([&](double t) { return lti::tpoint<double>(cx + length * 0.4 + t * tail, cy + bend * std::sin(t * wave)); },
               thick, tip, static_cast<int>(tail * 2) + 2);
  }
  const int limbs = static_cast<int>(unit(random) * 5);
  for (int i = 0; i < limbs; ++i) {
    const double along = cx + (unit(random) - 0.5) * length * 0.8, side = unit(random) < 0.5 ? -1 : 1;
    const double reach = length * (0.15 + 0.3 * unit(random)), lean = (unit(random) - 0.5) * length * 0.3;
    m.drawBand([&](double t) { return lti::tpoint<double>(along + t * lean, cy + side * (length * 0.1 + t * reach)); },
               0.5 + 1.5 * unit(random), 0.5 + unit(random), static_cast<int>(reach * 2) + 2);
  }
  if (unit(random) < 0.2) {  // a one-pixel-wide loop on the back
    for (int k = 0; k < 6; ++k) m.set(static_cast<int>(cx) + k, static_cast<int>(cy - length * 0.27) - 3, true);
  }
  if (unit(random) < 0.1) m.set(1, 1, true);
  return m;
}

TEST(FastPath, GivesThePlainPathsResultsAndBorder) {
  std::mt19937 random(9);
  int tails = 0;
  for (int round = 0; round < 2000; ++round) {
    const Mask m = randomSilhouette(random);
    // Mostly at the origin's side, some at negative coordinates, some at the
    // frame's far edge.
    const int where = static_cast<int>(random() % 10);
    const int dx = where == 0 ? -static_cast<int>(random() % 300) : where < 3 ? 1500 + static_cast<int>(random() % 300)
                                                                             : static_cast<int>(random() % 40);
    const int dy = where == 0 ? -static_cast<int>(random() % 200) : static_cast<int>(random() % 40);
    const auto s = testing_silhouettes::spansOf(m, dx, dy);
    lti::ioPoints spans;
    for (int i = 0; i < s.count(); ++i) spans.pushBack(point(static_cast<int>(s.x[i]), static_cast<int>(s.y[i])));

    tressel::AnalysisParameters p = defaults();
    if (round % 7 == 3) p.loopLengthMaxPercent = 30;
    if (round % 11 == 5) p.limbWidthPercent = 25;
    const tressel::CTailAnalyzer fast(spans, p, tressel::Retain::borderOnly, tressel::Path::fast);
    const tressel::CTailAnalyzer plain(spans, p, tressel::Retain::borderOnly, tressel::Path::plain);
    ASSERT_EQ(fast.hasTail, plain.hasTail) << round;
    ASSERT_EQ(fast.tailBase, plain.tailBase) << round;
    ASSERT_EQ(fast.tailStart, plain.tailStart) << round;
    ASSERT_EQ(fast.tailEnd, plain.tailEnd) << round;
    ASSERT_EQ(fast.center, plain.center) << round;
    ASSERT_EQ(fast.bodyCenter, plain.bodyCenter) << round;
    ASSERT_EQ(fast.weightedCenter, plain.weightedCenter) << round;
    ASSERT_EQ(fast.nose, plain.nose) << round;
    ASSERT_EQ(fast.hasLimb, plain.hasLimb) << round;
    ASSERT_EQ(fast.limbRunLength, plain.limbRunLength) << round;
    ASSERT_EQ(fast.limbStart, plain.limbStart) << round;
    ASSERT_EQ(fast.limbEnd, plain.limbEnd) << round;
    ASSERT_EQ(fast.bodyBorderLength, plain.bodyBorderLength) << round;
    ASSERT_TRUE(fast.border->equals(*plain.border)) << round;
    tails += fast.hasTail;
  }
  EXPECT_GT(tails, 1000) << "the silhouettes exercise the whole analysis";
}

TEST(FastPath, KeptListsAreThoseOfThePlainPath) {
  std::mt19937 random(4);
  for (int round = 0; round < 50; ++round) {
    const auto s = testing_silhouettes::spansOf(randomSilhouette(random), 3, 3);
    lti::ioPoints spans;
    for (int i = 0; i < s.count(); ++i) spans.pushBack(point(static_cast<int>(s.x[i]), static_cast<int>(s.y[i])));
    const tressel::CTailAnalyzer fast(spans, defaults(), tressel::Retain::workingLists, tressel::Path::fast);
    const tressel::CTailAnalyzer plain(spans, defaults(), tressel::Retain::workingLists, tressel::Path::plain);
    EXPECT_TRUE(fast.area->equals(*plain.area)) << round;
    EXPECT_TRUE(fast.bodyArea->equals(*plain.bodyArea)) << round;
    EXPECT_TRUE(fast.bodyBorder->equals(*plain.bodyBorder)) << round;
    EXPECT_TRUE(fast.tailIo->equals(*plain.tailIo)) << round;
    EXPECT_TRUE(fast.tailBorder->equals(*plain.tailBorder)) << round;
    EXPECT_TRUE(fast.limbBorder->equals(*plain.limbBorder)) << round;
  }
}

// Regions on the edges of the int32 plane: runs that end on its last column
// or row are filled, measured and listed without stepping past it.
TEST(FastPath, RegionsOnTheEdgesOfTheIntRange) {
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  struct Case {
    const char* name;
    int left, top;
    point center;  // the mean truncates toward zero
  };
  const Case cases[] = {
      {"last column", kMax - 29, 100, point(kMax - 15, 109)},
      {"last row", 100, kMax - 19, point(114, kMax - 10)},
      {"last column and row", kMax - 29, kMax - 19, point(kMax - 15, kMax - 10)},
      {"first column and row", kMin, kMin, point(kMin + 15, kMin + 10)},
  };
  for (const Case& c : cases) {
    lti::ioPoints spans;
    for (int row = 0; row < 20; ++row) {
      spans.pushBack(point(c.left, c.top + row));
      spans.pushBack(point(c.left + 29, c.top + row));
    }
    const tressel::CTailAnalyzer fast(spans, defaults(), tressel::Retain::workingLists, tressel::Path::fast);
    const tressel::CTailAnalyzer plain(spans, defaults(), tressel::Retain::workingLists, tressel::Path::plain);
    EXPECT_EQ(fast.hasTail, 0) << c.name;
    EXPECT_EQ(fast.area->size(), 600) << c.name;
    EXPECT_TRUE(fast.area->equals(*plain.area)) << c.name;
    EXPECT_TRUE(fast.bodyArea->equals(*plain.bodyArea)) << c.name;
    EXPECT_EQ(fast.center, plain.center) << c.name;
    EXPECT_EQ(fast.center, c.center) << c.name;
    EXPECT_EQ(fast.maxWidth, plain.maxWidth) << c.name;
  }
}

// One FrameAnalyzer, run on silhouette after silhouette (large after small,
// with and without tails), gives each time what a fresh plain record gives:
// nothing of an earlier frame stays in its reused storage.
TEST(FastPath, AReusedFrameAnalyzerGivesAFreshRecordsResults) {
  std::mt19937 random(17);
  tressel::FrameAnalyzer analyzer(defaults());
  for (int round = 0; round < 300; ++round) {
    const auto s = testing_silhouettes::spansOf(randomSilhouette(random), static_cast<int>(random() % 50), 2);
    std::vector<tressel::Run> runs;
    lti::ioPoints spans;
    for (int i = 0; i + 1 < s.count(); i += 2) {
      runs.push_back(tressel::Run{static_cast<int>(s.y[i]), static_cast<int>(s.x[i]), static_cast<int>(s.x[i + 1])});
      spans.pushBack(point(static_cast<int>(s.x[i]), static_cast<int>(s.y[i])));
      spans.pushBack(point(static_cast<int>(s.x[i + 1]), static_cast<int>(s.y[i + 1])));
    }
    const tressel::CTailAnalyzer& a = analyzer.analyze(runs);
    const tressel::CTailAnalyzer plain(spans, defaults(), tressel::Retain::workingLists, tressel::Path::plain);
    ASSERT_EQ(a.hasTail, plain.hasTail) << round;
    ASSERT_EQ(a.hasLimb, plain.hasLimb) << round;
    ASSERT_EQ(a.tailBase, plain.tailBase) << round;
    ASSERT_EQ(a.tailStart, plain.tailStart) << round;
    ASSERT_EQ(a.tailEnd, plain.tailEnd) << round;
    ASSERT_EQ(a.center, plain.center) << round;
    ASSERT_EQ(a.bodyCenter, plain.bodyCenter) << round;
    ASSERT_EQ(a.weightedCenter, plain.weightedCenter) << round;
    ASSERT_EQ(a.nose, plain.nose) << round;
    ASSERT_EQ(a.maxWidth, plain.maxWidth) << round;
    ASSERT_EQ(a.bodyBorderLength, plain.bodyBorderLength) << round;
    ASSERT_TRUE(a.border->equals(*plain.border)) << round;
    ASSERT_TRUE(a.bodyBorder->equals(*plain.bodyBorder)) << round;
    ASSERT_TRUE(a.tailBorder->equals(*plain.tailBorder)) << round;
    for (const point& p : *plain.border) {
      ASSERT_EQ(a.widthGrid->widthAt(p), plain.widthGrid->widthAt(p)) << round << " at " << p.x << "," << p.y;
    }
    lti::areaPoints body;
    for (const auto& r : analyzer.bodyRuns()) {
      for (int x = r.first; x <= r.last; ++x) body.pushBack(point(x, r.y));
    }
    ASSERT_TRUE(body.equals(*plain.bodyArea)) << round;
    const tressel::PointSums sums = analyzer.bodySums();
    ASSERT_EQ(sums.count, plain.bodyArea->size()) << round;
  }
}

// The frame analyzer takes runs whose ends are in scan order straight to the
// trace, and any others through the outline list: either way its results are
// those of a fresh record on the runs' ends. Each case bends the runs of a
// silhouette the way a caller might give them.
TEST(FastPath, FrameAnalyzerTakesRunsAsTheirEndsWouldBe) {
  using Runs = std::vector<tressel::Run>;
  struct Case {
    const char* name;
    Runs (*bend)(const Runs&);
  };
  const Case cases[] = {
      {"as found", [](const Runs& r) { return r; }},
      {"split into touching pieces",  // more than eight to a row, and a lone pixel far off: the runs are looked up by row
       [](const Runs& r) {
         Runs out;
         for (const tressel::Run& run : r) {
           for (int x = run.first; x <= run.last; x += 2) out.push_back({run.row, x, std::min(x + 1, run.last)});
         }
         out.push_back({r.back().row + 1, r.back().first + 300000, r.back().first + 300000});
         return out;
       }},
      {"overlapping pieces",  // as many, with a lone pixel far off too
       [](const Runs& r) {
         Runs out;
         for (const tressel::Run& run : r) {
           for (int x = run.first; x <= run.last; x += 2) out.push_back({run.row, x, std::min(x + 3, run.last)});
         }
         out.push_back({r.back().row + 1, r.back().first + 300000, r.back().first + 300000});
         return out;
       }},
      {"rows from the bottom up", [](const Runs& r) { return Runs(r.rbegin(), r.rend()); }},
      {"each row's runs right to left",
       [](const Runs& r) {
         Runs out = r;
         for (auto row = out.begin(); row != out.end();) {
           auto next = std::find_if(row, out.end(), [&](const tressel::Run& x) { return x.row != row->row; });
           std::reverse(row, next);
           row = next;
         }
         return out;
       }},
      {"one run given right to left",
       [](const Runs& r) {
         Runs out = r;
         std::swap(out[out.size() / 2].first, out[out.size() / 2].last);
         return out;
       }},
      {"one pixel", [](const Runs& r) { return Runs{{r.front().row, r.front().first, r.front().first}}; }},
      {"no runs", [](const Runs&) { return Runs{}; }},
  };
  std::mt19937 random(23);
  tressel::FrameAnalyzer analyzer(defaults());
  for (int round = 0; round < 40; ++round) {
    const auto s = testing_silhouettes::spansOf(randomSilhouette(random), 5, 5);
    Runs found;
    for (int i = 0; i + 1 < s.count(); i += 2) {
      found.push_back({static_cast<int>(s.y[i]), static_cast<int>(s.x[i]), static_cast<int>(s.x[i + 1])});
    }
    for (const Case& c : cases) {
      const Runs runs = c.bend(found);
      lti::ioPoints ends;
      for (const tressel::Run& r : runs) {
        ends.pushBack(point(r.first, r.row));
        ends.pushBack(point(r.last, r.row));
      }
      const tressel::CTailAnalyzer& a = analyzer.analyze(runs);
      const tressel::CTailAnalyzer fresh(ends, defaults(), tressel::Retain::workingLists, tressel::Path::fast);
      ASSERT_EQ(a.hasTail, fresh.hasTail) << c.name << " " << round;
      ASSERT_EQ(a.center, fresh.center) << c.name << " " << round;
      ASSERT_EQ(a.bodyCenter, fresh.bodyCenter) << c.name << " " << round;
      ASSERT_EQ(a.weightedCenter, fresh.weightedCenter) << c.name << " " << round;
      ASSERT_EQ(a.nose, fresh.nose) << c.name << " " << round;
      ASSERT_EQ(a.maxWidth, fresh.maxWidth) << c.name << " " << round;
      ASSERT_EQ(a.minX, fresh.minX) << c.name << " " << round;
      ASSERT_EQ(a.maxY, fresh.maxY) << c.name << " " << round;
      ASSERT_TRUE(a.border->equals(*fresh.border)) << c.name << " " << round;
      ASSERT_TRUE(a.bodyBorder->equals(*fresh.bodyBorder)) << c.name << " " << round;
      ASSERT_EQ(analyzer.bodySums().count, fresh.bodyArea->size()) << c.name << " " << round;
    }
  }
}

}  // namespace
