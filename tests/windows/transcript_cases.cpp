// Writes the case file of the host transcripts: a few silhouettes, each with
// the parameters to set, in the order the hosts run them on one instance
// (so every case starts from the results of the one before).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "silhouettes.h"
#include "tressel/Tressel.h"

namespace {

using testing_silhouettes::Spans;

const int defaults[9] = {13, 16, 7, 50, 10, 7, 7, 15, 10};

unsigned bitsOf(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// The border arrays are sized to the contour plus a margin, so the hosts see
// that nothing is written past it.
int borderCapacity(const Spans& s) {
  std::vector<float> x(s.x), y(s.y);
  const size_t room = 64 * x.size() + 64;
  x.resize(room);
  y.resize(room);
  try {
    return SortOutline(x.data(), y.data(), s.count()) + 8;
  } catch (const std::exception&) {
    return s.count() + 8;
  }
}

void writeCase(const char* name, const int (&parameters)[9], const Spans& s) {
  std::printf("case %s", name);
  for (int p : parameters) std::printf(" %d", p);
  std::printf(" %d %d\n", s.count(), borderCapacity(s));
  for (int i = 0; i < s.count(); ++i) std::printf(" %08x %08x", bitsOf(s.x[i]), bitsOf(s.y[i]));
  std::printf("\n");
}

// Moves every coordinate away from zero by a fraction: truncation toward zero
// must bring each back to the pixel it came from.
Spans withFractions(Spans s) {
  for (float* v : {s.x.data(), s.y.data()}) {
    for (int i = 0; i < s.count(); ++i) v[i] += v[i] < 0 ? -0.75f : 0.75f;
  }
  return s;
}

Spans square(int left, int top, int size) {
  Spans s;
  for (int row = top; row < top + size; ++row) {
    s.x.insert(s.x.end(), {static_cast<float>(left), static_cast<float>(left + size - 1)});
    s.y.insert(s.y.end(), {static_cast<float>(row), static_cast<float>(row)});
  }
  return s;
}

}  // namespace

int main() {
  using testing_silhouettes::rodent;
  using testing_silhouettes::spansOf;

  writeCase("tail", defaults, spansOf(rodent(60, true, 0.15, 0), 100, 60));
  writeCase("tail_and_limbs", {14, 17, 6, 45, 11, 8, 6, 14, 9}, spansOf(rodent(80, true, 0.25, 4), 40, 30));
  writeCase("no_tail", defaults, spansOf(rodent(50, false, 0, 0), 300, 200));
  writeCase("across_the_origin", defaults, withFractions(spansOf(rodent(60, true, -0.1, 2), -90, -40)));
  // The tail segment's raster reaches from the origin to the silhouette.
  writeCase("fails_far_from_origin", defaults, square(100000, 100000, 4));
  // The outline's own raster: a bounding box of 20001 x 20001 pixels.
  Spans wide = square(0, 0, 2);
  wide.x.insert(wide.x.end(), {0.0f, 20000.0f});
  wide.y.insert(wide.y.end(), {20000.0f, 20000.0f});
  writeCase("fails_wide_box", defaults, wide);
  writeCase("tail_width_zero", {0, -1, 2147483647, -2147483647 - 1, 0, 42, -42, 7, 100},
            spansOf(rodent(60, true, 0.15, 0), 10, 10));
  writeCase("empty", {5, 6, 7, 8, 9, 10, 11, 12, 13}, Spans{});
  return 0;
}
