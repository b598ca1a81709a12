// What every frame source promises, checked on each frame it gives: a good
// frame has pixels for all of its rows (each byte is read here, so that
// ASan sees a row that is short), an error frame has none, times are
// finite, and indices count up from where the source says.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "video/Frame.h"

namespace fuzzing {

inline void check(bool ok, const char* target, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "%s: %s\n", target, what);
    std::abort();
  }
}

// Returns a sum of the pixels, to be used so that the reads stay.
inline unsigned checkFrame(const tressel::video::Frame& f, const char* target) {
  check(std::isfinite(f.time), target, "a frame time that is not finite");
  if (!f.ok()) {
    check(!f.error.empty() && f.pixels == nullptr, target, "an error frame with pixels, or a frame with neither");
    return 0;
  }
  check(f.width > 0 && f.height > 0 && f.stride >= f.width, target, "a good frame without a size");
  unsigned sum = 0;
  for (int y = 0; y < f.height; ++y) {
    for (int x = 0; x < f.width; ++x) sum += f.row(y)[x];
  }
  return sum;
}

}  // namespace fuzzing
