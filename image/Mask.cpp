#include "image/Mask.h"

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

}  // namespace tressel_image
