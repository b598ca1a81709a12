// The analysis of one silhouette after another with fixed parameters. Each
// worker of a batch owns one Analyzer, and so one CTressel: instances share
// nothing, so workers need no locking.
#pragma once

#include <string>

#include "Silhouette.h"
#include "tressel/Tressel.h"
#include "tressel/tressel.h"

namespace tressel_tool {

class Analyzer {
 public:
  explicit Analyzer(const tressel_params& params);
  // Returns "" and the results, or why the analysis failed.
  std::string analyze(Silhouette& silhouette, tressel_result& result);

 private:
  CTressel tressel_;
};

}  // namespace tressel_tool
