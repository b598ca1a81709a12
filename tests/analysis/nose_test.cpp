#include <gtest/gtest.h>

#include "analyzerFixture.h"

namespace {

using namespace fixture;

struct NoseCase {
  const char* name;
  int listSize;      // the body contour: (0, 0), (1, 0), ... on one row
  int tailEndIndex;  // -1: tailEnd is not on the contour
  int n;             // bodyBorderLength
  point from;        // weightedCenter
  point nose;
};

TEST(Nose, FarthestPointWithinTheBounds) {
  const point unchanged(0, 0), centre(-5, -5);
  const NoseCase cases[] = {
      {"n = 100: positions 10 to 90, far end", 100, 0, 100, {0, 0}, {89, 0}},
      {"n = 100: positions 10 to 90, near end", 100, 0, 100, {200, 0}, {9, 0}},
      {"n = 105: up to position 95", 105, 0, 105, {0, 0}, {94, 0}},
      {"n = 9: positions 2 to 9", 9, 0, 9, {0, 0}, {8, 0}},
      {"n = 1: nothing after tailEnd", 9, 0, 1, {0, 0}, unchanged},
      {"n = 1 and tailEnd missing", 9, -1, 1, {0, 0}, centre},
      {"n = 0", 9, 0, 0, {0, 0}, unchanged},
      {"tailEnd missing", 100, -1, 100, {0, 0}, centre},
      {"positions wrap past the list's end", 100, 95, 100, {0, 0}, {84, 0}},
      {"positions wrap, near end", 100, 95, 100, {500, 0}, {4, 0}},
      {"a short contour is walked again, tailEnd included", 30, 29, 100, {0, 0}, {29, 0}},
      {"equal distances: the first met wins", 100, 0, 100, {49, 0}, {9, 0}},
      {"distance 0 is never taken", 2, 0, 100, {1, 0}, unchanged},
  };
  for (const NoseCase& c : cases) {
    tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
    Points contour;
    for (int i = 0; i < c.listSize; ++i) contour.emplace_back(i, 0);
    a.bodyBorder->assignFrom(listOf<lti::borderPoints>(contour));
    a.hasTail = 1;
    a.tailEnd = c.tailEndIndex >= 0 ? contour[static_cast<size_t>(c.tailEndIndex)] : point(-1, -1);
    a.bodyBorderLength = c.n;
    a.weightedCenter = c.from;
    a.center = centre;
    a.placeNose();
    EXPECT_EQ(a.nose, c.nose) << c.name;
  }
}

TEST(Nose, WithoutATailItIsTheCentre) {
  tressel::CTailAnalyzer a(defaults(), tressel::Path::plain);
  a.bodyBorder->assignFrom(listOf<lti::borderPoints>({{0, 0}, {9, 9}}));
  a.center = point(3, 4);
  a.placeNose();
  EXPECT_EQ(a.nose, point(3, 4));
}

}  // namespace
