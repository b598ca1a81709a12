#include "pngEncoder.h"

#include <png.h>

#include <stdexcept>

namespace tool_tests {
namespace {

void append(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

int channelsOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

// One row packed the way PNG stores it: low bit depths several to a byte,
// most significant first; 16-bit samples big-endian.
std::vector<png_byte> packRow(const PngPicture& s, int y) {
  const int channels = channelsOf(s.colorType);
  const std::size_t values = static_cast<std::size_t>(s.width) * channels;
  std::vector<png_byte> row((values * s.bitDepth + 7) / 8, 0);
  for (std::size_t i = 0; i < values; ++i) {
    const std::uint16_t v = s.samples[static_cast<std::size_t>(y) * values + i];
    if (s.bitDepth == 16) {
      row[2 * i] = static_cast<png_byte>(v >> 8);
      row[2 * i + 1] = static_cast<png_byte>(v & 0xFF);
    } else if (s.bitDepth == 8) {
      row[i] = static_cast<png_byte>(v);
    } else {
      const std::size_t bit = i * s.bitDepth;
      row[bit / 8] |= static_cast<png_byte>(v << (8 - s.bitDepth - bit % 8));
    }
  }
  return row;
}

}  // namespace

std::vector<std::uint8_t> encodePng(const PngPicture& s) {
  std::vector<std::uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<std::vector<png_byte>> rows;
  for (int y = 0; y < s.height; ++y) rows.push_back(packRow(s, y));
  std::vector<png_bytep> pointers;
  for (auto& r : rows) pointers.push_back(r.data());
  std::vector<png_color> palette;
  for (std::size_t i = 0; i + 2 < s.palette.size(); i += 3) {
    palette.push_back(png_color{s.palette[i], s.palette[i + 1], s.palette[i + 2]});
  }
  // Everything with a destructor exists before the jump point.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng could not write the test picture");
  }
  png_set_write_fn(png, &out, append, nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(s.width), static_cast<png_uint_32>(s.height), s.bitDepth,
               s.colorType, s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!s.trns.empty()) {
    if (s.colorType == PNG_COLOR_TYPE_PALETTE) {
      png_set_tRNS(png, info, s.trns.data(), static_cast<int>(s.trns.size()), nullptr);
    } else {
      png_color_16 colour{};
      colour.gray = static_cast<png_uint_16>(s.trns[0] << 8 | s.trns[1]);
      png_set_tRNS(png, info, nullptr, 0, &colour);
    }
  }
  png_write_info(png, info);
  png_write_image(png, pointers.data());  // handles the interlacing passes
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace tool_tests
