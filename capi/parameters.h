// The nine analysis parameters as the C interface and the programs built on it
// name them: one row each, in the order of tressel_params, with the member it
// sets there and in the analysis's own record (which holds the defaults:
// analysis/AnalysisParameters.h), and what it does. Command-line options, help
// texts and the parameter lines of output files are made from this table:
//
//   for (const tressel::ParameterField& f : tressel::parameterFields)
//     std::printf("%s = %d\n", f.name, params.*f.field);   // tail_width_percent = 13
//   tressel::optionName(tressel::parameterFields[0])        // "--tail-width-percent"
//
//   tressel::CTailAnalyzer analysis(input, tressel::analysisParameters(params), tressel::Retain::borderOnly,
//                                   tressel::Path::fast);
//   tressel_params defaults = tressel::cParameters(tressel::AnalysisParameters{});
#pragma once

#include <cstddef>
#include <iterator>
#include <string>

#include "analysis/AnalysisParameters.h"
#include "tressel/tressel_c.h"

namespace tressel {

struct ParameterField {
  const char* name;  // the member's name in tressel_params
  int tressel_params::*field;
  int AnalysisParameters::*analysisField;
  const char* help;  // one or more lines, separated by '\n'
};

inline constexpr ParameterField parameterFields[] = {
    {"tail_width_percent", &tressel_params::tail_width_percent, &AnalysisParameters::tailWidthPercent,
     "a contour point is thin where the silhouette's width is at most this\n"
     "percentage of its greatest width (capped at 25; 0 or less: no analysis)"},
    {"tail_length_percent", &tressel_params::tail_length_percent, &AnalysisParameters::tailLengthPercent,
     "a tail is at least this percentage of the contour long"},
    {"tail_width_min_threshold", &tressel_params::tail_width_min_threshold, &AnalysisParameters::tailWidthMinThreshold,
     "the thinness limit for the tail is at least this many pixels"},
    {"tail_length_max_threshold", &tressel_params::tail_length_max_threshold,
     &AnalysisParameters::tailLengthMaxThreshold, "the length asked of a tail is at most this many contour points"},
    {"limb_width_percent", &tressel_params::limb_width_percent, &AnalysisParameters::limbWidthPercent,
     "a contour point is thin for the limbs where the width is at most this\n"
     "percentage of the greatest width (no cap)"},
    {"limb_length_percent", &tressel_params::limb_length_percent, &AnalysisParameters::limbLengthPercent,
     "a limb is at least this percentage of the body contour long"},
    {"limb_width_min_threshold", &tressel_params::limb_width_min_threshold, &AnalysisParameters::limbWidthMinThreshold,
     "the thinness limit for the limbs is at least this many pixels"},
    {"limb_length_max_threshold", &tressel_params::limb_length_max_threshold,
     &AnalysisParameters::limbLengthMaxThreshold, "the length asked of a limb is at most this many contour points"},
    {"loop_length_max_percent", &tressel_params::loop_length_max_percent, &AnalysisParameters::loopLengthMaxPercent,
     "loops of the body contour up to this percentage of its length are cut"},
};

// Every member of both records appears in exactly one row.
constexpr bool everyMemberOnce() {
  constexpr std::size_t n = std::size(parameterFields);
  if (n * sizeof(int) != sizeof(tressel_params) || n * sizeof(int) != sizeof(AnalysisParameters)) return false;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      if (parameterFields[i].field == parameterFields[j].field) return false;
      if (parameterFields[i].analysisField == parameterFields[j].analysisField) return false;
    }
  }
  return true;
}
static_assert(everyMemberOnce(), "each parameter once in the table");

constexpr AnalysisParameters analysisParameters(const tressel_params& c) {
  AnalysisParameters p;
  for (const ParameterField& f : parameterFields) p.*f.analysisField = c.*f.field;
  return p;
}

constexpr tressel_params cParameters(const AnalysisParameters& p) {
  tressel_params c{};
  for (const ParameterField& f : parameterFields) c.*f.field = p.*f.analysisField;
  return c;
}

// The command-line option of a parameter: "--" and the name with dashes.
inline std::string optionName(const ParameterField& f) {
  std::string option = std::string("--") + f.name;
  for (char& ch : option) {
    if (ch == '_') ch = '-';
  }
  return option;
}

}  // namespace tressel
