#include "video/Frame.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace tressel::video {

Frame frameFromPixels(std::vector<std::uint8_t> pixels, int width, int height, std::int64_t index, double time) {
  if (width <= 0 || height <= 0 || pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    throw std::invalid_argument("frameFromPixels: " + std::to_string(pixels.size()) + " bytes for a " +
                                std::to_string(width) + "x" + std::to_string(height) + " frame");
  }
  auto buffer = std::make_shared<std::vector<std::uint8_t>>(std::move(pixels));
  Frame frame;
  frame.index = index;
  frame.time = time;
  frame.width = width;
  frame.height = height;
  frame.pixels = buffer->data();
  frame.stride = width;
  frame.owner = std::move(buffer);
  return frame;
}

}  // namespace tressel::video
