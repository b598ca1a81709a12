// The analysis of one silhouette after another with fixed parameters. Each
// worker of a batch owns one Analyzer, and so one CTressel: instances share
// nothing, so workers need no locking.
#pragma once

#include <exception>
#include <string>

#include "Silhouette.h"
#include "tressel/Tressel.h"
#include "tressel/tressel.h"

namespace tressel_tool {

// The message for an analysis that threw: it refuses scratch rasters beyond
// 2^28 cells, and some of them reach from the origin to the silhouette.
std::string analysisError(const std::exception& e);

class Analyzer {
 public:
  explicit Analyzer(const tressel_params& params);
  // Returns "" and the results, or why the analysis failed.
  std::string analyze(Silhouette& silhouette, tressel_result& result);

 private:
  CTressel tressel_;
};

}  // namespace tressel_tool
