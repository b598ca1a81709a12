#include "capi/analyzeOutline.h"

#include <cstring>
#include <memory>

#include "analysis/CTailAnalyzer.h"
#include "analysis/FrameAnalyzer.h"
#include "capi/parameters.h"
#include "support/inputPoints.h"

namespace tressel {
namespace {

tressel_point toPoint(const lti::point& p) { return tressel_point{p.x, p.y}; }

tressel_result resultOf(const CTailAnalyzer& analysis) {
  tressel_result r;
  r.has_tail = analysis.hasTail != 0 ? 1 : 0;
  r.tail_base = toPoint(analysis.tailBase);
  r.tail_start = toPoint(analysis.tailStart);
  r.tail_end = toPoint(analysis.tailEnd);
  r.body_center = toPoint(analysis.bodyCenter);
  r.nose = toPoint(analysis.nose);
  return r;
}

// An analyzer and the parameters it was made with.
struct KeptAnalyzer {
  tressel_params params{};
  std::unique_ptr<FrameAnalyzer> analyzer;
};

}  // namespace

tressel_result analyzeOutline(const float* x, const float* y, int count, const tressel_params& params) {
  lti::ioPoints input;
  appendInputPoints(x, y, count, input);
  return resultOf(CTailAnalyzer(input, analysisParameters(params), Retain::borderOnly, Path::fast));
}

tressel_result analyzeRuns(const std::vector<Run>& runs, const tressel_params& params) {
#if defined(_WIN32)
  // Threads' objects with destructors are unreliable in a DLL there.
  FrameAnalyzer fresh(analysisParameters(params));
  return resultOf(fresh.analyze(runs));
#else
  static thread_local KeptAnalyzer kept;
  // tressel_params holds nine ints and no padding: bytes compare as fields.
  if (kept.analyzer == nullptr || std::memcmp(&kept.params, &params, sizeof params) != 0) {
    kept.analyzer.reset();
    kept.analyzer = std::make_unique<FrameAnalyzer>(analysisParameters(params));
    kept.params = params;
  }
  try {
    return resultOf(kept.analyzer->analyze(runs));
  } catch (...) {
    kept.analyzer.reset();  // a region too large: its buffers are not kept
    throw;
  }
#endif
}

}  // namespace tressel
