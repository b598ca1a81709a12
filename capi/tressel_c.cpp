// The C interface: argument checks, the exception barrier, and the copies
// between the caller's arrays and the analysis, which it runs directly.
#include "tressel/tressel_c.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "capi/analyzeOutline.h"
#include "capi/maskRuns.h"
#include "capi/parameters.h"
#include "support/exception.h"
#include "support/inputPoints.h"

namespace {

// Every column and row index below this is exact as a float.
constexpr int maxMaskSide = 1 << 24;

// Runs `body` and turns any exception into an error code: nothing may unwind
// into a C caller.
template <class Body>
int guarded(Body body) noexcept {
  try {
    return body();
  } catch (const lti::allocException&) {
    return TRESSEL_ERROR_MEMORY;
  } catch (const std::bad_alloc&) {
    return TRESSEL_ERROR_MEMORY;
  } catch (...) {
    return TRESSEL_ERROR_INTERNAL;
  }
}

bool validPoints(const float* x, const float* y, int count) { return count <= 0 || (x != nullptr && y != nullptr); }

bool validOutput(const float* x, const float* y, int capacity) {
  return capacity == 0 || (capacity > 0 && x != nullptr && y != nullptr);
}

bool validMask(const std::uint8_t* mask, int width, int height, std::ptrdiff_t stride, int flags) {
  if (mask == nullptr || width <= 0 || height <= 0 || width > maxMaskSide || height > maxMaskSide) return false;
  if (stride < width || stride > PTRDIFF_MAX / height) return false;  // every row address must be computable
  return (flags & ~TRESSEL_MASK_ALL_COMPONENTS) == 0;
}

// Writes *out only once the analysis has completed.
int analyzeInto(const float* x, const float* y, int count, const tressel_params* params, tressel_result* out) {
  *out = tressel::analyzeOutline(x, y, count, params != nullptr ? *params : tressel_default_params());
  return out->has_tail;
}

// The mask's runs, in buffers each thread keeps from call to call, so that a
// caller going through a video allocates nothing once they have grown. Valid
// until the thread's next call.
const std::vector<tressel::Run>& maskRunsOf(const tressel::MaskView& mask, bool keepAll) {
  thread_local std::vector<tressel::Run> runs;
  thread_local tressel::ComponentWorkspace workspace;
  tressel::maskRuns(mask, keepAll, runs, workspace);
  return runs;
}

// Writes the runs' span points (first and last column of each run, with its
// row) to the caller's arrays, as many as fit; returns how many there are.
int writeSpans(const std::vector<tressel::Run>& runs, float* outX, float* outY, int capacity) {
  const std::size_t fit = std::min(runs.size(), static_cast<std::size_t>(capacity) / 2);
  for (std::size_t i = 0; i < fit; ++i) {
    outX[2 * i] = static_cast<float>(runs[i].first);
    outX[2 * i + 1] = static_cast<float>(runs[i].last);
    outY[2 * i] = outY[2 * i + 1] = static_cast<float>(runs[i].row);
  }
  if (capacity % 2 == 1 && fit < runs.size()) {  // room for the first point of one more run
    outX[2 * fit] = static_cast<float>(runs[fit].first);
    outY[2 * fit] = static_cast<float>(runs[fit].row);
  }
  return static_cast<int>(runs.size() * 2);
}

}  // namespace

extern "C" {

tressel_params tressel_default_params(void) { return tressel::cParameters(tressel::AnalysisParameters{}); }

int tressel_analyze(const float* x, const float* y, int count, const tressel_params* params, tressel_result* out) {
  if (out == nullptr || !validPoints(x, y, count)) return TRESSEL_ERROR_ARGUMENT;
  return guarded([&] { return analyzeInto(x, y, count, params, out); });
}

int tressel_border(const float* x, const float* y, int count, float* out_x, float* out_y, int capacity) {
  if (!validPoints(x, y, count) || !validOutput(out_x, out_y, capacity)) return TRESSEL_ERROR_ARGUMENT;
  return guarded([&] {
    // The same analysis as GetFixedBorderPoints, read from the analyzer so
    // that the border's length is known before anything is written.
    lti::ioPoints input;
    tressel::appendInputPoints(x, y, count, input);
    const tressel::CTailAnalyzer analysis(input, tressel::borderOnlyParameters, tressel::Retain::borderOnly,
                                          tressel::Path::fast);
    const int size = analysis.border->size();
    int i = 0;
    for (auto p = analysis.border->begin(); p != analysis.border->end() && i < capacity; ++p, ++i) {
      out_x[i] = static_cast<float>(p->x);
      out_y[i] = static_cast<float>(p->y);
    }
    return size;
  });
}

int tressel_mask_spans(const uint8_t* mask, int width, int height, ptrdiff_t stride, int flags, float* out_x,
                       float* out_y, int capacity) {
  if (!validMask(mask, width, height, stride, flags) || !validOutput(out_x, out_y, capacity)) {
    return TRESSEL_ERROR_ARGUMENT;
  }
  return guarded([&] {
    const bool keepAll = (flags & TRESSEL_MASK_ALL_COMPONENTS) != 0;
    const std::vector<tressel::Run>& runs = maskRunsOf(tressel::MaskView{mask, width, height, stride}, keepAll);
    return writeSpans(runs, out_x, out_y, capacity);
  });
}

int tressel_analyze_mask(const uint8_t* mask, int width, int height, ptrdiff_t stride, int flags,
                         const tressel_params* params, tressel_result* out) {
  if (out == nullptr || !validMask(mask, width, height, stride, flags)) return TRESSEL_ERROR_ARGUMENT;
  return guarded([&] {
    const bool keepAll = (flags & TRESSEL_MASK_ALL_COMPONENTS) != 0;
    const std::vector<tressel::Run>& runs = maskRunsOf(tressel::MaskView{mask, width, height, stride}, keepAll);
    *out = tressel::analyzeRuns(runs, params != nullptr ? *params : tressel_default_params());
    return out->has_tail;
  });
}

const char* tressel_error_message(int code) {
  switch (code) {
    case TRESSEL_OK:
      return "no error";
    case TRESSEL_ERROR_ARGUMENT:
      return "invalid argument: a null pointer, a negative capacity, or a bad mask size, stride or flag";
    case TRESSEL_ERROR_MEMORY:
      return "out of memory: the allocation failed or the silhouette needs a working raster over 2^28 pixels "
             "(it spans from the origin to the silhouette's far corner)";
    case TRESSEL_ERROR_INTERNAL:
      return "internal error in the analysis";
    default:
      return "unknown error code";
  }
}

const char* tressel_version(void) { return TRESSEL_VERSION; }

}  // extern "C"
