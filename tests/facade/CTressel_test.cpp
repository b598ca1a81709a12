#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "silhouettes.h"
#include "support/exception.h"
#include "tressel/Tressel.h"

namespace {

using testing_silhouettes::Mask;
using testing_silhouettes::Spans;

struct Parameter {
  int (CTressel::*get)();
  void (CTressel::*set)(int);
  int defaultValue;
};

const Parameter parameterTable[] = {
    {&CTressel::GetTailWidthPercent, &CTressel::SetTailWidthPercent, 13},
    {&CTressel::GetTailLengthPercent, &CTressel::SetTailLengthPercent, 16},
    {&CTressel::GetTailWidthMinThreshold, &CTressel::SetTailWidthMinThreshold, 7},
    {&CTressel::GetTailLengthMaxThreshold, &CTressel::SetTailLengthMaxThreshold, 50},
    {&CTressel::GetLimbWidthPercent, &CTressel::SetLimbWidthPercent, 10},
    {&CTressel::GetLimbLengthPercent, &CTressel::SetLimbLengthPercent, 7},
    {&CTressel::GetLimbWidthMinThreshold, &CTressel::SetLimbWidthMinThreshold, 7},
    {&CTressel::GetLimbLengthMaxThreshold, &CTressel::SetLimbLengthMaxThreshold, 15},
    {&CTressel::GetLoopLengthMaxPercent, &CTressel::SetLoopLengthMaxPercent, 10},
};

bool same(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

Spans tailedSpans() {
  Mask m(200, 90);
  m.fillEllipse(60, 45, 40, 20);
  m.drawBand([](double t) { return lti::tpoint<double>(99 + t * 70, 45 + 6 * t); }, 3, 1.5, 240);
  return testing_silhouettes::spansOf(m, 10, 10);
}

TEST(CTressel, FreshInstanceHoldsDefaults) {
  CTressel t;
  for (const Parameter& p : parameterTable) EXPECT_EQ((t.*p.get)(), p.defaultValue);
  EXPECT_EQ(t.HasTail(), 0);
  for (POINT p : {t.GetTailBase(), t.GetTailStart(), t.GetTailEnd(), t.GetCenter(), t.GetNose()}) {
    EXPECT_TRUE(same(p, POINT{0, 0}));
  }
}

TEST(CTressel, SettersStoreAnyValueAndLoadDefaultsRestores) {
  CTressel t;
  const int values[] = {-5, std::numeric_limits<int>::min(), 0, std::numeric_limits<int>::max(), 1, 2, 3, 4, -1};
  const int* value = values;
  for (const Parameter& p : parameterTable) (t.*p.set)(*value++);
  value = values;
  for (const Parameter& p : parameterTable) EXPECT_EQ((t.*p.get)(), *value++);
  t.LoadDefaults();
  EXPECT_EQ(t.GetTailWidthPercent(), 13);
  EXPECT_EQ(t.GetLoopLengthMaxPercent(), 10);
}

TEST(CTressel, RecordLayoutIsFixed) {
  CTressel t;
  int next = 100;
  for (const Parameter& p : parameterTable) (t.*p.set)(next++);
  Spans s = tailedSpans();
  ASSERT_EQ(t.Tressel(s.x.data(), s.y.data(), s.count()), 1);
  static_assert(sizeof(CTressel) == 80, "80 bytes");
  std::int32_t raw[20];
  std::memcpy(raw, &t, sizeof raw);
  EXPECT_EQ(raw[0], t.HasTail());
  const POINT points[] = {t.GetTailBase(), t.GetTailStart(), t.GetTailEnd(), t.GetCenter(), t.GetNose()};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(raw[1 + 2 * i], points[i].x) << i;
    EXPECT_EQ(raw[2 + 2 * i], points[i].y) << i;
  }
  for (int i = 0; i < 9; ++i) EXPECT_EQ(raw[11 + i], 100 + i) << i;
}

TEST(CTressel, AssignmentCopiesResultsAndParameters) {
  CTressel source;
  Spans s = tailedSpans();
  source.SetLimbLengthPercent(9);
  source.Tressel(s.x.data(), s.y.data(), s.count());
  CTressel copy;
  copy = source;
  EXPECT_EQ(std::memcmp(&copy, &source, sizeof copy), 0);
}

TEST(CTressel, AnalysisReportsTheTail) {
  CTressel t;
  Spans s = tailedSpans();
  ASSERT_EQ(t.Tressel(s.x.data(), s.y.data(), s.count()), 1);
  EXPECT_EQ(t.HasTail(), 1);
  EXPECT_NEAR(t.GetTailBase().x, 111, 3);
  EXPECT_NEAR(t.GetCenter().x, 70, 1) << "body centre without the tail";
  EXPECT_NEAR(t.GetNose().x, 30, 1);
}

TEST(CTressel, EarlyStopGivesZeroResults) {
  CTressel t;
  Spans s = tailedSpans();
  ASSERT_EQ(t.Tressel(s.x.data(), s.y.data(), s.count()), 1);
  t.SetTailWidthPercent(0);
  EXPECT_EQ(t.Tressel(s.x.data(), s.y.data(), s.count()), 0);
  for (POINT p : {t.GetTailBase(), t.GetTailStart(), t.GetTailEnd(), t.GetCenter(), t.GetNose()}) {
    EXPECT_TRUE(same(p, POINT{0, 0}));
  }
}

TEST(CTressel, EmptyAndNullInputsAreEmptyOutlines) {
  CTressel t;
  float x[2] = {1, 1}, y[2] = {1, 1};
  EXPECT_EQ(t.Tressel(x, y, 0), 0);
  EXPECT_EQ(t.Tressel(x, y, -4), 0);
  EXPECT_EQ(t.Tressel(nullptr, y, 2), 0);
  EXPECT_EQ(t.Tressel(x, nullptr, 2), 0);
  EXPECT_EQ(t.GetFixedBorderPoints(nullptr, nullptr, 5), 0);
  EXPECT_EQ(SortOutline(x, y, 0), 0);
  EXPECT_EQ(SortOutline(x, y, -1), 0);
  EXPECT_EQ(x[0], 1.0f) << "nothing written";
}

TEST(BorderService, SquareContourStartsAtTheTopLeftCorner) {
  // The spans of a filled 10 x 10 square at (20, 30), rows given bottom-up.
  std::vector<float> x, y;
  for (int row = 9; row >= 0; --row) {
    x.insert(x.end(), {29.0f, 20.0f});
    y.insert(y.end(), {30.0f + row, 30.0f + row});
  }
  x.resize(50, -1.0f);
  y.resize(50, -1.0f);
  EXPECT_EQ(SortOutline(x.data(), y.data(), 20), 36);
  EXPECT_EQ(x[0], 20.0f);
  EXPECT_EQ(y[0], 30.0f);
  EXPECT_EQ(x[1], 21.0f) << "clockwise: right along the top first";
  EXPECT_EQ(x[35], 20.0f);
  EXPECT_EQ(y[35], 31.0f);
  for (int i = 36; i < 50; ++i) EXPECT_EQ(x[i], -1.0f) << "entries past the border keep their values";
}

TEST(BorderService, IndependentOfTheInstance) {
  Spans s = tailedSpans();
  std::vector<float> x1 = s.x, y1 = s.y, x2 = s.x, y2 = s.y;
  x1.resize(4 * x1.size());
  y1.resize(4 * y1.size());
  x2.resize(x1.size());
  y2.resize(y1.size());
  CTressel t;
  t.SetTailWidthPercent(55);
  t.SetTailLengthPercent(-3);
  const int n1 = t.GetFixedBorderPoints(x1.data(), y1.data(), s.count());
  const int n2 = SortOutline(x2.data(), y2.data(), s.count());
  EXPECT_EQ(n1, n2);
  EXPECT_EQ(x1, x2);
  EXPECT_EQ(y1, y2);
  EXPECT_EQ(t.HasTail(), 0);
  EXPECT_EQ(t.GetTailWidthPercent(), 55);
}

TEST(CoordinateConversion, TruncatesAndSaturates) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float in;
    float out;
  };
  const Case cases[] = {
      {3.99f, 3.0f},       {-3.99f, -3.0f},          {12.9f, 12.0f},        {-0.5f, 0.0f},
      {nan, 0.0f},         {inf, 2147483647.0f},     {-inf, -2147483648.0f}, {3e9f, 2147483647.0f},
      {-3e9f, -2147483648.0f}, {2147483520.0f, 2147483520.0f},
  };
  for (const Case& c : cases) {
    // One point given twice: a one-pixel span whose border is that pixel.
    float x[2] = {c.in, c.in}, y[2] = {7.5f, 7.5f};
    ASSERT_EQ(SortOutline(x, y, 2), 1) << c.in;
    EXPECT_EQ(x[0], c.out) << c.in;
    EXPECT_EQ(y[0], 7.0f);
  }
}

TEST(CTressel, FailedAnalysisKeepsThePreviousResults) {
  CTressel t;
  Spans s = tailedSpans();
  ASSERT_EQ(t.Tressel(s.x.data(), s.y.data(), s.count()), 1);
  CTressel before;
  before = t;
  // Spans far out on both axes: the tail's segment raster from the origin
  // would hold far more than 2^28 pixels.
  Spans distant = s;
  for (float& v : distant.x) v += 60000.0f;
  for (float& v : distant.y) v += 60000.0f;
  EXPECT_THROW(t.Tressel(distant.x.data(), distant.y.data(), distant.count()), lti::allocException);
  EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
  // A bounding box beyond the bound fails already while tracing.
  float x[4] = {0.0f, 0.0f, 1e6f, 1e6f}, y[4] = {0.0f, 0.0f, 1e6f, 1e6f};
  EXPECT_THROW(SortOutline(x, y, 4), lti::allocException);
  EXPECT_EQ(x[2], 1e6f);
}

}  // namespace
