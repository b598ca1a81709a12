#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "support/areaPoints.h"
#include "support/borderPoints.h"
#include "support/ioPoints.h"
#include "pointLists.h"

namespace {

using lti::point;
using testing_lists::listOf;
using testing_lists::Points;
using testing_lists::pointsOf;

Points contourOfSpans(const Points& spans) {
  lti::borderPoints contour;
  contour.buildFromIo(listOf<lti::ioPoints>(spans));
  return pointsOf(contour);
}

Points spansOfContour(const Points& contour) {
  lti::ioPoints spans;
  spans.buildFromBorder(listOf<lti::borderPoints>(contour));
  return pointsOf(spans);
}

Points areaOfContour(const Points& contour) {
  lti::areaPoints area;
  area.buildFromBorder(listOf<lti::borderPoints>(contour));
  return pointsOf(area);
}

TEST(Trace, ContoursOfSpans) {
  struct Case {
    const char* name;
    Points spans;
    Points contour;
  };
  const Case cases[] = {
      {"2 x 2 block", {{0, 0}, {1, 0}, {0, 1}, {1, 1}}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
      {"single row walked out and back", {{0, 0}, {3, 0}}, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {2, 0}, {1, 0}}},
      {"vertical line", {{0, 0}, {0, 0}, {0, 1}, {0, 1}, {0, 2}, {0, 2}}, {{0, 0}, {0, 1}, {0, 2}, {0, 1}}},
      {"single pixel", {{5, 5}, {5, 5}}, {{5, 5}}},
      {"ring walks the outer edge",
       {{0, 0}, {3, 0}, {0, 1}, {0, 1}, {3, 1}, {3, 1}, {0, 2}, {3, 2}},
       {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {3, 2}, {2, 2}, {1, 2}, {0, 2}, {0, 1}}},
      {"only the region of the first pixel", {{0, 0}, {1, 0}, {5, 0}, {6, 0}}, {{0, 0}, {1, 0}}},
      {"a pixel touching only diagonally is lost", {{1, 0}, {2, 0}, {0, 1}, {0, 1}}, {{1, 0}, {2, 0}}},
      {"an odd row count stops the drawing at that pair", {{0, 0}, {3, 0}, {0, 1}},
       {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {2, 0}, {1, 0}}},
      {"a pair across two rows stops the drawing", {{0, 0}, {1, 0}, {0, 1}, {0, 2}}, {{0, 0}, {1, 0}}},
      {"far from the origin", {{-100000, 70000}, {-99999, 70000}, {-100000, 70001}, {-99999, 70001}},
       {{-100000, 70000}, {-99999, 70000}, {-99999, 70001}, {-100000, 70001}}},
      {"empty", {}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(contourOfSpans(c.spans), c.contour) << c.name;
}

TEST(Fill, SpansAndAreasOfContours) {
  struct Case {
    const char* name;
    Points contour;
    Points spans;
    Points area;
  };
  const Case cases[] = {
      {"2 x 2 block", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{0, 0}, {1, 0}, {0, 1}, {1, 1}},
       {{0, 0}, {1, 0}, {0, 1}, {1, 1}}},
      {"single row", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {2, 0}, {1, 0}}, {{0, 0}, {3, 0}},
       {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
      {"vertical line", {{0, 0}, {0, 1}, {0, 2}, {0, 1}}, {{0, 0}, {0, 0}, {0, 1}, {0, 1}, {0, 2}, {0, 2}},
       {{0, 0}, {0, 1}, {0, 2}}},
      {"one point", {{4, 4}}, {{4, 4}, {4, 4}}, {{4, 4}}},
      {"three points are drawn as points", {{0, 0}, {2, 0}, {1, 1}},
       {{0, 0}, {0, 0}, {2, 0}, {2, 0}, {1, 1}, {1, 1}}, {{0, 0}, {2, 0}, {1, 1}}},
      {"the hole of a ring is filled",
       {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {3, 2}, {2, 2}, {1, 2}, {0, 2}, {0, 1}},
       {{0, 0}, {3, 0}, {0, 1}, {3, 1}, {0, 2}, {3, 2}},
       {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1}, {0, 2}, {1, 2}, {2, 2}, {3, 2}}},
      {"counterclockwise 2 x 2 marks nothing", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, {}, {}},
      {"counterclockwise 3 x 3 marks only four pixels",
       {{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {2, 0}, {1, 0}},
       {{1, 0}, {1, 0}, {0, 1}, {0, 1}, {2, 1}, {2, 1}, {1, 2}, {1, 2}}, {{1, 0}, {0, 1}, {2, 1}, {1, 2}}},
      {"repeated points are dropped before marking", {{0, 0}, {0, 0}, {1, 0}, {1, 1}, {1, 1}, {0, 1}, {0, 0}},
       {{0, 0}, {1, 0}, {0, 1}, {1, 1}}, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}},
      {"far from the origin", {{-50000, -7}, {-49999, -7}, {-49999, -6}, {-50000, -6}},
       {{-50000, -7}, {-49999, -7}, {-50000, -6}, {-49999, -6}},
       {{-50000, -7}, {-49999, -7}, {-50000, -6}, {-49999, -6}}},
      {"empty", {}, {}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(spansOfContour(c.contour), c.spans) << c.name;
    EXPECT_EQ(areaOfContour(c.contour), c.area) << c.name;
  }
}

TEST(Fill, ToMaskSizesTheRasterFromStoredBox) {
  lti::ioPoints spans = listOf<lti::ioPoints>({{1, 1}, {2, 1}});
  spans.storedBox = lti::box{0, 0, 4, 2};
  lti::channel8 mask(1, 1, 9);
  EXPECT_TRUE(spans.toMask(mask));
  EXPECT_EQ(mask.rows(), 3);
  EXPECT_EQ(mask.columns(), 5);
  EXPECT_EQ(mask.at(0, 0), 0) << "cleared before drawing";
  EXPECT_EQ(mask.at(1, 2), 255);

  lti::ioPoints odd = listOf<lti::ioPoints>({{0, 0}, {1, 0}, {0, 1}});
  odd.storedBox = lti::box{0, 0, 1, 1};
  EXPECT_FALSE(odd.toMask(mask));
  EXPECT_EQ(mask.at(0, 1), 255) << "pairs before the faulty one stay drawn";
}

// A random 4-connected blob without holes: grown pixel by pixel from a seed,
// then every background pixel that the outside cannot reach through
// 4-connected background is filled.
std::set<std::pair<int, int>> randomBlob(std::mt19937& random, int size, int pixels) {
  std::vector<std::vector<bool>> on(static_cast<size_t>(size), std::vector<bool>(static_cast<size_t>(size)));
  std::vector<point> grown = {point(size / 2, size / 2)};
  on[size / 2][size / 2] = true;
  const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
  while (static_cast<int>(grown.size()) < pixels) {
    const point from = grown[random() % grown.size()];
    const int d = static_cast<int>(random() % 4);
    const int x = from.x + dx[d], y = from.y + dy[d];
    if (x < 1 || y < 1 || x >= size - 1 || y >= size - 1 || on[y][x]) continue;
    on[y][x] = true;
    grown.emplace_back(x, y);
  }
  std::vector<std::vector<bool>> outside(static_cast<size_t>(size), std::vector<bool>(static_cast<size_t>(size)));
  std::vector<point> stack = {point(0, 0)};
  outside[0][0] = true;
  while (!stack.empty()) {
    const point p = stack.back();
    stack.pop_back();
    for (int d = 0; d < 4; ++d) {
      const int x = p.x + dx[d], y = p.y + dy[d];
      if (x < 0 || y < 0 || x >= size || y >= size || on[y][x] || outside[y][x]) continue;
      outside[y][x] = true;
      stack.emplace_back(x, y);
    }
  }
  std::set<std::pair<int, int>> blob;  // (y, x): scan order
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      if (!outside[y][x]) blob.insert({y, x});
    }
  }
  return blob;
}

TEST(ConversionProperty, RandomHoleFreeBlobsSurviveTheRoundTrips) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 300; ++round) {
    const int size = 6 + static_cast<int>(random() % 30);
    const auto blob = randomBlob(random, size, 1 + static_cast<int>(random() % (size * size / 3)));
    const int offsetX = static_cast<int>(random() % 2001) - 1000;
    const int offsetY = static_cast<int>(random() % 2001) - 1000;

    Points spans, pixels;
    for (auto it = blob.begin(); it != blob.end();) {
      const int y = it->first;
      int x = it->second;
      spans.emplace_back(x + offsetX, y + offsetY);
      while (std::next(it) != blob.end() && std::next(it)->first == y && std::next(it)->second == x + 1) {
        ++it;
        ++x;
      }
      spans.emplace_back(x + offsetX, y + offsetY);
      ++it;
    }
    for (const auto& yx : blob) pixels.emplace_back(yx.second + offsetX, yx.first + offsetY);

    const Points contour = contourOfSpans(spans);
    ASSERT_EQ(areaOfContour(contour), pixels) << "round " << round;
    ASSERT_EQ(spansOfContour(contour), spans) << "round " << round;

    Points shuffled = spans;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    lti::ioPoints sorted = listOf<lti::ioPoints>(shuffled);
    sorted.sortPoints();
    lti::borderPoints again;
    again.buildFromIo(sorted);
    ASSERT_EQ(pointsOf(again), contour) << "round " << round;
  }
}

}  // namespace
