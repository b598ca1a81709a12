// libpng reports errors by longjmp. Every function below that calls into
// libpng sets its jump point first and keeps no object with a destructor
// alive across those calls: buffers belong to the caller, so a jump back
// skips nothing that needs cleaning up.
#include "image/png.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace tressel_image {
namespace {

struct Source {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position;
  char message[160];
};

void onError(png_structp png, png_const_charp message) {
  auto* source = static_cast<Source*>(png_get_error_ptr(png));
  std::snprintf(source->message, sizeof source->message, "%s", message);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  if (length > source->size - source->position) png_error(png, "truncated file");
  std::memcpy(out, source->data + source->position, length);
  source->position += length;
}

struct Layout {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int channels = 0;    // after expansion: 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
  int bitDepth = 0;    // after expansion: 8 or 16
  bool interlaced = false;
  std::size_t rowBytes = 0;
};

// Reads the header and, when the picture is not too large, sets up the
// expansion of palettes, low bit depths and transparency chunks, so that
// every row arrives as 8- or 16-bit samples. Dimensions are checked before
// libpng sizes its row buffers; `tooLarge` then holds the reason.
bool readLayout(png_structp png, png_infop info, Layout& layout, std::string* tooLarge) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);  // checked below, with a clearer message
  // Ancillary chunks other than tRNS are skipped unread: libpng would
  // allocate their buffers from the length a chunk declares, before reading
  // it, and a mask needs none of them.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_read_info(png, info);
  layout.width = png_get_image_width(png, info);
  layout.height = png_get_image_height(png, info);
  *tooLarge = checkDimensions(layout.width, layout.height);
  if (!tooLarge->empty()) return true;
  layout.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  png_set_expand(png);
  png_read_update_info(png, info);
  layout.channels = png_get_channels(png, info);
  layout.bitDepth = png_get_bit_depth(png, info);
  layout.rowBytes = png_get_rowbytes(png, info);
  return true;
}

// One decoded pixel (8- or 16-bit samples, alpha last) made a byte by `rule`.
std::uint8_t pixelByte(const png_byte* pixel, const Layout& layout, const PixelRule& rule) {
  const bool wide = layout.bitDepth == 16;
  auto sample = [&](int c) -> std::uint32_t {
    return wide ? (std::uint32_t{pixel[2 * c]} << 8 | pixel[2 * c + 1]) : pixel[c];
  };
  const std::uint32_t maxValue = wide ? 65535 : 255;
  const bool alpha = layout.channels == 2 || layout.channels == 4;
  const int colours = alpha ? layout.channels - 1 : layout.channels;
  std::uint32_t colour[3];
  for (int c = 0; c < colours; ++c) colour[c] = sample(c);
  return rule(colour, colours, alpha ? sample(colours) : maxValue, maxValue);
}

// Decodes every row into `out` (already sized), one row at a time. An
// interlaced picture comes as seven reduced pictures; each of their pixels is
// put in its place here, so no whole decoded picture is ever held.
bool readRows(png_structp png, const Layout& layout, const PixelRule& rule, png_bytep row, std::uint8_t* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  const std::size_t pixelBytes = static_cast<std::size_t>(layout.channels) * (layout.bitDepth / 8);
  const int passes = layout.interlaced ? 7 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const png_uint_32 columns = layout.interlaced ? PNG_PASS_COLS(layout.width, pass) : layout.width;
    const png_uint_32 rows = layout.interlaced ? PNG_PASS_ROWS(layout.height, pass) : layout.height;
    if (columns == 0 || rows == 0) continue;  // libpng skips empty passes too
    for (png_uint_32 r = 0; r < rows; ++r) {
      png_read_row(png, row, nullptr);
      const png_uint_32 y = layout.interlaced ? PNG_ROW_FROM_PASS_ROW(r, pass) : r;
      for (png_uint_32 i = 0; i < columns; ++i) {
        const png_uint_32 x = layout.interlaced ? PNG_COL_FROM_PASS_COL(i, pass) : i;
        out[static_cast<std::size_t>(y) * layout.width + x] = pixelByte(row + i * pixelBytes, layout, rule);
      }
    }
  }
  return true;
}

// Reads the picture into `width`, `height` and `pixels`, each pixel made a
// byte by `rule`; returns "" or the reason it failed, leaving them empty then.
std::string readPicture(const std::uint8_t* data, std::size_t size, const PixelRule& rule, int& width, int& height,
                        std::vector<std::uint8_t>& pixels) {
  if (!looksLikePng(data, size)) return "not a PNG file";
  Source source{data, size, 0, "corrupt PNG"};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, onError, onWarning);
  if (png == nullptr) return "out of memory";
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return "out of memory";
  }
  png_set_read_fn(png, &source, readBytes);

  std::string error;
  Layout layout;
  std::string tooLarge;
  std::vector<png_byte> row;
  if (!readLayout(png, info, layout, &tooLarge)) {
    error = std::string("corrupt PNG: ") + source.message;
  } else if (!tooLarge.empty()) {
    error = tooLarge;
  } else {
    row.resize(layout.rowBytes);
    pixels.assign(static_cast<std::size_t>(layout.width) * layout.height, 0);
    if (readRows(png, layout, rule, row.data(), pixels.data())) {
      width = static_cast<int>(layout.width);
      height = static_cast<int>(layout.height);
    } else {
      error = std::string("corrupt PNG: ") + source.message;
      pixels.clear();
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return error;
}

}  // namespace

bool looksLikePng(const std::uint8_t* data, std::size_t size) {
  return size >= 8 && png_sig_cmp(data, 0, 8) == 0;
}

MaskResult readPng(const std::uint8_t* data, std::size_t size, int threshold) {
  MaskResult r;
  r.error = readPicture(data, size, PixelRule{false, threshold}, r.mask.width, r.mask.height, r.mask.pixels);
  return r;
}

GreyResult readPngGrey(const std::uint8_t* data, std::size_t size) {
  GreyResult r;
  r.error = readPicture(data, size, PixelRule{true, 0}, r.image.width, r.image.height, r.image.pixels);
  return r;
}

namespace {

// A picture to write: rows top-down, `channels` bytes per pixel.
struct Rows {
  int width, height, channels;
  const std::vector<std::uint8_t>& pixels;
};

bool writeRows(png_structp png, png_infop info, std::FILE* file, const Rows& image) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               image.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // One filter and a light compression: a fifth of the default's work on a
  // camera picture, for a file about a tenth larger.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  const std::size_t stride = static_cast<std::size_t>(image.width) * image.channels;
  for (int y = 0; y < image.height; ++y) {
    png_write_row(png, const_cast<png_bytep>(image.pixels.data() + static_cast<std::size_t>(y) * stride));
  }
  png_write_end(png, nullptr);
  return true;
}

std::string writeFile(const std::string& path, const Rows& image) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * image.channels) {
    return "no picture to write";
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return std::string("cannot create: ") + std::strerror(errno);
  Source sink{nullptr, 0, 0, "cannot write PNG"};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  std::string error;
  if (info == nullptr) {
    error = "out of memory";
  } else if (!writeRows(png, info, file, image)) {
    error = sink.message;
  }
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0 && error.empty()) error = std::string("cannot write: ") + std::strerror(errno);
  if (!error.empty()) std::remove(path.c_str());
  return error;
}

}  // namespace

std::string writePng(const std::string& path, const RgbImage& image) {
  return writeFile(path, Rows{image.width, image.height, 3, image.pixels});
}

std::string writePng(const std::string& path, const GreyImage& image) {
  return writeFile(path, Rows{image.width, image.height, 1, image.pixels});
}

}  // namespace tressel_image
