#include "silhouettes.h"

#include <cmath>

namespace testing_silhouettes {

void Mask::fillEllipse(double cx, double cy, double rx, double ry) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double ex = (x - cx) / rx, ey = (y - cy) / ry;
      if (ex * ex + ey * ey <= 1.0) set(x, y);
    }
  }
}

void Mask::fillRect(int x0, int y0, int x1, int y1) {
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) set(x, y);
  }
}

void Mask::drawBand(const std::function<lti::tpoint<double>(double)>& path, double startHalf, double endHalf,
                    int samples) {
  for (int i = 0; i <= samples; ++i) {
    const double t = static_cast<double>(i) / samples;
    const lti::tpoint<double> c = path(t);
    const double half = startHalf + (endHalf - startHalf) * t;
    for (int y = static_cast<int>(std::floor(c.y - half)); y <= static_cast<int>(std::ceil(c.y + half)); ++y) {
      for (int x = static_cast<int>(std::floor(c.x - half)); x <= static_cast<int>(std::ceil(c.x + half)); ++x) {
        if ((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y) <= half * half) set(x, y);
      }
    }
  }
}

std::vector<lti::point> Mask::pixelsInScanOrder() const {
  std::vector<lti::point> result;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (at(x, y)) result.emplace_back(x, y);
    }
  }
  return result;
}

Spans spansOf(const Mask& mask, int dx, int dy) {
  Spans spans;
  for (int y = 0; y < mask.height; ++y) {
    int x = 0;
    while (x < mask.width) {
      while (x < mask.width && !mask.at(x, y)) ++x;
      if (x == mask.width) break;
      const int first = x;
      while (x < mask.width && mask.at(x, y)) ++x;
      spans.x.push_back(static_cast<float>(first + dx));
      spans.y.push_back(static_cast<float>(y + dy));
      spans.x.push_back(static_cast<float>(x - 1 + dx));
      spans.y.push_back(static_cast<float>(y + dy));
    }
  }
  return spans;
}

Mask rodent(int bodyLength, bool withTail, double tailBend, int limbs) {
  const double L = bodyLength;
  const int width = static_cast<int>(L * 2.4) + 20;
  const int height = static_cast<int>(L * 1.2) + 20;
  Mask m(width, height);
  const double cx = 10 + L * 0.6, cy = height / 2.0;
  m.fillEllipse(cx, cy, L * 0.5, L * 0.22);                 // body
  m.fillEllipse(cx - L * 0.5, cy, L * 0.16, L * 0.12);      // head, to the left
  if (withTail) {
    const double tailLength = L * 1.1;
    auto path = [&](double t) {
      return lti::tpoint<double>(cx + L * 0.45 + t * tailLength, cy + tailBend * L * std::sin(t * 3.0));
    };
    m.drawBand(path, std::max(2.0, L * 0.03), 1.0, static_cast<int>(tailLength * 2));
  }
  for (int i = 0; i < limbs; ++i) {
    const double along = cx - L * 0.25 + (i / 2) * L * 0.4;
    const double side = (i % 2 == 0) ? -1.0 : 1.0;
    auto path = [&](double t) {
      return lti::tpoint<double>(along + t * L * 0.05, cy + side * (L * 0.2 + t * L * 0.18));
    };
    m.drawBand(path, 1.5, 1.5, static_cast<int>(L));
  }
  return m;
}

}  // namespace testing_silhouettes
