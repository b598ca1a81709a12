#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/netpbm.h"
#include "image/readImage.h"

namespace {

using tressel_image::MaskResult;

std::vector<std::uint8_t> bytes(const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); }

// A mask as rows of '#' (region) and '.', for readable expectations.
std::string picture(const tressel_image::Mask& m) {
  std::string s;
  for (int y = 0; y < m.height; ++y) {
    for (int x = 0; x < m.width; ++x) s += m.at(x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}

struct Decoded {
  const char* name;
  std::string file;
  int threshold;
  std::string expected;
};
void PrintTo(const Decoded& c, std::ostream* os) { *os << c.name; }

class NetpbmFormats : public testing::TestWithParam<Decoded> {};

TEST_P(NetpbmFormats, DecodeToTheExpectedMask) {
  const Decoded& c = GetParam();
  const std::vector<std::uint8_t> data = bytes(c.file);
  const MaskResult r = tressel_image::readMask(data.data(), data.size(), c.threshold);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(picture(r.mask), c.expected);
}

// 32640, 32639, 65535, 1: at threshold 127 the step lies exactly between the
// first two, as 32639 / 65535 = 127 / 255.
const std::string k16 = std::string("\x7f\x80\x7f\x7f\xff\xff\x00\x01", 8);

INSTANTIATE_TEST_SUITE_P(
    EachFormat, NetpbmFormats,
    testing::Values(
        Decoded{"P1", "P1\n# a comment\n3 2\n1 0 1\n0 1 0\n", 0, "#.#\n.#.\n"},
        Decoded{"P1_digits_run_together", "P1 3 2 101010", 0, "#.#\n.#.\n"},
        Decoded{"P1_comment_between_fields", "P1 3#width\n#height next\n 2\n101\n010\n", 0, "#.#\n.#.\n"},
        // Rows of 10 bits are padded to two bytes; the padding bits are set
        // and must not leak into the next row.
        Decoded{"P4_padded_rows", std::string("P4\n10 2\n") + std::string("\xA5\xFF\x00\x3F", 4), 0,
                "#.#..#.###\n..........\n"},
        Decoded{"P2_threshold", "P2\n4 1\n255\n0 1 128 255\n", 127, "..##\n"},
        Decoded{"P2_nonzero", "P2\n4 1\n255\n0 1 128 255\n", 0, ".###\n"},
        Decoded{"P2_small_maxval_scaled", "P2 3 1 4\n1 2 4\n", 127, ".##\n"},
        Decoded{"P5_8bit", std::string("P5 4 1 255\n") + std::string("\x00\x10\x80\xff", 4), 16, "..##\n"},
        // 16-bit samples are big-endian.
        Decoded{"P5_16bit", "P5 4 2 65535\n" + k16 + k16, 127, "#.#.\n#.#.\n"},
        Decoded{"P5_16bit_nonzero", "P5 4 1 65535\n" + k16, 0, "####\n"},
        Decoded{"P3_brightest_channel", "P3 3 1 255\n0 0 0  0 0 200  90 10 10\n", 100, ".#.\n"},
        Decoded{"P6", std::string("P6 2 1 255\n") + std::string("\x00\x00\x00\x00\x05\x00", 6), 0, ".#\n"},
        Decoded{"trailing_data_ignored", "P2 2 1 9\n0 9\nP2 garbage", 0, ".#\n"}),
    [](const testing::TestParamInfo<Decoded>& info) { return std::string(info.param.name); });

struct Refused {
  const char* name;
  std::string file;
  const char* message;  // part of the expected error
};
void PrintTo(const Refused& c, std::ostream* os) { *os << c.name; }

class NetpbmErrors : public testing::TestWithParam<Refused> {};

TEST_P(NetpbmErrors, GiveAClearError) {
  const Refused& c = GetParam();
  const std::vector<std::uint8_t> data = bytes(c.file);
  const MaskResult r = tressel_image::readMask(data.data(), data.size(), 0);
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
  EXPECT_TRUE(r.mask.pixels.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Corrupt, NetpbmErrors,
    testing::Values(Refused{"empty_file", "", "empty file"},
                    Refused{"unknown_magic", "P7\nWIDTH 1\n", "unknown format"},
                    Refused{"header_cut_short", "P5 4", "truncated header"},
                    Refused{"no_space_before_raw_data", "P5 1 1 255", "truncated header"},
                    Refused{"letters_for_width", "P2 x 1 255\n", "width and height"},
                    Refused{"zero_width", "P2 0 1 255\n", "no pixels"},
                    Refused{"maxval_zero", "P2 1 1 0\n0", "maximum value"},
                    Refused{"maxval_too_big", "P2 1 1 65536\n0", "maximum value"},
                    Refused{"width_overflows", "P2 99999999999 1 255\n0", "width and height"},
                    // Refused from the header alone, before 2^28 bytes are allocated.
                    Refused{"too_many_pixels", "P5 20000 20000 255\n", "too large"},
                    Refused{"side_too_long", "P4 2000000 1\n", "too large"},
                    Refused{"promises_more_than_the_file_holds", "P4 4000 4000\n\x01", "truncated"},
                    Refused{"raw_data_short", "P5 4 1 255\n\x01\x02", "truncated"},
                    Refused{"raw_16bit_data_short", std::string("P5 2 1 256\n\x01\x02\x03", 14), "truncated"},
                    Refused{"raw_sample_above_maxval", std::string("P5 1 1 300\n\x02\x00", 13), "exceeds"},
                    Refused{"plain_sample_above_maxval", "P2 2 1 10\n5 11\n", "not a sample value"},
                    Refused{"plain_data_short", "P2 3 1 10\n5 6\n", "truncated"},
                    Refused{"plain_garbage", "P2 3 1 10\n5 x 6\n", "not a sample value"},
                    Refused{"pbm_digit_not_a_bit", "P1 2 1\n1 2\n", "not a sample value"}),
    [](const testing::TestParamInfo<Refused>& info) { return std::string(info.param.name); });

// Every prefix of a raw file is refused, never read past its end.
TEST(NetpbmTruncation, EveryPrefixOfARawFileIsRefused) {
  for (const std::string& file : {std::string("P5 3 2 65535\n") + std::string(12, '\x7f'),
                                 std::string("P4 9 3\n") + std::string(6, '\x55'),
                                 std::string("P6 2 2 255\n") + std::string(12, '\x01')}) {
    const std::vector<std::uint8_t> full = bytes(file);
    ASSERT_TRUE(tressel_image::readMask(full.data(), full.size(), 0).ok());
    for (std::size_t n = 0; n < full.size(); ++n) {
      const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_FALSE(tressel_image::readMask(prefix.data(), prefix.size(), 0).ok()) << file.substr(0, 2) << " cut at " << n;
    }
  }
}

}  // namespace
