#include <gtest/gtest.h>

#include "Options.h"

namespace {

using tressel_tool::ParsedCommandLine;
using tressel_tool::parseCommandLine;

struct Parameter {
  const char* option;
  int tressel_params::*field;
};
void PrintTo(const Parameter& c, std::ostream* os) { *os << c.option; }

class ParameterOptions : public testing::TestWithParam<Parameter> {};

// Each option sets its own parameter and no other, in both spellings.
TEST_P(ParameterOptions, SetTheirOwnField) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"analyze", std::string("--") + GetParam().option, "-42", "f.png"},
        std::vector<std::string>{"draw", "f.png", std::string("--") + GetParam().option + "=-42", "--out", "o.png"}}) {
    const ParsedCommandLine p = parseCommandLine(args);
    ASSERT_EQ(p.action, ParsedCommandLine::run) << p.text;
    tressel_params expected = tressel_default_params();
    expected.*GetParam().field = -42;
    const tressel_params& got = p.options.params;
    EXPECT_EQ(got.tail_width_percent, expected.tail_width_percent);
    EXPECT_EQ(got.tail_length_percent, expected.tail_length_percent);
    EXPECT_EQ(got.tail_width_min_threshold, expected.tail_width_min_threshold);
    EXPECT_EQ(got.tail_length_max_threshold, expected.tail_length_max_threshold);
    EXPECT_EQ(got.limb_width_percent, expected.limb_width_percent);
    EXPECT_EQ(got.limb_length_percent, expected.limb_length_percent);
    EXPECT_EQ(got.limb_width_min_threshold, expected.limb_width_min_threshold);
    EXPECT_EQ(got.limb_length_max_threshold, expected.limb_length_max_threshold);
    EXPECT_EQ(got.loop_length_max_percent, expected.loop_length_max_percent);
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, ParameterOptions,
    testing::Values(Parameter{"tail-width-percent", &tressel_params::tail_width_percent},
                    Parameter{"tail-length-percent", &tressel_params::tail_length_percent},
                    Parameter{"tail-width-min-threshold", &tressel_params::tail_width_min_threshold},
                    Parameter{"tail-length-max-threshold", &tressel_params::tail_length_max_threshold},
                    Parameter{"limb-width-percent", &tressel_params::limb_width_percent},
                    Parameter{"limb-length-percent", &tressel_params::limb_length_percent},
                    Parameter{"limb-width-min-threshold", &tressel_params::limb_width_min_threshold},
                    Parameter{"limb-length-max-threshold", &tressel_params::limb_length_max_threshold},
                    Parameter{"loop-length-max-percent", &tressel_params::loop_length_max_percent}));

TEST(CommandLine, OptionsMayFollowFilesAndDashesEndThem) {
  const ParsedCommandLine p = parseCommandLine({"analyze", "a.png", "--jobs", "3", "--", "--b.png", "-"});
  ASSERT_EQ(p.action, ParsedCommandLine::run) << p.text;
  EXPECT_EQ(p.options.jobs, 3);
  EXPECT_EQ(p.options.files, (std::vector<std::string>{"a.png", "--b.png", "-"}));
}

}  // namespace
