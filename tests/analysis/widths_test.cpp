#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "analyzerFixture.h"
#include "silhouettes.h"

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
  // down-left through the region and leaves it at step k. Lengths on either
  // side of those whose widths are looked up.
  struct Case {
    int k;
    int width;  // trunc(k * sqrt 2)
  };
  for (const Case c : {Case{5, 7}, Case{1023, 1446}, Case{1024, 1448}, Case{1500, 2121}}) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    Points contour;
    for (int k = 0; k <= 10; ++k) contour.emplace_back(k, k);
    a.border->assignFrom(listOf<lti::borderPoints>(contour));
    Points area = contour;
    for (int j = 1; j < c.k; ++j) area.emplace_back(5 - j, 5 + j);  // the ray's cells
    a.area->assignFrom(listOf<lti::areaPoints>(area));
    a.minX = -c.k - 20, a.maxX = 20, a.minY = -20, a.maxY = c.k + 20;
    a.measureWidths();
    EXPECT_EQ(a.widthGrid->widthAt(point(5, 5)), c.width) << c.k << " diagonal steps";
  }
}

// A ray that has entered the area and runs out of the box is reversed, as one
// that missed the area: an area reaching the box's edge off the contour.
TEST(Widths, ARayLeavingTheBoxIsReversed) {
  struct Case {
    const char* name;
    int contourRow, firstAreaRow, lastRow;
    int width;
  };
  const Case cases[] = {
      {"out of the box below, then above at once: width 1", 0, 0, 5, 1},
      {"out of the box below, then off the area above", 3, 1, 6, 3},
  };
  for (const Case& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    Points contour, area;
    for (int x = 0; x <= 10; ++x) contour.emplace_back(x, c.contourRow);  // normals point down
    for (int y = c.firstAreaRow; y <= c.lastRow; ++y) {
      for (int x = 0; x <= 10; ++x) area.emplace_back(x, y);
    }
    a.border->assignFrom(listOf<lti::borderPoints>(contour));
    a.area->assignFrom(listOf<lti::areaPoints>(area));
    a.minX = 0, a.maxX = 10, a.minY = 0, a.maxY = c.lastRow;
    a.measureWidths();
    EXPECT_EQ(a.widthGrid->widthAt(point(5, c.contourRow)), c.width) << c.name;
  }
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

// A grid built again over another box holds what a new grid holds there:
// its frame flagged outside, every cell of the box clear, whatever the last
// build marked.
TEST(Widths, ARebuiltGridIsAsNew) {
  struct Box {
    int minX, minY, maxX, maxY;
  };
  struct Case {
    const char* name;
    Box before, after;
  };
  const Case cases[] = {
      {"the same box", {0, 0, 9, 6}, {0, 0, 9, 6}},
      {"a smaller box", {0, 0, 30, 20}, {3, 2, 9, 6}},
      {"a larger box", {3, 2, 9, 6}, {0, 0, 30, 20}},
      {"one row after many", {0, 0, 12, 12}, {0, 5, 40, 5}},
      {"one column after many", {0, 0, 12, 12}, {5, -3, 5, 9}},
      {"a single cell", {-4, -4, 4, 4}, {1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    tressel::WidthGrid reused, fresh;
    const Box& b = c.before;
    reused.build(b.minX, b.minY, b.maxX, b.maxY);
    for (int y = b.minY; y <= b.maxY; ++y) reused.markAreaRun(y, b.minX, b.maxX);
    for (int x = b.minX; x <= b.maxX; ++x) reused.setWidth(point(x, b.maxY), 3);
    const Box& a = c.after;
    reused.build(a.minX, a.minY, a.maxX, a.maxY);
    fresh.build(a.minX, a.minY, a.maxX, a.maxY);
    ASSERT_EQ(reused.stride(), fresh.stride()) << c.name;
    const std::size_t cells = static_cast<std::size_t>((reused.rows() + 2) * reused.stride());
    for (std::size_t i = 0; i < cells; ++i) {
      ASSERT_EQ(reused.flags()[i], fresh.flags()[i]) << c.name << " at cell " << i;
      const bool frame = i < static_cast<std::size_t>(fresh.stride()) || i >= cells - fresh.stride() ||
                         i % fresh.stride() == 0 || i % fresh.stride() == static_cast<std::size_t>(fresh.stride() - 1);
      ASSERT_EQ(fresh.flags()[i], frame ? tressel::WidthGrid::outside : 0) << c.name << " at cell " << i;
    }
  }
}

using testing_silhouettes::Mask;

// Masks with ragged and one-pixel-wide diagonal edges, where rays leave the
// interior onto the contour, off the area, or diagonally between pixels.
struct Family {
  const char* name;
  Mask (*make)(std::mt19937&);
};
const Family maskFamilies[] = {
    {"blobs with holes and notches",
     [](std::mt19937& r) {
       Mask m(60, 50);
       std::uniform_real_distribution<double> u(0.0, 1.0);
       m.fillEllipse(30, 25, 18 + 10 * u(r), 12 + 10 * u(r));
       for (int i = 0; i < 2; ++i) m.fillEllipse(20 + 20 * u(r), 15 + 20 * u(r), 4 + 8 * u(r), 3 + 8 * u(r));
       for (int i = 0; i < 80; ++i) m.set(static_cast<int>(r() % 60), static_cast<int>(r() % 50), false);
       return m;
     }},
    {"thin diagonal and anti-diagonal bands",
     [](std::mt19937& r) {
       Mask m(70, 70);
       std::uniform_real_distribution<double> u(0.0, 1.0);
       m.fillEllipse(35, 35, 8 + 10 * u(r), 8 + 10 * u(r));
       for (int i = 0; i < 4; ++i) {
         const double sx = (i % 2) ? 1 : -1, sy = (i / 2) ? 1 : -1, half = 0.5 + 2 * u(r);
         m.drawBand([&](double t) { return lti::tpoint<double>(35 + sx * t * 30, 35 + sy * t * 30); }, half, half, 70);
       }
       return m;
     }},
    {"a box with ragged sides",
     [](std::mt19937& r) {
       Mask m(60, 60);
       for (int y = 5; y < 55; ++y) m.fillRect(5 + static_cast<int>(r() % 6), y, 50 + static_cast<int>(r() % 6), y);
       return m;
     }},
};

// The width at `from` as the ray walks it, one cell at a time with every
// bound tested, on planes of the box built here from the border and area.
int walkedWidth(const tressel::CTailAnalyzer& a, const point& from, int sx, int sy, bool& reversed) {
  const int columns = a.maxX - a.minX + 1, rows = a.maxY - a.minY + 1;
  std::vector<std::uint8_t> cells(static_cast<std::size_t>(columns) * rows, 0);
  auto cell = [&](int x, int y) -> std::uint8_t& { return cells[(y - a.minY) * columns + (x - a.minX)]; };
  for (const point& p : *a.border) cell(p.x, p.y) |= 1;
  for (const point& p : *a.area) cell(p.x, p.y) |= 2;
  bool entered = false;
  for (int attempt = 0; attempt < 2; ++attempt, sx = -sx, sy = -sy, reversed = true) {
    for (int k = 1;; ++k) {
      const int x = from.x + k * sx, y = from.y + k * sy;
      if (x < a.minX || x > a.maxX || y < a.minY || y > a.maxY) break;  // out of the box: reverse
      const std::uint8_t c = cell(x, y);
      if (!entered && k == 1) {
        if (!(c & 2)) break;  // the normal points out of the area: reverse
        entered = true;
        if (c & 1) return 1;
        continue;
      }
      if (c != 2) return static_cast<int>(std::sqrt(static_cast<double>(k * k * (sx * sx + sy * sy))));
    }
  }
  return 1;
}

// The fast path marks the area from its runs, the plain path from its list:
// every contour point must get the same width.
TEST(Widths, FastPathMeasuresAsThePlainPath) {
  for (const Family& f : maskFamilies) {
    std::mt19937 random(17);
    int longRays = 0;
    for (int round = 0; round < 150; ++round) {
      const auto s = testing_silhouettes::spansOf(f.make(random), -30, 7);
      Points spans;
      for (int i = 0; i < s.count(); ++i) spans.emplace_back(static_cast<int>(s.x[i]), static_cast<int>(s.y[i]));
      tressel::CTailAnalyzer fast(defaults(), tressel::Path::fast);
      tressel::CTailAnalyzer plain(defaults(), tressel::Path::plain);
      measure(fast, spans);
      measure(plain, spans);
      ASSERT_TRUE(fast.border->equals(*plain.border)) << f.name << " " << round;
      for (const point& p : *plain.border) {
        ASSERT_EQ(fast.widthGrid->widthAt(p), plain.widthGrid->widthAt(p))
            << f.name << " " << round << " at " << p.x << "," << p.y;
        longRays += plain.widthGrid->widthAt(p) > 3;
      }
      ASSERT_EQ(fast.maxWidth, plain.maxWidth) << f.name << " " << round;
    }
    EXPECT_GT(longRays, 1000) << f.name << ": the rays cross the regions";
  }
}

// The grid's rays (framed grid, no bounds tests, several cells a test) end
// where a ray walked cell by cell ends, at every contour point, with the
// normal taken from the chord as measureWidths takes it.
TEST(Widths, RaysEndWhereACellByCellWalkEnds) {
  for (const Family& f : maskFamilies) {
    std::mt19937 random(29);
    int reversed = 0;
    for (int round = 0; round < 40; ++round) {
      const auto s = testing_silhouettes::spansOf(f.make(random), 11, -4);
      Points spans;
      for (int i = 0; i < s.count(); ++i) spans.emplace_back(static_cast<int>(s.x[i]), static_cast<int>(s.y[i]));
      tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
      measure(a, spans);
      if (round % 4 != 0) {
        Points other = pointsOf(*a.border);
        // Walked the other way, every normal points out at first.
        if (round % 2 == 1) std::reverse(other.begin(), other.end());
        // Every other point kept: chords of up to 8 cells, beyond the
        // neighbours' reach.
        if (round % 4 >= 2) {
          Points sparse;
          for (std::size_t j = 0; j < other.size(); j += 2) sparse.push_back(other[j]);
          other = sparse;
        }
        a.border->assignFrom(listOf<lti::borderPoints>(other));
        a.measureWidths();
      }
      const Points contour = pointsOf(*a.border);
      const int n = static_cast<int>(contour.size());
      std::vector<int> expected(contour.size());
      for (int i = 0; i < n; ++i) {
        const point &before = contour[(i - 2 + 2 * n) % n], &after = contour[(i + 2) % n];
        const int dx = after.x - before.x, dy = after.y - before.y;
        const int larger = std::max(std::abs(dx), std::abs(dy));
        auto quantised = [&](int c) { return 2 * std::abs(c) >= larger ? (c > 0) - (c < 0) : 0; };
        bool turned = false;
        expected[i] = larger == 0 ? 1 : walkedWidth(a, contour[i], -quantised(dy), quantised(dx), turned);
        reversed += turned && expected[i] > 1;
      }
      for (int i = 0; i < n; ++i) {  // the last visit of a pixel holds its width
        int lastVisit = i;
        for (int step = 1; step < n; ++step) {
          const int j = (i + step) % n;  // visits run p(2) ... p(n-1), p(0), p(1)
          if (contour[j] == contour[i] && (j + n - 2) % n > (lastVisit + n - 2) % n) lastVisit = j;
        }
        ASSERT_EQ(a.widthGrid->widthAt(contour[i]), expected[lastVisit])
            << f.name << " " << round << " at " << contour[i].x << "," << contour[i].y;
      }
    }
    EXPECT_GT(reversed, 100) << f.name << ": rays measured after a reversal";
  }
}

}  // namespace
