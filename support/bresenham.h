// The integer line walk of drawLine, for two end points already on the
// canvas. Both end points are set, one pixel per step along the longer axis;
// a decision value of exactly 0 takes the straight step. The ends are
// exchanged first when x1 < x0, so a line and its reverse set the same pixels.
#pragma once

#include <cstdint>
#include <utility>

namespace lti {

template <class SetPixel>
void walkLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, SetPixel&& set) {
  using int64 = std::int64_t;
  if (x1 < x0) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  const int64 dx = x1 - x0;
  const int64 dy = y1 - y0;
  int64 x = x0, y = y0;

  if (dy >= 0 && dy <= dx) {
    int64 d = 2 * dy - dx;
    while (x < x1) {
      set(x, y);
      if (d > 0) {
        d += 2 * (dy - dx);
        ++y;
      } else {
        d += 2 * dy;
      }
      ++x;
    }
    set(x, y);
  } else if (dy > dx) {
    int64 d = 2 * dx - dy;
    while (y < y1) {
      set(x, y);
      if (d > 0) {
        d += 2 * (dx - dy);
        ++x;
      } else {
        d += 2 * dx;
      }
      ++y;
    }
    set(x, y);
  } else if (dx >= -dy) {
    const int64 ady = -dy;
    int64 d = 2 * ady - dx;
    while (x < x1) {
      set(x, y);
      if (d > 0) {
        d += 2 * (ady - dx);
        --y;
      } else {
        d += 2 * ady;
      }
      ++x;
    }
    set(x, y);
  } else {
    // Steep and upward: the end point is set inside the loop.
    const int64 ady = -dy;
    int64 d = 2 * dx - ady;
    while (y >= y1) {
      set(x, y);
      if (d > 0) {
        d += 2 * (dx - ady);
        ++x;
      } else {
        d += 2 * dx;
      }
      --y;
    }
  }
}

}  // namespace lti
