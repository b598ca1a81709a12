#include "image/netpbm.h"

#include <string>
#include <vector>

namespace tressel_image {
namespace {

bool isSpace(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool isDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// Reads the text parts of a file: header fields and plain-format samples.
class Cursor {
 public:
  Cursor(const std::uint8_t* data, std::size_t size) : at_(data), end_(data + size) {}

  // Skips white space and comments (from '#' to the end of the line).
  void skipSpace() {
    while (at_ < end_) {
      if (*at_ == '#') {
        while (at_ < end_ && *at_ != '\n' && *at_ != '\r') ++at_;
      } else if (isSpace(*at_)) {
        ++at_;
      } else {
        return;
      }
    }
  }

  // An unsigned decimal number no greater than `max`, after white space.
  // `digits` 1 reads a single digit, as plain PBM samples may be run together.
  // On failure nothing but the white space is consumed.
  bool number(std::uint32_t max, std::uint32_t& value, int digits = 10) {
    skipSpace();
    const std::uint8_t* p = at_;
    std::uint64_t v = 0;
    int n = 0;
    for (; p < end_ && isDigit(*p) && n < digits; ++n) {
      v = v * 10 + (*p++ - '0');
      if (v > max) return false;
    }
    if (n == 0 || (p < end_ && isDigit(*p) && digits > 1)) return false;
    at_ = p;
    value = static_cast<std::uint32_t>(v);
    return true;
  }

  // The single white-space byte between a raw header and its pixel data.
  bool oneSpace() {
    if (at_ == end_ || !isSpace(*at_)) return false;
    ++at_;
    return true;
  }

  bool atEnd() const { return at_ == end_; }
  const std::uint8_t* position() const { return at_; }
  std::size_t remaining() const { return static_cast<std::size_t>(end_ - at_); }

 private:
  const std::uint8_t* at_;
  const std::uint8_t* end_;
};

struct Format {
  int channels;  // 1 grey or bits, 3 colour
  bool bits;     // PBM: no maximum value in the header, 1 = region
  bool raw;      // binary pixel data
};

bool formatOf(std::uint8_t kind, Format& format) {
  switch (kind) {
    case '1': format = {1, true, false}; return true;
    case '2': format = {1, false, false}; return true;
    case '3': format = {3, false, false}; return true;
    case '4': format = {1, true, true}; return true;
    case '5': format = {1, false, true}; return true;
    case '6': format = {3, false, true}; return true;
    default: return false;
  }
}

// Where a reader puts what it decoded: the size and one byte per pixel.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t>& pixels;
};

// Raw PBM: rows of width bits, most significant bit first, each row padded
// to whole bytes. The caller has checked that the data is all there.
std::string readRawBits(Cursor& in, const PixelRule& rule, Picture& picture) {
  const std::size_t rowBytes = (static_cast<std::size_t>(picture.width) + 7) / 8;
  const std::uint8_t* data = in.position();
  for (int y = 0; y < picture.height; ++y) {
    const std::uint8_t* row = data + static_cast<std::size_t>(y) * rowBytes;
    std::uint8_t* out = &picture.pixels[static_cast<std::size_t>(y) * picture.width];
    for (int x = 0; x < picture.width; ++x) out[x] = rule.bilevel((row[x / 8] >> (7 - x % 8)) & 1);
  }
  return "";
}

// Raw PGM and PPM: one byte per sample, or two (most significant first) when
// the maximum value exceeds 255. The caller has checked the data's length.
std::string readRawSamples(Cursor& in, const Format& format, std::uint32_t maxValue, const PixelRule& rule,
                           Picture& picture) {
  const std::size_t sampleBytes = maxValue > 255 ? 2 : 1;
  const std::uint8_t* p = in.position();
  std::uint32_t colour[3];
  for (std::uint8_t& out : picture.pixels) {
    for (int c = 0; c < format.channels; ++c, p += sampleBytes) {
      const std::uint32_t v = sampleBytes == 2 ? (std::uint32_t{p[0]} << 8 | p[1]) : p[0];
      if (v > maxValue) return "sample value " + std::to_string(v) + " exceeds the maximum " + std::to_string(maxValue);
      colour[c] = v;
    }
    out = rule(colour, format.channels, maxValue, maxValue);
  }
  return "";
}

// Plain formats: decimal samples separated by white space (PBM digits may
// also follow one another directly).
std::string readPlainSamples(Cursor& in, const Format& format, std::uint32_t maxValue, const PixelRule& rule,
                             Picture& picture) {
  const int digits = format.bits ? 1 : 10;
  std::size_t index = 0;
  std::uint32_t colour[3];
  for (std::uint8_t& out : picture.pixels) {
    for (int c = 0; c < format.channels; ++c) {
      if (!in.number(maxValue, colour[c], digits)) {
        in.skipSpace();
        if (in.atEnd()) return "truncated: pixel " + std::to_string(index) + " of " +
                               std::to_string(picture.pixels.size()) + " missing";
        return "pixel " + std::to_string(index) + ": not a sample value from 0 to " + std::to_string(maxValue);
      }
    }
    out = format.bits ? rule.bilevel(colour[0] != 0) : rule(colour, format.channels, maxValue, maxValue);
    ++index;
  }
  return "";
}

// Reads the first picture of a file into `picture`, each pixel made a byte by
// `rule`; returns "" or the reason it failed, leaving `picture` empty then.
std::string readPicture(const std::uint8_t* data, std::size_t size, const PixelRule& rule, Picture& picture) {
  Format format;
  if (!looksLikeNetpbm(data, size) || !formatOf(data[1], format)) return "not a PBM, PGM or PPM file";
  Cursor in(data + 2, size - 2);

  std::uint32_t width = 0, height = 0, maxValue = 1;
  if (!in.number(0xFFFFFFFFu, width) || !in.number(0xFFFFFFFFu, height)) {
    return in.atEnd() ? "truncated header" : "corrupt header: width and height expected";
  }
  const std::string tooLarge = checkDimensions(width, height);
  if (!tooLarge.empty()) return tooLarge;
  if (!format.bits) {
    if (!in.number(65535, maxValue) || maxValue == 0) {
      return in.atEnd() ? "truncated header" : "corrupt header: maximum value from 1 to 65535 expected";
    }
  }
  if (format.raw && !in.oneSpace()) return "truncated header";

  // Every sample takes at least one byte, so a header that promises more
  // pixels than the file can hold is refused before anything is allocated.
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  const std::size_t sampleBytes = format.bits ? 1 : (format.raw && maxValue > 255 ? 2 : 1);
  const std::size_t needed = format.raw && format.bits
                                 ? (static_cast<std::size_t>(width) + 7) / 8 * height
                                 : pixels * static_cast<std::size_t>(format.channels) * sampleBytes;
  if (in.remaining() < needed) {
    return "truncated: " + std::to_string(pixels) + " pixels need at least " + std::to_string(needed) +
           " bytes, " + std::to_string(in.remaining()) + " left";
  }

  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  picture.pixels.assign(pixels, 0);
  std::string error;
  if (format.raw && format.bits) {
    error = readRawBits(in, rule, picture);
  } else if (format.raw) {
    error = readRawSamples(in, format, maxValue, rule, picture);
  } else {
    error = readPlainSamples(in, format, maxValue, rule, picture);
  }
  if (!error.empty()) {
    picture.width = picture.height = 0;
    picture.pixels.clear();
  }
  return error;
}

}  // namespace

bool looksLikeNetpbm(const std::uint8_t* data, std::size_t size) {
  Format format;
  return size >= 2 && data[0] == 'P' && formatOf(data[1], format);
}

MaskResult readNetpbm(const std::uint8_t* data, std::size_t size, int threshold) {
  MaskResult r;
  Picture picture{0, 0, r.mask.pixels};
  r.error = readPicture(data, size, PixelRule{false, threshold}, picture);
  r.mask.width = picture.width;
  r.mask.height = picture.height;
  return r;
}

GreyResult readNetpbmGrey(const std::uint8_t* data, std::size_t size) {
  GreyResult r;
  Picture picture{0, 0, r.image.pixels};
  r.error = readPicture(data, size, PixelRule{true, 0}, picture);
  r.image.width = picture.width;
  r.image.height = picture.height;
  return r;
}

}  // namespace tressel_image
