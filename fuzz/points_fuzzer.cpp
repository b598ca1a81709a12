// The tool's points-file reader on arbitrary text: the points or an error,
// never both; every coordinate finite and inside the int32 range, as the
// analysis receives it; the points then go through the border service.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "image/pointsFile.h"
#include "tressel/tressel_c.h"

namespace {
void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "points_fuzzer: %s\n", what);
    std::abort();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tressel_image::PointsResult r = tressel_image::readPoints(data, size);
  check(r.x.size() == r.y.size(), "x and y differ in number");
  if (!r.ok()) {
    check(r.x.empty(), "a failed read left points");
    return 0;
  }
  check(r.x.size() <= tressel_image::kMaxPoints, "too many points");
  for (std::size_t i = 0; i < r.x.size(); ++i) {
    for (float v : {r.x[i], r.y[i]}) {
      check(std::isfinite(v) && v >= -2147483648.0f && v < 2147483648.0f, "a coordinate beyond the int32 range");
    }
  }
  const int count = static_cast<int>(r.x.size());
  const int n = tressel_border(r.x.data(), r.y.data(), count, nullptr, nullptr, 0);
  check(n >= 0 || n == TRESSEL_ERROR_MEMORY, "the border of read points failed");
  return 0;
}
