#include <gtest/gtest.h>

#include <algorithm>

#include "analyzerFixture.h"

namespace {

using namespace fixture;

// Runs the pipeline up to the widths on the given spans; `traced` keeps the
// traced contour as it is, spurs included.
void measure(tressel::CTailAnalyzer& a, const Points& spans, bool traced = false) {
  a.outline->assignFrom(listOf<lti::ioPoints>(spans));
  a.outline->sortPoints();
  a.findBoundingBox();
  if (traced) {
    a.border->buildFromIo(*a.outline);
  } else {
    a.cleanOutline();
  }
  a.fillArea();
  a.computeCenter();
  a.measureWidths();
}

Points rectangleSpans(int x0, int y0, int x1, int y1) {
  Points spans;
  for (int y = y0; y <= y1; ++y) {
    spans.emplace_back(x0, y);
    spans.emplace_back(x1, y);
  }
  return spans;
}

TEST(Widths, RayRunsAcrossARectangle) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  measure(a, rectangleSpans(0, 0, 40, 20));
  EXPECT_EQ(a.widthGrid->widthAt(point(20, 0)), 20);
  EXPECT_EQ(a.widthGrid->widthAt(point(20, 20)), 20);
  EXPECT_EQ(a.widthGrid->widthAt(point(0, 10)), 40);
  EXPECT_EQ(a.widthGrid->widthAt(point(20, 10)), tressel::unmeasuredWidth) << "interior pixels keep no width";
  int largest = 0;
  for (const point& p : *a.border) {
    EXPECT_GE(a.widthGrid->widthAt(p), 1);
    largest = std::max(largest, a.widthGrid->widthAt(p));
  }
  EXPECT_EQ(a.maxWidth, largest);
}

TEST(Widths, NormalPointingOutIsReversed) {
  // The same rectangle walked counterclockwise: every normal points out.
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  measure(a, rectangleSpans(0, 0, 40, 20));
  Points reversed = pointsOf(*a.border);
  std::reverse(reversed.begin(), reversed.end());
  a.border->assignFrom(listOf<lti::borderPoints>(reversed));
  a.measureWidths();
  EXPECT_EQ(a.widthGrid->widthAt(point(20, 0)), 20);
  EXPECT_EQ(a.widthGrid->widthAt(point(0, 10)), 40);
}

TEST(Widths, ShortRays) {
  struct Case {
    const char* name;
    Points spans;
    point at;
    int width;
  };
  const Case cases[] = {
      {"a line: neither direction enters the region", rectangleSpans(0, 0, 9, 0), {5, 0}, 1},
      {"first step onto the opposite contour", rectangleSpans(0, 0, 9, 1), {5, 0}, 1},
      {"a 2 x 2 block has zero chords", rectangleSpans(0, 0, 1, 1), {0, 0}, 1},
      {"a single pixel", rectangleSpans(3, 3, 3, 3), {3, 3}, 1},
  };
  for (const Case& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    measure(a, c.spans, true);
    EXPECT_EQ(a.widthGrid->widthAt(c.at), c.width) << c.name;
    EXPECT_EQ(a.maxWidth, 1) << c.name;
  }
}

TEST(Widths, DiagonalStepsCountTheirLength) {
  // A diagonal contour with the region below it: the ray from (5, 5) goes
  // down-left through the region and leaves it at its fifth step.
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  Points contour;
  for (int k = 0; k <= 10; ++k) contour.emplace_back(k, k);
  a.border->assignFrom(listOf<lti::borderPoints>(contour));
  Points area;
  for (int y = -20; y <= 30; ++y) {
    for (int x = -20; x <= 20; ++x) {
      if (y - x >= 0 && y - x <= 9) area.emplace_back(x, y);
    }
  }
  a.area->assignFrom(listOf<lti::areaPoints>(area));
  a.minX = -20, a.maxX = 20, a.minY = -20, a.maxY = 30;
  a.measureWidths();
  EXPECT_EQ(a.widthGrid->widthAt(point(5, 5)), 7) << "5 diagonal steps: trunc(5 * sqrt 2)";
}

TEST(Widths, EmptyBorderMeasuresNothing) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.maxWidth = 99;
  a.measureWidths();
  EXPECT_EQ(a.maxWidth, 0);
}

TEST(Widths, LookupsOutsideTheGridAreUnmeasured) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  measure(a, rectangleSpans(0, 0, 4, 4));
  EXPECT_EQ(a.widthGrid->widthAt(point(-1, 0)), tressel::unmeasuredWidth);
  EXPECT_EQ(a.widthGrid->widthAt(point(5, 5)), tressel::unmeasuredWidth);
  EXPECT_EQ(a.widthGrid->widthAt(point(2147483647, -2147483647 - 1)), tressel::unmeasuredWidth);
}

TEST(Widths, GridObeysTheRasterBound) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.minX = 0, a.maxX = 1 << 15, a.minY = 0, a.maxY = 1 << 14;
  EXPECT_THROW(a.measureWidths(), lti::allocException);
}

}  // namespace
