// Silhouettes drawn by the tests: binary masks and their scan-line spans.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "support/point.h"

namespace testing_silhouettes {

struct Mask {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // row-major, non-zero = region

  Mask(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h, 0) {}
  bool at(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height && pixels[static_cast<size_t>(y) * width + x] != 0;
  }
  void set(int x, int y, bool on = true) {
    if (x >= 0 && y >= 0 && x < width && y < height) pixels[static_cast<size_t>(y) * width + x] = on ? 1 : 0;
  }
  void fillEllipse(double cx, double cy, double rx, double ry);
  void fillRect(int x0, int y0, int x1, int y1);  // inclusive corners
  // A band along a path, its half-width changing linearly from startHalf to endHalf.
  void drawBand(const std::function<lti::tpoint<double>(double)>& path, double startHalf, double endHalf,
                int samples);
  std::vector<lti::point> pixelsInScanOrder() const;
};

// Spans of the mask, shifted by (dx, dy): entry and exit of every run.
struct Spans {
  std::vector<float> x;
  std::vector<float> y;
  int count() const { return static_cast<int>(x.size()); }
};
Spans spansOf(const Mask& mask, int dx = 0, int dy = 0);

// A rodent seen from above: elliptic body, head, an optional tail curving by
// `tailBend` and optional thin limbs.
Mask rodent(int bodyLength, bool withTail, double tailBend, int limbs);

}  // namespace testing_silhouettes
