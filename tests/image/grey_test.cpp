// The grey readers (video frames from image files): samples made bytes by
// BT.601 luma, 16-bit scaled to 8, through the same parsers as the masks.
#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

#include "image/readImage.h"
#include "pngEncoder.h"

namespace {

struct Picture {
  const char* name;
  std::vector<std::uint8_t> (*file)();
  std::vector<std::uint8_t> grey;
};
void PrintTo(const Picture& c, std::ostream* os) { *os << c.name; }

std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }
template <std::size_t n>
std::vector<std::uint8_t> bytes(const char (&s)[n]) { return {s, s + n - 1}; }  // NUL bytes and all

std::vector<std::uint8_t> png(int colorType, int bitDepth, std::vector<std::uint16_t> samples, int width) {
  tool_tests::PngPicture p;
  p.width = width;
  p.height = 1;
  p.colorType = colorType;
  p.bitDepth = bitDepth;
  p.samples = std::move(samples);
  return tool_tests::encodePng(p);
}

class GreyPictures : public testing::TestWithParam<Picture> {};

TEST_P(GreyPictures, ReadAsLumaOnEightBits) {
  const std::vector<std::uint8_t> file = GetParam().file();
  const tressel_image::GreyResult r = tressel_image::readGrey(file.data(), file.size());
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.image.height, 1);
  EXPECT_EQ(r.image.pixels, GetParam().grey);
}

// Red, green, blue and white: 0.299, 0.587 and 0.114 of 255, rounded.
INSTANTIATE_TEST_SUITE_P(
    Formats, GreyPictures,
    testing::Values(
        Picture{"P5_as_it_is", [] { return bytes("P5 3 1 255\n\x00\x7f\xff"); }, {0, 127, 255}},
        // 257 = 65535 / 255: each step of 257 is one grey level; 32896 is 128.
        Picture{"P5_16bit_scaled", [] { return bytes("P5 3 1 65535\n\x01\x01\x80\x80\xff\xff"); },
                {1, 128, 255}},
        Picture{"P2_small_maximum", [] { return bytes(std::string("P2 3 1 4\n0 2 4\n")); }, {0, 128, 255}},
        Picture{"P6_luma", [] { return bytes("P6 4 1 255\n\xff\0\0\0\xff\0\0\0\xff\xff\xff\xff"); },
                {76, 150, 29, 255}},
        Picture{"P4_ink_is_black", [] { return bytes("P4 3 1\n\xa0"); }, {0, 255, 0}},
        Picture{"PNG_rgb_16bit", [] { return png(PNG_COLOR_TYPE_RGB, 16, {65535, 0, 0, 0, 65535, 0, 0, 0, 65535}, 3); },
                {76, 150, 29}},
        // Grey and alpha: composited over black, as for masks.
        Picture{"PNG_grey_alpha", [] { return png(PNG_COLOR_TYPE_GRAY_ALPHA, 8, {200, 255, 200, 0, 200, 128}, 3); },
                {200, 0, 100}}),
    [](const testing::TestParamInfo<Picture>& info) { return std::string(info.param.name); });

}  // namespace
