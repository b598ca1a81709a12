// The silhouette analysis of one frame's animal, and what the tracker adds
// to its results: the sub-pixel body centre, the body's two ends along its
// long axis, and the body region's runs.
#pragma once

#include <vector>

#include "analysis/FrameAnalyzer.h"
#include "tracking/FrameRecord.h"

namespace tressel::tracking {

class BodyAnalyzer {
 public:
  explicit BodyAnalyzer(const AnalysisParameters& parameters) : analyzer_(parameters) {}

  // Analyses the region given by its runs (scan order, one component) and
  // fills the record's points, tailFound and body fields. Throws
  // lti::allocException for a region too large to analyse. With
  // keepOutlines, also the record's outlines. One analyzer's buffers serve
  // frame after frame: one BodyAnalyzer per worker.
  void analyze(const std::vector<Run>& runs, FrameRecord& record, bool keepOutlines = false);

 private:
  FrameAnalyzer analyzer_;
};

}  // namespace tressel::tracking
