// A binary mask or a grey picture read from an image file, the limits every
// reader applies before it allocates anything for a file's content, and the
// rule that turns a pixel's samples into a mask's or a grey picture's byte.
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

// An 8-bit grey picture: a video frame read from an image file.
struct GreyImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // row-major, 0 black to 255 white
};

struct GreyResult {
  GreyImage image;
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

// What a reader makes of one pixel, given its colour samples (one grey, or
// red, green and blue; each from 0 to maxValue) and its alpha (maxValue when
// the file has none; a transparent pixel is taken as composited over black).
//   mask: 1 when the brightest channel exceeds `threshold` (0-255 scale), else 0;
//   grey: the ITU-R BT.601 luma (0.299 R + 0.587 G + 0.114 B) scaled to 0-255,
//         rounded to nearest, so 16-bit samples lose only their low bits.
// Bilevel (PBM) pixels are no samples: ink is 1 in a mask and black in grey.
struct PixelRule {
  bool grey = false;
  int threshold = 0;

  std::uint8_t operator()(const std::uint32_t* colour, int colours, std::uint32_t alpha, std::uint32_t maxValue) const;
  std::uint8_t bilevel(bool ink) const { return grey ? (ink ? 0 : 255) : (ink ? 1 : 0); }
};

}  // namespace tressel_image
