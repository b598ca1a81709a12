// The silhouette analysis for a caller that analyses one region after another
// (the tracker's workers, one each): it keeps its record and every buffer
// between calls, takes the region as its runs, and gives beside the record's
// results what the tracker reads of the body: its runs and the sums of its
// pixels. The results are those of a fresh CTailAnalyzer on the same spans
// (fast path); a region too large for the analysis raises lti::allocException
// as the constructor does.
#pragma once

#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "analysis/pointSums.h"
#include "capi/maskRuns.h"
#include "support/ioPoints.h"

namespace tressel {

class FrameAnalyzer {
 public:
  explicit FrameAnalyzer(const AnalysisParameters& parameters);
  FrameAnalyzer(const FrameAnalyzer&) = delete;
  FrameAnalyzer& operator=(const FrameAnalyzer&) = delete;

  // Analyses the region given by its runs (scan order); the results stay
  // until the next call.
  const CTailAnalyzer& analyze(const std::vector<Run>& runs);

  // The last analysis: its record (results, border, body contour, base
  // segments) ...
  const CTailAnalyzer& analysis() const { return analysis_; }
  // ... the body's pixels (tail and limbs cut away) as runs in scan order ...
  const std::vector<RegionMask::Run>& bodyRuns() const { return analysis_.bodyMask.runs(); }
  // ... and their coordinate sums and count.
  PointSums bodySums() const { return analysis_.bodyMask.sums(); }

 private:
  CTailAnalyzer analysis_;
  std::vector<lti::point> ends_;  // runs out of scan order: their ends, before they become the outline
};

}  // namespace tressel
