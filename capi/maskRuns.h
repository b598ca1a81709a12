// Runs of region pixels in a binary mask, with the choice of the largest
// 8-connected component.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tressel {

// A width x height byte raster; row y starts at pixels + y * stride and a
// non-zero byte is region. The caller has checked the sizes.
struct MaskView {
  const std::uint8_t* pixels;
  int width;
  int height;
  std::ptrdiff_t stride;
};

// A horizontal run of region pixels: columns first..last (inclusive) of a row.
struct Run {
  std::int32_t row;
  std::int32_t first;
  std::int32_t last;
};

// Appends the runs of one row given as a bit mask of 64 pixels (bit i:
// column x0 + i is region); `open` is the column where a run that goes on
// from earlier words began, or -1, and is updated.
inline void appendBitRuns(std::uint64_t bits, int x0, int row, int& open, std::vector<Run>& runs) {
  int x = 0;
  while (x < 64) {
    if (open < 0) {
      const std::uint64_t rest = bits >> x;
      if (rest == 0) return;
      x += __builtin_ctzll(rest);
      open = x0 + x;
    }
    const std::uint64_t gaps = ~bits >> x;
    if (gaps == 0) return;  // the run goes on into the next word
    x += __builtin_ctzll(gaps);
    runs.push_back(Run{row, open, x0 + x - 1});
    open = -1;
  }
}

// Buffers of the component labelling, kept by a caller that labels one
// frame after another.
struct ComponentWorkspace {
  std::vector<std::int32_t> parent;
  std::vector<std::int64_t> pixels;
};

// How the pixels are read: `fastest` uses 32-byte vectors where the processor
// has them; `plain` reads byte by byte (word at a time) and gives the same runs.
enum class Scan { fastest, plain };

// The mask's runs in scan order (rows top to bottom, runs left to right). With
// keepAll false only the runs of the largest 8-connected component remain; of
// equal components the one whose first pixel comes first in scan order.
// One pass over the pixels; background is skipped many bytes at a time
// (support/byteScan.h). Throws lti::allocException beyond INT_MAX / 2 runs,
// whose span points could not be counted in an int.
//
//   std::vector<Run> runs;
//   ComponentWorkspace workspace;  // kept from frame to frame: no allocation once grown
//   maskRuns(MaskView{pixels, width, height, stride}, false, runs, workspace);
void maskRuns(const MaskView& mask, bool keepAll, std::vector<Run>& runs, ComponentWorkspace& workspace,
              Scan scan = Scan::fastest);
std::vector<Run> maskRuns(const MaskView& mask, bool keepAll, Scan scan = Scan::fastest);

// Keeps only the runs of the largest 8-connected component, chosen as above.
// The runs must be in scan order: rows ascending, and within a row sorted and
// disjoint. Throws lti::allocException when they cannot be counted in an int.
void keepLargestComponent(std::vector<Run>& runs, ComponentWorkspace& workspace);
void keepLargestComponent(std::vector<Run>& runs);

}  // namespace tressel
