#include "analysis/FrameAnalyzer.h"

namespace tressel {

FrameAnalyzer::FrameAnalyzer(const AnalysisParameters& parameters) : analysis_(parameters, Path::fast) {
  analysis_.retain = Retain::regions;
}

const CTailAnalyzer& FrameAnalyzer::analyze(const std::vector<Run>& runs) {
  ends_.clear();
  for (const Run& r : runs) {
    ends_.push_back(lti::point(r.first, r.row));
    ends_.push_back(lti::point(r.last, r.row));
  }
  // The ends go straight into the record's outline, which is then the
  // analysis's input: taking the input as the outline copies nothing.
  lti::ioPoints& outline = *analysis_.outline;
  outline.clear();
  outline.appendPoints(ends_.data(), ends_.data() + ends_.size());
  analysis_.reanalyze(outline);
  return analysis_;
}

}  // namespace tressel
