// Hostile and degenerate input through every entry point: the class, the
// border service (member and SortOutline) and each C function. Whatever the
// input, a call either completes with the documented result or fails in the
// documented way (allocException from the class, an error code from the C
// interface) and then leaves the record and every output as they were.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "silhouettes.h"
#include "support/exception.h"
#include "tressel/Tressel.h"
#include "tressel/tressel_c.h"

namespace {

using testing_silhouettes::Mask;
using testing_silhouettes::Spans;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

using Setter = void (CTressel::*)(int);
constexpr Setter kSetters[9] = {&CTressel::SetTailWidthPercent,      &CTressel::SetTailLengthPercent,
                                &CTressel::SetTailWidthMinThreshold, &CTressel::SetTailLengthMaxThreshold,
                                &CTressel::SetLimbWidthPercent,      &CTressel::SetLimbLengthPercent,
                                &CTressel::SetLimbWidthMinThreshold, &CTressel::SetLimbLengthMaxThreshold,
                                &CTressel::SetLoopLengthMaxPercent};
constexpr int tressel_params::*kFields[9] = {
    &tressel_params::tail_width_percent,        &tressel_params::tail_length_percent,
    &tressel_params::tail_width_min_threshold,  &tressel_params::tail_length_max_threshold,
    &tressel_params::limb_width_percent,        &tressel_params::limb_length_percent,
    &tressel_params::limb_width_min_threshold,  &tressel_params::limb_length_max_threshold,
    &tressel_params::loop_length_max_percent};

// Results no analysis produces, so that an untouched output is recognised.
const tressel_result kUntouched = {7, {-5, -5}, {-5, -5}, {-5, -5}, {-5, -5}, {-5, -5}};

Mask tailedMask() {
  Mask m(200, 90);
  m.fillEllipse(60, 45, 40, 20);
  m.drawBand([](double t) { return lti::tpoint<double>(99 + t * 70, 45 + 6 * t); }, 3, 1.5, 240);
  return m;
}

Spans tailed(int dx = 10, int dy = 10) { return testing_silhouettes::spansOf(tailedMask(), dx, dy); }

// A record that holds a finished analysis, so that a failed call has results
// to keep.
void prime(CTressel& t) {
  Spans s = tailed();
  t.Tressel(s.x.data(), s.y.data(), s.count());
}

bool sameBytes(const void* a, const void* b, std::size_t n) { return std::memcmp(a, b, n) == 0; }

tressel_result resultOf(CTressel& t) {
  auto p = [](POINT q) { return tressel_point{q.x, q.y}; };
  return tressel_result{t.HasTail(), p(t.GetTailBase()), p(t.GetTailStart()), p(t.GetTailEnd()),
                        p(t.GetCenter()), p(t.GetNose())};
}

bool sameResult(const tressel_result& a, const tressel_result& b) { return sameBytes(&a, &b, sizeof a); }

// What every entry point made of one outline.
struct Outcome {
  bool analysisFailed = false;  // allocException from the class, the memory code from the C interface
  tressel_result result = kUntouched;
  bool borderFailed = false;
  std::vector<float> borderX, borderY;
};

// Runs the outline through all five outline entry points and checks that they
// agree with one another and keep their promises on failure.
Outcome everyEntryPoint(const std::vector<float>& x, const std::vector<float>& y, const tressel_params& params) {
  const int count = static_cast<int>(x.size());
  Outcome o;

  CTressel t;
  prime(t);
  for (int i = 0; i < 9; ++i) (t.*kSetters[i])(params.*kFields[i]);
  CTressel before;
  before = t;
  std::vector<float> xs = x, ys = y;  // the class takes non-const arrays
  try {
    t.Tressel(xs.data(), ys.data(), count);
    o.result = resultOf(t);
  } catch (const lti::allocException& e) {
    o.analysisFailed = true;
    EXPECT_STREQ(e.what(), "memory allocation error");
    EXPECT_TRUE(sameBytes(&t, &before, sizeof t)) << "a failed analysis keeps the previous results";
  }
  tressel_result r = kUntouched;
  const int rc = tressel_analyze(x.data(), y.data(), count, &params, &r);
  if (o.analysisFailed) {
    EXPECT_EQ(rc, TRESSEL_ERROR_MEMORY);
    EXPECT_TRUE(sameResult(r, kUntouched)) << "a failed call writes nothing";
  } else {
    EXPECT_EQ(rc, o.result.has_tail);
    EXPECT_TRUE(sameResult(r, o.result)) << "the C interface reports the class's results";
  }

  const int size = tressel_border(x.data(), y.data(), count, nullptr, nullptr, 0);
  std::vector<float> legacyX = x, legacyY = y;
  if (size == TRESSEL_ERROR_MEMORY) {
    o.borderFailed = true;
    EXPECT_THROW(t.GetFixedBorderPoints(legacyX.data(), legacyY.data(), count), lti::allocException);
    EXPECT_THROW(SortOutline(legacyX.data(), legacyY.data(), count), lti::allocException);
    EXPECT_TRUE(sameBytes(legacyX.data(), x.data(), x.size() * sizeof(float))) << "a failed border writes nothing";
    return o;
  }
  EXPECT_GE(size, 0);
  o.borderX.assign(static_cast<std::size_t>(size), -7.0f);
  o.borderY.assign(static_cast<std::size_t>(size), -7.0f);
  EXPECT_EQ(tressel_border(x.data(), y.data(), count, o.borderX.data(), o.borderY.data(), size), size);
  const std::size_t room = std::max<std::size_t>(x.size(), o.borderX.size());
  legacyX.resize(room, -7.0f);
  legacyY.resize(room, -7.0f);
  std::vector<float> sortedX = legacyX, sortedY = legacyY;
  EXPECT_EQ(t.GetFixedBorderPoints(legacyX.data(), legacyY.data(), count), size);
  EXPECT_EQ(SortOutline(sortedX.data(), sortedY.data(), count), size);
  EXPECT_TRUE(std::equal(o.borderX.begin(), o.borderX.end(), legacyX.begin()));
  EXPECT_TRUE(std::equal(o.borderY.begin(), o.borderY.end(), sortedY.begin()));
  return o;
}

Outcome everyEntryPoint(const Spans& s) { return everyEntryPoint(s.x, s.y, tressel_default_params()); }

// ---------------------------------------------------------------------------
// Coordinates: NaN reads as 0, values beyond the int32 range (infinities
// included) saturate to it, and then the outline is an ordinary one. A box
// that the saturation makes too large for a raster fails as memory.

struct CoordinateCase {
  const char* name;
  std::function<void(Spans&)> damage;
  bool analysisFails;
  bool borderFails;
  int borderSize;       // -1: not pinned
  float firstX, firstY;  // first border point, when borderSize is pinned
};

void appendPair(Spans& s, float x, float y) {
  s.x.insert(s.x.end(), {x, x});
  s.y.insert(s.y.end(), {y, y});
}

void everyCoordinate(Spans& s, float v) {
  for (float& c : s.x) c = v;
  for (float& c : s.y) c = v;
}

TEST(BadCoordinates, EveryEntryPointReadsThemAsDocumented) {
  const CoordinateCase cases[] = {
      // Sorted first, the NaN pair's pixel at the origin is the one the
      // contour is traced from: the border is that pixel alone.
      {"a NaN pair", [](Spans& s) { appendPair(s, kNaN, kNaN); }, false, false, 1, 0.0f, 0.0f},
      {"a NaN x", [](Spans& s) { s.x[0] = kNaN; }, false, false, -1, 0, 0},
      {"a NaN y", [](Spans& s) { s.y[5] = kNaN; }, false, false, -1, 0, 0},
      {"an infinite x", [](Spans& s) { s.x[1] = kInf; }, true, true, -1, 0, 0},
      {"a negative infinite y", [](Spans& s) { s.y[0] = -kInf; }, true, true, -1, 0, 0},
      {"a huge x", [](Spans& s) { s.x[3] = 3e38f; }, true, true, -1, 0, 0},
      {"a huge negative y", [](Spans& s) { s.y[2] = -3e38f; }, true, true, -1, 0, 0},
      {"a pair past int32", [](Spans& s) { appendPair(s, 1e10f, 1e10f); }, true, true, -1, 0, 0},
      {"every coordinate NaN", [](Spans& s) { everyCoordinate(s, kNaN); }, false, false, 1, 0.0f, 0.0f},
      // One pixel at the far corner of the int32 plane: its contour is fine,
      // but the one-pixel "tail" needs a segment raster from the origin.
      {"every coordinate +inf", [](Spans& s) { everyCoordinate(s, kInf); }, true, false, 1, 2147483648.0f,
       2147483648.0f},
      {"every coordinate -inf", [](Spans& s) { everyCoordinate(s, -kInf); }, false, false, 1, -2147483648.0f,
       -2147483648.0f},
      {"every coordinate 3e38", [](Spans& s) { everyCoordinate(s, 3e38f); }, true, false, 1, 2147483648.0f,
       2147483648.0f},
      {"negative zeros and denormals", [](Spans& s) { appendPair(s, -0.0f, 1e-45f); }, false, false, 1, 0.0f, 0.0f},
      // Saturated to the last int32 column: runs that end there.
      {"a region up to the last int32 column", [](Spans& s) {
         s = Spans();
         for (int row = 0; row < 20; ++row) {
           s.x.insert(s.x.end(), {2147483520.0f, kInf});
           s.y.insert(s.y.end(), {100.0f + row, 100.0f + row});
         }
       }, false, false, -1, 0, 0},
      {"an odd count", [](Spans& s) { s.x.pop_back(), s.y.pop_back(); }, false, false, -1, 0, 0},
      {"every point twice", [](Spans& s) {
         const Spans copy = s;
         s.x.insert(s.x.end(), copy.x.begin(), copy.x.end());
         s.y.insert(s.y.end(), copy.y.begin(), copy.y.end());
       }, false, false, -1, 0, 0},
  };
  for (const CoordinateCase& c : cases) {
    SCOPED_TRACE(c.name);
    Spans s = tailed();
    c.damage(s);
    const Outcome o = everyEntryPoint(s);
    EXPECT_EQ(o.analysisFailed, c.analysisFails);
    EXPECT_EQ(o.borderFailed, c.borderFails);
    if (c.borderSize >= 0) {
      ASSERT_EQ(o.borderX.size(), static_cast<std::size_t>(c.borderSize));
      EXPECT_EQ(o.borderX[0], c.firstX);
      EXPECT_EQ(o.borderY[0], c.firstY);
    }
  }
}

// Fractions of a pixel added to positive coordinates change nothing: they
// truncate toward zero.
TEST(BadCoordinates, FractionsTruncate) {
  const Spans s = tailed();
  const Outcome base = everyEntryPoint(s);
  for (float fraction : {0.25f, 0.999f, 1e-30f}) {
    Spans shifted = s;
    for (float& v : shifted.x) v += fraction;
    for (float& v : shifted.y) v += fraction;
    const Outcome o = everyEntryPoint(shifted);
    EXPECT_TRUE(sameResult(o.result, base.result)) << fraction;
    EXPECT_EQ(o.borderX, base.borderX) << fraction;
  }
}

// ---------------------------------------------------------------------------
// Counts and null arrays: count <= 0 is an empty outline whatever the arrays;
// the class reads null arrays as an empty outline too, the C interface
// refuses them when it would have to read them.

TEST(EmptyInput, CountsAndNullArrays) {
  struct Case {
    const char* name;
    bool nullX, nullY;
    int count;
  };
  const Case cases[] = {
      {"count 0", false, false, 0},        {"count -1", false, false, -1},
      {"count INT_MIN", false, false, INT_MIN}, {"null arrays, count 0", true, true, 0},
      {"null arrays, count -5", true, true, -5}, {"null x", true, false, 4},
      {"null y", false, true, 4},          {"both null", true, true, 4},
  };
  const tressel_result zero = {0, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> x = {3, 9, 3, 9}, y = {4, 4, 5, 5};
    float* px = c.nullX ? nullptr : x.data();
    float* py = c.nullY ? nullptr : y.data();
    const bool refused = c.count > 0;  // only these have points to read

    CTressel t;
    prime(t);
    EXPECT_EQ(t.Tressel(px, py, c.count), 0);
    EXPECT_TRUE(sameResult(resultOf(t), zero)) << "an empty outline is an ordinary analysis";
    EXPECT_EQ(t.GetFixedBorderPoints(px, py, c.count), 0);
    EXPECT_EQ(SortOutline(px, py, c.count), 0);
    EXPECT_EQ(x[0], 3.0f);
    EXPECT_EQ(y[3], 5.0f) << "nothing written";

    tressel_result r = kUntouched;
    EXPECT_EQ(tressel_analyze(px, py, c.count, nullptr, &r), refused ? TRESSEL_ERROR_ARGUMENT : 0);
    EXPECT_TRUE(sameResult(r, refused ? kUntouched : zero));
    EXPECT_EQ(tressel_analyze(px, py, c.count, nullptr, nullptr), TRESSEL_ERROR_ARGUMENT);
    float ox[4] = {-7, -7, -7, -7}, oy[4] = {-7, -7, -7, -7};
    EXPECT_EQ(tressel_border(px, py, c.count, ox, oy, 4), refused ? TRESSEL_ERROR_ARGUMENT : 0);
    EXPECT_EQ(tressel_border(px, py, c.count, nullptr, nullptr, 0), refused ? TRESSEL_ERROR_ARGUMENT : 0);
    EXPECT_EQ(tressel_border(px, py, c.count, ox, oy, -1), TRESSEL_ERROR_ARGUMENT);
    EXPECT_EQ(tressel_border(px, py, c.count, ox, oy, INT_MIN), TRESSEL_ERROR_ARGUMENT);
    EXPECT_EQ(ox[0], -7.0f);
  }
}

TEST(EmptyInput, MaskSizesAndStrides) {
  struct Case {
    int width, height;
    std::ptrdiff_t stride;
    int flags;
  };
  const Case refused[] = {
      {0, 4, 4, 0},       {4, 0, 4, 0},        {-1, 4, 4, 0},          {4, -1, 4, 0},
      {INT_MIN, 4, 4, 0}, {4, INT_MIN, 4, 0},  {INT_MAX, 1, INT_MAX, 0}, {1, INT_MAX, 1, 0},
      {4, 4, 0, 0},       {4, 4, -4, 0},       {4, 4, PTRDIFF_MIN, 0}, {4, 3, PTRDIFF_MAX / 2, 0},
      {4, 4, 4, 2},       {4, 4, 4, INT_MIN},  {4, 4, 4, -1},          {(1 << 24) + 1, 1, (1 << 24) + 1, 0},
  };
  const std::uint8_t pixels[16] = {0, 1, 1, 0, 0, 1, 1, 0};
  for (const Case& c : refused) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + ", stride " + std::to_string(c.stride) +
                 ", flags " + std::to_string(c.flags));
    float ox[2] = {-7, -7}, oy[2] = {-7, -7};
    tressel_result r = kUntouched;
    EXPECT_EQ(tressel_mask_spans(pixels, c.width, c.height, c.stride, c.flags, ox, oy, 2), TRESSEL_ERROR_ARGUMENT);
    EXPECT_EQ(tressel_analyze_mask(pixels, c.width, c.height, c.stride, c.flags, nullptr, &r), TRESSEL_ERROR_ARGUMENT);
    EXPECT_TRUE(sameResult(r, kUntouched) && ox[0] == -7.0f);
  }
  // A single row may have any stride: no second row's address is formed.
  EXPECT_EQ(tressel_mask_spans(pixels, 4, 1, PTRDIFF_MAX, 0, nullptr, nullptr, 0), 2);
  tressel_result r = kUntouched;
  EXPECT_EQ(tressel_analyze_mask(nullptr, 4, 4, 4, 0, nullptr, &r), TRESSEL_ERROR_ARGUMENT);
  EXPECT_EQ(tressel_mask_spans(nullptr, 4, 4, 4, 0, nullptr, nullptr, 0), TRESSEL_ERROR_ARGUMENT);
  // An empty mask is an empty outline.
  const std::uint8_t empty[16] = {};
  EXPECT_EQ(tressel_analyze_mask(empty, 4, 4, 4, 0, nullptr, &r), 0);
  EXPECT_EQ(r.body_center.x, 0);
}

// ---------------------------------------------------------------------------
// Parameters: any int32 is analysed without overflow, the same by the class,
// by tressel_analyze and by tressel_analyze_mask. Values that the thresholds'
// arithmetic makes equivalent give equal results: for every parameter all
// values <= 0, and for some the large ones (a width percentage is capped at
// 25, a length percentage at the length bound, a loop window at the whole
// contour).

TEST(ExtremeParameters, EveryValueOfEveryParameter) {
  const int values[] = {INT_MIN, -1, 0, 100, INT_MAX};
  struct Equivalent {
    int parameter;
    int a, b;
  };
  const Equivalent largeEquivalents[] = {{0, 100, 25}, {0, INT_MAX, 25}, {1, 100, INT_MAX}, {5, 100, INT_MAX},
                                         {8, 100, INT_MAX}};
  const Mask masks[] = {tailedMask(), testing_silhouettes::rodent(80, true, 0.2, 4)};
  for (const Mask& mask : masks) {
    const Spans s = testing_silhouettes::spansOf(mask);
    std::vector<std::vector<tressel_result>> results(9);
    auto analyse = [&](int parameter, int value) {
      tressel_params p = tressel_default_params();
      p.*kFields[parameter] = value;
      const Outcome o = everyEntryPoint(s.x, s.y, p);
      EXPECT_FALSE(o.analysisFailed);
      tressel_result fromMask = kUntouched;
      EXPECT_EQ(tressel_analyze_mask(mask.pixels.data(), mask.width, mask.height, mask.width,
                                     TRESSEL_MASK_ALL_COMPONENTS, &p, &fromMask),
                o.result.has_tail);
      EXPECT_TRUE(sameResult(fromMask, o.result)) << "the mask's analysis is that of its spans";
      return o.result;
    };
    for (int parameter = 0; parameter < 9; ++parameter) {
      for (int value : values) {
        SCOPED_TRACE("parameter " + std::to_string(parameter) + " = " + std::to_string(value));
        results[parameter].push_back(analyse(parameter, value));
      }
      SCOPED_TRACE("parameter " + std::to_string(parameter));
      EXPECT_TRUE(sameResult(results[parameter][0], results[parameter][2])) << "INT_MIN acts as 0";
      EXPECT_TRUE(sameResult(results[parameter][1], results[parameter][2])) << "-1 acts as 0";
    }
    const tressel_result zero = {0, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
    EXPECT_TRUE(sameResult(results[0][2], zero)) << "no tail width, no analysis";
    for (const Equivalent& e : largeEquivalents) {
      SCOPED_TRACE("parameter " + std::to_string(e.parameter) + ": " + std::to_string(e.a) + " and " +
                   std::to_string(e.b));
      EXPECT_TRUE(sameResult(analyse(e.parameter, e.a), analyse(e.parameter, e.b)));
    }
  }
}

// ---------------------------------------------------------------------------
// Far from the origin: the base segment's raster spans from the origin to the
// box's far corner and may hold 2^28 pixels. Up to the bound the analysis
// moves with the silhouette; one column or row beyond, it fails as memory and
// keeps the record, while the border, which needs only the box, still works.

TEST(FarFromTheOrigin, UpToTheSizeBoundAndBeyond) {
  const Spans base = tailed(0, 0);
  const Outcome atOrigin = everyEntryPoint(base);
  ASSERT_EQ(atOrigin.result.has_tail, 1);
  float maxX = 0, maxY = 0;
  for (float v : base.x) maxX = std::max(maxX, v);
  for (float v : base.y) maxY = std::max(maxY, v);
  const int toBoundX = 16383 - static_cast<int>(maxX), toBoundY = 16383 - static_cast<int>(maxY);
  struct Case {
    const char* name;
    int dx, dy;
    bool fails;
  };
  const Case cases[] = {
      {"far corner at 2^14 x 2^14, exactly the bound", toBoundX, toBoundY, false},
      {"one column beyond", toBoundX + 1, toBoundY, true},
      {"one row beyond", toBoundX, toBoundY + 1, true},
      {"far out on x only", 2000000, 0, false},  // about 2000180 x 90 cells
      {"far out on both", 100000, 100000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Spans s = base;
    for (float& v : s.x) v += static_cast<float>(c.dx);
    for (float& v : s.y) v += static_cast<float>(c.dy);
    const Outcome o = everyEntryPoint(s);
    EXPECT_EQ(o.analysisFailed, c.fails);
    ASSERT_FALSE(o.borderFailed);
    ASSERT_EQ(o.borderX.size(), atOrigin.borderX.size());
    for (std::size_t i = 0; i < o.borderX.size(); ++i) {
      ASSERT_EQ(o.borderX[i], atOrigin.borderX[i] + c.dx) << i;
      ASSERT_EQ(o.borderY[i], atOrigin.borderY[i] + c.dy) << i;
    }
    if (c.fails) continue;
    const tressel_result& r = o.result;
    const tressel_result& a = atOrigin.result;
    EXPECT_EQ(r.has_tail, 1);
    for (auto field : {&tressel_result::tail_base, &tressel_result::tail_start, &tressel_result::tail_end,
                       &tressel_result::body_center, &tressel_result::nose}) {
      EXPECT_EQ((r.*field).x, (a.*field).x + c.dx);
      EXPECT_EQ((r.*field).y, (a.*field).y + c.dy);
    }
  }

  // Without a tail there is no segment, so no such raster.
  const Spans plain = testing_silhouettes::spansOf(testing_silhouettes::rodent(60, false, 0, 0), 1000000, 1000000);
  const Outcome o = everyEntryPoint(plain);
  EXPECT_FALSE(o.analysisFailed);
  EXPECT_EQ(o.result.has_tail, 0);
  EXPECT_GT(o.result.body_center.x, 1000000);

  // A box beyond the bound fails already for the border.
  Spans spread = base;
  appendPair(spread, 20000, 20000);
  const Outcome wide = everyEntryPoint(spread);
  EXPECT_TRUE(wide.analysisFailed);
  EXPECT_TRUE(wide.borderFailed);
}

// A failure is no state: the record analyses the next outline as if the
// failed call had never been made.
TEST(FarFromTheOrigin, TheNextCallAfterAFailureIsOrdinary) {
  Spans distant = tailed(20000, 20000);
  Spans close = tailed();
  CTressel fresh, failed;
  EXPECT_THROW(failed.Tressel(distant.x.data(), distant.y.data(), distant.count()), lti::allocException);
  fresh.Tressel(close.x.data(), close.y.data(), close.count());
  failed.Tressel(close.x.data(), close.y.data(), close.count());
  EXPECT_TRUE(sameBytes(&fresh, &failed, sizeof fresh));
}

}  // namespace
