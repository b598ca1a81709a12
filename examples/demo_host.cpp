// A minimal host: analyses a built-in silhouette (an elliptic body with a
// tapering tail) through the public header and prints what it found.
#include <cmath>
#include <cstdio>
#include <vector>

#include "tressel/Tressel.h"

namespace {

// Scan-line spans of the silhouette: for every row, the first and last pixel
// of each run, the way a host's segmentation would hand them over.
void silhouetteSpans(std::vector<float>& x, std::vector<float>& y) {
  const int width = 220, height = 90;
  std::vector<unsigned char> mask(static_cast<size_t>(width * height), 0);
  auto set = [&](int px, int py) {
    if (px >= 0 && px < width && py >= 0 && py < height) mask[static_cast<size_t>(py * width + px)] = 1;
  };
  for (int py = 0; py < height; ++py) {
    for (int px = 0; px < width; ++px) {
      const double ex = (px - 70.0) / 55.0, ey = (py - 45.0) / 28.0;
      if (ex * ex + ey * ey <= 1.0) set(px, py);
    }
  }
  for (int px = 120; px < 215; ++px) {  // the tail: 6 px wide at the body, 2 px at the tip
    const double half = 3.0 - 2.0 * (px - 120) / 95.0;
    const double centre = 45.0 + 8.0 * std::sin((px - 120) / 30.0);
    for (int py = static_cast<int>(centre - half); py <= static_cast<int>(centre + half); ++py) set(px, py);
  }
  for (int py = 0; py < height; ++py) {
    int px = 0;
    while (px < width) {
      while (px < width && !mask[static_cast<size_t>(py * width + px)]) ++px;
      if (px == width) break;
      const int first = px;
      while (px < width && mask[static_cast<size_t>(py * width + px)]) ++px;
      x.push_back(static_cast<float>(first + 100));  // placed away from the frame's origin
      y.push_back(static_cast<float>(py + 60));
      x.push_back(static_cast<float>(px - 1 + 100));
      y.push_back(static_cast<float>(py + 60));
    }
  }
}

void print(const char* name, POINT p) { std::printf("  %-11s (%d, %d)\n", name, static_cast<int>(p.x), static_cast<int>(p.y)); }

}  // namespace

int main() {
  std::vector<float> x, y;
  silhouetteSpans(x, y);
  const int count = static_cast<int>(x.size());

  CTressel tressel;
  std::printf("Parameters\n");
  std::printf("  tail width %d%%, length %d%%, width min %d, length max %d\n", tressel.GetTailWidthPercent(),
              tressel.GetTailLengthPercent(), tressel.GetTailWidthMinThreshold(), tressel.GetTailLengthMaxThreshold());
  std::printf("  limb width %d%%, length %d%%, width min %d, length max %d\n", tressel.GetLimbWidthPercent(),
              tressel.GetLimbLengthPercent(), tressel.GetLimbWidthMinThreshold(), tressel.GetLimbLengthMaxThreshold());
  std::printf("  loop length max %d%%\n", tressel.GetLoopLengthMaxPercent());

  const int hasTail = tressel.Tressel(x.data(), y.data(), count);
  std::printf("Silhouette: %d span points\n", count);
  std::printf("Results\n  has tail    %s\n", hasTail ? "yes" : "no");
  print("tail base", tressel.GetTailBase());
  print("tail start", tressel.GetTailStart());
  print("tail end", tressel.GetTailEnd());
  print("body centre", tressel.GetCenter());
  print("nose", tressel.GetNose());

  // The border is longer than the input: ask with arrays sized for the contour.
  std::vector<float> bx(x), by(y);
  bx.resize(static_cast<size_t>(count) * 4 + 16);
  by.resize(bx.size());
  const int borderLength = SortOutline(bx.data(), by.data(), count);
  std::printf("Fixed border: %d points\n", borderLength);
  return 0;
}
