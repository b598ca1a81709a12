// The analysis of an outline as the C interface takes it: span points and a
// tressel_params in, a tressel_result out. The C interface calls it behind its
// exception barrier; the tool calls it directly.
#pragma once

#include "tressel/tressel_c.h"

namespace tressel {

// count <= 0 or a null array is an empty outline. Throws lti::allocException
// when a scratch raster would exceed 2^28 pixels, std::bad_alloc when memory
// runs out.
tressel_result analyzeOutline(const float* x, const float* y, int count, const tressel_params& params);

}  // namespace tressel
