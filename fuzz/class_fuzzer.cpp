// The exported class and the border service on arbitrary outlines and
// parameters. Beyond the sanitizers' checks it holds the calls to what they
// promise: a failed analysis leaves the record as it was, results lie on the
// silhouette, an analysis repeated on a fresh record gives the same record,
// and the legacy border calls write exactly the contour that the C
// interface's size query announced, into arrays of exactly that room.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "outlineInput.h"
#include "support/exception.h"
#include "tressel/Tressel.h"
#include "tressel/tressel_c.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "class_fuzzer: %s\n", what);
    std::abort();
  }
}

using Setter = void (CTressel::*)(int);
using Getter = int (CTressel::*)();
constexpr Setter setters[9] = {&CTressel::SetTailWidthPercent,      &CTressel::SetTailLengthPercent,
                               &CTressel::SetTailWidthMinThreshold, &CTressel::SetTailLengthMaxThreshold,
                               &CTressel::SetLimbWidthPercent,      &CTressel::SetLimbLengthPercent,
                               &CTressel::SetLimbWidthMinThreshold, &CTressel::SetLimbLengthMaxThreshold,
                               &CTressel::SetLoopLengthMaxPercent};
constexpr Getter getters[9] = {&CTressel::GetTailWidthPercent,      &CTressel::GetTailLengthPercent,
                               &CTressel::GetTailWidthMinThreshold, &CTressel::GetTailLengthMaxThreshold,
                               &CTressel::GetLimbWidthPercent,      &CTressel::GetLimbLengthPercent,
                               &CTressel::GetLimbWidthMinThreshold, &CTressel::GetLimbLengthMaxThreshold,
                               &CTressel::GetLoopLengthMaxPercent};

bool same(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

// Bit for bit, so that NaN entries compare equal to themselves.
bool identical(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

struct Record {
  unsigned char bytes[sizeof(CTressel)];
  explicit Record(const CTressel& t) { std::memcpy(bytes, &t, sizeof bytes); }
  bool matches(const CTressel& t) const { return std::memcmp(bytes, &t, sizeof bytes) == 0; }
};

bool onBorder(const std::vector<float>& bx, const std::vector<float>& by, POINT p) {
  for (std::size_t i = 0; i < bx.size(); ++i) {
    if (bx[i] == static_cast<float>(p.x) && by[i] == static_cast<float>(p.y)) return true;
  }
  return false;
}

// A closed contour: every point in the box, each next to the one before it
// (and the last next to the first), never the same pixel twice in a row.
void checkContour(const std::vector<float>& bx, const std::vector<float>& by, const fuzzing::Box& box) {
  const std::size_t n = bx.size();
  constexpr std::int64_t floatExact = std::int64_t{1} << 24;
  const bool exact = box.minX > -floatExact && box.minY > -floatExact && box.maxX < floatExact && box.maxY < floatExact;
  for (std::size_t i = 0; i < n; ++i) {
    // Compared as floats, as they were written.
    check(bx[i] >= static_cast<float>(box.minX) && bx[i] <= static_cast<float>(box.maxX) &&
              by[i] >= static_cast<float>(box.minY) && by[i] <= static_cast<float>(box.maxY),
          "a border point outside the outline's box");
    // Beyond 2^24 a float no longer holds every pixel coordinate.
    if (n < 2 || !exact) continue;
    const std::size_t j = (i + 1) % n;
    const double dx = static_cast<double>(bx[j]) - bx[i], dy = static_cast<double>(by[j]) - by[i];
    check(dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1 && (dx != 0 || dy != 0),
          "border points that are not 8-neighbours");
  }
}

void analyse(CTressel& t, const fuzzing::OutlineInput& in, bool& failed, int& found) {
  failed = false;
  found = 0;
  try {
    found = t.Tressel(const_cast<float*>(in.xArg()), const_cast<float*>(in.yArg()), in.countArg());
  } catch (const lti::allocException&) {
    failed = true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzzing::OutlineInput in = fuzzing::decodeOutline(data, size);
  const fuzzing::Box box = in.readsPoints() ? fuzzing::boundingBox(in.x, in.y) : fuzzing::Box{};
  if (fuzzing::slowButValid(box.cells())) return 0;
  const int count = in.countArg();

  CTressel t;
  for (int i = 0; i < 9; ++i) (t.*setters[i])(in.parameters[i]);
  const Record fresh(t);
  bool failed;
  int found;
  analyse(t, in, failed, found);
  if (failed) {
    check(fresh.matches(t), "a failed analysis changed the record");
  } else {
    check(found == t.HasTail() && (found == 0 || found == 1), "the result is not HasTail()");
    for (int i = 0; i < 9; ++i) check((t.*getters[i])() == in.parameters[i], "the analysis changed a parameter");
    // The same call on a fresh record gives the same record.
    CTressel again;
    for (int i = 0; i < 9; ++i) (again.*setters[i])(in.parameters[i]);
    bool failedAgain;
    int foundAgain;
    analyse(again, in, failedAgain, foundAgain);
    check(!failedAgain && foundAgain == found && Record(t).matches(again), "two analyses of one outline differ");
  }
  const POINT results[5] = {t.GetTailBase(), t.GetTailStart(), t.GetTailEnd(), t.GetCenter(), t.GetNose()};
  const bool stoppedEarly = in.parameters[0] <= 0;
  if (!failed && (stoppedEarly || !in.readsPoints())) {
    check(found == 0, "a tail without an analysis");
    for (const POINT& p : results) check(same(p, POINT{0, 0}), "a result point without an analysis");
  }

  // The border service. The C interface's size query comes first; the legacy
  // calls then get arrays of exactly max(count, size) points.
  const int borderSize = tressel_border(in.xArg(), in.yArg(), count, nullptr, nullptr, 0);
  if (!in.readsPoints()) {
    const bool nullArray = (in.callMode == 1 || in.callMode == 2) && count > 0;
    check(borderSize == (nullArray ? TRESSEL_ERROR_ARGUMENT : 0), "the size query of an empty outline");
    std::vector<float> x = in.x, y = in.y;
    float* xArg = in.callMode == 1 ? nullptr : x.data();
    float* yArg = in.callMode == 2 ? nullptr : y.data();
    check(t.GetFixedBorderPoints(xArg, yArg, count) == 0 && SortOutline(xArg, yArg, count) == 0,
          "a border without input points");
    check(identical(x, in.x) && identical(y, in.y), "a border without input points was written");
    return 0;
  }
  if (borderSize == TRESSEL_ERROR_MEMORY) {
    check(failed, "the contour's raster failed but the analysis did not");
    std::vector<float> x = in.x, y = in.y;
    bool thrown = false;
    try {
      SortOutline(x.data(), y.data(), count);
    } catch (const lti::allocException&) {
      thrown = true;
    }
    check(thrown && identical(x, in.x) && identical(y, in.y), "SortOutline beyond the raster bound");
    return 0;
  }
  check(borderSize >= 0, "the size query failed");

  std::vector<float> bx(static_cast<std::size_t>(borderSize)), by(static_cast<std::size_t>(borderSize));
  check(tressel_border(in.x.data(), in.y.data(), count, bx.data(), by.data(), borderSize) == borderSize,
        "two size answers differ");
  checkContour(bx, by, box);

  const std::size_t room = std::max<std::size_t>(in.x.size(), bx.size());
  for (int service = 0; service < 2; ++service) {
    std::vector<float> x = in.x, y = in.y;
    x.resize(room, -7.0f);
    y.resize(room, -7.0f);
    x.shrink_to_fit();  // exactly `room` floats on the heap, so a write past them is caught
    y.shrink_to_fit();
    const Record before(t);
    const int n = service == 0 ? t.GetFixedBorderPoints(x.data(), y.data(), count) : SortOutline(x.data(), y.data(), count);
    check(n == borderSize, "the legacy border's length differs from the size query");
    check(before.matches(t), "the border service changed the record");
    check(std::equal(bx.begin(), bx.end(), x.begin()) && std::equal(by.begin(), by.end(), y.begin()),
          "the legacy border differs from the C interface's");
    for (std::size_t i = bx.size(); i < room; ++i) {
      const float keptX = i < in.x.size() ? in.x[i] : -7.0f;
      const float keptY = i < in.y.size() ? in.y[i] : -7.0f;
      check(std::memcmp(&x[i], &keptX, sizeof keptX) == 0 && std::memcmp(&y[i], &keptY, sizeof keptY) == 0,
            "an entry past the border was written");
    }
  }

  if (!failed && !stoppedEarly && borderSize > 0) {
    // The nose keeps its initial (0, 0) when the body offers no candidate.
    for (int i = 0; i < 4; ++i) check(box.contains(results[i].x, results[i].y), "a result point off the outline's box");
    check(box.contains(results[4].x, results[4].y) || same(results[4], POINT{0, 0}), "a nose off the outline's box");
    if (found) {
      check(onBorder(bx, by, t.GetTailStart()) && onBorder(bx, by, t.GetTailEnd()), "a tail end off the border");
      const POINT s = t.GetTailStart(), e = t.GetTailEnd(), b = t.GetTailBase();
      check(b.x == (std::int64_t{s.x} + e.x) / 2 && b.y == (std::int64_t{s.y} + e.y) / 2,
            "the tail base is not the middle of its ends");
    } else {
      check(same(results[0], results[1]) && same(results[1], results[2]) && same(results[2], results[4]),
            "without a tail, base, ends and nose are the outline's centre");
    }
  }
  return 0;
}
