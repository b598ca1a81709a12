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
  joined.clear();
  if (runs.empty()) return false;
  b = lti::box{runs.front().first, runs.front().row, runs.front().last, runs.back().row};
  lti::point before(runs.front().first, runs.front().row);
  for (const Run& r : runs) {
    const lti::point entry(r.first, r.row), exit(r.last, r.row);
    if (lti::scanOrderLess(entry, before) || r.last < r.first) return false;
    before = exit;
    b.minX = std::min(b.minX, r.first);
    b.maxX = std::max(b.maxX, r.last);
    if (!joined.empty() && joined.back().y == r.row && std::int64_t{joined.back().last} + 1 >= r.first) {
      joined.back().last = std::max(joined.back().last, r.last);
    } else {
      joined.push_back(lti::rowRun{r.row, r.first, r.last});
    }
  }
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
