// The conversions that work from a contour's or a region's runs without a
// raster of the box give exactly what the raster conversions give.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <utility>
#include <random>
#include <vector>

#include "pointLists.h"
#include "support/borderPoints.h"
#include "support/exception.h"
#include "support/ioPoints.h"
#include "support/rasterFrame.h"

namespace {

using lti::point;
using testing_lists::listOf;
using testing_lists::Points;

// Runs as (row, first, last), comparable and printable.
using Runs = std::vector<std::array<int, 3>>;

Runs flat(const std::vector<lti::rowRun>& runs) {
  Runs out;
  for (const lti::rowRun& r : runs) out.push_back({r.y, r.first, r.last});
  return out;
}

Runs runsOfRaster(const lti::channel8& mask, const lti::box& b) {
  Runs runs;
  if (!mask.hasStorage()) return runs;
  for (int y = 0; y < mask.rows(); ++y) {
    for (int x = 0; x < mask.columns(); ++x) {
      if (mask.at(y, x) == 0) continue;
      const int first = x;
      while (x + 1 < mask.columns() && mask.at(y, x + 1) != 0) ++x;
      runs.push_back({b.minY + y, b.minX + first, b.minX + x});
    }
  }
  return runs;
}

// The contour of random pixels in a small box: thin parts, diagonal joints,
// holes and inlets, as the tracer leaves them.
Points tracedContour(std::mt19937& random, int at) {
  const int size = 3 + static_cast<int>(random() % 24);
  const double density = 0.3 + 0.6 * (random() % 100) / 100.0;
  Points spans;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      if ((random() % 1000) / 1000.0 >= density) continue;
      const int first = x;
      while (x + 1 < size && (random() % 1000) / 1000.0 < density) ++x;
      spans.emplace_back(at + first, at + y);
      spans.emplace_back(at + x, at + y);
    }
  }
  lti::borderPoints contour;
  contour.buildFromIo(listOf<lti::ioPoints>(spans));
  return Points(contour.begin(), contour.end());
}

// A closed walk of random 8-neighbour steps: it crosses itself, turns back,
// and runs along rows both ways.
Points randomWalk(std::mt19937& random, int at) {
  Points walk = {point(at, at)};
  const int steps = 2 + static_cast<int>(random() % 60);
  for (int i = 0; i < steps; ++i) {
    point p = walk.back();
    p.x += static_cast<int>(random() % 3) - 1;
    p.y += static_cast<int>(random() % 5 == 0 ? random() % 3 : 1) - 1;
    walk.push_back(p);
  }
  return walk;
}

// Any points: jumps, repeats, fewer than four.
Points anyPoints(std::mt19937& random, int at) {
  Points points;
  const int n = 1 + static_cast<int>(random() % 12);
  for (int i = 0; i < n; ++i) {
    if (!points.empty() && random() % 4 == 0) {
      points.push_back(points[random() % points.size()]);
    } else {
      points.emplace_back(at + static_cast<int>(random() % 9), at + static_cast<int>(random() % 9));
    }
  }
  return points;
}

// A few points far apart in rows, some on the same row.
Points sparseRows(std::mt19937& random, int at) {
  Points points = anyPoints(random, at);
  for (point& p : points) p.y = at + (p.y - at) * 700;
  return points;
}

// Back and forth along one row, many times, with a few steps off it.
Points foldingRow(std::mt19937& random, int at) {
  Points points;
  const int folds = 20 + static_cast<int>(random() % 40);
  for (int f = 0; f < folds; ++f) {
    const int length = 1 + static_cast<int>(random() % 30);
    for (int i = 0; i < length; ++i) points.emplace_back(at + (f % 2 == 0 ? i : length - i), at);
    if (random() % 3 == 0) points.emplace_back(at + length / 2, at + 1);
  }
  return points;
}

// The traced contour of bars joined by one-pixel necks and by corners that
// touch only diagonally, walked either way round: long stretches along rows,
// a contour running out and back along a neck's row, and touching itself.
Points neckedBars(std::mt19937& random, int at) {
  Points spans;
  int first = 0;
  const int bars = 1 + static_cast<int>(random() % 6);
  for (int y = 0; y < 3 * bars; y += 3) {
    const int length = 2 + static_cast<int>(random() % 20);
    for (int k = 0; k < 2; ++k) spans.insert(spans.end(), {point(at + first, at + y + k), point(at + first + length, at + y + k)});
    // The row below joins the next bar through one pixel, or touches it only
    // at a corner.
    const int neck = first + static_cast<int>(random() % static_cast<unsigned>(length + 1));
    if (random() % 2 == 0) {
      spans.insert(spans.end(), {point(at + neck, at + y + 2), point(at + neck, at + y + 2)});
      first = neck - static_cast<int>(random() % 10);
    } else {
      spans.insert(spans.end(), {point(at + first + length + 1, at + y + 2), point(at + first + length + 4, at + y + 2)});
      first = first + length + 5;
    }
  }
  lti::borderPoints contour;
  contour.buildFromIo(listOf<lti::ioPoints>(spans));
  Points points(contour.begin(), contour.end());
  if (random() % 2 == 0) std::reverse(points.begin(), points.end());
  return points;
}

// Walks along rows both ways in steps of one and in jumps of a few columns,
// with steps between rows: stretches that a jump must end.
Points rowsWithJumps(std::mt19937& random, int at) {
  Points walk = {point(at, at)};
  const int legs = 2 + static_cast<int>(random() % 12);
  for (int leg = 0; leg < legs; ++leg) {
    const int direction = random() % 2 == 0 ? 1 : -1;
    const int steps = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < steps; ++i) {
      point p = walk.back();
      p.x += direction * (random() % 4 == 0 ? 2 + static_cast<int>(random() % 4) : 1);
      walk.push_back(p);
    }
    point p = walk.back();
    p.y += static_cast<int>(random() % 3) - 1;
    walk.push_back(p);
  }
  return walk;
}

// Down a column and back up it or its neighbour: rows of two marks in one
// column or side by side, a start and an end either way round.
Points thinColumn(std::mt19937& random, int at) {
  Points points;
  const int length = 1 + static_cast<int>(random() % 20);
  for (int y = 0; y <= length; ++y) points.emplace_back(at, at + y);
  for (int y = length; y >= 0; --y) points.emplace_back(at + static_cast<int>(random() % 3) - 1, at + y);
  if (random() % 2 == 0) std::reverse(points.begin(), points.end());
  return points;
}

TEST(RunsWithoutRaster, FillOfAContourIsTheRastersFill) {
  constexpr int top = std::numeric_limits<int>::max() - 70 * 700, bottom = std::numeric_limits<int>::min() + 100;
  struct Family {
    const char* name;
    std::function<Points(std::mt19937&, int)> make;
  };
  const Family families[] = {
      {"traced contours", tracedContour},
      {"random walks", randomWalk},
      {"any points", anyPoints},
      {"few points far apart in rows", sparseRows},
      {"a row walked back and forth", foldingRow},
      {"bars joined by necks and diagonal corners", neckedBars},
      {"rows walked in steps and jumps", rowsWithJumps},
      {"a column walked down and back up", thinColumn},
  };
  std::mt19937 random(77);
  lti::fillScratch scratch;  // one for every call, as a caller that fills often keeps it
  for (const Family& f : families) {
    for (int round = 0; round < 400; ++round) {
      const int at = round % 5 == 0 ? top : round % 5 == 1 ? bottom : -50 + static_cast<int>(random() % 100);
      const Points points = f.make(random, at);
      const lti::borderPoints contour = listOf<lti::borderPoints>(points);
      lti::channel8 mask;
      const lti::box b = lti::fillContour(contour, mask);
      std::vector<lti::rowRun> runs = {lti::rowRun{1, 2, 3}};
      lti::contourFillRuns(contour, runs, scratch);
      ASSERT_EQ(flat(runs), runsOfRaster(mask, b)) << f.name << ", round " << round;
    }
  }
}

TEST(RunsWithoutRaster, FillRaisesWhereTheRasterWould) {
  struct Case {
    const char* name;
    Points contour;
    bool raises;
  };
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  const Case cases[] = {
      {"empty", {}, false},
      {"wider than the int32 range", {{kMin, 0}, {kMax, 0}}, true},
      {"more cells than the bound", {{0, 0}, {20000, 20000}}, true},
      {"a tall box of few points", {{0, 0}, {0, 100000}, {1, 100000}, {7, 3}, {1, 50000}}, false},
  };
  for (const Case& c : cases) {
    const lti::borderPoints contour = listOf<lti::borderPoints>(c.contour);
    lti::fillScratch scratch;
    std::vector<lti::rowRun> runs;
    bool rasterRaises = false, runsRaise = false;
    lti::channel8 mask;
    try {
      lti::fillContour(contour, mask);
    } catch (const lti::allocException&) {
      rasterRaises = true;
    }
    try {
      lti::contourFillRuns(contour, runs, scratch);
    } catch (const lti::allocException&) {
      runsRaise = true;
    }
    EXPECT_EQ(rasterRaises, c.raises) << c.name;
    EXPECT_EQ(runsRaise, c.raises) << c.name;
    if (!c.raises) {
      EXPECT_EQ(flat(runs), runsOfRaster(mask, contour.empty() ? lti::box{} : contour.boundingBox())) << c.name;
    }
  }
}

// Spans of random pixels, rows `rowStep` apart: with many rows between them
// the runs are looked up by row rather than drawn as bits.
Points randomSpans(std::mt19937& random, int at, int rowStep, int columns) {
  const int rows = 1 + static_cast<int>(random() % 20);
  const double density = 0.3 + 0.6 * (random() % 100) / 100.0;
  Points spans;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      if ((random() % 1000) / 1000.0 >= density) continue;
      const int first = x;
      while (x + 1 < columns && (random() % 1000) / 1000.0 < density) ++x;
      spans.emplace_back(at + first, at + y * rowStep);
      spans.emplace_back(at + x, at + y * rowStep);
    }
  }
  return spans;
}

TEST(RunsWithoutRaster, TraceOfSpansIsTheRastersTrace) {
  constexpr int top = std::numeric_limits<int>::max() - 50 * 1000, bottom = std::numeric_limits<int>::min();
  struct Family {
    const char* name;
    std::function<Points(std::mt19937&, int)> make;
  };
  const Family families[] = {
      {"pixels in scan order", [](std::mt19937& r, int at) { return randomSpans(r, at, 1, 3 + static_cast<int>(r() % 30)); }},
      {"shuffled pairs, overlapping and repeated",
       [](std::mt19937& r, int at) {
         Points spans = randomSpans(r, at, 1, 3 + static_cast<int>(r() % 20));
         std::vector<std::pair<point, point>> pairs;
         for (std::size_t i = 0; i + 1 < spans.size(); i += 2) pairs.emplace_back(spans[i], spans[i + 1]);
         for (std::size_t i = 0; i < pairs.size() / 3; ++i) {
           auto p = pairs[r() % pairs.size()];
           p.second.x += static_cast<int>(r() % 4);
           pairs.push_back(p);
         }
         std::shuffle(pairs.begin(), pairs.end(), r);
         Points out;
         for (const auto& p : pairs) out.insert(out.end(), {p.first, p.second});
         return out;
       }},
      {"faulty pairs: reversed, across rows, one left over",
       [](std::mt19937& r, int at) {
         Points spans = randomSpans(r, at, 1, 3 + static_cast<int>(r() % 20));
         if (spans.empty()) return spans;
         const std::size_t i = r() % spans.size();
         const int fault = static_cast<int>(r() % 3);
         if (fault == 0) std::swap(spans[i & ~std::size_t{1}], spans[i | 1]);
         if (fault == 1) spans[i].y += 1;
         if (fault == 2) spans.insert(spans.begin() + static_cast<std::ptrdiff_t>(i), spans[i]);
         return spans;
       }},
      {"rows far apart, many runs each",
       [](std::mt19937& r, int at) { return randomSpans(r, at, 1000, 40 + static_cast<int>(r() % 40)); }},
      {"many runs a row, and specks far below",
       [](std::mt19937& r, int at) {
         Points spans = randomSpans(r, at, 1, 40 + static_cast<int>(r() % 40));
         for (int k = 1; k <= 2; ++k) spans.insert(spans.end(), {point(at, at + k * 20000), point(at, at + k * 20000)});
         return spans;
       }},
  };
  std::mt19937 random(78);
  lti::traceScratch scratch;
  for (const Family& f : families) {
    for (int round = 0; round < 400; ++round) {
      const int at = round % 5 == 0 ? top : round % 5 == 1 ? bottom : -50 + static_cast<int>(random() % 100);
      const lti::ioPoints spans = listOf<lti::ioPoints>(f.make(random, at));
      lti::borderPoints raster, runs = listOf<lti::borderPoints>({{1, 2}});
      raster.buildFromIo(spans);
      lti::traceSpans(spans, runs, scratch);
      ASSERT_EQ(testing_lists::pointsOf(runs), testing_lists::pointsOf(raster)) << f.name << ", round " << round;
    }
  }
  const lti::ioPoints tooWide = listOf<lti::ioPoints>({{0, 0}, {0, 0}, {30000, 30000}, {30000, 30000}});
  lti::borderPoints contour;
  EXPECT_THROW(lti::traceSpans(tooWide, contour, scratch), lti::allocException);
  EXPECT_THROW(contour.buildFromIo(tooWide), lti::allocException);
}

}  // namespace
