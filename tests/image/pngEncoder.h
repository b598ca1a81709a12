// PNG files of every kind for the reader tests, written with libpng.
#pragma once

#include <cstdint>
#include <vector>

namespace tool_tests {

struct PngPicture {
  int width = 0;
  int height = 0;
  int colorType = 0;   // PNG_COLOR_TYPE_*
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<std::uint8_t> palette;  // RGB triples, for palette pictures
  std::vector<std::uint8_t> trns;     // tRNS chunk contents, raw
  // Samples of every row, one value per channel (unpacked, 16-bit values
  // as they are), row-major.
  std::vector<std::uint16_t> samples;
};

std::vector<std::uint8_t> encodePng(const PngPicture& picture);

}  // namespace tool_tests
