#include "video/Frame.h"

#include <utility>

namespace tressel::video {

Frame frameFromPixels(std::vector<std::uint8_t> pixels, int width, int height, std::int64_t index, double time) {
  auto owned = std::make_shared<std::vector<std::uint8_t>>(std::move(pixels));
  Frame frame;
  frame.index = index;
  frame.time = time;
  frame.width = width;
  frame.height = height;
  frame.pixels = owned->data();
  frame.stride = width;
  frame.owner = std::move(owned);
  return frame;
}

}  // namespace tressel::video
