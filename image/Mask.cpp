#include "image/Mask.h"

#include <algorithm>

namespace tressel_image {

std::string checkDimensions(std::uint64_t width, std::uint64_t height) {
  if (width == 0 || height == 0) return "image has no pixels (" + std::to_string(width) + " x " +
                                        std::to_string(height) + ")";
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
    return "image too large (" + std::to_string(width) + " x " + std::to_string(height) +
           "; at most 2^28 pixels and 2^20 per side)";
  }
  return "";
}

std::uint8_t PixelRule::operator()(const std::uint32_t* colour, int colours, std::uint32_t alpha,
                                   std::uint32_t maxValue) const {
  const std::uint64_t max = maxValue;
  if (!grey) {
    const std::uint64_t brightest = *std::max_element(colour, colour + colours);
    // Composited over black: brightest * alpha / max, compared without rounding.
    return aboveThreshold(brightest * alpha, max * max, threshold) ? 1 : 0;
  }
  // Weights in thousandths; a grey sample counts as three equal channels.
  const std::uint64_t weighted =
      colours == 1 ? std::uint64_t{1000} * colour[0]
                   : std::uint64_t{299} * colour[0] + std::uint64_t{587} * colour[1] + std::uint64_t{114} * colour[2];
  const std::uint64_t scale = 1000 * max * max;  // at most 4.3e12; the numerator below stays under 2^63
  return static_cast<std::uint8_t>((weighted * alpha * 255 + scale / 2) / scale);
}

}  // namespace tressel_image
