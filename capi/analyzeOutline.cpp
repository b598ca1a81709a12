#include "capi/analyzeOutline.h"

#include "analysis/CTailAnalyzer.h"
#include "capi/parameters.h"
#include "support/inputPoints.h"

namespace tressel {
namespace {

tressel_point toPoint(const lti::point& p) { return tressel_point{p.x, p.y}; }

}  // namespace

tressel_result analyzeOutline(const float* x, const float* y, int count, const tressel_params& params) {
  lti::ioPoints input;
  appendInputPoints(x, y, count, input);
  const CTailAnalyzer analysis(input, analysisParameters(params), Retain::borderOnly, Path::fast);
  tressel_result r;
  r.has_tail = analysis.hasTail != 0 ? 1 : 0;
  r.tail_base = toPoint(analysis.tailBase);
  r.tail_start = toPoint(analysis.tailStart);
  r.tail_end = toPoint(analysis.tailEnd);
  r.body_center = toPoint(analysis.bodyCenter);
  r.nose = toPoint(analysis.nose);
  return r;
}

}  // namespace tressel
