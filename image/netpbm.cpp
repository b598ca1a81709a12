#include "image/netpbm.h"

#include <algorithm>

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

MaskResult failure(std::string message) {
  MaskResult r;
  r.error = std::move(message);
  return r;
}

// Raw PBM: rows of width bits, most significant bit first, each row padded
// to whole bytes. The caller has checked that the data is all there.
std::string readRawBits(Cursor& in, Mask& mask) {
  const std::size_t rowBytes = (static_cast<std::size_t>(mask.width) + 7) / 8;
  const std::uint8_t* data = in.position();
  for (int y = 0; y < mask.height; ++y) {
    const std::uint8_t* row = data + static_cast<std::size_t>(y) * rowBytes;
    std::uint8_t* out = &mask.pixels[static_cast<std::size_t>(y) * mask.width];
    for (int x = 0; x < mask.width; ++x) out[x] = (row[x / 8] >> (7 - x % 8)) & 1;
  }
  return "";
}

// Raw PGM and PPM: one byte per sample, or two (most significant first) when
// the maximum value exceeds 255. The caller has checked the data's length.
std::string readRawSamples(Cursor& in, const Format& format, std::uint32_t maxValue, int threshold,
                           Mask& mask) {
  const std::size_t sampleBytes = maxValue > 255 ? 2 : 1;
  const std::uint8_t* p = in.position();
  for (std::uint8_t& out : mask.pixels) {
    std::uint32_t brightest = 0;
    for (int c = 0; c < format.channels; ++c, p += sampleBytes) {
      const std::uint32_t v = sampleBytes == 2 ? (std::uint32_t{p[0]} << 8 | p[1]) : p[0];
      if (v > maxValue) return "sample value " + std::to_string(v) + " exceeds the maximum " + std::to_string(maxValue);
      brightest = std::max(brightest, v);
    }
    out = aboveThreshold(brightest, maxValue, threshold) ? 1 : 0;
  }
  return "";
}

// Plain formats: decimal samples separated by white space (PBM digits may
// also follow one another directly).
std::string readPlainSamples(Cursor& in, const Format& format, std::uint32_t maxValue, int threshold,
                             Mask& mask) {
  const int digits = format.bits ? 1 : 10;
  std::size_t index = 0;
  for (std::uint8_t& out : mask.pixels) {
    std::uint32_t brightest = 0;
    for (int c = 0; c < format.channels; ++c) {
      std::uint32_t v = 0;
      if (!in.number(maxValue, v, digits)) {
        in.skipSpace();
        if (in.atEnd()) return "truncated: pixel " + std::to_string(index) + " of " +
                               std::to_string(mask.pixels.size()) + " missing";
        return "pixel " + std::to_string(index) + ": not a sample value from 0 to " + std::to_string(maxValue);
      }
      brightest = std::max(brightest, v);
    }
    out = format.bits ? static_cast<std::uint8_t>(brightest) : (aboveThreshold(brightest, maxValue, threshold) ? 1 : 0);
    ++index;
  }
  return "";
}

}  // namespace

bool looksLikeNetpbm(const std::uint8_t* data, std::size_t size) {
  Format format;
  return size >= 2 && data[0] == 'P' && formatOf(data[1], format);
}

MaskResult readNetpbm(const std::uint8_t* data, std::size_t size, int threshold) {
  Format format;
  if (!looksLikeNetpbm(data, size) || !formatOf(data[1], format)) return failure("not a PBM, PGM or PPM file");
  Cursor in(data + 2, size - 2);

  std::uint32_t width = 0, height = 0, maxValue = 1;
  if (!in.number(0xFFFFFFFFu, width) || !in.number(0xFFFFFFFFu, height)) {
    return failure(in.atEnd() ? "truncated header" : "corrupt header: width and height expected");
  }
  const std::string tooLarge = checkDimensions(width, height);
  if (!tooLarge.empty()) return failure(tooLarge);
  if (!format.bits) {
    if (!in.number(65535, maxValue) || maxValue == 0) {
      return failure(in.atEnd() ? "truncated header" : "corrupt header: maximum value from 1 to 65535 expected");
    }
  }
  if (format.raw && !in.oneSpace()) return failure("truncated header");

  // Every sample takes at least one byte, so a header that promises more
  // pixels than the file can hold is refused before anything is allocated.
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  const std::size_t sampleBytes = format.bits ? 1 : (format.raw && maxValue > 255 ? 2 : 1);
  const std::size_t needed = format.raw && format.bits
                                 ? (static_cast<std::size_t>(width) + 7) / 8 * height
                                 : pixels * static_cast<std::size_t>(format.channels) * sampleBytes;
  if (in.remaining() < needed) {
    return failure("truncated: " + std::to_string(pixels) + " pixels need at least " + std::to_string(needed) +
                   " bytes, " + std::to_string(in.remaining()) + " left");
  }

  MaskResult result;
  result.mask.width = static_cast<int>(width);
  result.mask.height = static_cast<int>(height);
  result.mask.pixels.assign(static_cast<std::size_t>(width) * height, 0);
  if (format.raw && format.bits) {
    result.error = readRawBits(in, result.mask);
  } else if (format.raw) {
    result.error = readRawSamples(in, format, maxValue, threshold, result.mask);
  } else {
    result.error = readPlainSamples(in, format, maxValue, threshold, result.mask);
  }
  if (!result.ok()) result.mask = Mask();
  return result;
}

}  // namespace tressel_image
