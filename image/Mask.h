// A binary mask read from an image file, and the limits every reader applies
// before it allocates anything for a file's content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tressel_image {

// Largest picture accepted: 2^28 pixels (a 256 MiB mask), and no side longer
// than 2^20 pixels, so that one decoded row stays small.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;
constexpr std::uint32_t kMaxSide = std::uint32_t{1} << 20;

struct Mask {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // row-major, 1 = region, 0 = background

  bool at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] != 0; }
};

// What a reader gives back: the mask, or a one-line reason in `error`.
struct MaskResult {
  Mask mask;
  std::string error;
  bool ok() const { return error.empty(); }
};

// The error for a picture beyond the limits above, or "" when it fits.
std::string checkDimensions(std::uint64_t width, std::uint64_t height);

// Whether a sample belongs to the region: its value exceeds `threshold`, which
// is given on a 0-255 scale whatever the file's maximum value is. The
// comparison is exact: value / maxValue > threshold / 255.
inline bool aboveThreshold(std::uint64_t value, std::uint64_t maxValue, int threshold) {
  return value * 255 > static_cast<std::uint64_t>(threshold) * maxValue;
}

}  // namespace tressel_image
