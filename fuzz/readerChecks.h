// What every mask reader promises, checked on whatever it made of a file:
// a mask within the limits, one byte per pixel, each 0 or 1, or an error
// and no mask at all. A small mask then goes through the analysis, as the
// tool would send it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/Mask.h"
#include "tressel/tressel_c.h"

namespace fuzzing {

inline void checkMask(const tressel_image::MaskResult& r, const char* reader) {
  auto check = [reader](bool ok, const char* what) {
    if (!ok) {
      std::fprintf(stderr, "%s: %s\n", reader, what);
      std::abort();
    }
  };
  if (!r.ok()) {
    check(r.mask.width == 0 && r.mask.height == 0 && r.mask.pixels.empty(), "a failed read left a mask");
    return;
  }
  const tressel_image::Mask& m = r.mask;
  check(m.width > 0 && m.height > 0, "an empty mask without an error");
  check(static_cast<std::uint32_t>(m.width) <= tressel_image::kMaxSide &&
            static_cast<std::uint32_t>(m.height) <= tressel_image::kMaxSide &&
            std::uint64_t{1} * m.width * m.height <= tressel_image::kMaxPixels,
        "a mask beyond the limits");
  check(m.pixels.size() == static_cast<std::size_t>(m.width) * static_cast<std::size_t>(m.height),
        "the pixels do not fill the mask");
  for (std::uint8_t v : m.pixels) check(v <= 1, "a pixel neither 0 nor 1");
  if (std::uint64_t{1} * m.width * m.height <= (1u << 16)) {
    tressel_result result;
    const int rc = tressel_analyze_mask(m.pixels.data(), m.width, m.height, m.width, 0, nullptr, &result);
    check(rc == 0 || rc == 1, "the analysis of a read mask failed");
  }
}

}  // namespace fuzzing
