#include "analysis/FrameAnalyzer.h"

namespace tressel {

FrameAnalyzer::FrameAnalyzer(const AnalysisParameters& parameters) : analysis_(parameters, Path::fast) {
  analysis_.retain = Retain::regions;
}

const CTailAnalyzer& FrameAnalyzer::analyze(const std::vector<Run>& runs) {
  spans_.clear();
  for (const Run& r : runs) {
    spans_.pushBack(lti::point(r.first, r.row));
    spans_.pushBack(lti::point(r.last, r.row));
  }
  analysis_.reanalyze(spans_);
  return analysis_;
}

}  // namespace tressel
