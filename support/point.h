// Integer pixel positions and rectangles. x grows to the right (column), y
// grows downward (row).
#pragma once

namespace lti {

template <class T>
struct tpoint {
  T x = 0;
  T y = 0;

  constexpr tpoint() = default;
  constexpr tpoint(T px, T py) : x(px), y(py) {}

  friend constexpr bool operator==(const tpoint& a, const tpoint& b) {
    return a.x == b.x && a.y == b.y;
  }
  friend constexpr bool operator!=(const tpoint& a, const tpoint& b) { return !(a == b); }
};

using point = tpoint<int>;

// Scan order: by row, then by column.
template <class T>
constexpr bool scanOrderLess(const tpoint<T>& a, const tpoint<T>& b) {
  return a.y < b.y || (a.y == b.y && a.x < b.x);
}

// Inclusive rectangle of pixels: upper-left (minX, minY), lower-right (maxX, maxY).
struct box {
  int minX = 0;
  int minY = 0;
  int maxX = 0;
  int maxY = 0;

  friend constexpr bool operator==(const box& a, const box& b) {
    return a.minX == b.minX && a.minY == b.minY && a.maxX == b.maxX && a.maxY == b.maxY;
  }
  friend constexpr bool operator!=(const box& a, const box& b) { return !(a == b); }
};

}  // namespace lti
