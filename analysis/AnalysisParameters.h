// The nine integer parameters that tune the analysis, with their defaults.
// Their names as the C interface and the tools spell them, and what each one
// does, are in capi/parameters.h.
#pragma once

namespace tressel {

struct AnalysisParameters {
  int tailWidthPercent = 13;
  int tailLengthPercent = 16;
  int tailWidthMinThreshold = 7;
  int tailLengthMaxThreshold = 50;
  int limbWidthPercent = 10;
  int limbLengthPercent = 7;
  int limbWidthMinThreshold = 7;
  int limbLengthMaxThreshold = 15;
  int loopLengthMaxPercent = 10;
};

// The parameters of the border service: a tail width percentage of 0 stops the
// analysis right after the contour is cleaned, so the others do not matter.
constexpr AnalysisParameters borderOnly() {
  AnalysisParameters p;
  p.tailWidthPercent = 0;
  return p;
}
constexpr AnalysisParameters borderOnlyParameters = borderOnly();

}  // namespace tressel
