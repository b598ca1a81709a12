#include <gtest/gtest.h>

#include "analysis/removeSpurs.h"
#include "analyzerFixture.h"

namespace {

using namespace fixture;

Points withoutSpurs(const Points& contour) {
  lti::borderPoints list = listOf<lti::borderPoints>(contour);
  tressel::removeSpurs(list);
  return pointsOf(list);
}

TEST(SpurRemoval, OnePass) {
  const point a(0, 0), b(1, 0), c(2, 0), q(0, 1), r(1, 2), s(0, 2);
  struct Case {
    const char* name;
    Points contour;
    Points expected;
  };
  const Case cases[] = {
      {"a longer spur is consumed from its tip inward", {a, b, c, b, a, q}, {a, q}},
      {"a spur whose tip is first loses the tip and the last point", {c, b, a, q, r, b}, {b, a, q, r}},
      {"no second pass: a tip at the list's end leaves the rest of its spur",
       {b, a, q, r, a, b, c}, {b, a, q, r, a}},
      {"nothing to remove", {a, b, r, q}, {a, b, r, q}},
      {"three points with a tip in the middle", {a, b, a}, {a}},
      {"a tip on the last point, its successor the first", {c, q, r, a, c, b}, {c, q, r, a}},
      {"two points are kept", {a, b}, {a, b}},
      {"one point is kept", {a}, {a}},
      {"a contour that shrinks below three points stops", {a, b, a, s}, {a, s}},
      {"empty", {}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(withoutSpurs(c.contour), c.expected) << c.name;
}

TEST(OutlinePreparation, BoxComesFromTheOutlineBeforeCleaning) {
  // A block with a diagonal spur: the spur's pixels count for the box.
  const Points spans = {{0, 0}, {2, 0}, {0, 1}, {2, 1}, {0, 2}, {2, 2}, {3, 3}, {3, 3}, {4, 4}, {4, 4}};
  tressel::CTailAnalyzer a(listOf<lti::ioPoints>(spans), tressel::borderOnlyParameters, tressel::Retain::borderOnly, tressel::Path::fast);
  EXPECT_EQ(a.minX, 0);
  EXPECT_EQ(a.maxX, 4);
  EXPECT_EQ(a.maxY, 4);
  EXPECT_EQ(pointsOf(*a.border), (Points{{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}}));
}

TEST(OutlinePreparation, EarlyStopKeepsEveryListAndInitialResults) {
  const Points spans = {{0, 0}, {9, 0}, {0, 1}, {9, 1}, {0, 2}, {9, 2}};
  tressel::AnalysisParameters p = defaults();
  p.tailWidthPercent = 0;
  tressel::CTailAnalyzer a(listOf<lti::ioPoints>(spans), p, tressel::Retain::borderOnly, tressel::Path::fast);
  EXPECT_FALSE(a.border->empty());
  ASSERT_TRUE(a.area && a.bodyBorder && a.widthGrid && a.outline);
  EXPECT_TRUE(a.area->empty());
  EXPECT_EQ(a.outline->size(), 6);
  EXPECT_EQ(a.hasTail, 0);
  EXPECT_EQ(a.center, point());
  EXPECT_EQ(a.nose, point());
}

TEST(OutlinePreparation, FullRunReleasesEverythingButTheBorder) {
  const Points spans = {{0, 0}, {9, 0}, {0, 1}, {9, 1}, {0, 2}, {9, 2}};
  tressel::CTailAnalyzer a(listOf<lti::ioPoints>(spans), defaults(), tressel::Retain::borderOnly, tressel::Path::fast);
  EXPECT_FALSE(a.border->empty());
  EXPECT_FALSE(a.outline || a.area || a.bodyBorder || a.bodyArea || a.tailIo || a.tailBorder || a.limbIo ||
               a.limbBorder || a.widthGrid);
}

TEST(OutlinePreparation, EmptyOutlineRunsToTheEnd) {
  tressel::CTailAnalyzer a(lti::ioPoints(), defaults(), tressel::Retain::borderOnly, tressel::Path::fast);
  EXPECT_TRUE(a.border->empty());
  EXPECT_EQ(a.hasTail, 0);
  EXPECT_EQ(a.minX, 0);
  EXPECT_EQ(a.maxY, 0);
  EXPECT_EQ(a.bodyCenter, point());
  EXPECT_EQ(a.nose, point());
}

}  // namespace
