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
  spans_.clear();
  spans_.appendPoints(ends_.data(), ends_.data() + ends_.size());
  analysis_.reanalyze(spans_);
  return analysis_;
}

}  // namespace tressel
