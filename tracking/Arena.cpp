#include "tracking/Arena.h"

#include <algorithm>
#include <cmath>

namespace tressel::tracking {

DetectedArena detectArena(const Background& background) {
  DetectedArena arena;
  const int w = background.width, h = background.height;
  const std::uint8_t* pixels = background.pixels.data();
  auto at = [&](int x, int y) { return pixels[static_cast<std::size_t>(y) * w + x]; };

  // The floor's level: the median of the middle half of the picture.
  std::vector<std::uint8_t> middle;
  for (int y = h / 4; y < h - h / 4; ++y) {
    for (int x = w / 4; x < w - w / 4; ++x) middle.push_back(at(x, y));
  }
  if (middle.empty()) {
    arena.reason = "the picture is too small";
    return arena;
  }
  std::nth_element(middle.begin(), middle.begin() + middle.size() / 2, middle.end());
  const int level = middle[middle.size() / 2];
  // Even lighting varies by a good part of the level over a floor; walls and
  // the room beyond differ by more.
  const int tolerance = std::max(24, static_cast<int>(std::lround(0.3 * level)));

  std::vector<Run> runs;
  for (int y = 0; y < h; ++y) {
    int x = 0;
    while (x < w) {
      while (x < w && std::abs(at(x, y) - level) > tolerance) ++x;
      if (x == w) break;
      const int first = x;
      while (x < w && std::abs(at(x, y) - level) <= tolerance) ++x;
      runs.push_back(Run{y, first, x - 1});
    }
  }
  keepLargestComponent(runs);
  if (runs.empty()) {
    arena.reason = "no even floor";
    return arena;
  }

  // Each row from its component's first to its last pixel: lines drawn on
  // the floor and objects on it belong to the arena.
  std::vector<int> rowFirst(static_cast<std::size_t>(h), w), rowLast(static_cast<std::size_t>(h), -1);
  for (const Run& r : runs) {
    rowFirst[r.row] = std::min(rowFirst[r.row], r.first);
    rowLast[r.row] = std::max(rowLast[r.row], r.last);
  }
  int x0 = w, x1 = -1, y0 = h, y1 = -1;
  std::int64_t area = 0;
  for (int y = 0; y < h; ++y) {
    if (rowLast[y] < 0) continue;
    x0 = std::min(x0, rowFirst[y]);
    x1 = std::max(x1, rowLast[y]);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
    area += rowLast[y] - rowFirst[y] + 1;
  }
  const Rect bounds{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
  const double frameArea = static_cast<double>(w) * h;
  const double boxArea = static_cast<double>(bounds.width) * bounds.height;
  if (bounds.width >= w * 0.98 && bounds.height >= h * 0.98) {
    arena.reason = "the floor fills the frame";
  } else if (area < 0.25 * frameArea) {
    arena.reason = "the even region is under a quarter of the frame";
  } else if (area < 0.6 * boxArea) {
    arena.reason = "the even region is not a compact floor";
  } else if (!(x0 <= w / 2 && w / 2 <= x1 && y0 <= h / 2 && h / 2 <= y1)) {
    arena.reason = "the even region is off the frame's centre";
  }
  if (!arena.reason.empty()) return arena;

  // The mask reaches a little beyond the floor, so that an animal at the
  // wall keeps its edge.
  const int grow = std::max(2, std::min(w, h) / 100);
  arena.mask.assign(static_cast<std::size_t>(w) * h, 0);
  for (int y = 0; y < h; ++y) {
    int first = w, last = -1;
    for (int k = std::max(0, y - grow); k <= std::min(h - 1, y + grow); ++k) {
      if (rowLast[k] < 0) continue;
      first = std::min(first, rowFirst[k]);
      last = std::max(last, rowLast[k]);
    }
    if (last < 0) continue;
    first = std::max(0, first - grow);
    last = std::min(w - 1, last + grow);
    std::fill(arena.mask.begin() + static_cast<std::ptrdiff_t>(y) * w + first,
              arena.mask.begin() + static_cast<std::ptrdiff_t>(y) * w + last + 1, 1);
  }
  arena.found = true;
  arena.bounds = bounds;
  return arena;
}

}  // namespace tressel::tracking
