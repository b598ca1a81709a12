#include "analysis/FrameAnalyzer.h"

#include <algorithm>
#include <cstdint>

namespace tressel {

FrameAnalyzer::FrameAnalyzer(const AnalysisParameters& parameters) : analysis_(parameters, Path::fast) {
  analysis_.retain = Retain::regions;
}

namespace {

// The runs as the trace takes them (joined where they touch) and the box of
// their ends, when their ends are in scan order: then sorting the outline
// leaves it as it is, and its spans are the runs themselves. False otherwise,
// and for no runs.
bool joinedRunsOf(const std::vector<Run>& runs, std::vector<lti::rowRun>& joined, lti::box& b) {
  if (runs.empty()) return false;
  joined.resize(runs.size());  // at most one a run
  const Run* r = runs.data();
  const Run* const end = r + runs.size();
  if (r->last < r->first) return false;
  lti::rowRun* out = joined.data();
  *out = lti::rowRun{r->row, r->first, r->last};
  b = lti::box{r->first, r->row, r->last, runs.back().row};
  // In scan order each run starts at or after the last one's end, which is
  // then the end of the run being joined.
  for (++r; r < end; ++r) {
    if (r->last < r->first || r->row < out->y || (r->row == out->y && r->first < out->last)) return false;
    b.minX = std::min(b.minX, r->first);
    b.maxX = std::max(b.maxX, r->last);
    if (r->row == out->y && std::int64_t{out->last} + 1 >= r->first) {
      out->last = r->last;
    } else {
      *++out = lti::rowRun{r->row, r->first, r->last};
    }
  }
  joined.resize(static_cast<std::size_t>(out - joined.data()) + 1);
  return true;
}

}  // namespace

const CTailAnalyzer& FrameAnalyzer::analyze(const std::vector<Run>& runs) {
  lti::box spansBox;
  if (joinedRunsOf(runs, analysis_.traceScratch.runs, spansBox)) {
    analysis_.reanalyzeJoinedRuns(spansBox);
    return analysis_;
  }
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
