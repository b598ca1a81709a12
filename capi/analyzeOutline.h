// The analysis of an outline as the C interface takes it: span points and a
// tressel_params in, a tressel_result out. The C interface calls it behind its
// exception barrier; the tool calls it directly.
#pragma once

#include <vector>

#include "capi/maskRuns.h"
#include "tressel/tressel_c.h"

namespace tressel {

// count <= 0 or a null array is an empty outline. Throws lti::allocException
// when a scratch raster would exceed 2^28 pixels, std::bad_alloc when memory
// runs out.
tressel_result analyzeOutline(const float* x, const float* y, int count, const tressel_params& params);

// The same analysis of a region given by its runs (scan order), as
// analyzeOutline gives on the runs' span points. An analyzer is kept per
// thread with its buffers, so a caller analysing mask after mask pays for its
// rasters once (their size follows the largest region analysed on the
// thread); on Windows each call makes its own.
tressel_result analyzeRuns(const std::vector<Run>& runs, const tressel_params& params);

}  // namespace tressel
