#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/pointsFile.h"

namespace {

tressel_image::PointsResult parse(const std::string& text) {
  return tressel_image::readPoints(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

struct Accepted {
  const char* name;
  std::string text;
  std::vector<float> x, y;
};
void PrintTo(const Accepted& c, std::ostream* os) { *os << c.name; }

class PointsAccepted : public testing::TestWithParam<Accepted> {};

TEST_P(PointsAccepted, GiveThePoints) {
  const tressel_image::PointsResult r = parse(GetParam().text);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.x, GetParam().x);
  EXPECT_EQ(r.y, GetParam().y);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PointsAccepted,
    testing::Values(Accepted{"plain", "10 20\n30 20\n", {10, 30}, {20, 20}},
                    Accepted{"no_final_newline", "10 20\n30 20", {10, 30}, {20, 20}},
                    Accepted{"crlf_tabs_and_commas", "1\t2\r\n3, 4\r\n+5 ,6\r\n", {1, 3, 5}, {2, 4, 6}},
                    Accepted{"comments_and_blank_lines", "# spans\n\n  \n1 2\n# more\n3 4\n", {1, 3}, {2, 4}},
                    Accepted{"fractions_and_negatives", "-3.5 12.9\n1e2 -0\n", {-3.5f, 100}, {12.9f, 0}},
                    Accepted{"empty", "", {}, {}}),
    [](const testing::TestParamInfo<Accepted>& info) { return std::string(info.param.name); });

struct Refused {
  const char* name;
  std::string text;
  const char* line;  // the line the error names
};
void PrintTo(const Refused& c, std::ostream* os) { *os << c.name; }

class PointsRefused : public testing::TestWithParam<Refused> {};

TEST_P(PointsRefused, NameTheLine) {
  const tressel_image::PointsResult r = parse(GetParam().text);
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.error.find(GetParam().line), std::string::npos) << r.error;
  EXPECT_TRUE(r.x.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, PointsRefused,
    testing::Values(Refused{"one_number", "1 2\n3\n", "line 2"},
                    Refused{"three_numbers", "1 2 3\n", "line 1"},
                    Refused{"words", "1 2\n\nx y\n", "line 3"},
                    Refused{"no_separator", "1-2\n", "line 1"},
                    Refused{"two_commas", "1,,2\n", "line 1"},
                    Refused{"not_a_number", "nan 1\n", "line 1"},
                    Refused{"infinite", "1 inf\n", "line 1"},
                    // The analysis takes coordinates as 32-bit ints.
                    Refused{"beyond_int32", "2147483648 0\n", "line 1"},
                    Refused{"rounds_beyond_int32_as_float", "2147483600 0\n", "line 1"},
                    Refused{"far_beyond", "1e300 0\n", "line 1"}),
    [](const testing::TestParamInfo<Refused>& info) { return std::string(info.param.name); });

TEST(PointsFile, MissingFileNamesTheReason) {
  const tressel_image::PointsResult r = tressel_image::readPointsFile("/nonexistent/points.txt");
  EXPECT_NE(r.error.find("No such file"), std::string::npos) << r.error;
}

}  // namespace
