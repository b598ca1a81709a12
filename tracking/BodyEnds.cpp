#include "tracking/BodyEnds.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace tressel::tracking {
namespace {

struct Moments {
  double xx = 0, xy = 0, yy = 0;
};

Moments pixelByPixel(const std::vector<lti::rowRun>& runs, double cx, double cy) {
  Moments m;
  for (const lti::rowRun& r : runs) {
    const double dy = r.y - cy;
    for (int x = r.first; x <= r.last; ++x) {
      const double dx = x - cx;
      m.xx += dx * dx;
      m.xy += dx * dy;
      m.yy += dy * dy;
    }
  }
  return m;
}

double angleOf(const Moments& m) { return 0.5 * std::atan2(2 * m.xy, m.xx - m.yy); }

// The contour points least and farthest along (ux, uy) from the centre, the
// first of equals; `lowGap` and `highGap` say how far the nearest other
// pixel lies from each (0 for a tie, infinite for a single pixel). A
// contour may pass a pixel twice: its copies are not other pixels.
struct Extremes {
  lti::point low, high;
  double lowGap = 0, highGap = 0;
  double reach = 0;  // the largest |dx| + |dy| of a contour point
};

Extremes extremesAlong(const lti::borderPoints& contour, double cx, double cy, double ux, double uy) {
  const double inf = std::numeric_limits<double>::infinity();
  double lowest = inf, highest = -inf, secondLowest = inf, secondHighest = -inf;
  Extremes e;
  for (const lti::point& p : contour) {
    const double dx = p.x - cx, dy = p.y - cy;
    const double along = dx * ux + dy * uy;
    // As fmax would, without its call: the sum is never -0, and a NaN one
    // (from a centre that is not finite) leaves the reach as it was.
    const double reach = std::fabs(dx) + std::fabs(dy);
    if (reach > e.reach) e.reach = reach;
    if (along < lowest) {
      secondLowest = lowest;
      lowest = along, e.low = p;
    } else if (along < secondLowest && p != e.low) {
      secondLowest = along;
    }
    if (along > highest) {
      secondHighest = highest;
      highest = along, e.high = p;
    } else if (along > secondHighest && p != e.high) {
      secondHighest = along;
    }
  }
  e.lowGap = secondLowest - lowest;
  e.highGap = highest - secondHighest;
  return e;
}

}  // namespace

AxisEnds axisEnds(const std::vector<lti::rowRun>& runs, const lti::borderPoints& contour, double centerX,
                  double centerY, bool sumPixelByPixel) {
  AxisEnds ends;
  if (!sumPixelByPixel && std::isfinite(centerX) && std::isfinite(centerY) && std::fabs(centerX) < 1e7 &&
      std::fabs(centerY) < 1e7) {
    // Exact integer sums about the whole pixel nearest the centre, per run:
    // sum of t and of t * t for t = u .. v.
    const std::int64_t x0 = std::llround(centerX), y0 = std::llround(centerY);
    std::int64_t n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    auto squares = [](std::int64_t k) { return k * (k + 1) * (2 * k + 1) / 6; };  // 0^2 + .. + k^2, any sign
    // Coordinates within 2^15 of the centre and at most 2^30 pixels keep
    // every sum below 2^61.
    constexpr std::int64_t limit = 1 << 15;
    bool fits = true;
    for (const lti::rowRun& r : runs) {
      const std::int64_t u = r.first - x0, v = r.last - x0, dy = r.y - y0, count = v - u + 1;
      if (count <= 0 || std::llabs(u) > limit || std::llabs(v) > limit || std::llabs(dy) > limit || n > (1 << 30)) {
        fits = false;
        break;
      }
      const std::int64_t sum = (u + v) * count / 2;
      n += count;
      sx += sum;
      sy += count * dy;
      sxx += squares(v) - squares(u - 1);
      sxy += sum * dy;
      syy += count * dy * dy;
    }
    if (fits && n > 0) {
      const double ex = centerX - static_cast<double>(x0), ey = centerY - static_cast<double>(y0);
      const double N = static_cast<double>(n), Sx = static_cast<double>(sx), Sy = static_cast<double>(sy);
      Moments m;
      m.xx = static_cast<double>(sxx) - 2 * ex * Sx + N * ex * ex;
      m.xy = static_cast<double>(sxy) - ex * Sy - ey * Sx + N * ex * ey;
      m.yy = static_cast<double>(syy) - 2 * ey * Sy + N * ey * ey;
      // How far the pixel-by-pixel sums can be from these: each of their n
      // terms is rounded (three roundings) and each addition rounds, so
      // they are within about n u of the exact sums, relative to the sum
      // of the terms' sizes, which q bounds; these (conversions included)
      // are within a few u q of them. Generous factors cover the
      // second-order terms.
      const double u = std::numeric_limits<double>::epsilon() / 2;
      const double q = static_cast<double>(sxx) + static_cast<double>(syy) + std::fabs(static_cast<double>(sxy)) +
                       std::fabs(Sx) + std::fabs(Sy) + N;
      const double d = 4 * (N + 16) * u * q;  // per moment
      const double dX = 2 * d + 4 * u * q, dY = 2 * d;
      const double X = m.xx - m.yy, Y = 2 * m.xy, rho = std::hypot(X, Y);
      if (rho > 8 * (dX + dY)) {
        // The angle moves by at most asin(|dv| / rho) for a change dv of
        // (X, Y); atan2, the halving, cos and sin add a few u.
        const double angleError = 0.5 * (dX + dY) / (rho - dX - dY) + 16 * u;
        const double angle = angleOf(m);
        const double ux = std::cos(angle), uy = std::sin(angle);
        const Extremes e = extremesAlong(contour, centerX, centerY, ux, uy);
        const double bound = 2 * e.reach * (angleError + 8 * u);  // per projection
        if (e.lowGap > 2 * bound && e.highGap > 2 * bound) {
          ends.low = e.low;
          ends.high = e.high;
          ends.exactSums = true;
          return ends;
        }
      }
    }
  }
  const double angle = angleOf(pixelByPixel(runs, centerX, centerY));
  const Extremes e = extremesAlong(contour, centerX, centerY, std::cos(angle), std::sin(angle));
  ends.low = e.low;
  ends.high = e.high;
  return ends;
}

}  // namespace tressel::tracking
