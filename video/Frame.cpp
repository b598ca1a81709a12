#include "video/Frame.h"

#include <cstring>
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

Frame compactCopy(const Frame& frame) {
  if (!frame.ok()) return frame;
  const std::size_t width = static_cast<std::size_t>(frame.width);
  std::vector<std::uint8_t> pixels(width * static_cast<std::size_t>(frame.height));
  for (int y = 0; y < frame.height; ++y) std::memcpy(pixels.data() + y * width, frame.row(y), width);
  return frameFromPixels(std::move(pixels), frame.width, frame.height, frame.index, frame.time);
}

}  // namespace tressel::video
