// PNG pictures through libpng: grey, grey with alpha, RGB, RGBA and palette,
// at every bit depth, interlaced or not.
//
// A pixel is in a mask's region when its value exceeds the threshold (0-255
// scale; 16-bit samples are compared exactly). Colour pixels count by their
// brightest channel. Transparency darkens: a pixel is taken as composited
// over black, so fully transparent pixels are background. Gamma and colour
// profiles are ignored; a mask's values are data, not light. Grey pictures
// take the same samples through PixelRule (image/Mask.h): luma, scaled to 8
// bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/Mask.h"

namespace tressel_image {

bool looksLikePng(const std::uint8_t* data, std::size_t size);

MaskResult readPng(const std::uint8_t* data, std::size_t size, int threshold);
GreyResult readPngGrey(const std::uint8_t* data, std::size_t size);

// An 8-bit RGB picture, rows top-down, three bytes per pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
};

// Writes the picture as a PNG file; returns "" or the reason it failed.
std::string writePng(const std::string& path, const RgbImage& image);
std::string writePng(const std::string& path, const GreyImage& image);  // a grey PNG

}  // namespace tressel_image
