#include <cstddef>
#include <type_traits>

#include "analysis/CTailAnalyzer.h"
#include "support/inputPoints.h"
#include "tressel/Tressel.h"

// The record is shared with hosts compiled elsewhere: its layout is fixed.
// Its nine parameter fields are those of the analysis, side by side below.
struct CTresselLayout {
  static_assert(std::is_standard_layout<CTressel>::value, "hosts copy the record whole");
  static_assert(sizeof(POINT) == 8, "POINT is two 32-bit integers");
  static_assert(sizeof(CTressel) == 80, "fifteen fields, 80 bytes");
  static_assert(offsetof(CTressel, hasTail) == 0, "field order");
  static_assert(offsetof(CTressel, tailBase) == 4, "field order");
  static_assert(offsetof(CTressel, tailStart) == 12, "field order");
  static_assert(offsetof(CTressel, tailEnd) == 20, "field order");
  static_assert(offsetof(CTressel, bodyCenter) == 28, "field order");
  static_assert(offsetof(CTressel, nose) == 36, "field order");
  static_assert(offsetof(CTressel, tailWidthPercent) == 44, "field order");
  static_assert(offsetof(CTressel, tailLengthPercent) == 48, "field order");
  static_assert(offsetof(CTressel, tailWidthMinThreshold) == 52, "field order");
  static_assert(offsetof(CTressel, tailLengthMaxThreshold) == 56, "field order");
  static_assert(offsetof(CTressel, limbWidthPercent) == 60, "field order");
  static_assert(offsetof(CTressel, limbLengthPercent) == 64, "field order");
  static_assert(offsetof(CTressel, limbWidthMinThreshold) == 68, "field order");
  static_assert(offsetof(CTressel, limbLengthMaxThreshold) == 72, "field order");
  static_assert(offsetof(CTressel, loopLengthMaxPercent) == 76, "field order");

  using Parameters = tressel::AnalysisParameters;
  struct Parameter {
    int CTressel::*field;
    int Parameters::*analysisField;
  };
  static constexpr Parameter parameters[] = {
      {&CTressel::tailWidthPercent, &Parameters::tailWidthPercent},
      {&CTressel::tailLengthPercent, &Parameters::tailLengthPercent},
      {&CTressel::tailWidthMinThreshold, &Parameters::tailWidthMinThreshold},
      {&CTressel::tailLengthMaxThreshold, &Parameters::tailLengthMaxThreshold},
      {&CTressel::limbWidthPercent, &Parameters::limbWidthPercent},
      {&CTressel::limbLengthPercent, &Parameters::limbLengthPercent},
      {&CTressel::limbWidthMinThreshold, &Parameters::limbWidthMinThreshold},
      {&CTressel::limbLengthMaxThreshold, &Parameters::limbLengthMaxThreshold},
      {&CTressel::loopLengthMaxPercent, &Parameters::loopLengthMaxPercent},
  };
  static_assert(sizeof parameters / sizeof parameters[0] * sizeof(int) == sizeof(Parameters), "every parameter");

  static Parameters parametersOf(const CTressel& t) {
    Parameters p;
    for (const Parameter& q : parameters) p.*q.analysisField = t.*q.field;
    return p;
  }
  static void setParameters(CTressel& t, const Parameters& p) {
    for (const Parameter& q : parameters) t.*q.field = p.*q.analysisField;
  }
};

namespace {

POINT toPOINT(const lti::point& p) {
  POINT result;
  result.x = p.x;
  result.y = p.y;
  return result;
}

POINT origin() { return toPOINT(lti::point()); }

}  // namespace

CTressel::CTressel()
    : hasTail(0), tailBase(origin()), tailStart(origin()), tailEnd(origin()), bodyCenter(origin()), nose(origin()) {
  LoadDefaults();
}

CTressel& CTressel::operator=(const CTressel& other) = default;

void CTressel::LoadDefaults() { CTresselLayout::setParameters(*this, tressel::AnalysisParameters{}); }

int CTressel::Tressel(float* x, float* y, int count) {
  lti::ioPoints input;
  tressel::appendInputPoints(x, y, count, input);
  const tressel::CTailAnalyzer analysis(input, CTresselLayout::parametersOf(*this), tressel::Retain::borderOnly,
                                        tressel::Path::fast);
  // Results are copied only once the analysis has completed, so a failed
  // call leaves the previous results in place.
  tailBase = toPOINT(analysis.tailBase);
  tailStart = toPOINT(analysis.tailStart);
  tailEnd = toPOINT(analysis.tailEnd);
  bodyCenter = toPOINT(analysis.bodyCenter);
  nose = toPOINT(analysis.nose);
  hasTail = analysis.hasTail;
  return hasTail;
}

int CTressel::GetFixedBorderPoints(float* x, float* y, int count) {
  lti::ioPoints input;
  tressel::appendInputPoints(x, y, count, input);
  const tressel::CTailAnalyzer analysis(input, tressel::borderOnlyParameters, tressel::Retain::borderOnly,
                                        tressel::Path::fast);
  return analysis.exportBorder(x, y, count);
}

int CTressel::HasTail() { return hasTail; }
POINT CTressel::GetTailBase() { return tailBase; }
POINT CTressel::GetTailStart() { return tailStart; }
POINT CTressel::GetTailEnd() { return tailEnd; }
POINT CTressel::GetCenter() { return bodyCenter; }
POINT CTressel::GetNose() { return nose; }

int CTressel::GetTailWidthPercent() { return tailWidthPercent; }
int CTressel::GetTailLengthPercent() { return tailLengthPercent; }
int CTressel::GetTailWidthMinThreshold() { return tailWidthMinThreshold; }
int CTressel::GetTailLengthMaxThreshold() { return tailLengthMaxThreshold; }
int CTressel::GetLimbWidthPercent() { return limbWidthPercent; }
int CTressel::GetLimbLengthPercent() { return limbLengthPercent; }
int CTressel::GetLimbWidthMinThreshold() { return limbWidthMinThreshold; }
int CTressel::GetLimbLengthMaxThreshold() { return limbLengthMaxThreshold; }
int CTressel::GetLoopLengthMaxPercent() { return loopLengthMaxPercent; }

void CTressel::SetTailWidthPercent(int value) { tailWidthPercent = value; }
void CTressel::SetTailLengthPercent(int value) { tailLengthPercent = value; }
void CTressel::SetTailWidthMinThreshold(int value) { tailWidthMinThreshold = value; }
void CTressel::SetTailLengthMaxThreshold(int value) { tailLengthMaxThreshold = value; }
void CTressel::SetLimbWidthPercent(int value) { limbWidthPercent = value; }
void CTressel::SetLimbLengthPercent(int value) { limbLengthPercent = value; }
void CTressel::SetLimbWidthMinThreshold(int value) { limbWidthMinThreshold = value; }
void CTressel::SetLimbLengthMaxThreshold(int value) { limbLengthMaxThreshold = value; }
void CTressel::SetLoopLengthMaxPercent(int value) { loopLengthMaxPercent = value; }
