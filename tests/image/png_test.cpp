#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "image/png.h"
#include "image/readImage.h"
#include "pngEncoder.h"

namespace {

using tool_tests::encodePng;
using tool_tests::PngPicture;

// An odd-sized pattern, so that every interlacing pass has a ragged edge.
constexpr int kWidth = 13, kHeight = 11;
bool inPattern(int x, int y) { return (x * 3 + y * 5) % 7 < 3 || x == y; }

struct Kind {
  const char* name;
  int colorType;
  int bitDepth;
  bool interlaced;
  int threshold;
  std::vector<std::uint16_t> region;      // samples of a region pixel
  std::vector<std::uint16_t> background;  // samples of a background pixel
  std::vector<std::uint8_t> palette = {};
  std::vector<std::uint8_t> trns = {};
};
void PrintTo(const Kind& c, std::ostream* os) { *os << c.name; }

PngPicture pictureOf(const Kind& k) {
  PngPicture s;
  s.width = kWidth;
  s.height = kHeight;
  s.colorType = k.colorType;
  s.bitDepth = k.bitDepth;
  s.interlaced = k.interlaced;
  s.palette = k.palette;
  s.trns = k.trns;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const auto& v = inPattern(x, y) ? k.region : k.background;
      s.samples.insert(s.samples.end(), v.begin(), v.end());
    }
  }
  return s;
}

class PngKinds : public testing::TestWithParam<Kind> {};

TEST_P(PngKinds, DecodeToThePattern) {
  const Kind& k = GetParam();
  const std::vector<std::uint8_t> file = encodePng(pictureOf(k));
  const tressel_image::MaskResult r = tressel_image::readMask(file.data(), file.size(), k.threshold);
  ASSERT_TRUE(r.ok()) << r.error;
  ASSERT_EQ(r.mask.width, kWidth);
  ASSERT_EQ(r.mask.height, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) EXPECT_EQ(r.mask.at(x, y), inPattern(x, y)) << "at " << x << "," << y;
  }
}

// Background values sit just at or below the threshold, region values just
// above it, so that scaling and compositing errors show.
INSTANTIATE_TEST_SUITE_P(
    EachKind, PngKinds,
    testing::Values(
        Kind{"grey1", PNG_COLOR_TYPE_GRAY, 1, false, 0, {1}, {0}},
        Kind{"grey2_scaled", PNG_COLOR_TYPE_GRAY, 2, false, 100, {2}, {1}},  // 170 and 85
        Kind{"grey4_scaled", PNG_COLOR_TYPE_GRAY, 4, false, 120, {9}, {6}},  // 153 and 102
        Kind{"grey8", PNG_COLOR_TYPE_GRAY, 8, false, 100, {101}, {100}},
        Kind{"grey16_exact", PNG_COLOR_TYPE_GRAY, 16, false, 127, {32640}, {32639}},  // 32639 / 65535 = 127 / 255
        Kind{"grey_alpha8_transparent_is_background", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, 0, {255, 255}, {255, 0}},
        Kind{"grey_alpha8_composited", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, 100, {200, 128}, {200, 127}},
        Kind{"grey_alpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, 0, {0xFFFF, 1}, {0, 0xFFFF}},
        Kind{"rgb8_brightest_channel", PNG_COLOR_TYPE_RGB, 8, false, 100, {0, 0, 200}, {90, 100, 90}},
        Kind{"rgb16_exact", PNG_COLOR_TYPE_RGB, 16, false, 1, {0, 0x0102, 0}, {0x0100, 0, 0}},
        Kind{"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, 0, {255, 255, 255, 255}, {255, 255, 255, 0}},
        Kind{"palette8", PNG_COLOR_TYPE_PALETTE, 8, false, 50, {1}, {2}, {0, 0, 0, 255, 255, 255, 50, 40, 30}},
        Kind{"palette2_trns", PNG_COLOR_TYPE_PALETTE, 2, false, 0, {1}, {0}, {255, 255, 255, 255, 255, 255}, {0, 255}},
        Kind{"grey8_trns_colour", PNG_COLOR_TYPE_GRAY, 8, false, 0, {255}, {200}, {}, {0, 200}},
        Kind{"grey8_interlaced", PNG_COLOR_TYPE_GRAY, 8, true, 0, {255}, {0}},
        Kind{"rgba16_interlaced", PNG_COLOR_TYPE_RGB_ALPHA, 16, true, 0, {1, 2, 3, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF, 0}},
        Kind{"palette1_interlaced", PNG_COLOR_TYPE_PALETTE, 1, true, 0, {1}, {0}, {0, 0, 0, 9, 9, 9}}),
    [](const testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

std::vector<std::uint8_t> samplePng(bool interlaced) {
  return encodePng(pictureOf(Kind{"", PNG_COLOR_TYPE_GRAY, 8, interlaced, 0, {255}, {0}}));
}

// Rewrites the IHDR's size and its CRC, as a hostile file would.
std::vector<std::uint8_t> withSize(std::vector<std::uint8_t> file, std::uint32_t width, std::uint32_t height) {
  auto put = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  };
  put(16, width);  // after the signature, the length and "IHDR"
  put(20, height);
  put(29, static_cast<std::uint32_t>(crc32(0, file.data() + 12, 17)));
  return file;
}

TEST(PngErrors, RefuseHugePicturesFromTheHeader) {
  for (auto size : {std::pair<std::uint32_t, std::uint32_t>{20000, 20000}, {1u << 21, 1}, {0x7FFFFFFF, 0x7FFFFFFF}}) {
    const std::vector<std::uint8_t> file = withSize(samplePng(false), size.first, size.second);
    const tressel_image::MaskResult r = tressel_image::readMask(file.data(), file.size(), 0);
    EXPECT_NE(r.error.find("too large"), std::string::npos) << size.first << " x " << size.second << ": " << r.error;
  }
}

TEST(PngErrors, RefuseAZeroSize) {
  const std::vector<std::uint8_t> file = withSize(samplePng(false), 0, 5);
  EXPECT_FALSE(tressel_image::readMask(file.data(), file.size(), 0).ok());
}

// Cutting a file anywhere before its last chunk (IEND, 12 bytes, which the
// reader has no need for) loses image data and must be refused.
TEST(PngErrors, EveryPrefixThatCutsImageDataIsRefused) {
  for (bool interlaced : {false, true}) {
    const std::vector<std::uint8_t> full = samplePng(interlaced);
    for (std::size_t n = 0; n + 12 < full.size(); ++n) {
      const tressel_image::MaskResult r = tressel_image::readMask(full.data(), n, 0);
      EXPECT_FALSE(r.ok()) << "cut at " << n << " of " << full.size();
    }
  }
}

// A damaged byte anywhere either gives an error or, outside the data the
// reader uses, the same mask: never a different mask without a word.
TEST(PngErrors, DamageNeverChangesTheMaskSilently) {
  const std::vector<std::uint8_t> full = samplePng(true);
  const tressel_image::MaskResult original = tressel_image::readMask(full.data(), full.size(), 0);
  ASSERT_TRUE(original.ok());
  for (std::size_t i = 8; i < full.size(); ++i) {
    std::vector<std::uint8_t> damaged = full;
    damaged[i] ^= 0x21;
    const tressel_image::MaskResult r = tressel_image::readMask(damaged.data(), damaged.size(), 0);
    if (r.ok()) {
      EXPECT_EQ(r.mask.pixels, original.mask.pixels) << "byte " << i;
    }
  }
}

// The process's peak of mapped memory, in kB (0 where there is no /proc).
long peakVirtualKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmPeak:", 0) == 0) return std::stol(line.substr(7));
  }
  return 0;
}

// A chunk inserted after the IHDR, declaring `length` bytes but holding
// only a few.
std::vector<std::uint8_t> withChunk(std::vector<std::uint8_t> file, const char* type, std::uint32_t length) {
  std::vector<std::uint8_t> chunk;
  for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<std::uint8_t>(length >> (24 - 8 * i)));
  chunk.insert(chunk.end(), type, type + 4);
  chunk.insert(chunk.end(), {'a', 0, 'b', 'c'});
  file.insert(file.begin() + 33, chunk.begin(), chunk.end());  // signature 8, IHDR 25
  return file;
}

// A file of a few hundred bytes must not make the reader allocate what its
// chunks claim to hold: ancillary chunks are skipped unread, and pixel data is
// streamed.
TEST(PngErrors, DeclaredChunkLengthsAllocateNothing) {
  const std::vector<std::uint8_t> sample = samplePng(false);
  for (const char* type : {"sPLT", "iCCP", "zTXt", "iTXt", "tEXt", "eXIf", "prVt"}) {
    const std::vector<std::uint8_t> file = withChunk(sample, type, 0x7FFF0000u);
    const long before = peakVirtualKb();
    const tressel_image::MaskResult r = tressel_image::readMask(file.data(), file.size(), 0);
    EXPECT_FALSE(r.ok()) << type;
    EXPECT_LT(peakVirtualKb() - before, 256 * 1024) << type << ": the declared length was allocated";
  }
}

// Skipping them loses nothing: a file with ancillary chunks gives the mask of
// the same file without, transparency (tRNS) included.
TEST(PngReader, AncillaryChunksChangeNothing) {
  const Kind kinds[] = {
      {"grey", PNG_COLOR_TYPE_GRAY, 8, false, 0, {255}, {0}},
      {"palette with transparency", PNG_COLOR_TYPE_PALETTE, 8, true, 0, {1}, {0}, {250, 250, 250, 9, 9, 9},
       {255, 0}},
  };
  for (const Kind& k : kinds) {
    const std::vector<std::uint8_t> plain = encodePng(pictureOf(k));
    std::vector<std::uint8_t> text = {0, 0, 0, 5, 't', 'E', 'X', 't', 'k', 0, 'v', 'a', 'l'};
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, text.data() + 4, 9));
    for (int i = 0; i < 4; ++i) text.push_back(static_cast<std::uint8_t>(crc >> (24 - 8 * i)));
    std::vector<std::uint8_t> annotated = plain;
    annotated.insert(annotated.begin() + 33, text.begin(), text.end());
    const tressel_image::MaskResult a = tressel_image::readMask(plain.data(), plain.size(), 0);
    const tressel_image::MaskResult b = tressel_image::readMask(annotated.data(), annotated.size(), 0);
    ASSERT_TRUE(a.ok() && b.ok()) << k.name << ": " << a.error << b.error;
    EXPECT_EQ(a.mask.pixels, b.mask.pixels) << k.name;
  }
}

TEST(PngWriter, WritesWhatTheReaderReadsBack) {
  tressel_image::RgbImage picture;
  picture.width = 3;
  picture.height = 2;
  picture.pixels = {0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0};
  const std::string path = testing::TempDir() + "writer_test.png";
  ASSERT_EQ(tressel_image::writePng(path, picture), "");
  const tressel_image::MaskResult r = tressel_image::readMaskFile(path, 8);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.mask.pixels, (std::vector<std::uint8_t>{0, 1, 0, 0, 0, 1}));
  EXPECT_NE(tressel_image::writePng("/nonexistent-dir/x.png", picture), "");

  const tressel_image::GreyImage grey{5, 2, {0, 1, 128, 254, 255, 7, 0, 99, 200, 3}};
  ASSERT_EQ(tressel_image::writePng(path, grey), "");
  const tressel_image::GreyResult g = tressel_image::readGreyFile(path);
  ASSERT_TRUE(g.ok()) << g.error;
  EXPECT_EQ(g.image.width, 5);
  EXPECT_EQ(g.image.pixels, grey.pixels);
}

}  // namespace
