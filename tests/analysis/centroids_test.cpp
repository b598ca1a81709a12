#include <gtest/gtest.h>

#include "analyzerFixture.h"

namespace {

using namespace fixture;

TEST(Centroids, MeansTruncateTowardZero) {
  struct Case {
    Points area;
    point center;
  };
  const Case cases[] = {
      {{{0, 0}, {1, 0}, {0, 1}, {1, 1}}, {0, 0}},
      {{{-3, 0}, {-4, 0}}, {-3, 0}},
      {{{-3, -1}, {-4, -2}, {-4, -2}}, {-3, -1}},
      {{{5, 7}}, {5, 7}},
  };
  for (const Case& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    a.area->assignFrom(listOf<lti::areaPoints>(c.area));
    a.computeCenter();
    EXPECT_EQ(a.center, c.center);
  }
}

TEST(Centroids, EmptyAreaLeavesTheCentreAtTheOrigin) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.computeCenter();
  EXPECT_EQ(a.center, point(0, 0)) << "no division by zero";
  // The whole analysis of an empty outline: nothing to average anywhere.
  const tressel::CTailAnalyzer empty(lti::ioPoints(), defaults(), tressel::Retain::borderOnly, tressel::Path::fast);
  EXPECT_EQ(empty.center, point(0, 0));
  EXPECT_EQ(empty.bodyCenter, point(0, 0));
}

// The clockwise contour of a filled w x h rectangle at (x0, y0).
Points rectangleContour(int x0, int y0, int w, int h) {
  Points contour;
  for (int x = 0; x < w; ++x) contour.emplace_back(x0 + x, y0);
  for (int y = 1; y < h; ++y) contour.emplace_back(x0 + w - 1, y0 + y);
  for (int x = w - 2; x >= 0; --x) contour.emplace_back(x0 + x, y0 + h - 1);
  for (int y = h - 2; y >= 1; --y) contour.emplace_back(x0, y0 + y);
  return contour;
}

TEST(Centroids, WeightedCentreGivesTheTailBaseTheWeightOf110Pixels) {
  struct Case {
    Points bodyContour;
    point tailBase;
    point bodyCenter;
    point weighted;
  };
  const Case cases[] = {
      // 110 pixels, sumX 5500 (mean 50), sumY 5445: ((5500 + 16500) / 220, (5445 + 5500) / 220).
      {rectangleContour(45, 45, 11, 10), {150, 50}, {50, 49}, {100, 49}},
      // 1000 pixels, sumX 50000, sumY 19500: ((50000 + 17600) / 1110, 19500 / 1110).
      {rectangleContour(38, 0, 25, 40), {160, 0}, {50, 19}, {60, 17}},
  };
  for (const Case& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    a.bodyBorder->assignFrom(listOf<lti::borderPoints>(c.bodyContour));
    a.tailBase = c.tailBase;
    a.computeBodyCenters();
    EXPECT_EQ(a.bodyCenter, c.bodyCenter);
    EXPECT_EQ(a.weightedCenter, c.weighted);
  }
}

TEST(Centroids, EmptyBodyStillHasAWeightedCentre) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.tailBase = point(-7, 220);
  a.computeBodyCenters();
  EXPECT_EQ(a.bodyCenter, point());
  EXPECT_EQ(a.weightedCenter, point(-7, 220));
}

}  // namespace
